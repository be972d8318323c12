// The store of pending charge lines and error history, on the engine.
//
// A text field holds at most 255 characters, so a longer line is kept in
// consecutive rows of the same Progressivo, each carrying the number of rows
// of its line (Parti); a line of 255 characters or fewer is one row.
#include "transfer/ChargeStore.h"

#include "platform/Error.h"
#include "platform/Plural.h"
#include "transfer/ChargeLine.h"
#include "transfer/PostingJournal.h"
#include "transfer/RoomCodes.h"

#include <QFileInfo>
#include <algorithm>
#include <vector>

namespace quorvel {

namespace {

const QString Pendenti = QStringLiteral("Pendenti");
const QString Errori = QStringLiteral("Errori");
const QString Contatori = QStringLiteral("Contatori");
const QString Progressivo = QStringLiteral("Progressivo");
const QString Parti = QStringLiteral("Parti");
const QString Riga = QStringLiteral("Riga");
const QString AnyRow = QStringLiteral("Progressivo > 0");

constexpr int ChunkSize = 255;

db::TableDef lineTable(const QString& name) {
    db::TableDef def(name);
    def.appendField(Progressivo, db::FieldType::Int32);
    def.appendField(Parti, db::FieldType::Int16);
    def.appendField(Riga, db::FieldType::Text, ChunkSize);
    return def;
}

db::TableDef counterTable() {
    db::TableDef def(Contatori);
    def.appendField(QStringLiteral("Tabella"), db::FieldType::Text, 20);
    def.appendField(QStringLiteral("Ultimo"), db::FieldType::Int32);
    return def;
}

QStringList texts(const std::vector<ChargeStore::Line>& lines) {
    QStringList out;
    out.reserve(static_cast<qsizetype>(lines.size()));
    for (const auto& l : lines) out << l.text;
    return out;
}

// The lines whole, in one query; by default every line of table, walked in
// insertion order, which is Progressivo order.
std::vector<ChargeStore::Line> readLines(db::Database& database, const QString& table,
                                         const QString& criterion = AnyRow,
                                         const QString& order = QString()) {
    std::vector<ChargeStore::Line> out;
    auto rs = database.openRecordset(
        QStringLiteral("Select Progressivo, Riga From %1%2").arg(table, order));
    rs->forEach(criterion, [&] {
        const auto id = static_cast<std::int32_t>(rs->integer(Progressivo));
        if (!out.empty() && out.back().id == id)
            out.back().text += rs->text(Riga);
        else
            out.push_back({id, rs->text(Riga)});
    });
    return out;
}

// The numbers alone, ascending (the error history's from its index alone).
std::vector<std::int32_t> readIds(db::Database& database, const QString& table,
                                  const QString& criterion = AnyRow, std::int64_t skip = 0,
                                  std::int64_t rows = -1) {
    std::vector<std::int32_t> out;
    auto rs = database.openRecordset(
        QStringLiteral("Select Progressivo From %1 Order By Progressivo").arg(table));
    rs->forEach(criterion, skip, rows, [&] {
        const auto id = static_cast<std::int32_t>(rs->integer(Progressivo));
        if (out.empty() || out.back() != id)
            out.push_back(id);
    });
    return out;
}

}  // namespace

ChargeStore::ChargeStore(db::Workspace& ws, const QString& fileName) : m_ws(ws) {
    m_db = QFileInfo::exists(fileName)
               ? m_ws.openDatabase(fileName)
               : m_ws.createDatabase(fileName, QStringLiteral(";LANGID=0x0409;CP=1252;COUNTRY=0"));
    // A crash between creating the file and its tables leaves tables missing.
    if (!m_db->hasTable(Pendenti))
        m_db->appendTable(lineTable(Pendenti));
    if (!m_db->hasTable(Errori))
        m_db->appendTable(lineTable(Errori));
    if (!m_db->hasTable(Contatori))
        m_db->appendTable(counterTable());
    // The history is read and removed by number; the queue, which every
    // line of every file passes, stays without one.
    m_db->createIndex(Errori, {Progressivo});
    // The window pages through the history by row when no line in it takes
    // several rows: the rare long lines are found by this index.
    m_db->createIndex(Errori, {Parti});
    m_journal = std::make_unique<PostingJournal>(*this);
}

ChargeStore::~ChargeStore() = default;

std::vector<ChargeStore::Line> ChargeStore::pendingLines() const {
    return readLines(*m_db, Pendenti);
}

QStringList ChargeStore::pending() const {
    return texts(pendingLines());
}

QStringList ChargeStore::errors() const {
    return texts(readLines(*m_db, Errori));
}

std::vector<ChargeStore::Line> ChargeStore::errorLines() const {
    return readLines(*m_db, Errori);
}

ChargeStore::ListsMark ChargeStore::listsMark() const {
    auto counters = m_db->openRecordset(Contatori);
    auto last = [&](const QString& table) {
        counters->findFirst(QStringLiteral("Tabella = ?"), {table});
        return counters->noMatch()
                   ? 0
                   : static_cast<std::int32_t>(counters->integer(QStringLiteral("Ultimo")));
    };
    auto pending = m_db->openRecordset(Pendenti);
    auto errors = m_db->openRecordset(Errori);
    // A line added between reading the numbers and counting the rows would
    // be counted but not bounded by the mark: read again until both agree.
    // A writer that never pauses gets the last reading: the next tick's
    // mark differs and the lists are shown again.
    ListsMark mark{last(Pendenti), last(Errori), 0, 0};
    for (int attempt = 0;; ++attempt) {
        mark.pendingRows = pending->count();
        mark.errorRows = errors->count();
        const ListsMark after{last(Pendenti), last(Errori), mark.pendingRows, mark.errorRows};
        if (after == mark || attempt == 4)
            return after;
        mark = after;
    }
}

std::vector<ChargeStore::Line> ChargeStore::errorRowsAt(std::int32_t lastId, std::int64_t skip,
                                                        std::int64_t rows) const {
    std::vector<Line> out;
    auto rs = m_db->openRecordset(
        QStringLiteral("Select Progressivo, Riga From %1 Order By Progressivo").arg(Errori));
    rs->forEach(QStringLiteral("Progressivo <= %1").arg(lastId), skip, rows, [&] {
        out.push_back({static_cast<std::int32_t>(rs->integer(Progressivo)), rs->text(Riga)});
    });
    return out;
}

std::vector<std::int32_t> ChargeStore::errorIdsAt(std::int32_t lastId, std::int64_t skip,
                                                  std::int64_t rows) const {
    return readIds(*m_db, Errori, QStringLiteral("Progressivo <= %1").arg(lastId), skip, rows);
}

std::vector<ChargeStore::Line> ChargeStore::errorLinesBetween(std::int32_t firstId,
                                                              std::int32_t lastId) const {
    return readLines(
        *m_db, Errori,
        QStringLiteral("Progressivo >= %1 And Progressivo <= %2").arg(firstId).arg(lastId),
        QStringLiteral(" Order By Progressivo"));
}

std::vector<std::int32_t> ChargeStore::longErrorLines(std::int32_t lastId) const {
    std::vector<std::int32_t> out;
    auto rs = m_db->openRecordset(
        QStringLiteral("Select Progressivo From %1 Order By Parti").arg(Errori));
    rs->forEach(QStringLiteral("Parti > 1 And Progressivo <= %1").arg(lastId),
                [&] { out.push_back(static_cast<std::int32_t>(rs->integer(Progressivo))); });
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return out;
}

bool ChargeStore::hasPending() const {
    auto rs = m_db->openRecordset(Pendenti);
    rs->findFirst(AnyRow);
    return !rs->noMatch();
}

std::int32_t ChargeStore::reserve(const QString& table, int count) {
    auto rs = m_db->openRecordset(Contatori);
    rs->findFirst(QStringLiteral("Tabella = '%1'").arg(table));
    std::int64_t last = 0;
    if (rs->noMatch()) {
        rs->addNew();
        rs->setValue(QStringLiteral("Tabella"), table);
    } else {
        last = rs->integer(QStringLiteral("Ultimo"));
        rs->edit();
    }
    if (last + count > INT32_MAX)
        throw Error(m_db->path(), QStringLiteral("numerazione delle righe esaurita"));
    rs->setValue(QStringLiteral("Ultimo"), db::Value(last + count));
    rs->update();
    return static_cast<std::int32_t>(last + 1);
}

std::int32_t ChargeStore::append(const QString& table, const QStringList& lines) {
    if (lines.isEmpty())
        return 0;
    std::int32_t first = 0;
    joinOrRun(m_ws, [&] {
        std::int32_t id = first = reserve(table, static_cast<int>(lines.size()));
        auto rs = m_db->openRecordset(table);
        for (const QString& line : lines) {
            const qsizetype parts =
                std::max<qsizetype>(1, (line.size() + ChunkSize - 1) / ChunkSize);
            if (parts > INT16_MAX)
                throw Error(m_db->path(),
                            QStringLiteral("riga troppo lunga (%1 caratteri)").arg(line.size()));
            for (qsizetype p = 0; p < parts; ++p) {
                rs->addNew();
                rs->setValue(Progressivo, db::Value(std::int64_t{id}));
                rs->setValue(Parti, db::Value(std::int64_t{parts}));
                rs->setValue(Riga, line.mid(p * ChunkSize, ChunkSize));
                rs->update();
            }
            ++id;
        }
    });
    return first;
}

std::int32_t ChargeStore::appendPending(const QStringList& lines) {
    return append(Pendenti, lines);
}

std::int32_t ChargeStore::appendErrors(const QStringList& lines) {
    return append(Errori, lines);
}

ChargeStore::Intake ChargeStore::appendChargesFile(const PosText& file, const QString& fileName,
                                                   std::int32_t firstLineNo) {
    Intake out;
    // A NUL cannot reach the server (libpq ends a text there): on either
    // store it becomes a space, so the columns after it stay in place.
    QStringList lines = file.lines;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (lines[i].contains(QChar(0))) {
            lines[i].replace(QChar(0), u' ');
            out.problems << QStringLiteral("%1, riga %2: byte NUL sostituito da uno spazio")
                                .arg(fileName)
                                .arg(i + 1);
        }
    }
    const qsizetype n = lines.size();
    std::vector<bool> listed(static_cast<std::size_t>(n), file.utf8);
    int tooLong = 0;
    for (qsizetype i = 0; i < n && !file.utf8; ++i) {
        if (file.length(i) <= MaxLineLength)
            continue;
        ++tooLong;
        listed[static_cast<std::size_t>(i)] = true;
        QString along;
        if (charge::isDiscount(lines[i])) {
            if (i > 0 && !charge::isDiscount(lines[i - 1])) {
                listed[static_cast<std::size_t>(i - 1)] = true;
                along = QStringLiteral(", con l'addebito della riga %1").arg(firstLineNo + i - 1);
            }
        } else if (i + 1 < n && charge::isDiscount(lines[i + 1])) {
            listed[static_cast<std::size_t>(i + 1)] = true;
            along = QStringLiteral(", con lo sconto della riga %1").arg(firstLineNo + i + 1);
        }
        out.problems << QStringLiteral(
                            "%1, riga %2: riga di %3 caratteri, oltre il limite di %4: "
                            "non trasferita, nello storico errori tagliata a %4 "
                            "caratteri%5")
                            .arg(fileName)
                            .arg(firstLineNo + i)
                            .arg(file.length(i))
                            .arg(MaxLineLength)
                            .arg(along);
    }
    QStringList pending;
    QStringList errors;
    for (qsizetype i = 0; i < n; ++i)
        (listed[static_cast<std::size_t>(i)] ? errors : pending) << lines[i].left(MaxLineLength);
    // The room code as read, for the journal; a side file that cannot be
    // read now fails the transfer later, not the intake.
    std::optional<RoomCodePosition> position;
    RoomMap rooms;
    try {
        position = readRoomCodePosition();
        rooms = RoomMap::read();
    } catch (const std::exception&) {
    }
    std::vector<JournalEntry> rows(static_cast<std::size_t>(n));
    std::vector<ReceivedCount> counts;
    joinOrRun(m_ws, [&] {
        std::int32_t pendingId = appendPending(pending);
        std::int32_t errorId = appendErrors(errors);
        // A listed line gets a queue number too (never pending), so that a
        // "Sconto" line can name its charge by it.
        std::int32_t listedNumber =
            errors.isEmpty() ? 0 : reserve(Pendenti, static_cast<int>(errors.size()));
        for (qsizetype i = 0; i < n; ++i) {
            JournalEntry& e = rows[static_cast<std::size_t>(i)];
            const QString& line = lines[i];
            e.archive = fileName;
            e.lineNo = firstLineNo + static_cast<std::int32_t>(i);
            e.line = line.left(MaxLineLength);
            e.day = charge::readableDay(line);
            if (position) {
                e.posRoom = charge::columns(line, position->start, position->length);
                e.mappedRoom = e.room = rooms.hotelRoom(e.posRoom);
            }
            e.amount = charge::amount(line);
            if (i > 0 && charge::isDiscount(line) && !charge::isDiscount(lines[i - 1])) {
                e.receivedAfter = rows[static_cast<std::size_t>(i - 1)].pendingId;
            } else if (i == 0 && firstLineNo > 1 && charge::isDiscount(line)) {
                // The file's next part, or what the POS wrote after it was
                // taken: the charge is the last line taken before.
                const auto before = m_journal->receivedAt(fileName, firstLineNo - 1, e.day);
                if (before && !charge::isDiscount(before->line))
                    e.receivedAfter = before->pendingId;
            }
            if (!listed[static_cast<std::size_t>(i)]) {
                e.pendingId = pendingId++;
            } else {
                e.pendingId = listedNumber++;
                e.outcome = Esito::Storico;
                e.errorId = errorId++;
                e.reason = file.utf8 ? Motivo::FileUtf8 : Motivo::RigaTroppoLunga;
                e.reasonText = file.utf8 ? QStringLiteral("File in UTF-8 invece di Windows-1252")
                               : file.length(i) > MaxLineLength
                                   ? QStringLiteral("Riga troppo lunga (oltre %1 caratteri)")
                                         .arg(MaxLineLength)
                                   : QStringLiteral("Insieme a una riga troppo lunga");
            }
            auto c = std::find_if(counts.begin(), counts.end(),
                                  [&](const ReceivedCount& r) { return r.day == e.day; });
            if (c == counts.end())
                c = counts.insert(counts.end(), ReceivedCount{fileName, e.day, 0, Currency()});
            ++c->lines;
            if (e.amount)
                c->sum = c->sum + *e.amount;
        }
        m_journal->add(rows);
        m_journal->addReceived(counts);
    });
    out.pending = static_cast<int>(pending.size());
    out.listed = static_cast<int>(errors.size());
    if (file.utf8) {
        qsizetype cut = 0;
        for (qsizetype i = 0; i < n; ++i) cut += file.length(i) > MaxLineLength;
        out.problems << QStringLiteral(
                            "%1: file in UTF-8 invece di Windows-1252, colonne non "
                            "affidabili: %2 nello storico errori, nessuna "
                            "trasferita%3")
                            .arg(fileName)
                            .arg(counted(out.listed, QStringLiteral("riga"),
                                         QStringLiteral("righe")))
                            .arg(cut == 0
                                     ? QString()
                                     : plural(cut, QStringLiteral(" (%1 tagliata a %2 caratteri)"),
                                              QStringLiteral(" (%1 tagliate a %2 caratteri)"))
                                           .arg(MaxLineLength));
        out.notice = QStringLiteral(
                         "Addebiti di %1 non trasferiti: il file è in UTF-8 invece "
                         "di Windows-1252. %2 nello storico errori.")
                         .arg(fileName)
                         .arg(counted(out.listed, QStringLiteral("riga"), QStringLiteral("righe")));
    } else if (tooLong > 0) {
        out.notice = plural(tooLong,
                            QStringLiteral("%2: %1 riga troppo lunga (oltre %3 caratteri) non "
                                           "trasferita, nello storico errori: vedere il registro"),
                            QStringLiteral("%2: %1 righe troppo lunghe (oltre %3 caratteri) non "
                                           "trasferite, nello storico errori: vedere il registro"))
                         .arg(fileName)
                         .arg(MaxLineLength);
    }
    return out;
}

