// The soak's ledger: drafting the POS files and checking what the hotel holds.
#include "soak/Ledger.h"

#include "hotel/PosFiles.h"
#include "hotel/SqliteFile.h"
#include "platform/Currency.h"
#include "platform/TextFile.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>

namespace quorvel::soak {

namespace {

// Odd, below 50 and prime to 10: a count c of such a line can only leave
// the digit u when c is 1 (or above 100).
const int Units[] = {1, 3, 7, 9, 11, 13, 17, 19, 21, 23, 27, 29, 31, 33, 37, 39, 41, 43, 47, 49};
const qint64 Place[] = {1, 100, 10000};
constexpr int GroupSize = 3;
const QDate FirstDay(2024, 1, 1);

QString mapKey(const QString& line) {
    return line.left(line.indexOf(QLatin1Char(','))).trimmed();
}

// CameraHotel over the map's lines: the last line whose key is code.
QString hotelRoomOf(const QStringList& map, const QString& code) {
    QString room = code;
    for (const QString& line : map) {
        const qsizetype comma = line.indexOf(QLatin1Char(','));
        if (comma >= 0 && mapKey(line) == code)
            room = line.mid(comma + 1);
    }
    return room;
}

// CameraPos over the map's lines.
QString posCodeOf(const QStringList& map, const QString& room) {
    QString code = room;
    for (const QString& line : map) {
        const qsizetype comma = line.indexOf(QLatin1Char(','));
        if (comma >= 0 && line.mid(comma + 1) == room)
            code = mapKey(line);
    }
    return code;
}

bool holdsRoom(const std::vector<hotel::GuestCard>& cards, const QString& room) {
    for (const hotel::GuestCard& c : cards) {
        if (c.partito != QLatin1String("S") &&
            c.numeroCamera.compare(room, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

template <class T>
QString key(const QString& a, T b) {
    return a + QLatin1Char('|') + QStringLiteral("%1").arg(b);
}

}  // namespace

SoakTargets soakTargets(const hotel::HotelData& hotel, const QStringList& map) {
    SoakTargets t;
    QSet<QString> taken;  // every code or number something answers to
    for (const hotel::Room& r : hotel.rooms) taken.insert(r.numeroCamera.toUpper());
    for (const QString& line : map) taken.insert(mapKey(line).toUpper());
    for (const QString& room : hotel.inHouseRooms()) {
        const QString code = posCodeOf(map, room);
        if (code.size() == 3 && hotelRoomOf(map, code) == room && room.trimmed() == room)
            t.rooms.push_back({room, code, hotel.inHouseGuest(room)->numeroProgressivo});
        t.noticeRooms << room;
    }
    QSet<QString> seen;
    for (const hotel::GuestCard& c : hotel.externals) {
        const QString& n = c.numeroCamera;
        if (c.numeroHotel != 1 || c.partito != QLatin1String("N") || seen.contains(n))
            continue;
        seen.insert(n);
        taken.insert(n.toUpper());
        if (n.size() == 3 && hotelRoomOf(map, n) == n && !holdsRoom(hotel.guests, n))
            t.externals.push_back({n, c.numeroProgressivo});
    }
    for (const char* code : {"Z01", "Z02", "X77", "Q9Q"}) {
        if (!taken.contains(QString::fromLatin1(code)))
            t.unknownCodes << QString::fromLatin1(code);
    }
    int n = 0;
    for (const hotel::Room& r : hotel.rooms) {
        if (holdsRoom(hotel.guests, r.numeroCamera) || holdsRoom(hotel.externals, r.numeroCamera))
            continue;
        (n++ % 2 == 0 ? t.freeRooms : t.emptyRooms) << r.numeroCamera;
    }
    return t;
}

Ledger::Ledger(SoakTargets targets, std::uint64_t seed)
    : m_targets(std::move(targets)), m_random(seed) {
    m_state.nextDay.assign(m_targets.rooms.size(), 0);
}

void Ledger::roomCharge(QStringList& lines) {
    const int r = static_cast<int>(m_random.between(0, m_targets.rooms.size() - 1));
    const SoakTargets::Room& room = m_targets.rooms[r];
    const QDate day = FirstDay.addDays(m_draft.nextDay[r]);
    const QString k = key(room.room, day.toString(QStringLiteral("yyyyMMdd")));
    Group& g = m_draft.groups[k];
    g.room = r;
    g.day = day.toString(QStringLiteral("yyyyMMdd"));
    const GroupLine gl{Units[m_random.between(0, std::size(Units) - 1)],
                       static_cast<int>(m_random.between(1, 3))};
    const qint64 net = gl.u * Place[g.lines.size()];
    g.lines.push_back(gl);
    if (g.lines.size() == GroupSize || m_random.percent(30))
        ++m_draft.nextDay[r];  // the next line of this room opens a new group

    const qint64 discount = m_random.percent(25) ? 50 * m_random.between(1, 6) : 0;
    hotel::ChargeLine line;
    line.posRoom = room.posCode;
    line.day = day.toString(QStringLiteral("yyMMdd"));
    line.description = QStringLiteral("PRANZO");
    line.quantity = gl.quantity;
    line.amountCents = net + discount;
    if (!m_random.percent(20))
        line.unitCents = line.amountCents / gl.quantity;
    line.receipt = static_cast<int>(++m_draft.serial % 1000000);
    lines << hotel::formatChargeLine(line);
    if (discount) {
        line.description = QStringLiteral("Sconto");
        line.quantity = 1;
        line.amountCents = -discount;
        line.unitCents.reset();
        lines << hotel::formatChargeLine(line);
    }
}

void Ledger::externalCharge(QStringList& lines) {
    const auto& ext = m_targets.externals[m_random.between(0, m_targets.externals.size() - 1)];
    const qint64 net = 2000 + ++m_draft.serial;
    const qint64 discount = m_random.percent(20) ? 10 * m_random.between(1, 9) : 0;
    hotel::ChargeLine line;
    line.posRoom = ext.number;
    line.day = QStringLiteral("250307");
    line.description = m_random.percent(50) ? QStringLiteral("BEVANDE") : QStringLiteral("CAFFE");
    line.amountCents = net + discount;
    line.unitCents = line.amountCents;
    line.receipt = static_cast<int>(m_draft.serial % 1000000);
    lines << hotel::formatChargeLine(line);
    if (discount) {
        line.description = QStringLiteral("Sconto");
        line.amountCents = -discount;
        line.unitCents.reset();
        lines << hotel::formatChargeLine(line);
    }
    m_draft.externals.emplace_back(ext.number, net);
}

// A line that belongs in the error history: a room nobody holds, an amount
// that is not a number, or a line cut short.
void Ledger::failingCharge(QStringList& lines) {
    const qint64 serial = ++m_draft.serial;
    const int kind = static_cast<int>(m_random.between(0, 9));
    if (kind < 2 && !m_targets.rooms.empty()) {
        const QString text = QStringLiteral(" %1 250307 RIGA TRONCATA %2")
                                 .arg(m_targets.rooms.front().posCode)
                                 .arg(serial);
        lines << text;
        m_draft.errors << text;
        return;
    }
    hotel::ChargeLine line;
    line.posRoom =
        kind < 4 && !m_targets.rooms.empty()
            ? m_targets.rooms.front().posCode
            : m_targets.unknownCodes.at(m_random.between(0, m_targets.unknownCodes.size() - 1));
    line.day = QStringLiteral("250307");
    line.description = QStringLiteral("COPERTO");
    line.amountCents = 250 + serial % 1000;
    line.unitCents = line.amountCents;
    line.receipt = static_cast<int>(serial % 1000000);
    QString text = hotel::formatChargeLine(line);
    if (kind < 4)
        text.replace(56, 6, QStringLiteral("12X4AB"));  // the amount columns
    lines << text;
    m_draft.errors << text;
    if (kind >= 4 && m_random.percent(20)) {
        // The discount of a charge that fails is listed with it.
        line.description = QStringLiteral("Sconto");
        line.amountCents = -50;
        line.unitCents.reset();
        lines << hotel::formatChargeLine(line);
        m_draft.errors << lines.last();
    }
}

QStringList Ledger::draftCharges(int charges) {
    m_draft = m_state;
    QStringList lines;
    for (int i = 0; i < charges; ++i) {
        const int roll = static_cast<int>(m_random.between(0, 99));
        if (roll < 65 && !m_targets.rooms.empty())
            roomCharge(lines);
        else if (roll < 85 && !m_targets.externals.empty())
            externalCharge(lines);
        else
            failingCharge(lines);
    }
    return lines;
}

void Ledger::commitFile(PosFile kind, const QByteArray& bytes, FileForm form) {
    m_state = std::move(m_draft);
    m_files.emplace_back(kind, bytes);
    m_lfOnly += form.lfOnly ? 1 : 0;
    m_inPlace += form.inPlace ? 1 : 0;
}

void Ledger::commitCharges(const QByteArray& bytes, FileForm form) {
    commitFile(PosFile::Charges, bytes, form);
    ++m_chargeFiles;
}

QStringList Ledger::draftClosing(int receipts) {
    m_draft = m_state;
    const QString rule(40, QLatin1Char('-'));
    // The file's own number makes even a file without receipts unique, so
    // that its archive can be told from any other.
    QStringList lines = {QStringLiteral("        RISTORANTE DA QUORVEL"),
                         QStringLiteral("  Chiusura giornaliera n. %1").arg(++m_draft.serial),
                         rule};
    for (int i = 1; i <= receipts; ++i) {
        const qint64 cents = 5000 + ++m_draft.serial;
        // Now and then an amount that is no number: logged, never imported.
        const bool unreadable = m_random.percent(5);
        if (!unreadable)
            m_draft.receipts.push_back(cents);
        lines << QStringLiteral("  Scontrino: %1      ore 21:30").arg(i, 4, 10, QLatin1Char('0'));
        lines << QStringLiteral("  Totale €").leftJustified(26, QLatin1Char(' ')) +
                     (unreadable
                          ? QStringLiteral("illeggibile")
                          : Currency::fromCents(cents).format(QLocale(QLocale::Italian), 2, false))
                         .rightJustified(14);
        if (m_random.percent(20))
            lines << QStringLiteral(" Scontrino: ristampa non fiscale");
        lines << rule;
    }
    lines << QStringLiteral("  Scontrini emessi: %1").arg(receipts);
    return lines;
}

void Ledger::commitClosing(const QByteArray& bytes, FileForm form) {
    commitFile(PosFile::Closing, bytes, form);
    ++m_closingFiles;
}

void Ledger::checkRoomAccounts(const std::vector<AccountRow>& rows, Tally& tally) const {
    struct Sum {
        qint64 cents = 0;
        double quantity = 0;
        int rows = 0;
        QSet<qint64> clients;
    };
    std::map<QString, Sum> sums;
    for (const AccountRow& r : rows) {
        Sum& s = sums[key(r.room, r.day)];
        s.cents += r.importoCents;
        s.quantity += r.quantity;
        ++s.rows;
        s.clients.insert(r.client);
    }
    for (const auto& [k, g] : m_state.groups) {
        tally.roomLines += static_cast<qint64>(g.lines.size());
        const auto it = sums.find(k);
        const Sum found = it == sums.end() ? Sum() : it->second;
        qint64 cents = 0;
        double quantity = 0;
        for (std::size_t j = 0; j < g.lines.size(); ++j) {
            cents += g.lines[j].u * Place[j];
            quantity += g.lines[j].quantity;
        }
        const qint64 client = m_targets.rooms[g.room].client;
        if (found.clients.size() > 1 || (found.rows && !found.clients.contains(client)))
            tally.problem(QStringLiteral("%1: righe di un altro cliente").arg(k));
        if (found.cents == cents && found.quantity == quantity) {
            if (it != sums.end())
                sums.erase(it);
            continue;
        }
        tally.problem(QStringLiteral("%1: Importo %2 (atteso %3), Quantità %4 (attesa %5)")
                          .arg(k)
                          .arg(found.cents)
                          .arg(cents)
                          .arg(found.quantity)
                          .arg(quantity));
        for (std::size_t j = 0; j < g.lines.size(); ++j) {
            const qint64 digit = found.cents / Place[j] % 100;
            const qint64 count = digit % g.lines[j].u == 0 ? digit / g.lines[j].u : 0;
            tally.lost += count == 0 ? 1 : 0;
            tally.doubled += count > 1 ? count - 1 : 0;
        }
        if (found.cents >= 100 * Place[g.lines.size() - 1])
            ++tally.doubled;
        if (it != sums.end())
            sums.erase(it);
    }
    for (const auto& [k, s] : sums) {
        tally.problem(QStringLiteral("%1: %2 righe che nessuno ha mandato").arg(k).arg(s.rows));
        tally.doubled += s.rows;
    }
}

void Ledger::checkExternalAccounts(const std::vector<AccountRow>& rows, Tally& tally) const {
    QHash<QString, int> balance;
    for (const auto& [number, cents] : m_state.externals) ++balance[key(number, cents)];
    tally.externalLines += static_cast<qint64>(m_state.externals.size());
    for (const AccountRow& r : rows) --balance[key(r.room, r.importoCents)];
    for (auto it = balance.cbegin(); it != balance.cend(); ++it) {
        if (it.value() > 0) {
            tally.lost += it.value();
            tally.problem(QStringLiteral("esterno %1 mancante").arg(it.key()));
        } else if (it.value() < 0) {
            tally.doubled -= it.value();
            tally.problem(QStringLiteral("esterno %1 in più").arg(it.key()));
        }
    }
}

void Ledger::checkErrorHistory(const QStringList& errors, Tally& tally) const {
    QHash<QString, int> balance;
    for (const QString& e : m_state.errors) ++balance[e];
    tally.errorLines += m_state.errors.size();
    for (const QString& e : errors) --balance[e];
    for (auto it = balance.cbegin(); it != balance.cend(); ++it) {
        if (it.value() > 0) {
            tally.lost += it.value();
            tally.problem(QStringLiteral("storico errori senza: %1").arg(it.key()));
        } else if (it.value() < 0) {
            tally.doubled -= it.value();
            tally.problem(QStringLiteral("storico errori in più: %1").arg(it.key()));
        }
    }
}

void Ledger::checkReceipts(const std::vector<qint64>& importoCents, Tally& tally) const {
    QHash<qint64, int> balance;
    for (qint64 c : m_state.receipts) ++balance[c];
    tally.receipts += static_cast<qint64>(m_state.receipts.size());
    for (qint64 c : importoCents) --balance[c];
    for (auto it = balance.cbegin(); it != balance.cend(); ++it) {
        if (it.value() > 0)
            tally.lost += it.value();
        else if (it.value() < 0)
            tally.doubled -= it.value();
        if (it.value() != 0)
            tally.problem(QStringLiteral("incasso %1: %2").arg(it.key()).arg(-it.value()));
    }
}

void Ledger::checkArchives(PosFile kind, const QMap<QString, QByteArray>& archives,
                           Tally& tally) const {
    QHash<QByteArray, int> balance;
    for (const auto& [k, bytes] : m_files) {
        if (k == kind)
            ++balance[bytes];
    }
    for (auto it = archives.cbegin(); it != archives.cend(); ++it) {
        const auto b = balance.find(it.value());
        if (b != balance.end() && b.value() > 0) {
            --b.value();
            ++tally.archives;
            continue;
        }
        ++tally.archivesExtra;
        tally.problem(QStringLiteral("archivio %1: %2 byte che la cassa non ha scritto così")
                          .arg(it.key())
                          .arg(it.value().size()));
    }
    for (auto b = balance.cbegin(); b != balance.cend(); ++b) {
        if (b.value() <= 0)
            continue;
        tally.archivesMissing += b.value();
        const QString first = decodeCp1252(b.key().left(60))
                                  .section(QRegularExpression(QStringLiteral("[\r\n]")), 0, 0);
        tally.problem(QStringLiteral("archivio mancante o sovrascritto: file di %1 byte, riga 1 "
                                     "\"%2\"")
                          .arg(b.key().size())
                          .arg(first.trimmed()));
    }
}

QByteArray posFileBytes(const QStringList& lines, bool lfOnly) {
    QByteArray bytes;
    for (const QString& line : lines) bytes += encodeCp1252(line) + (lfOnly ? "\n" : "\r\n");
    return bytes;
}

QMap<QString, QByteArray> readArchives(const QString& path) {
    const QFileInfo stem(path.size() < 4 ? path : path.left(path.size() - 4));
    const QRegularExpression name(QStringLiteral("^") +
                                  QRegularExpression::escape(stem.fileName()) +
                                  QStringLiteral("_[0-9]{14}(_[0-9]+)?\\.txt$"));
    QMap<QString, QByteArray> archives;
    const QDir dir = stem.absoluteDir();
    for (const QString& file : dir.entryList(QDir::Files | QDir::Hidden)) {
        if (!name.match(file).hasMatch())
            continue;
        QFile f(dir.filePath(file));
        archives[file] = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(illeggibile)");
    }
    return archives;
}

std::vector<AccountRow> readAccountRows(const QString& path, qint64 baseline,
                                        const QSet<qint64>& skip) {
    hotel::SqliteFile f(path, true);
    hotel::Statement q(f, QStringLiteral("SELECT rowid, CodiceCliente, NumeroCamera, DataAddebito, "
                                         "VoceAddebito, Importo, \"Quantità\" FROM Conto_Cliente "
                                         "WHERE rowid > ? ORDER BY rowid"));
    q.bindInt(1, baseline);
    std::vector<AccountRow> rows;
    while (q.next()) {
        if (skip.contains(q.integer(0)))
            continue;
        const qint64 importo = q.integer(5);
        rows.push_back({q.integer(0), q.integer(1), q.integer(4), q.text(2), q.text(3),
                        importo / 100, q.text(6).toDouble()});
        if (importo % 100 != 0)
            rows.back().importoCents = -1;  // never a whole number of cents: surely wrong
    }
    return rows;
}

std::vector<qint64> readReceiptAmounts(const QString& path, qint64 baseline) {
    hotel::SqliteFile f(path, true);
    hotel::Statement q(f, QStringLiteral("SELECT Importo FROM Incassi WHERE rowid > ?"));
    q.bindInt(1, baseline);
    std::vector<qint64> cents;
    while (q.next()) cents.push_back(q.integer(0) / 100);
    return cents;
}

}  // namespace quorvel::soak
