// The POS and the hotel system of the soak.
#include "soak/Simulators.h"

#include "hotel/SqliteFile.h"
#include "platform/Error.h"

#include <sqlite3.h>
#include <QDir>
#include <QFile>
#include <algorithm>
#include <chrono>

namespace quorvel::soak {

namespace {

void sleepMs(qint64 ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

QString inDir(const QString& dir, const QString& file) {
    return QDir(dir).filePath(file);  // an absolute file stays as it is
}

// The hotel system's connection: waits long on locks, as a busy client would.
class Connection : public hotel::SqliteFile {
public:
    explicit Connection(const QString& path) : SqliteFile(path) {
        sqlite3_busy_timeout(handle(), 20000);
    }
};

// BEGIN mode ... COMMIT, rolled back when not committed.
class Tx {
public:
    Tx(hotel::SqliteFile& f, const char* mode) : m_f(f) {
        m_f.exec(QStringLiteral("BEGIN ") + QString::fromLatin1(mode));
    }
    ~Tx() {
        if (!m_done)
            sqlite3_exec(m_f.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
    }
    Tx(const Tx&) = delete;
    Tx& operator=(const Tx&) = delete;
    void commit() {
        m_f.exec(QStringLiteral("COMMIT"));
        m_done = true;
    }

private:
    hotel::SqliteFile& m_f;
    bool m_done = false;
};

const QString OwnText = QString::fromLatin1(HotelOwnText);

HotelSystem::Row readRow(hotel::SqliteFile& f, qint64 rowid) {
    hotel::Statement q(f, QStringLiteral("SELECT Importo, \"Quantità\", Fatturato FROM "
                                         "Conto_Cliente WHERE rowid = ?"));
    q.bindInt(1, rowid);
    if (!q.next())
        return {-1, QStringLiteral("(cancellata)"), QString()};
    return {q.integer(0), q.text(1), q.text(2)};
}

void writeAll(QFile& f, const QByteArray& bytes) {
    if (f.write(bytes) != bytes.size() || !f.flush())
        throw Error(f.fileName(), QStringLiteral("errore di scrittura: ") + f.errorString());
}

}  // namespace

bool dropFile(const QString& target, const QString& tmp, const QByteArray& bytes) {
    if (QFile::exists(target))
        return false;
    {
        QFile f(tmp);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            throw Error(tmp, QStringLiteral("impossibile creare il file: ") + f.errorString());
        writeAll(f, bytes);
    }
    if (QFile::rename(tmp, target))  // never replaces an existing file
        return true;
    QFile::remove(tmp);
    return false;
}

bool writeInPlace(const QString& target, const QByteArray& bytes, int pieces, int pauseMs,
                  hotel::Random& random) {
    QFile f(target);
    if (!f.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return false;  // still there: never written over
    const qsizetype n = std::clamp<qsizetype>(pieces, 1, std::max<qsizetype>(bytes.size(), 1));
    for (qsizetype i = 0; i < n; ++i) {
        if (i > 0)
            sleepMs(random.between(pauseMs / 2, pauseMs));
        const qsizetype from = bytes.size() * i / n, to = bytes.size() * (i + 1) / n;
        writeAll(f, bytes.mid(from, to - from));
    }
    return true;
}

bool dropNotice(const QString& dir, const QString& name, const QString& tmp) {
    return dropFile(inDir(dir, name), inDir(dir, tmp), {});
}

// ---- PosSimulator

PosSimulator::PosSimulator(QString dir, QString fileOrigine, QString fileIncassi, Ledger& ledger,
                           std::uint64_t seed, PosAttacks attacks)
    : m_dir(std::move(dir)),
      m_charges(inDir(m_dir, fileOrigine)),
      m_closing(inDir(m_dir, fileIncassi)),
      m_ledger(ledger),
      m_attacks(attacks),
      m_random(seed ^ 0x905ULL) {}

PosSimulator::~PosSimulator() {
    stop();
}

void PosSimulator::start() {
    m_thread = std::thread([this] { run(); });
}

void PosSimulator::stop() {
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
}

bool PosSimulator::put(const QString& target, const QString& tmp, const QStringList& lines,
                       FileForm& form, QByteArray& bytes) {
    form.lfOnly = m_attacks.lfOnly && m_random.percent(25);
    form.inPlace = m_attacks.inPlace && m_random.percent(12);
    bytes = posFileBytes(lines, form.lfOnly);
    if (m_attacks.longPauseMs > 0 && m_random.percent(8)) {
        form.inPlace = true;
        const bool written = writeInPlace(target, bytes, static_cast<int>(m_random.between(2, 3)),
                                          m_attacks.longPauseMs, m_random);
        m_paused += written;
        return written;
    }
    if (!form.inPlace)
        return dropFile(target, inDir(m_dir, tmp), bytes);
    // Over 1 to 3 s, no pause longer than pauseMs.
    const int pause = std::max(2, m_attacks.pauseMs);
    const int pieces = static_cast<int>(m_random.between(1000, 3000)) * 4 / (3 * pause);
    return writeInPlace(target, bytes, pieces, pause, m_random);
}

void PosSimulator::dropCharges() {
    if (QFile::exists(m_charges)) {
        ++m_waits;
        return;
    }
    const QStringList lines = m_ledger.draftCharges(static_cast<int>(m_random.between(1, 30)));
    FileForm form;
    QByteArray bytes;
    if (put(m_charges, QStringLiteral("cassa-addebiti.tmp"), lines, form, bytes))
        m_ledger.commitCharges(bytes, form);
}

void PosSimulator::dropClosing() {
    if (QFile::exists(m_closing)) {
        ++m_waits;
        return;
    }
    const QStringList lines = m_ledger.draftClosing(static_cast<int>(m_random.between(0, 6)));
    FileForm form;
    QByteArray bytes;
    if (put(m_closing, QStringLiteral("cassa-chiusura.tmp"), lines, form, bytes))
        m_ledger.commitClosing(bytes, form);
}

// The POS reads its guest database while quorvel rewrites rooms in it.
void PosSimulator::readGuests() {
    try {
        Connection f(inDir(m_dir, QStringLiteral("pos/ClientiCasa.mdb")));
        Tx tx(f, "");
        hotel::Statement q(f, QStringLiteral("SELECT count(*) FROM ClientiCasa"));
        q.next();
        sleepMs(m_random.between(200, 2000));
        tx.commit();
        ++m_guestReads;
    } catch (const Error&) {
        // locked for writing just now: the POS reads again later
    }
}

void PosSimulator::run() {
    const SoakTargets& t = m_ledger.targets();
    while (!m_stop) {
        sleepMs(m_random.between(10, 300));
        const int roll = static_cast<int>(m_random.between(0, 99));
        if (roll < 50) {
            dropCharges();
        } else if (roll < 70) {
            dropClosing();
        } else if (roll < 75) {
            readGuests();
        } else if (roll < 90 && !t.noticeRooms.isEmpty()) {
            const QString room = t.noticeRooms.at(m_random.between(0, t.noticeRooms.size() - 1));
            m_notices +=
                dropNotice(m_dir, QStringLiteral("CKI") + room, QStringLiteral("cassa-avviso.tmp"));
        } else if (!t.emptyRooms.isEmpty()) {
            const QString room = t.emptyRooms.at(m_random.between(0, t.emptyRooms.size() - 1));
            m_notices +=
                dropNotice(m_dir, QStringLiteral("CKO") + room, QStringLiteral("cassa-avviso.tmp"));
        }
    }
}

// ---- HotelSystem

HotelSystem::HotelSystem(QString dir, SoakTargets targets, qint64 accountBaseline,
                         std::uint64_t seed)
    : m_dir(std::move(dir)),
      m_targets(std::move(targets)),
      m_baseline(accountBaseline),
      m_random(seed ^ 0x407E1ULL) {}

HotelSystem::~HotelSystem() {
    stop();
}

void HotelSystem::start() {
    m_thread = std::thread([this] { run(); });
}

void HotelSystem::stop() {
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
}

void HotelSystem::pause(int ms) {
    sleepMs(ms);
}

void HotelSystem::run() {
    while (!m_stop) {
        pause(static_cast<int>(m_random.between(100, 1200)));
        const int roll = static_cast<int>(m_random.between(0, 99));
        try {
            if (roll < 20)
                longRead();
            else if (roll < 30)
                exclusiveLock();
            else if (roll < 55)
                invoice();
            else if (roll < 70)
                ownRow();
            else if (roll < 85)
                renameGuest();
            else if (roll < 92)
                newCard();
            else
                departure();
        } catch (const Error&) {
            ++m_counts.busy;  // a lock it could not get: the hotel tries again later
        }
    }
}

void HotelSystem::longRead() {
    const QString file = m_random.percent(50) ? QStringLiteral("Conto_Cliente.mdb")
                                              : QStringLiteral("Scheda_Cliente.mdb");
    Connection f(inDir(m_dir, file));
    Tx tx(f, "");
    hotel::Statement q(f, file.startsWith(QLatin1String("Conto"))
                              ? QStringLiteral("SELECT count(*), sum(Importo) FROM Conto_Cliente")
                              : QStringLiteral("SELECT count(*) FROM Scheda_Cliente"));
    q.next();  // the shared lock is held from here to the commit
    pause(static_cast<int>(m_random.between(500, 3000)));
    tx.commit();
    ++m_counts.longReads;
}

void HotelSystem::exclusiveLock() {
    static const char* files[] = {"Conto_Cliente.mdb", "Scheda_Cliente.mdb", "Fatture.mdb",
                                  "ContoEsterni.mdb", "VociFattura.mdb"};
    Connection f(inDir(m_dir, QString::fromLatin1(files[m_random.between(0, 4)])));
    Tx tx(f, "EXCLUSIVE");
    // Now and then longer than the program waits for a lock (5 s).
    const int ms = static_cast<int>(m_random.between(1000, 8000));
    pause(ms);
    tx.commit();
    ++m_counts.exclusiveLocks;
    m_counts.lockedMs += ms;
}

void HotelSystem::invoice() {
    Connection f(inDir(m_dir, QStringLiteral("Conto_Cliente.mdb")));
    Tx tx(f, "IMMEDIATE");
    std::vector<qint64> rowids;
    {
        hotel::Statement q(f, QStringLiteral("SELECT rowid FROM Conto_Cliente WHERE Fatturato = "
                                             "'N' AND rowid > ? AND Descrizione <> ? ORDER BY "
                                             "random() LIMIT 3"));
        q.bindInt(1, m_baseline);
        const QByteArray own = OwnText.toUtf8();
        q.bindText(2, own);
        while (q.next()) rowids.push_back(q.integer(0));
    }
    std::map<qint64, Row> rows;
    for (qint64 rowid : rowids) {
        hotel::Statement u(f, QStringLiteral("UPDATE Conto_Cliente SET Fatturato = 'S', "
                                             "DataFattura = '20250307' WHERE rowid = ?"));
        u.bindInt(1, rowid);
        u.runBound();
        rows[rowid] = readRow(f, rowid);
    }
    tx.commit();
    m_invoiced.merge(rows);
    m_counts.invoicedRows += static_cast<qint64>(rowids.size());
}

void HotelSystem::ownRow() {
    Connection f(inDir(m_dir, QStringLiteral("Conto_Cliente.mdb")));
    Tx tx(f, "IMMEDIATE");
    hotel::Statement pick(f, QStringLiteral("SELECT CodiceCliente, NumeroCamera, DataAddebito "
                                            "FROM Conto_Cliente WHERE rowid > ? ORDER BY "
                                            "random() LIMIT 1"));
    pick.bindInt(1, m_baseline);
    if (!pick.next())
        return;
    // Same guest, room and day; either the restaurant's item already invoiced,
    // or another item: quorvel must add to neither.
    const bool invoiced = m_random.percent(50);
    hotel::Statement insert(
        f, QStringLiteral("INSERT INTO Conto_Cliente (NumeroHotel, CodiceCliente, NumeroCamera, "
                          "DataAddebito, NumeroConto, VoceFattura, VoceAddebito, Descrizione, "
                          "Importo, Unitario, \"Quantità\", Fatturato, DataFattura) VALUES (1, ?, "
                          "?, ?, 1, ?, ?, ?, 77700, 7.77, 1, ?, ?)"));
    const QByteArray room = pick.text(1).toUtf8(), day = pick.text(2).toUtf8(),
                     text = OwnText.toUtf8();
    const QByteArray fatturato = invoiced ? "S" : "N", data = invoiced ? "20250307" : " ";
    insert.bindInt(1, pick.integer(0));
    insert.bindText(2, room);
    insert.bindText(3, day);
    insert.bindInt(4, invoiced ? 1 : 9);
    insert.bindInt(5, invoiced ? 1 : 9);
    insert.bindText(6, text);
    insert.bindText(7, fatturato);
    insert.bindText(8, data);
    insert.runBound();
    const qint64 rowid = sqlite3_last_insert_rowid(f.handle());
    const Row row = readRow(f, rowid);
    tx.commit();
    m_own[rowid] = row;
    ++m_counts.ownRows;
}

void HotelSystem::renameGuest() {
    if (m_targets.rooms.empty())
        return;
    const auto& room = m_targets.rooms[m_random.between(0, m_targets.rooms.size() - 1)];
    {
        Connection f(inDir(m_dir, QStringLiteral("Scheda_Cliente.mdb")));
        hotel::Statement u(f, QStringLiteral("UPDATE Scheda_Cliente SET NomeCliente = ? WHERE "
                                             "NumeroProgressivo = ? AND NumeroHotel = 1"));
        const QByteArray name =
            QStringLiteral("Ospite rinominato %1 dal gestionale, nome lungo oltre quaranta")
                .arg(m_counts.renames + 1)
                .toUtf8();
        u.bindText(1, name);
        u.bindInt(2, room.client);
        u.runBound();
    }
    ++m_counts.renames;
    dropNotice(m_dir, QStringLiteral("CKI") + room.room, QStringLiteral("gestionale-avviso.tmp"));
}

void HotelSystem::newCard() {
    // A room left by a guest takes the next one once the program has taken
    // its departure notice (it may not have finished it: a kill between
    // taking and finishing must not let the departure undo the arrival);
    // both notices waiting at once would be read arrivals first.
    QString room;
    for (auto it = m_departed.begin(); it != m_departed.end(); ++it) {
        if (!QFile::exists(inDir(m_dir, QStringLiteral("CKO") + *it))) {
            room = *it;
            break;
        }
    }
    if (room.isEmpty() && m_nextFree < m_targets.freeRooms.size())
        room = m_targets.freeRooms.at(m_nextFree);
    if (room.isEmpty())
        return;
    qint64 number = 0;
    {
        Connection f(inDir(m_dir, QStringLiteral("Scheda_Cliente.mdb")));
        Tx tx(f, "IMMEDIATE");
        hotel::Statement max(f,
                             QStringLiteral("SELECT max(NumeroProgressivo) FROM Scheda_Cliente"));
        max.next();
        number = max.integer(0) + 1;
        hotel::Statement insert(
            f, QStringLiteral("INSERT INTO Scheda_Cliente (NumeroHotel, NumeroProgressivo, "
                              "NumeroCamera, NumeroComponente, Partito, ContoExtra, NomeCliente, "
                              "DataArrivo, DataPartenza) VALUES (1, ?, ?, 1, 'N', 1, ?, "
                              "'20250307', '20250314')"));
        const QByteArray r = room.toUtf8();
        const QByteArray name = QStringLiteral("Nuovo ospite %1").arg(number).toUtf8();
        insert.bindInt(1, number);
        insert.bindText(2, r);
        insert.bindText(3, name);
        insert.runBound();
        tx.commit();
    }
    if (m_departed.removeOne(room))
        ++m_counts.reused;
    else
        ++m_nextFree;
    m_present.emplace_back(room, number);
    ++m_counts.newCards;
    dropNotice(m_dir, QStringLiteral("CKI") + room, QStringLiteral("gestionale-avviso.tmp"));
}

void HotelSystem::departure() {
    if (m_present.empty())
        return;
    const auto [room, number] = m_present.front();
    {
        Connection f(inDir(m_dir, QStringLiteral("Scheda_Cliente.mdb")));
        hotel::Statement u(f, QStringLiteral("UPDATE Scheda_Cliente SET Partito = 'S' WHERE "
                                             "NumeroProgressivo = ?"));
        u.bindInt(1, number);
        u.runBound();
    }
    m_present.erase(m_present.begin());
    ++m_counts.departures;
    dropNotice(m_dir, QStringLiteral("CKO") + room, QStringLiteral("gestionale-avviso.tmp"));
    m_departed << room;
}

QSet<qint64> HotelSystem::ownRowids() const {
    QSet<qint64> ids;
    for (const auto& [rowid, row] : m_own) ids.insert(rowid);
    return ids;
}

QString rowChanged(qint64 rowid, const BusyHotel::Row& was, const BusyHotel::Row& now) {
    if (now.importo == was.importo && now.quantity == was.quantity &&
        now.fatturato == was.fatturato)
        return {};
    return QStringLiteral(
               "riga %1 del gestionale cambiata: Importo %2 -> %3, Quantità %4 -> %5, "
               "Fatturato %6 -> %7")
        .arg(rowid)
        .arg(was.importo)
        .arg(now.importo)
        .arg(was.quantity, now.quantity, was.fatturato, now.fatturato);
}

QStringList HotelSystem::changedRows() const {
    QStringList problems;
    Connection f(inDir(m_dir, QStringLiteral("Conto_Cliente.mdb")));
    for (const auto* rows : {&m_invoiced, &m_own}) {
        for (const auto& [rowid, was] : *rows) {
            const QString p = rowChanged(rowid, was, readRow(f, rowid));
            if (!p.isEmpty())
                problems << p;
        }
    }
    return problems;
}

}  // namespace quorvel::soak