namespace {

// Removes every row of line id; false when there is none. The rows of a
// line are consecutive, and the line removed is usually the first one left:
// that case takes one find with a criterion that never changes (so the
// engine parses it once) and stops at the first row.
bool removeLine(db::Recordset& rs, std::int32_t id) {
    rs.findFirst(AnyRow);
    if (rs.noMatch())
        return false;
    QString criterion = AnyRow;
    if (rs.integer(Progressivo) != id) {
        criterion = QStringLiteral("Progressivo = %1").arg(id);
        rs.findFirst(criterion);
        if (rs.noMatch())
            return false;
    }
    const std::int64_t parts = rs.integer(Parti);
    rs.remove();
    for (std::int64_t p = 1; p < parts; ++p) {
        rs.findFirst(criterion);
        if (rs.noMatch() || rs.integer(Progressivo) != id)
            break;
        rs.remove();
    }
    return true;
}

}  // namespace

bool ChargeStore::removePending(std::int32_t id) {
    bool found = false;
    joinOrRun(m_ws, [&] {
        auto rs = m_db->openRecordset(Pendenti);
        found = removeLine(*rs, id);
    });
    return found;
}

void ChargeStore::removePending(const std::vector<std::int32_t>& ids) {
    if (ids.empty())
        return;
    joinOrRun(m_ws, [&] {
        auto rs = m_db->openRecordset(Pendenti);
        // Usually the ids are every line from the first to the last given
        // (a transfer batch): then one DELETE removes them all.
        const auto [lo, hi] = std::minmax_element(ids.begin(), ids.end());
        const QString range =
            QStringLiteral("Progressivo >= %1 and Progressivo <= %2").arg(*lo).arg(*hi);
        std::vector<std::int32_t> present;
        rs->forEach(range, [&] {
            const auto id = static_cast<std::int32_t>(rs->integer(Progressivo));
            if (present.empty() || present.back() != id)
                present.push_back(id);
        });
        std::vector<std::int32_t> wanted = ids;
        std::sort(wanted.begin(), wanted.end());
        std::sort(present.begin(), present.end());
        present.erase(std::unique(present.begin(), present.end()), present.end());
        if (present == wanted) {
            rs->removeAll(range);
            return;
        }
        for (const std::int32_t id : ids) {
            if (!removeLine(*rs, id))
                throw Error(
                    m_db->path(),
                    QStringLiteral("riga in attesa %1 non trovata: coda modificata da altri")
                        .arg(id));
        }
    });
}

