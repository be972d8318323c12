// The posting journal on the engine: table Giornale of the store.
#include "transfer/PostingJournal.h"

#include "db/JetText.h"
#include "platform/Error.h"
#include "transfer/ChargeStore.h"

#include <QDateTime>
#include <algorithm>

namespace quorvel {

namespace {

const QString kTable = QString::fromLatin1(PostingJournal::Table);
const QString Progressivo = QStringLiteral("Progressivo");
constexpr int TextMax = 255;

// The outcome's fields both tables hold, in their order.
void appendWhereItWent(db::TableDef& def) {
    using T = db::FieldType;
    def.appendField(QStringLiteral("Esito"), T::Int16);
    def.appendField(QStringLiteral("Database"), T::Text, 64);
    def.appendField(QStringLiteral("Tabella"), T::Text, 64);
    // A row identity may pass 32 bits; a double holds it exactly.
    def.appendField(QStringLiteral("RigaConto"), T::Double);
    def.appendField(QStringLiteral("CodiceCliente"), T::Int32);
    def.appendField(QStringLiteral("Aggiunto"), T::Currency);
    def.appendField(QStringLiteral("Quantità"), T::Double);
}

void appendWhy(db::TableDef& def) {
    using T = db::FieldType;
    def.appendField(QStringLiteral("Motivo"), T::Int16);
    def.appendField(QStringLiteral("TestoMotivo"), T::Text, TextMax);
    def.appendField(QStringLiteral("Azione"), T::Int16);
    def.appendField(QStringLiteral("Quando"), T::Text, 19);
}

db::TableDef tableDef() {
    using T = db::FieldType;
    db::TableDef def(kTable);
    def.appendField(Progressivo, T::Int32);
    def.appendField(QStringLiteral("Tipo"), T::Text, 1);
    def.appendField(QStringLiteral("Archivio"), T::Text, TextMax);
    def.appendField(QStringLiteral("NumeroRiga"), T::Int32);
    def.appendField(QStringLiteral("Riga"), T::Text, TextMax);
    def.appendField(QStringLiteral("Giorno"), T::Text, 8);
    def.appendField(QStringLiteral("CameraCassa"), T::Text, 20);
    def.appendField(QStringLiteral("Camera"), T::Text, 20);
    def.appendField(QStringLiteral("Importo"), T::Currency);
    appendWhereItWent(def);
    def.appendField(QStringLiteral("ScontoDi"), T::Int32);
    def.appendField(QStringLiteral("Pendente"), T::Int32);
    def.appendField(QStringLiteral("Errore"), T::Int32);
    appendWhy(def);
    return def;
}

db::TableDef receivedDef() {
    db::TableDef def(QString::fromLatin1(PostingJournal::ReceivedTable));
    def.appendField(QStringLiteral("Archivio"), db::FieldType::Text, TextMax);
    def.appendField(QStringLiteral("Giorno"), db::FieldType::Text, 8);
    def.appendField(QStringLiteral("Righe"), db::FieldType::Int32);
    def.appendField(QStringLiteral("Somma"), db::FieldType::Currency);
    return def;
}

// What the transfer made of a line, one narrow row per line appended in a
// batch: cheaper than rewriting the line's wide Giornale row. Pendente
// points at that row; a row here stands over its outcome fields.
db::TableDef outcomeDef() {
    using T = db::FieldType;
    db::TableDef def(QString::fromLatin1(PostingJournal::OutcomeTable));
    def.appendField(QStringLiteral("Pendente"), T::Int32);
    def.appendField(QStringLiteral("Camera"), T::Text, 20);
    appendWhereItWent(def);
    // A "Sconto" line: the Pendente of its charge (whose journal id a reader
    // looks up), so the transfer needs no journal ids.
    def.appendField(QStringLiteral("ScontoDiPendente"), T::Int32);
    def.appendField(QStringLiteral("Errore"), T::Int32);
    appendWhy(def);
    return def;
}

const QStringList& outcomeFields() {
    static const QStringList fields = [] {
        QStringList out;
        const db::TableDef def = outcomeDef();
        for (const db::FieldDef& f : def.fields()) out << f.name;
        return out;
    }();
    return fields;
}

// The outcome's fields both tables hold, over e.
void readOutcomeFields(const db::Recordset& rs, JournalEntry& e) {
    auto i32 = [&](const char* f) {
        return static_cast<std::int32_t>(rs.integer(QString::fromUtf8(f)));
    };
    e.room = rs.text(QStringLiteral("Camera"));
    e.outcome = static_cast<Esito>(i32("Esito"));
    e.database = rs.text(QStringLiteral("Database"));
    e.table = rs.text(QStringLiteral("Tabella"));
    e.accountRow = static_cast<std::int64_t>(rs.real(QStringLiteral("RigaConto")));
    e.client = rs.integer(QStringLiteral("CodiceCliente"));
    e.added = rs.money(QStringLiteral("Aggiunto"));
    e.quantity = rs.real(QStringLiteral("Quantità"));
    e.errorId = i32("Errore");
    e.reason = static_cast<Motivo>(i32("Motivo"));
    e.reasonText = rs.text(QStringLiteral("TestoMotivo"));
    e.action = static_cast<Azione>(i32("Azione"));
    e.when = rs.text(QStringLiteral("Quando"));
}

// A row of the outcome table over e.
void readOutcome(const db::Recordset& rs, JournalEntry& e) {
    readOutcomeFields(rs, e);
    e.discountOfPending = static_cast<std::int32_t>(rs.integer(QStringLiteral("ScontoDiPendente")));
}

QString now() {
    return QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
}

// The fields a transfer, repair or clearing changes; the caller updates.
void writeOutcome(db::Recordset& rs, const JournalEntry& e) {
    auto set = [&](const QString& field, const db::Value& value) { rs.setValue(field, value); };
    auto text = [&](const QString& field, const QString& value, int max) {
        set(field, value.left(max));
    };
    static const QString Camera = QStringLiteral("Camera"), Esito = QStringLiteral("Esito"),
                         Database = QStringLiteral("Database"), Tabella = QStringLiteral("Tabella"),
                         RigaConto = QStringLiteral("RigaConto"),
                         CodiceCliente = QStringLiteral("CodiceCliente"),
                         Aggiunto = QStringLiteral("Aggiunto"),
                         Quantita = QStringLiteral("Quantità"),
                         ScontoDi = QStringLiteral("ScontoDi"),
                         Pendente = QStringLiteral("Pendente"), Errore = QStringLiteral("Errore"),
                         Motivo = QStringLiteral("Motivo"),
                         TestoMotivo = QStringLiteral("TestoMotivo"),
                         Azione = QStringLiteral("Azione"), Quando = QStringLiteral("Quando");
    text(Camera, e.room, 20);
    set(Esito, db::Value(static_cast<int>(e.outcome)));
    text(Database, e.database, 64);
    text(Tabella, e.table, 64);
    set(RigaConto, db::Value(static_cast<double>(e.accountRow)));
    set(CodiceCliente, db::Value(e.client));
    set(Aggiunto, db::Value(e.added));
    set(Quantita, db::Value(e.quantity));
    set(ScontoDi, db::Value(std::int64_t{e.discountOf}));
    set(Pendente, db::Value(std::int64_t{e.pendingId}));
    set(Errore, db::Value(std::int64_t{e.errorId}));
    set(Motivo, db::Value(static_cast<int>(e.reason)));
    text(TestoMotivo, e.reasonText, TextMax);
    set(Azione, db::Value(static_cast<int>(e.action)));
    text(Quando, e.when.isEmpty() ? now() : e.when, 19);
}

void write(db::Recordset& rs, const JournalEntry& e) {
    auto text = [&](const char* field, const QString& value) {
        rs.setValue(QString::fromUtf8(field), value.left(TextMax));
    };
    rs.setValue(Progressivo, db::Value(std::int64_t{e.id}));
    text("Tipo", e.kind);
    text("Archivio", e.archive);
    rs.setValue(QStringLiteral("NumeroRiga"), db::Value(std::int64_t{e.lineNo}));
    text("Riga", e.line);
    text("Giorno", e.day.left(8));
    text("CameraCassa", e.posRoom.left(20));
    rs.setValue(QStringLiteral("Importo"), e.amount ? db::Value(*e.amount) : db::Value());
    writeOutcome(rs, e);
    rs.update();
}

JournalEntry read(const db::Recordset& rs) {
    JournalEntry e;
    auto i32 = [&](const char* f) {
        return static_cast<std::int32_t>(rs.integer(QString::fromUtf8(f)));
    };
    auto text = [&](const char* f) { return rs.text(QString::fromUtf8(f)); };
    e.id = i32("Progressivo");
    e.kind = text("Tipo");
    e.archive = text("Archivio");
    e.lineNo = i32("NumeroRiga");
    e.line = text("Riga");
    e.day = text("Giorno");
    e.posRoom = text("CameraCassa");
    const db::Value amount = rs.value(QStringLiteral("Importo"));
    if (!amount.isNull())
        e.amount = amount.toCurrency();
    readOutcomeFields(rs, e);
    e.discountOf = i32("ScontoDi");
    e.pendingId = i32("Pendente");
    return e;
}

QString moneyLiteral(Currency c) {
    return c.toString();
}

}  // namespace

PostingJournal::PostingJournal(ChargeStore& store) : m_store(store) {
    db::Database& database = m_store.database();
    if (!database.hasTable(kTable))
        database.appendTable(tableDef());
    if (!database.hasTable(QString::fromLatin1(ReceivedTable)))
        database.appendTable(receivedDef());
    if (!database.hasTable(QString::fromLatin1(OutcomeTable)))
        database.appendTable(outcomeDef());
    // What the transfer, the repair, the reconciliation and find look up.
    for (const char* field :
         {"Progressivo", "Pendente", "Errore", "Giorno", "Camera", "CameraCassa", "Importo"})
        database.createIndex(kTable, {QString::fromUtf8(field)});
    database.createIndex(QString::fromLatin1(ReceivedTable), {QStringLiteral("Giorno")});
    for (const char* field : {"Pendente", "Errore"})
        database.createIndex(QString::fromLatin1(OutcomeTable), {QString::fromUtf8(field)});
}

db::Recordset& PostingJournal::rows() const {
    if (!m_rows)
        m_rows = m_store.database().openRecordset(kTable);
    return *m_rows;
}

db::Recordset& PostingJournal::outcomes() const {
    if (!m_outcomes)
        m_outcomes = m_store.database().openRecordset(QString::fromLatin1(OutcomeTable));
    return *m_outcomes;
}

void PostingJournal::overlay(JournalEntry& e) const {
    if (e.pendingId <= 0)
        return;
    db::Recordset& rs = outcomes();
    rs.findFirst(QStringLiteral("Pendente = ?"), {std::int64_t{e.pendingId}});
    if (rs.noMatch())
        return;
    readOutcome(rs, e);
    e.discountOf = 0;
    if (e.discountOfPending > 0) {
        db::Recordset& charge = rows();
        charge.findFirst(QStringLiteral("Pendente = ?"), {std::int64_t{e.discountOfPending}});
        if (!charge.noMatch())
            e.discountOf = static_cast<std::int32_t>(charge.integer(Progressivo));
    }
}

std::vector<std::int32_t> PostingJournal::pendingWithRows(std::int32_t from,
                                                          std::int32_t to) const {
    // In the index's order and from the index alone: no row is read.
    if (!m_pendingIds)
        m_pendingIds = m_store.database().openRecordset(
            QStringLiteral("Select Pendente From %1 Order By Pendente").arg(kTable));
    db::Recordset& rs = *m_pendingIds;
    static const QString Pendente = QStringLiteral("Pendente");
    std::vector<std::int32_t> out;
    rs.forEach(QStringLiteral("Pendente >= %1 and Pendente <= %2").arg(from).arg(to),
               [&] { out.push_back(static_cast<std::int32_t>(rs.integer(Pendente))); });
    return out;
}

void PostingJournal::addOutcomes(const std::vector<JournalEntry>& entries) {
    if (entries.empty())
        return;
    std::vector<db::Value> values;
    values.reserve(entries.size() * static_cast<std::size_t>(outcomeFields().size()));
    for (const JournalEntry& e : entries) {
        values.emplace_back(std::int64_t{e.pendingId});
        values.emplace_back(e.room.left(20));
        values.emplace_back(static_cast<int>(e.outcome));
        values.emplace_back(e.database.left(64));
        values.emplace_back(e.table.left(64));
        values.emplace_back(static_cast<double>(e.accountRow));
        values.emplace_back(e.client);
        values.emplace_back(e.added);
        values.emplace_back(e.quantity);
        values.emplace_back(std::int64_t{e.discountOfPending});
        values.emplace_back(std::int64_t{e.errorId});
        values.emplace_back(static_cast<int>(e.reason));
        values.emplace_back(e.reasonText.left(TextMax));
        values.emplace_back(static_cast<int>(e.action));
        values.emplace_back((e.when.isEmpty() ? now() : e.when).left(19));
    }
    joinOrRun(m_store.workspace(), [&] { outcomes().addAll(outcomeFields(), std::move(values)); });
}

std::int32_t PostingJournal::reserveIds(int count) {
    return m_store.reserve(kTable, count);
}

int PostingJournal::markCleared(std::int32_t lastErrorId) {
    const QString criterion = lastErrorId > 0
                                  ? QStringLiteral("Errore > 0 and Errore <= %1").arg(lastErrorId)
                                  : QStringLiteral("Errore > 0");
    std::vector<std::int32_t> ids;
    db::Recordset& rs = rows();
    rs.forEach(criterion,
               [&] { ids.push_back(static_cast<std::int32_t>(rs.integer(Progressivo))); });
    const QString when = now();
    int cleared = 0;
    joinOrRun(m_store.workspace(), [&] {
        for (const std::int32_t id : ids) {
            rs.findFirst(QStringLiteral("Progressivo = ?"), {std::int64_t{id}});
            if (rs.noMatch())
                continue;
            rs.edit();
            rs.setValue(QStringLiteral("Esito"), static_cast<int>(Esito::Cancellato));
            rs.setValue(QStringLiteral("Errore"), 0);
            rs.setValue(QStringLiteral("Azione"), static_cast<int>(Azione::Cancella));
            rs.setValue(QStringLiteral("Quando"), when);
            rs.update();
        }
        // The lines the transfer listed: their outcome rows.
        db::Recordset& out = outcomes();
        out.findFirst(criterion);
        while (!out.noMatch()) {
            out.edit();
            out.setValue(QStringLiteral("Esito"), static_cast<int>(Esito::Cancellato));
            out.setValue(QStringLiteral("Errore"), 0);
            out.setValue(QStringLiteral("Azione"), static_cast<int>(Azione::Cancella));
            out.setValue(QStringLiteral("Quando"), when);
            out.update();
            ++cleared;
            out.findNext(criterion);
        }
    });
    return static_cast<int>(ids.size()) + cleared;
}

void PostingJournal::addReceived(const std::vector<ReceivedCount>& counts) {
    if (counts.empty())
        return;
    joinOrRun(m_store.workspace(), [&] {
        auto rs = m_store.database().openRecordset(QString::fromLatin1(ReceivedTable));
        for (const ReceivedCount& c : counts) {
            rs->addNew();
            rs->setValue(QStringLiteral("Archivio"), c.archive.left(TextMax));
            rs->setValue(QStringLiteral("Giorno"), c.day.left(8));
            rs->setValue(QStringLiteral("Righe"), db::Value(std::int64_t{c.lines}));
            rs->setValue(QStringLiteral("Somma"), c.sum);
            rs->update();
        }
    });
}

std::vector<ReceivedCount> PostingJournal::received(const QString& dayFrom,
                                                    const QString& dayTo) const {
    QString criterion = QStringLiteral("Righe >= 0");
    if (!dayFrom.isEmpty())
        criterion += QStringLiteral(" and Giorno >= ") + db::jetQuoted(dayFrom);
    if (!dayTo.isEmpty())
        criterion += QStringLiteral(" and Giorno <= ") + db::jetQuoted(dayTo);
    std::vector<ReceivedCount> out;
    auto rs = m_store.database().openRecordset(QString::fromLatin1(ReceivedTable));
    rs->forEach(criterion, [&] {
        out.push_back({rs->text(QStringLiteral("Archivio")), rs->text(QStringLiteral("Giorno")),
                       static_cast<std::int32_t>(rs->integer(QStringLiteral("Righe"))),
                       rs->money(QStringLiteral("Somma"))});
    });
    return out;
}

void PostingJournal::add(std::vector<JournalEntry>& entries) {
    if (entries.empty())
        return;
    joinOrRun(m_store.workspace(), [&] {
        const auto fresh = std::count_if(entries.begin(), entries.end(),
                                         [](const JournalEntry& e) { return e.id == 0; });
        std::int32_t id = fresh > 0 ? reserveIds(static_cast<int>(fresh)) : 0;
        db::Recordset& rs = rows();
        for (JournalEntry& e : entries) {
            if (e.id == 0)
                e.id = id++;
            rs.addNew();
            write(rs, e);
        }
    });
}

void PostingJournal::update(const JournalEntry& entry) {
    joinOrRun(m_store.workspace(), [&] {
        db::Recordset& rs = rows();
        rs.findFirst(QStringLiteral("Progressivo = ?"), {std::int64_t{entry.id}});
        if (rs.noMatch())
            throw Error(m_store.database().path(),
                        QStringLiteral("riga %1 del giornale non trovata").arg(entry.id));
        const std::int64_t pending = rs.integer(QStringLiteral("Pendente"));
        rs.edit();
        write(rs, entry);
        // The row now holds the line's whole state.
        for (const std::int64_t p : {pending, std::int64_t{entry.pendingId}}) {
            if (p > 0)
                outcomes().removeAll(QStringLiteral("Pendente = %1").arg(p));
        }
    });
}

std::optional<JournalEntry> PostingJournal::first(const QString& criterion,
                                                  const std::vector<db::Value>& values) const {
    db::Recordset& rs = rows();
    rs.findFirst(criterion, values);
    if (rs.noMatch())
        return std::nullopt;
    JournalEntry e = read(rs);
    overlay(e);
    return e;
}

std::optional<JournalEntry> PostingJournal::byId(std::int32_t id) const {
    return first(QStringLiteral("Progressivo = ?"), {std::int64_t{id}});
}

std::optional<JournalEntry> PostingJournal::byPendingId(std::int32_t pendingId) const {
    if (pendingId <= 0)
        return std::nullopt;
    return first(QStringLiteral("Pendente = ?"), {std::int64_t{pendingId}});
}

std::optional<JournalEntry> PostingJournal::byErrorId(std::int32_t errorId) const {
    if (errorId <= 0)
        return std::nullopt;
    if (auto e = first(QStringLiteral("Errore = ?"), {std::int64_t{errorId}}))
        return e;
    // Listed by the transfer: the error id is in the line's outcome row.
    db::Recordset& rs = outcomes();
    rs.findFirst(QStringLiteral("Errore = ?"), {std::int64_t{errorId}});
    if (rs.noMatch())
        return std::nullopt;
    return byPendingId(static_cast<std::int32_t>(rs.integer(QStringLiteral("Pendente"))));
}

std::vector<JournalEntry> PostingJournal::find(const JournalQuery& q) const {
    QStringList parts{QStringLiteral("Progressivo > 0")};
    if (!q.room.isEmpty())
        parts << QStringLiteral("(Camera = %1 or CameraCassa = %1)").arg(db::jetQuoted(q.room));
    if (!q.dayFrom.isEmpty())
        parts << QStringLiteral("Giorno >= ") + db::jetQuoted(q.dayFrom);
    if (!q.dayTo.isEmpty())
        parts << QStringLiteral("Giorno <= ") + db::jetQuoted(q.dayTo);
    if (q.amount)
        parts << QStringLiteral("Importo = ") + moneyLiteral(*q.amount);
    if (!q.text.isEmpty())
        parts << QStringLiteral("Instr(Riga, %1) > 0").arg(db::jetQuoted(q.text));
    std::vector<JournalEntry> out;
    auto rs = m_store.database().openRecordset(kTable);
    // The outcome is known once the outcome rows are laid over: with an
    // outcome asked for, the limit comes after the filter.
    rs->forEach(parts.join(QStringLiteral(" and ")), [&] {
        if (q.outcome || static_cast<int>(out.size()) < q.limit)
            out.push_back(read(*rs));
    });
    std::vector<JournalEntry> kept;
    for (JournalEntry& e : out) {
        if (static_cast<int>(kept.size()) >= q.limit)
            break;
        overlay(e);
        if (!q.outcome || e.outcome == *q.outcome)
            kept.push_back(std::move(e));
    }
    return kept;
}

QString esitoText(Esito outcome) {
    switch (outcome) {
        case Esito::InAttesa:
            return QStringLiteral("in attesa");
        case Esito::Camera:
            return QStringLiteral("addebitato in camera");
        case Esito::Esterno:
            return QStringLiteral("addebitato a cliente esterno");
        case Esito::Storico:
            return QStringLiteral("nello storico errori");
        case Esito::Cancellato:
            return QStringLiteral("cancellato dallo storico errori");
        case Esito::Scartato:
            return QStringLiteral("sconto senza addebito, ignorato");
        case Esito::Incasso:
            return QStringLiteral("incasso importato");
    }
    return QStringLiteral("esito %1").arg(static_cast<int>(outcome));
}

}  // namespace quorvel
