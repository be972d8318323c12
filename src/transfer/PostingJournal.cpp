// The posting journal on the engine: tables RigheRicevute and EsitiRighe,
// view Giornale.
#include "transfer/PostingJournal.h"

#include "db/HotelFiles.h"
#include "db/JetText.h"
#include "platform/Error.h"
#include "platform/Log.h"
#include "transfer/ChargeLine.h"
#include "transfer/ChargeStore.h"

#include <QDateTime>
#include <QSet>
#include <algorithm>
#include <map>
#include <utility>

namespace quorvel {

namespace {

const QString kView = QString::fromLatin1(PostingJournal::Table);
const QString kLines = QString::fromLatin1(PostingJournal::LinesTable);
const QString kOutcomes = QString::fromLatin1(PostingJournal::OutcomesTable);
constexpr int TextMax = 255;

const QString Progressivo = QStringLiteral("Progressivo"), Tipo = QStringLiteral("Tipo"),
              Archivio = QStringLiteral("Archivio"), NumeroRiga = QStringLiteral("NumeroRiga"),
              Riga = QStringLiteral("Riga"), Giorno = QStringLiteral("Giorno"),
              CameraCassa = QStringLiteral("CameraCassa"),
              CameraMappata = QStringLiteral("CameraMappata"), Importo = QStringLiteral("Importo"),
              Pendente = QStringLiteral("Pendente"), ScontoDi = QStringLiteral("ScontoDi"),
              Ricevuta = QStringLiteral("Ricevuta"), EsitoField = QStringLiteral("Esito"),
              Camera = QStringLiteral("Camera"), RigaConto = QStringLiteral("RigaConto"),
              CodiceCliente = QStringLiteral("CodiceCliente"),
              Aggiunto = QStringLiteral("Aggiunto"), Quantita = QStringLiteral("Quantità"),
              ConAddebito = QStringLiteral("ConAddebito"), Errore = QStringLiteral("Errore"),
              MotivoField = QStringLiteral("Motivo"), TestoMotivo = QStringLiteral("TestoMotivo"),
              AzioneField = QStringLiteral("Azione"), Quando = QStringLiteral("Quando"),
              DatabaseField = QStringLiteral("Database"), Tabella = QStringLiteral("Tabella");

// The received line: what is known when it arrives.
const QStringList LineFields{Progressivo, Tipo,          Archivio, NumeroRiga, Riga,     Giorno,
                             CameraCassa, CameraMappata, Importo,  Pendente,   ScontoDi, Ricevuta};
// What became of it: only what cannot be derived (Database and Tabella
// follow from the outcome).
const QStringList OutcomeFields{Pendente,    EsitoField,  Camera,      RigaConto, CodiceCliente,
                                Aggiunto,    Quantita,    ConAddebito, Errore,    MotivoField,
                                TestoMotivo, AzioneField, Quando};

db::TableDef linesDef() {
    using T = db::FieldType;
    db::TableDef def(kLines);
    def.appendField(Progressivo, T::Int32);
    def.appendField(Tipo, T::Text, 1);
    def.appendField(Archivio, T::Text, TextMax);
    def.appendField(NumeroRiga, T::Int32);
    def.appendField(Riga, T::Text, TextMax);
    def.appendField(Giorno, T::Text, 8);
    def.appendField(CameraCassa, T::Text, 20);
    def.appendField(CameraMappata, T::Text, 20);
    def.appendField(Importo, T::Currency);
    def.appendField(Pendente, T::Int32);
    def.appendField(ScontoDi, T::Int32);  // Null: not a "Sconto" received after a charge
    def.appendField(Ricevuta, T::Text, 19);
    return def;
}

db::TableDef outcomesDef() {
    using T = db::FieldType;
    db::TableDef def(kOutcomes);
    def.appendField(Pendente, T::Int32);
    def.appendField(EsitoField, T::Int16);
    def.appendField(Camera, T::Text, 20);
    // A row identity may pass 32 bits; a double holds it exactly.
    def.appendField(RigaConto, T::Double);
    def.appendField(CodiceCliente, T::Int32);
    def.appendField(Aggiunto, T::Currency);
    def.appendField(Quantita, T::Double);
    def.appendField(ConAddebito, T::Int32);
    def.appendField(Errore, T::Int32);  // Null: not in the error history
    def.appendField(MotivoField, T::Int16);
    def.appendField(TestoMotivo, T::Text, TextMax);
    def.appendField(AzioneField, T::Int16);
    def.appendField(Quando, T::Text, 19);
    return def;
}

db::TableDef receivedDef() {
    db::TableDef def(QString::fromLatin1(PostingJournal::ReceivedTable));
    def.appendField(Archivio, db::FieldType::Text, TextMax);
    def.appendField(Giorno, db::FieldType::Text, 8);
    def.appendField(QStringLiteral("Righe"), db::FieldType::Int32);
    def.appendField(QStringLiteral("Somma"), db::FieldType::Currency);
    return def;
}

QString viewSelect() {
    const auto where = [](const char* room, const char* ext, const char* receipt) {
        return QStringLiteral(
                   "CASE e.\"Esito\" WHEN 1 THEN '%1' WHEN 2 THEN '%2' WHEN 6 THEN '%3' "
                   "END")
            .arg(QLatin1String(room), QLatin1String(ext), QLatin1String(receipt));
    };
    return QStringLiteral(
               "SELECT r.\"Progressivo\", r.\"Tipo\", r.\"Archivio\", r.\"NumeroRiga\", "
               "r.\"Riga\", r.\"Giorno\", r.\"CameraCassa\", "
               "COALESCE(e.\"Camera\", r.\"CameraMappata\") AS \"Camera\", r.\"CameraMappata\", "
               "r.\"Importo\", r.\"ScontoDi\", COALESCE(e.\"Esito\", 0) AS \"Esito\", "
               "%1 AS \"Database\", %2 AS \"Tabella\", e.\"RigaConto\", e.\"CodiceCliente\", "
               "e.\"Aggiunto\", e.\"Quantità\", e.\"ConAddebito\", r.\"Pendente\", e.\"Errore\", "
               "e.\"Motivo\", e.\"TestoMotivo\", e.\"Azione\", "
               "COALESCE(e.\"Quando\", r.\"Ricevuta\") AS \"Quando\", r.\"Ricevuta\" "
               "FROM {RigheRicevute} r LEFT JOIN {EsitiRighe} e ON e.\"Pendente\" = r.\"Pendente\"")
        .arg(where(db::ContoClienteMdb, db::ContoEsterniMdb, db::FattureMdb),
             where("Conto_Cliente", "Conto_Cliente", "Incassi"));
}

QString now() {
    return QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
}

db::Value orNull(std::int64_t n) {
    return n != 0 ? db::Value(n) : db::Value();
}

db::Value textOrNull(const QString& s, int max) {
    return s.isEmpty() ? db::Value() : db::Value(s.left(max));
}

void appendOutcome(std::vector<db::Value>& v, const JournalEntry& e, const QString& when) {
    v.emplace_back(std::int64_t{e.pendingId});
    v.emplace_back(static_cast<int>(e.outcome));
    v.push_back(textOrNull(e.room, 20));
    v.emplace_back(static_cast<double>(e.accountRow));
    v.emplace_back(e.client);
    v.emplace_back(e.added);
    v.emplace_back(e.quantity);
    v.push_back(orNull(e.discountOfPending));
    v.push_back(orNull(e.errorId));
    v.emplace_back(static_cast<int>(e.reason));
    v.emplace_back(e.reasonText.left(TextMax));
    v.emplace_back(static_cast<int>(e.action));
    v.emplace_back((e.when.isEmpty() ? when : e.when).left(19));
}

// Where a posted or imported line went, from its outcome.
void placeOf(JournalEntry& e) {
    switch (e.outcome) {
        case Esito::Camera:
            e.database = QString::fromLatin1(db::ContoClienteMdb);
            e.table = QStringLiteral("Conto_Cliente");
            break;
        case Esito::Esterno:
            e.database = QString::fromLatin1(db::ContoEsterniMdb);
            e.table = QStringLiteral("Conto_Cliente");
            break;
        case Esito::Incasso:
            e.database = QString::fromLatin1(db::FattureMdb);
            e.table = QStringLiteral("Incassi");
            break;
        default:
            e.database.clear();
            e.table.clear();
    }
}

// A row of the view (or of its field list: fields it left out read Null).
JournalEntry read(const db::Recordset& rs) {
    JournalEntry e;
    auto i32 = [&](const QString& f) { return static_cast<std::int32_t>(rs.integer(f)); };
    e.id = i32(Progressivo);
    e.kind = rs.text(Tipo);
    e.archive = rs.text(Archivio);
    e.lineNo = i32(NumeroRiga);
    e.line = rs.text(Riga);
    e.day = rs.text(Giorno);
    e.posRoom = rs.text(CameraCassa);
    e.room = rs.text(Camera);
    e.mappedRoom = rs.text(CameraMappata);
    const db::Value amount = rs.value(Importo);
    if (!amount.isNull())
        e.amount = amount.toCurrency();
    e.receivedAfter = i32(ScontoDi);
    const int outcome = i32(EsitoField), reason = i32(MotivoField), action = i32(AzioneField);
    e.outcome = static_cast<Esito>(outcome);
    e.accountRow = static_cast<std::int64_t>(rs.real(RigaConto));
    e.client = rs.integer(CodiceCliente);
    e.added = rs.money(Aggiunto);
    e.quantity = rs.real(Quantita);
    e.discountOfPending = i32(ConAddebito);
    e.pendingId = i32(Pendente);
    e.errorId = i32(Errore);
    e.reason = static_cast<Motivo>(reason);
    e.reasonText = rs.text(TestoMotivo);
    e.action = static_cast<Azione>(action);
    e.when = rs.text(Quando);
    QStringList damage;
    if (outcome < 0 || outcome > static_cast<int>(Esito::Rifiutato))
        damage << QStringLiteral("esito %1 sconosciuto").arg(outcome);
    if (reason < 0 || reason > static_cast<int>(Motivo::ScontoTardivo))
        damage << QStringLiteral("motivo %1 sconosciuto").arg(reason);
    if (action < 0 || action > static_cast<int>(Azione::Cancella))
        damage << QStringLiteral("azione %1 sconosciuta").arg(action);
    if (!damage.isEmpty()) {
        e.damage = damage.join(QStringLiteral(", "));
        // Once per row and process: a list shown every cycle would flood the log.
        static QSet<std::int32_t> told;
        if (!told.contains(e.id)) {
            told.insert(e.id);
            log::error(QStringLiteral("Giornale, riga %1 (Pendente %2) illeggibile: %3")
                           .arg(e.id)
                           .arg(e.pendingId)
                           .arg(e.damage));
        }
    }
    placeOf(e);
    return e;
}

// ---- The layout before this one: Giornale a table, and Lotti ------------

// One Lotti record line: tab-separated Pendente, outcome, room, database,
// table, account row, client, added (ten-thousandths), quantity, Pendente of
// the charge, error id, reason, reason text; \\ \t \n \r escaped.
QString unescaped(QStringView v) {
    QString out;
    out.reserve(v.size());
    for (qsizetype i = 0; i < v.size(); ++i) {
        if (v[i] != u'\\' || i + 1 == v.size()) {
            out += v[i];
            continue;
        }
        const QChar c = v[++i];
        out += c == u't' ? u'\t' : c == u'n' ? u'\n' : c == u'r' ? u'\r' : c;
    }
    return out;
}

// The records of one batch over the rows they belong to; a record that
// cannot be read is logged, and its line keeps its row's state.
void layOldRecords(const QString& text, const QString& when,
                   std::map<std::int32_t, JournalEntry*>& byPending) {
    int lineNo = 0;
    for (const QStringView line : QStringView(text).tokenize(u'\n', Qt::SkipEmptyParts)) {
        ++lineNo;
        std::vector<QStringView> f;
        for (const QStringView field : line.tokenize(u'\t')) f.push_back(field);
        bool ok = f.size() == 13;
        const std::int32_t pending = ok ? f[0].toInt(&ok) : 0;
        const auto it = ok ? byPending.find(pending) : byPending.end();
        if (!ok || it == byPending.end()) {
            log::error(QStringLiteral("Conversione del giornale: record %1 di un lotto illeggibile "
                                      "o senza la sua riga, non convertito: %2")
                           .arg(lineNo)
                           .arg(line.left(120).toString()));
            continue;
        }
        JournalEntry& e = *it->second;
        e.outcome = static_cast<Esito>(f[1].toInt());
        e.room = unescaped(f[2]);
        e.accountRow = f[5].toLongLong();
        e.client = f[6].toLongLong();
        e.added = Currency::fromRaw(f[7].toLongLong());
        e.quantity = f[8].toDouble();
        e.discountOfPending = f[9].toInt();
        e.errorId = f[10].toInt();
        e.reason = static_cast<Motivo>(f[11].toInt());
        e.reasonText = unescaped(f[12]);
        e.action = Azione::Trasferimento;
        e.when = when;
    }
}

// Only what a reader looks up: the join and the transfer (Pendente), byId,
// the day's balance and find (Giorno, Importo), a repair's "Sconto"
// (ScontoDi) and the error history (Errore), the last two over the few rows
// that have one. Then the view.
void indexesAndView(db::Database& database) {
    for (const QString& f : {Pendente, Progressivo, Giorno, Importo})
        database.createIndex(kLines, {f});
    database.createIndexOfSet(kLines, {ScontoDi});
    database.createIndex(kOutcomes, {Pendente});
    database.createIndexOfSet(kOutcomes, {Errore});
    database.createView(kView, viewSelect(), QStringLiteral("r"));
}

}  // namespace

PostingJournal::PostingJournal(ChargeStore& store) : m_store(store) {
    db::Database& database = m_store.database();
    const bool oldLayout = database.hasTable(kView) && !database.hasTable(kLines);
    if (!database.hasTable(QString::fromLatin1(ReceivedTable)))
        database.appendTable(receivedDef());
    database.createIndex(QString::fromLatin1(ReceivedTable), {Giorno});
    if (oldLayout) {
        convertOldJournal();
        return;
    }
    // The view is made last: with it there, the store is complete, and an
    // open of the program touches nothing.
    if (database.hasTable(kView))
        return;
    joinOrRun(m_store.workspace(), [&] {
        if (!database.hasTable(kLines))
            database.appendTable(linesDef());
        if (!database.hasTable(kOutcomes))
            database.appendTable(outcomesDef());
        indexesAndView(database);
    });
}

void PostingJournal::convertOldJournal() {
    db::Database& database = m_store.database();
    joinOrRun(m_store.workspace(), [&] {
        std::vector<JournalEntry> rows;
        {
            auto rs = database.openRecordset(kView);
            rs->forEach(QStringLiteral("Progressivo > -1"), [&] {
                JournalEntry e;
                auto i32 = [&](const QString& f) {
                    return static_cast<std::int32_t>(rs->integer(f));
                };
                e.id = i32(Progressivo);
                e.kind = rs->text(Tipo);
                e.archive = rs->text(Archivio);
                e.lineNo = i32(NumeroRiga);
                e.line = rs->text(Riga);
                e.day = rs->text(Giorno);
                e.posRoom = rs->text(CameraCassa);
                e.room = e.mappedRoom = rs->text(Camera);
                const db::Value amount = rs->value(Importo);
                if (!amount.isNull())
                    e.amount = amount.toCurrency();
                e.outcome = static_cast<Esito>(i32(EsitoField));
                e.accountRow = static_cast<std::int64_t>(rs->real(RigaConto));
                e.client = rs->integer(CodiceCliente);
                e.added = rs->money(Aggiunto);
                e.quantity = rs->real(Quantita);
                e.discountOfPending = i32(ScontoDi);  // a journal id: made a Pendente below
                e.pendingId = i32(Pendente);
                e.errorId = i32(Errore);
                e.reason = static_cast<Motivo>(i32(MotivoField));
                e.reasonText = rs->text(TestoMotivo);
                e.action = static_cast<Azione>(i32(AzioneField));
                e.when = rs->text(Quando);
                rows.push_back(std::move(e));
            });
        }
        std::sort(rows.begin(), rows.end(),
                  [](const JournalEntry& a, const JournalEntry& b) { return a.id < b.id; });
        // Lines that had no queue number (listed when received, receipts)
        // get one now; a "Sconto" line's charge is the line before it in
        // its file, as the transfer paired them.
        const int unnumbered = static_cast<int>(std::count_if(
            rows.begin(), rows.end(), [](const JournalEntry& e) { return e.pendingId <= 0; }));
        std::int32_t next =
            unnumbered > 0 ? m_store.reserve(QStringLiteral("Pendenti"), unnumbered) : 0;
        // Never a number a row already holds, whatever the counter says.
        std::int32_t highest = 0;
        for (const JournalEntry& e : rows) highest = std::max(highest, e.pendingId);
        if (unnumbered > 0 && next <= highest) {
            m_store.reserve(QStringLiteral("Pendenti"), highest - next + 1);
            next = highest + 1;
        }
        for (JournalEntry& e : rows) {
            if (e.pendingId <= 0)
                e.pendingId = next++;
        }
        // The Pendente a row's own ScontoDi (a journal id) stands for.
        std::map<std::int32_t, std::int32_t> pendingOfId;
        for (const JournalEntry& e : rows) pendingOfId[e.id] = e.pendingId;
        for (JournalEntry& e : rows) {
            const auto it = pendingOfId.find(e.discountOfPending);
            e.discountOfPending =
                e.discountOfPending > 0 && it != pendingOfId.end() ? it->second : 0;
        }
        std::map<std::int32_t, JournalEntry*> byPending;
        for (JournalEntry& e : rows) {
            if (e.pendingId > 0)
                byPending[e.pendingId] = &e;
        }
        const QString batches = QStringLiteral("Lotti");
        if (database.hasTable(batches)) {
            auto rs = database.openRecordset(batches);
            rs->forEach(QStringLiteral("PrimoPendente > -1"), [&] {
                layOldRecords(rs->text(QStringLiteral("Esiti")), rs->text(Quando), byPending);
            });
        }
        for (std::size_t i = 1; i < rows.size(); ++i) {
            const JournalEntry& before = rows[i - 1];
            JournalEntry& e = rows[i];
            if (e.kind == QLatin1String("A") && charge::isDiscount(e.line) &&
                before.archive == e.archive && before.lineNo + 1 == e.lineNo &&
                !charge::isDiscount(before.line))
                e.receivedAfter = before.pendingId;
        }
        database.dropTable(kView);
        if (database.hasTable(batches))
            database.dropTable(batches);
        database.appendTable(linesDef());
        database.appendTable(outcomesDef());
        add(rows);
        indexesAndView(database);
        log::info(
            QStringLiteral("Giornale convertito in righe semplici: %1 righe").arg(rows.size()));
    });
}

db::Recordset& PostingJournal::view() const {
    if (!m_view)
        m_view = m_store.database().openRecordset(
            QStringLiteral("Select * From %1 Order By Progressivo").arg(kView));
    return *m_view;
}

db::Recordset& PostingJournal::outcomes() const {
    if (!m_outcomes)
        m_outcomes = m_store.database().openRecordset(kOutcomes);
    return *m_outcomes;
}

void PostingJournal::add(std::vector<JournalEntry>& entries) {
    if (entries.empty())
        return;
    joinOrRun(m_store.workspace(), [&] {
        const auto count = [&](auto pred) {
            return static_cast<int>(std::count_if(entries.begin(), entries.end(), pred));
        };
        const int freshIds = count([](const JournalEntry& e) { return e.id == 0; });
        const int unnumbered = count([](const JournalEntry& e) { return e.pendingId <= 0; });
        std::int32_t id = freshIds > 0 ? reserveIds(freshIds) : 0;
        std::int32_t pending =
            unnumbered > 0 ? m_store.reserve(QStringLiteral("Pendenti"), unnumbered) : 0;
        const QString when = now();  // one time for the lines taken together
        std::vector<db::Value> lines, done;
        lines.reserve(entries.size() * static_cast<std::size_t>(LineFields.size()));
        for (JournalEntry& e : entries) {
            if (e.id == 0)
                e.id = id++;
            if (e.pendingId <= 0)
                e.pendingId = pending++;
            lines.emplace_back(std::int64_t{e.id});
            lines.emplace_back(e.kind.left(1));
            lines.emplace_back(e.archive.left(TextMax));
            lines.emplace_back(std::int64_t{e.lineNo});
            lines.emplace_back(e.line.left(TextMax));
            lines.emplace_back(e.day.left(8));
            lines.emplace_back(e.posRoom.left(20));
            lines.emplace_back((e.mappedRoom.isEmpty() ? e.room : e.mappedRoom).left(20));
            lines.push_back(e.amount ? db::Value(*e.amount) : db::Value());
            lines.emplace_back(std::int64_t{e.pendingId});
            lines.push_back(orNull(e.receivedAfter));
            lines.emplace_back(when);
            if (e.outcome != Esito::InAttesa)
                appendOutcome(done, e, when);
        }
        auto rs = m_store.database().openRecordset(kLines);
        rs->addAll(LineFields, std::move(lines));
        if (!done.empty())
            outcomes().addAll(OutcomeFields, std::move(done));
    });
}

std::int32_t PostingJournal::reserveIds(int count) {
    return m_store.reserve(kView, count);
}

std::vector<std::int32_t> PostingJournal::pendingWithRows(std::int32_t from,
                                                          std::int32_t to) const {
    // In the index's order and from the index alone: no row is read.
    if (!m_pendingIds)
        m_pendingIds = m_store.database().openRecordset(
            QStringLiteral("Select Pendente From %1 Order By Pendente").arg(kLines));
    db::Recordset& rs = *m_pendingIds;
    std::vector<std::int32_t> out;
    rs.forEach(QStringLiteral("Pendente >= %1 and Pendente <= %2").arg(from).arg(to),
               [&] { out.push_back(static_cast<std::int32_t>(rs.integer(Pendente))); });
    return out;
}

std::unordered_map<std::int32_t, std::int32_t> PostingJournal::discountLinks(
    std::int32_t from, std::int32_t to) const {
    auto rs = m_store.database().openRecordset(
        QStringLiteral("Select ScontoDi, Pendente From %1 Order By ScontoDi").arg(kLines));
    std::unordered_map<std::int32_t, std::int32_t> out;
    rs->forEach(QStringLiteral("ScontoDi >= %1 and ScontoDi <= %2").arg(from).arg(to), [&] {
        out[static_cast<std::int32_t>(rs->integer(Pendente))] =
            static_cast<std::int32_t>(rs->integer(ScontoDi));
    });
    return out;
}

void PostingJournal::addOutcomes(const std::vector<JournalEntry>& entries) {
    std::vector<const JournalEntry*> all;
    all.reserve(entries.size());
    for (const JournalEntry& e : entries) all.push_back(&e);
    addOutcomes(all);
}

void PostingJournal::addOutcomes(const std::vector<const JournalEntry*>& entries) {
    if (entries.empty())
        return;
    joinOrRun(m_store.workspace(), [&] {
        const QString when = now();
        // One INSERT's worth of rows at a time: a 5,000-line batch's values
        // at once would take megabytes of fresh memory.
        const auto width = static_cast<std::size_t>(OutcomeFields.size());
        const std::size_t perCall = std::max<std::size_t>(1, 4000 / width);
        for (std::size_t first = 0; first < entries.size(); first += perCall) {
            const std::size_t end = std::min(entries.size(), first + perCall);
            std::vector<db::Value> v;
            v.reserve((end - first) * width);
            for (std::size_t i = first; i < end; ++i) appendOutcome(v, *entries[i], when);
            outcomes().addAll(OutcomeFields, std::move(v));
        }
    });
}

int PostingJournal::markCleared(std::int32_t lastErrorId) {
    return markClearedWhere({lastErrorId > 0
                                 ? QStringLiteral("Errore > 0 and Errore <= %1").arg(lastErrorId)
                                 : QStringLiteral("Errore > 0")});
}

int PostingJournal::markClearedWhere(const QStringList& criteria) {
    std::vector<std::int32_t> lines;
    db::Recordset& rs = outcomes();
    const QString when = now();
    joinOrRun(m_store.workspace(), [&] {
        // In the error index's order, as errorReasons reads.
        auto listed = m_store.database().openRecordset(
            QStringLiteral("Select Pendente From %1 Order By Errore").arg(kOutcomes));
        for (const QString& criterion : criteria)
            listed->forEach(criterion, [&] {
                lines.push_back(static_cast<std::int32_t>(listed->integer(Pendente)));
            });
        for (const std::int32_t p : lines) {
            rs.findFirst(QStringLiteral("Pendente = ?"), {std::int64_t{p}});
            if (rs.noMatch())
                continue;
            rs.edit();
            rs.setValue(EsitoField, static_cast<int>(Esito::Cancellato));
            rs.setValue(Errore, db::Value());
            rs.setValue(AzioneField, static_cast<int>(Azione::Cancella));
            rs.setValue(Quando, when);
            rs.update();
        }
    });
    return static_cast<int>(lines.size());
}

void PostingJournal::update(const JournalEntry& entry) {
    if (entry.pendingId <= 0)
        throw Error(m_store.database().path(),
                    QStringLiteral("riga %1 del giornale senza numero di coda").arg(entry.id));
    joinOrRun(m_store.workspace(), [&] {
        db::Recordset& rs = outcomes();
        rs.findFirst(QStringLiteral("Pendente = ?"), {std::int64_t{entry.pendingId}});
        if (rs.noMatch())
            rs.addNew();
        else
            rs.edit();
        std::vector<db::Value> v;
        appendOutcome(v, entry, now());
        for (qsizetype i = 0; i < OutcomeFields.size(); ++i)
            rs.setValue(OutcomeFields[i], v[static_cast<std::size_t>(i)]);
        rs.update();
    });
}

void PostingJournal::addReceived(const std::vector<ReceivedCount>& counts) {
    if (counts.empty())
        return;
    joinOrRun(m_store.workspace(), [&] {
        auto rs = m_store.database().openRecordset(QString::fromLatin1(ReceivedTable));
        for (const ReceivedCount& c : counts) {
            rs->addNew();
            rs->setValue(Archivio, c.archive.left(TextMax));
            rs->setValue(Giorno, c.day.left(8));
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
        out.push_back({rs->text(Archivio), rs->text(Giorno),
                       static_cast<std::int32_t>(rs->integer(QStringLiteral("Righe"))),
                       rs->money(QStringLiteral("Somma"))});
    });
    return out;
}

std::optional<JournalEntry> PostingJournal::first(const QString& criterion,
                                                  const std::vector<db::Value>& values) const {
    db::Recordset& rs = view();
    rs.findFirst(criterion, values);
    if (rs.noMatch())
        return std::nullopt;
    return read(rs);
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
    // By the outcome table's own index, then the line by its key.
    db::Recordset& rs = outcomes();
    rs.findFirst(QStringLiteral("Errore = ?"), {std::int64_t{errorId}});
    if (rs.noMatch())
        return std::nullopt;
    return byPendingId(static_cast<std::int32_t>(rs.integer(Pendente)));
}

std::optional<JournalEntry> PostingJournal::discountReceivedAfter(
    std::int32_t chargePendingId) const {
    if (chargePendingId <= 0)
        return std::nullopt;
    return first(QStringLiteral("ScontoDi = ?"), {std::int64_t{chargePendingId}});
}

std::optional<JournalEntry> PostingJournal::receivedAt(const QString& archive, std::int32_t lineNo,
                                                       const QString& day) const {
    if (lineNo <= 0 || day.isEmpty())
        return std::nullopt;
    return first(QStringLiteral("Giorno = ? and Archivio = ? and NumeroRiga = ?"),
                 {day, archive, std::int64_t{lineNo}});
}

std::vector<JournalEntry> PostingJournal::find(const JournalQuery& q) const {
    QStringList parts{QStringLiteral("Progressivo > 0")};
    // The room a line went to, else the one it mapped to; or the code as read.
    if (!q.room.isEmpty())
        parts << QStringLiteral("(Camera = %1 or CameraCassa = %1)").arg(db::jetQuoted(q.room));
    if (!q.dayFrom.isEmpty())
        parts << QStringLiteral("Giorno >= ") + db::jetQuoted(q.dayFrom);
    if (!q.dayTo.isEmpty())
        parts << QStringLiteral("Giorno <= ") + db::jetQuoted(q.dayTo);
    if (q.amount)
        parts << QStringLiteral("Importo = ") + q.amount->toString();
    if (!q.text.isEmpty())
        parts << QStringLiteral("Instr(Riga, %1) > 0").arg(db::jetQuoted(q.text));
    if (q.outcome)
        parts << QStringLiteral("Esito = %1").arg(static_cast<int>(*q.outcome));
    std::vector<JournalEntry> out;
    db::Recordset& rs = view();
    rs.forEach(parts.join(QStringLiteral(" and ")), [&] {
        if (static_cast<int>(out.size()) < q.limit)
            out.push_back(read(rs));
    });
    return out;
}

std::unordered_map<std::int32_t, QString> PostingJournal::errorReasons(std::int32_t firstId,
                                                                       std::int32_t lastId) const {
    std::unordered_map<std::int32_t, QString> out;
    // Only the two columns, in the error index's order: in insertion order
    // SQLite would rather walk every outcome row than sort the few it wants.
    auto rs = m_store.database().openRecordset(
        QStringLiteral("Select Errore, TestoMotivo From %1 Order By Errore").arg(kOutcomes));
    // Most lines share their reason with others: one copy of each text, not
    // one per line.
    QSet<QString> texts;
    rs->forEach(
        QStringLiteral("Errore >= %1 And Errore <= %2").arg(std::max(firstId, 1)).arg(lastId), [&] {
            out[static_cast<std::int32_t>(rs->integer(Errore))] =
                *texts.insert(rs->text(TestoMotivo));
        });
    return out;
}

std::vector<JournalEntry> PostingJournal::daysRows(const QString& dayFrom,
                                                   const QString& dayTo) const {
    QString criterion = QStringLiteral("Progressivo > 0");
    if (!dayFrom.isEmpty())
        criterion += QStringLiteral(" and Giorno >= ") + db::jetQuoted(dayFrom);
    if (!dayTo.isEmpty())
        criterion += QStringLiteral(" and Giorno <= ") + db::jetQuoted(dayTo);
    auto rs = m_store.database().openRecordset(
        QStringLiteral("Select Progressivo, Giorno, Importo, Tipo, Archivio, Esito, Azione, "
                       "Pendente, Errore From %1")
            .arg(kView));
    std::vector<JournalEntry> out;
    rs->forEach(criterion, [&] {
        JournalEntry e;
        e.id = static_cast<std::int32_t>(rs->integer(Progressivo));
        e.day = rs->text(Giorno);
        const db::Value amount = rs->value(Importo);
        if (!amount.isNull())
            e.amount = amount.toCurrency();
        e.kind = rs->text(Tipo);
        e.archive = rs->text(Archivio);
        e.outcome = static_cast<Esito>(rs->integer(EsitoField));
        e.action = static_cast<Azione>(rs->integer(AzioneField));
        e.pendingId = static_cast<std::int32_t>(rs->integer(Pendente));
        e.errorId = static_cast<std::int32_t>(rs->integer(Errore));
        out.push_back(std::move(e));
    });
    return out;
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
        case Esito::Rifiutato:
            return QStringLiteral("rifiutato alla cassa");
    }
    return QStringLiteral("esito %1").arg(static_cast<int>(outcome));
}

}  // namespace quorvel
