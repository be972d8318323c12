// The posting journal on the engine: table Giornale of the store.
#include "transfer/PostingJournal.h"

#include "db/JetText.h"
#include "platform/Error.h"
#include "transfer/ChargeStore.h"

#include <QDateTime>
#include <algorithm>
#include <charconv>
#include <utility>

namespace quorvel {

namespace {

const QString kTable = QString::fromLatin1(PostingJournal::Table);
const QString Progressivo = QStringLiteral("Progressivo");
constexpr int TextMax = 255;

// The outcome's fields of Giornale (the legacy Esiti rows had them too), in order.
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

// The outcome rows of stores from before the batch table; read once, to
// fold them into their lines' rows.
const QString LegacyOutcomes = QStringLiteral("Esiti");

const QString PrimoPendente = QStringLiteral("PrimoPendente"),
              UltimoPendente = QStringLiteral("UltimoPendente"),
              PrimoErrore = QStringLiteral("PrimoErrore"),
              UltimoErrore = QStringLiteral("UltimoErrore"), Righe = QStringLiteral("Righe"),
              QuandoField = QStringLiteral("Quando"), EsitiField = QStringLiteral("Esiti");

// One row per transfer batch: the Pendente and error id ranges of its lines
// and, in Esiti, a record per line (see encodeRecords).
db::TableDef batchDef() {
    using T = db::FieldType;
    db::TableDef def(QString::fromLatin1(PostingJournal::BatchTable));
    def.appendField(PrimoPendente, T::Int32);
    def.appendField(UltimoPendente, T::Int32);
    def.appendField(PrimoErrore, T::Int32);  // 0: the batch listed no line
    def.appendField(UltimoErrore, T::Int32);
    def.appendField(Righe, T::Int32);
    def.appendField(QuandoField, T::Text, 19);
    def.appendField(EsitiField, T::Memo);
    return def;
}

// A batch's records: one line each, tab-separated fields in this order:
// Pendente, Esito, Camera, Database, Tabella, RigaConto, CodiceCliente,
// Aggiunto (ten-thousandths), Quantità, ScontoDiPendente, Errore, Motivo,
// TestoMotivo. In texts a backslash, tab, line feed and carriage return are
// written \\ \t \n \r; a Database or Tabella of "\=" is the record before's.
constexpr int RecordFields = 13;
const QString SameAsBefore = QStringLiteral("\\=");

void appendEscaped(QString& out, const QString& v) {
    const auto special = [](QChar c) {
        return c == u'\\' || c == u'\t' || c == u'\n' || c == u'\r';
    };
    if (std::none_of(v.begin(), v.end(), special)) {
        out += v;
        return;
    }
    for (const QChar c : v) {
        if (!special(c)) {
            out += c;
            continue;
        }
        out += u'\\';
        out += c == u'\t' ? u't' : c == u'\n' ? u'n' : c == u'\r' ? u'r' : u'\\';
    }
}

QString unescaped(QStringView v) {
    if (!v.contains(u'\\'))
        return v.toString();
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

template <typename N>
void appendNumber(QString& out, N n) {
    char buf[32];
    const auto end = std::to_chars(buf, buf + sizeof buf, n).ptr;
    out += QLatin1StringView(buf, end - buf);
}

QString encodeRecords(const std::vector<JournalEntry>& records) {
    QString out;
    out.reserve(static_cast<qsizetype>(records.size()) * 64);
    QString database, table;
    bool first = true;
    for (const JournalEntry& e : records) {
        const auto tab = [&] { out += u'\t'; };
        appendNumber(out, e.pendingId);
        tab();
        appendNumber(out, static_cast<int>(e.outcome));
        tab();
        appendEscaped(out, e.room.left(20));
        tab();
        for (auto [value, previous] : {std::pair{&e.database, &database}, {&e.table, &table}}) {
            const QString v = value->left(64);
            if (!first && v == *previous)
                out += SameAsBefore;
            else
                appendEscaped(out, v);
            *previous = v;
            tab();
        }
        first = false;
        appendNumber(out, e.accountRow);
        tab();
        appendNumber(out, e.client);
        tab();
        appendNumber(out, e.added.raw());
        tab();
        appendNumber(out, e.quantity);
        tab();
        appendNumber(out, e.discountOfPending);
        tab();
        appendNumber(out, e.errorId);
        tab();
        appendNumber(out, static_cast<int>(e.reason));
        tab();
        appendEscaped(out, e.reasonText.left(TextMax));
        out += u'\n';
    }
    return out;
}

// Calls take(record) for each record whose Pendente wanted accepts; the
// others are only split, for the Database and Tabella they pass on. A line
// not in the format (changed by hand) is skipped, not guessed at.
template <typename Wanted, typename Take>
void scanRecords(const QString& text, const QString& when, Wanted wanted, Take take) {
    QStringView database, table;  // as written
    for (const QStringView line : QStringView(text).tokenize(u'\n', Qt::SkipEmptyParts)) {
        QStringView f[RecordFields];
        int n = 0;
        for (const QStringView field : line.tokenize(u'\t')) {
            if (n == RecordFields) {
                ++n;
                break;
            }
            f[n++] = field;
        }
        if (n != RecordFields)
            continue;
        if (f[3] != SameAsBefore)
            database = f[3];
        if (f[4] != SameAsBefore)
            table = f[4];
        const std::int32_t pendingId = f[0].toInt();
        if (pendingId <= 0 || !wanted(pendingId))
            continue;
        JournalEntry e;
        e.pendingId = pendingId;
        e.outcome = static_cast<Esito>(f[1].toInt());
        e.room = unescaped(f[2]);
        e.database = unescaped(database);
        e.table = unescaped(table);
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
        take(std::move(e));
    }
}

// Every record, ascending by Pendente.
std::vector<JournalEntry> decodeRecords(const QString& text, const QString& when) {
    std::vector<JournalEntry> out;
    scanRecords(
        text, when, [](std::int32_t) { return true; },
        [&](JournalEntry&& e) { out.push_back(std::move(e)); });
    std::sort(out.begin(), out.end(), [](const JournalEntry& a, const JournalEntry& b) {
        return a.pendingId < b.pendingId;
    });
    return out;
}

// The error id range of records: {0, 0} when none is listed.
std::pair<std::int32_t, std::int32_t> errorRange(const std::vector<JournalEntry>& records) {
    std::int32_t lo = 0, hi = 0;
    for (const JournalEntry& e : records) {
        if (e.errorId <= 0)
            continue;
        lo = lo == 0 ? e.errorId : std::min(lo, e.errorId);
        hi = std::max(hi, e.errorId);
    }
    return {lo, hi};
}

// The transfer's record over e's outcome fields.
void applyRecord(const JournalEntry& r, JournalEntry& e) {
    e.room = r.room;
    e.outcome = r.outcome;
    e.database = r.database;
    e.table = r.table;
    e.accountRow = r.accountRow;
    e.client = r.client;
    e.added = r.added;
    e.quantity = r.quantity;
    e.errorId = r.errorId;
    e.reason = r.reason;
    e.reasonText = r.reasonText;
    e.action = r.action;
    e.when = r.when;
    e.discountOfPending = r.discountOfPending;
}

// The outcome's fields of a Giornale (or legacy Esiti) row, over e.
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

// A row of the legacy outcome table over e.
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
    const QString batchTable = QString::fromLatin1(BatchTable);
    if (!database.hasTable(batchTable))
        database.appendTable(batchDef());
    // What the transfer, the repair, the reconciliation and find look up.
    for (const char* field :
         {"Progressivo", "Pendente", "Errore", "Giorno", "Camera", "CameraCassa", "Importo"})
        database.createIndex(kTable, {QString::fromUtf8(field)});
    database.createIndex(QString::fromLatin1(ReceivedTable), {QStringLiteral("Giorno")});
    database.createIndex(batchTable, {UltimoPendente});
    database.createIndex(batchTable, {UltimoErrore});
    if (database.hasTable(LegacyOutcomes))
        foldLegacyOutcomes();
}

void PostingJournal::foldLegacyOutcomes() {
    auto legacy = m_store.database().openRecordset(LegacyOutcomes);
    const QString any = QStringLiteral("Pendente > 0");
    legacy->findFirst(any);
    if (legacy->noMatch())
        return;
    joinOrRun(m_store.workspace(), [&] {
        std::vector<JournalEntry> records;
        legacy->forEach(any, [&] {
            JournalEntry r;
            readOutcome(*legacy, r);
            r.pendingId = static_cast<std::int32_t>(legacy->integer(QStringLiteral("Pendente")));
            records.push_back(std::move(r));
        });
        for (const JournalEntry& r : records) writeIntoRow(r);
        legacy->removeAll(any);
    });
}

db::Recordset& PostingJournal::rows() const {
    if (!m_rows)
        m_rows = m_store.database().openRecordset(kTable);
    return *m_rows;
}

db::Recordset& PostingJournal::batches() const {
    return orderedBatches(m_batches, QStringLiteral("UltimoPendente"));
}

db::Recordset& PostingJournal::batchesByError() const {
    return orderedBatches(m_batchesByError, QStringLiteral("UltimoErrore"));
}

db::Recordset& PostingJournal::orderedBatches(std::unique_ptr<db::Recordset>& rs,
                                              const QString& order) const {
    if (!rs)
        rs = m_store.database().openRecordset(QStringLiteral("Select * From %1 Order By %2")
                                                  .arg(QString::fromLatin1(BatchTable), order));
    return *rs;
}

// Batches never overlap (each takes the lowest pending lines, whose numbers
// only grow): the first one ending at or after pendingId is the only one
// that can hold it.
bool PostingJournal::findBatch(std::int32_t pendingId) const {
    db::Recordset& rs = batches();
    rs.findFirst(QStringLiteral("UltimoPendente >= ?"), {std::int64_t{pendingId}});
    return !rs.noMatch() && rs.integer(PrimoPendente) <= pendingId;
}

// The first line asked of a batch is found by a scan; a second one has the
// batch decoded, as a walk over the rows of a day asks each batch often.
const JournalEntry* PostingJournal::recordOf(std::int32_t pendingId, BatchCache& cache) const {
    if (pendingId < cache.first || pendingId > cache.last) {
        cache = {};
        if (!findBatch(pendingId))
            return nullptr;
        const db::Recordset& rs = batches();
        cache.first = static_cast<std::int32_t>(rs.integer(PrimoPendente));
        cache.last = static_cast<std::int32_t>(rs.integer(UltimoPendente));
        cache.text = rs.text(EsitiField);
        cache.when = rs.text(QuandoField);
        bool found = false;
        scanRecords(
            cache.text, cache.when, [&](std::int32_t p) { return !found && p == pendingId; },
            [&](JournalEntry&& e) {
                cache.one = std::move(e);
                found = true;
            });
        return found ? &cache.one : nullptr;
    }
    if (!cache.decoded) {
        cache.records = decodeRecords(cache.text, cache.when);
        cache.decoded = true;
    }
    const auto it =
        std::lower_bound(cache.records.begin(), cache.records.end(), pendingId,
                         [](const JournalEntry& r, std::int32_t id) { return r.pendingId < id; });
    return it != cache.records.end() && it->pendingId == pendingId ? &*it : nullptr;
}

void PostingJournal::overlay(JournalEntry& e, BatchCache& cache) const {
    if (e.pendingId <= 0)
        return;
    const JournalEntry* r = recordOf(e.pendingId, cache);
    if (!r)
        return;
    applyRecord(*r, e);
    e.discountOf = 0;
    if (e.discountOfPending > 0) {
        db::Recordset& charge = rows();
        charge.findFirst(QStringLiteral("Pendente = ?"), {std::int64_t{e.discountOfPending}});
        if (!charge.noMatch())
            e.discountOf = static_cast<std::int32_t>(charge.integer(Progressivo));
    }
}

void PostingJournal::overlay(JournalEntry& e) const {
    BatchCache cache;
    overlay(e, cache);
}

bool PostingJournal::writeIntoRow(const JournalEntry& record) {
    db::Recordset& rs = rows();
    std::int32_t discountOf = 0;
    if (record.discountOfPending > 0) {
        rs.findFirst(QStringLiteral("Pendente = ?"), {std::int64_t{record.discountOfPending}});
        if (!rs.noMatch())
            discountOf = static_cast<std::int32_t>(rs.integer(Progressivo));
    }
    rs.findFirst(QStringLiteral("Pendente = ?"), {std::int64_t{record.pendingId}});
    if (rs.noMatch())
        return false;
    JournalEntry e = read(rs);
    applyRecord(record, e);
    e.discountOf = discountOf;
    rs.edit();
    write(rs, e);
    return true;
}

void PostingJournal::rewriteBatch(db::Recordset& rs, const std::vector<JournalEntry>& records) {
    if (records.empty()) {
        rs.remove();
        return;
    }
    const auto [lo, hi] = errorRange(records);
    rs.edit();
    rs.setValue(PrimoErrore, db::Value(std::int64_t{lo}));
    rs.setValue(UltimoErrore, db::Value(std::int64_t{hi}));
    rs.setValue(Righe, db::Value(static_cast<std::int64_t>(records.size())));
    rs.setValue(EsitiField, encodeRecords(records));
    rs.update();
}

void PostingJournal::dropRecord(std::int32_t pendingId) {
    if (!findBatch(pendingId))
        return;
    db::Recordset& rs = batches();
    std::vector<JournalEntry> records = decodeRecords(rs.text(EsitiField), QString());
    const auto kept = std::remove_if(records.begin(), records.end(), [&](const JournalEntry& r) {
        return r.pendingId == pendingId;
    });
    if (kept == records.end())
        return;
    records.erase(kept, records.end());
    rewriteBatch(rs, records);
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
    std::int32_t lo = entries.front().pendingId, hi = lo;
    for (const JournalEntry& e : entries) {
        lo = std::min(lo, e.pendingId);
        hi = std::max(hi, e.pendingId);
    }
    // A structured binding could not be captured by the lambda (clang).
    const std::pair<std::int32_t, std::int32_t> errors = errorRange(entries);
    const QString& when = entries.front().when;
    joinOrRun(m_store.workspace(), [&] {
        db::Recordset& rs = batches();
        rs.addNew();
        rs.setValue(PrimoPendente, db::Value(std::int64_t{lo}));
        rs.setValue(UltimoPendente, db::Value(std::int64_t{hi}));
        rs.setValue(PrimoErrore, db::Value(std::int64_t{errors.first}));
        rs.setValue(UltimoErrore, db::Value(std::int64_t{errors.second}));
        rs.setValue(Righe, db::Value(static_cast<std::int64_t>(entries.size())));
        rs.setValue(QuandoField, (when.isEmpty() ? now() : when).left(19));
        rs.setValue(EsitiField, encodeRecords(entries));
        rs.update();
    });
}

std::vector<JournalEntry> PostingJournal::outcomesBetween(std::int32_t from,
                                                          std::int32_t to) const {
    std::vector<JournalEntry> out;
    db::Recordset& rs = batches();
    rs.forEach(
        QStringLiteral("UltimoPendente >= %1 and PrimoPendente <= %2").arg(from).arg(to), [&] {
            for (JournalEntry& r : decodeRecords(rs.text(EsitiField), rs.text(QuandoField))) {
                if (r.pendingId >= from && r.pendingId <= to)
                    out.push_back(std::move(r));
            }
        });
    return out;
}

std::int32_t PostingJournal::reserveIds(int count) {
    return m_store.reserve(kTable, count);
}

int PostingJournal::markCleared(std::int32_t lastErrorId) {
    const auto upTo = [&](const QString& field) {
        return lastErrorId > 0 ? QStringLiteral("%1 > 0 and %1 <= %2").arg(field).arg(lastErrorId)
                               : QStringLiteral("%1 > 0").arg(field);
    };
    std::vector<std::int32_t> ids;
    db::Recordset& rs = rows();
    rs.forEach(upTo(QStringLiteral("Errore")),
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
        // The lines the transfer listed: their records go into their rows.
        std::vector<std::int32_t> listing;  // the batches' first Pendente
        db::Recordset& b = batchesByError();
        b.forEach(upTo(PrimoErrore),
                  [&] { listing.push_back(static_cast<std::int32_t>(b.integer(PrimoPendente))); });
        for (const std::int32_t first : listing) {
            if (!findBatch(first))
                continue;
            std::vector<JournalEntry> records =
                decodeRecords(batches().text(EsitiField), batches().text(QuandoField));
            std::vector<JournalEntry> kept, done;
            for (JournalEntry& r : records) {
                const bool listed = r.errorId > 0 && (lastErrorId <= 0 || r.errorId <= lastErrorId);
                (listed ? done : kept).push_back(std::move(r));
            }
            rewriteBatch(batches(), kept);
            for (JournalEntry& r : done) {
                r.outcome = Esito::Cancellato;
                r.errorId = 0;
                r.action = Azione::Cancella;
                r.when = when;
                cleared += writeIntoRow(r) ? 1 : 0;
            }
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
                dropRecord(static_cast<std::int32_t>(p));
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
    // Listed by the transfer: the error id is in its batch's records.
    db::Recordset& rs = batchesByError();
    rs.findFirst(QStringLiteral("UltimoErrore >= ?"), {std::int64_t{errorId}});
    if (rs.noMatch() || rs.integer(PrimoErrore) <= 0 || rs.integer(PrimoErrore) > errorId)
        return std::nullopt;
    for (const JournalEntry& r : decodeRecords(rs.text(EsitiField), QString())) {
        if (r.errorId == errorId)
            return byPendingId(r.pendingId);
    }
    return std::nullopt;
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
    // The outcome is known once the batches' records are laid over: with an
    // outcome asked for, the limit comes after the filter.
    rs->forEach(parts.join(QStringLiteral(" and ")), [&] {
        if (q.outcome || static_cast<int>(out.size()) < q.limit)
            out.push_back(read(*rs));
    });
    std::vector<JournalEntry> kept;
    BatchCache cache;
    for (JournalEntry& e : out) {
        if (static_cast<int>(kept.size()) >= q.limit)
            break;
        overlay(e, cache);
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
        case Esito::Rifiutato:
            return QStringLiteral("rifiutato alla cassa");
    }
    return QStringLiteral("esito %1").arg(static_cast<int>(outcome));
}

}  // namespace quorvel