bool ChargeStore::removeError(std::int32_t id) {
    bool found = false;
    joinOrRun(m_ws, [&] {
        // One DELETE whose count says whether the line was still there: on
        // the server a rival's uncommitted removal makes it wait, then count
        // 0, where a find and a delete would both have seen the row.
        auto rs = m_db->openRecordset(Errori);
        found = rs->removeAll(QStringLiteral("Progressivo = %1").arg(id)) > 0;
    });
    return found;
}

void ChargeStore::clearErrors() {
    joinOrRun(m_ws, [&] {
        auto rs = m_db->openRecordset(Errori);
        for (rs->findFirst(AnyRow); !rs->noMatch(); rs->findFirst(AnyRow)) rs->remove();
        m_journal->markCleared(0);
    });
}

namespace {

// Removes the rows that meet the criterion; returns how many lines they were
// (a line is one or more rows, its Parti, under one number).
int removeLines(db::Recordset& rs, const QString& criterion) {
    int removed = 0;
    std::int64_t previous = 0;
    rs.forEach(criterion, [&] {
        const std::int64_t id = rs.integer(Progressivo);
        removed += id != previous;
        previous = id;
    });
    rs.removeAll(criterion);
    return removed;
}

}  // namespace

int ChargeStore::clearErrorsUpTo(std::int32_t lastId) {
    int removed = 0;
    joinOrRun(m_ws, [&] {
        auto rs = m_db->openRecordset(Errori);
        removed = removeLines(*rs, QStringLiteral("Progressivo <= %1").arg(lastId));
        m_journal->markCleared(lastId);
    });
    return removed;
}

}  // namespace quorvel
