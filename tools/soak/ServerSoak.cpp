// The soak's side of the server: its database, restarts, the hotel system
// on libpq and the reads of the check.
#include "soak/ServerSoak.h"

#include "db/Schema.h"
#include "platform/Error.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <chrono>

namespace quorvel::soak {

using db::PgConnection;
using db::PgResult;
using db::quoteIdentifier;

namespace {

void sleepMs(qint64 ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

QString table(const QString& schema, const QString& name) {
    return quoteIdentifier(schema) + u'.' + quoteIdentifier(name);
}

const QString Accounts = table(QStringLiteral("Conto_Cliente"), QStringLiteral("Conto_Cliente"));
const QString Cards = table(QStringLiteral("Scheda_Cliente"), QStringLiteral("Scheda_Cliente"));

db::PgParam param(qint64 v) {
    return db::pgParam(db::Value(std::int64_t{v}));
}
db::PgParam param(int v) {
    return db::pgParam(db::Value(v));
}
db::PgParam param(const QString& v) {
    return db::pgParam(db::Value(v));
}

PgResult query(PgConnection& c, const QString& sql, const std::vector<db::PgParam>& params = {}) {
    return c.run(db::numberedPlaceholders(sql), params, c.server());
}

QString text(const PgResult& r, int row, int col) {
    return QString::fromUtf8(PQgetvalue(r.get(), row, col));
}

qint64 integer(const PgResult& r, int row, int col) {
    return QByteArray(PQgetvalue(r.get(), row, col)).toLongLong();
}

// BEGIN ... COMMIT; a statement that fails inside never runs again outside.
class Tx {
public:
    explicit Tx(PgConnection& c, const char* begin = "BEGIN") : m_c(c) {
        query(m_c, QString::fromLatin1(begin));
        m_c.setInTransaction(true);
    }
    ~Tx() {
        m_c.setInTransaction(false);
        if (!m_done && m_c.ok()) {
            try {
                query(m_c, QStringLiteral("ROLLBACK"));
            } catch (const Error&) {
            }
        }
    }
    Tx(const Tx&) = delete;
    Tx& operator=(const Tx&) = delete;
    void commit() {
        query(m_c, QStringLiteral("COMMIT"));
        m_done = true;
    }

private:
    PgConnection& m_c;
    bool m_done = false;
};

BusyHotel::Row readRow(PgConnection& c, qint64 rowid) {
    const PgResult r = query(c,
                             QStringLiteral("SELECT (\"Importo\" * 10000)::bigint, \"Quantità\", "
                                            "\"Fatturato\" FROM %1 WHERE quorvel_rowid = ?")
                                 .arg(Accounts),
                             {param(rowid)});
    if (PQntuples(r.get()) == 0)
        return {-1, QStringLiteral("(cancellata)"), QString()};
    return {integer(r, 0, 0), text(r, 0, 1), text(r, 0, 2)};
}

QString inDir(const QString& dir, const QString& file) {
    return QDir(dir).filePath(file);
}

}  // namespace

// ---- the soak's database

SoakDatabase::SoakDatabase(const QString& serverConninfo)
    : m_server(serverConninfo),
      m_name(QStringLiteral("quorvel_soak_%1").arg(QCoreApplication::applicationPid())) {
    PgConnection admin(m_server);
    admin.exec(QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(m_name), m_name);
    admin.exec(QStringLiteral("CREATE DATABASE %1").arg(m_name), m_name);
    // A crash of the server must keep every commit it confirmed, as on a
    // hotel's server: the throw-away test server turns this off for speed,
    // and an immediate restart then loses the last commits of everyone.
    admin.exec(QStringLiteral("ALTER DATABASE %1 SET synchronous_commit = on").arg(m_name), m_name);
    m_conninfo = m_server + QStringLiteral(" dbname=") + m_name;
}

SoakDatabase::~SoakDatabase() {
    if (m_keep)
        return;
    try {
        PgConnection admin(m_server);
        admin.exec(QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(m_name), m_name);
    } catch (const Error&) {
        // the server is a throw-away one; a database left is no fault of the soak
    }
}

void restartServer(const QString& command, bool immediate) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(command, {immediate ? QStringLiteral("immediate") : QStringLiteral("fast")});
    if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        throw Error(command, QStringLiteral("riavvio del server non riuscito: %1 %2")
                                 .arg(p.errorString(), QString::fromLocal8Bit(p.readAll())));
}

// ---- the reads of the check

qint64 serverMaxRowid(PgConnection& c, const QString& schema, const QString& name) {
    const PgResult r = query(
        c,
        QStringLiteral("SELECT coalesce(max(quorvel_rowid), 0) FROM %1").arg(table(schema, name)));
    return integer(r, 0, 0);
}

std::vector<AccountRow> readServerAccountRows(PgConnection& c, const QString& schema,
                                              qint64 baseline, const QSet<qint64>& skip) {
    const PgResult r = query(
        c,
        QStringLiteral("SELECT quorvel_rowid, \"CodiceCliente\", \"NumeroCamera\", "
                       "\"DataAddebito\", \"VoceAddebito\", \"Importo\" * 10000, \"Quantità\" "
                       "FROM %1 WHERE quorvel_rowid > ? AND \"Descrizione\" IS DISTINCT FROM ? "
                       "ORDER BY quorvel_rowid")
            .arg(table(schema, QStringLiteral("Conto_Cliente"))),
        {param(baseline), param(QString::fromLatin1(HotelOwnText))});
    std::vector<AccountRow> rows;
    for (int i = 0; i < PQntuples(r.get()); ++i) {
        if (skip.contains(integer(r, i, 0)))
            continue;
        // numeric(19,4) times 10,000: "123400.0000"; a fraction left is no
        // whole ten-thousandth, surely wrong.
        const QString t = text(r, i, 5);
        bool ok = false;
        const qint64 importo = t.section(u'.', 0, 0).toLongLong(&ok);
        const bool whole = ok && t.section(u'.', 1).count(u'0') == t.section(u'.', 1).size();
        rows.push_back({integer(r, i, 0), integer(r, i, 1), integer(r, i, 4), text(r, i, 2),
                        text(r, i, 3), whole && importo % 100 == 0 ? importo / 100 : -1,
                        text(r, i, 6).toDouble()});
    }
    return rows;
}

qint64 serverDuplicateGroups(PgConnection& c, const QString& schema, qint64 baseline) {
    const PgResult r =
        query(c,
              QStringLiteral("SELECT count(*) FROM (SELECT 1 FROM %1 WHERE quorvel_rowid > ? AND "
                             "\"Fatturato\" = 'N' AND \"Descrizione\" IS DISTINCT FROM ? GROUP BY "
                             "\"CodiceCliente\", \"NumeroCamera\", \"DataAddebito\", "
                             "\"VoceAddebito\" HAVING count(*) > 1) d")
                  .arg(table(schema, QStringLiteral("Conto_Cliente"))),
              {param(baseline), param(QString::fromLatin1(HotelOwnText))});
    return integer(r, 0, 0);
}

std::vector<qint64> readServerReceiptAmounts(PgConnection& c, qint64 baseline) {
    const PgResult r =
        query(c,
              QStringLiteral("SELECT (\"Importo\" * 100)::bigint FROM %1 WHERE quorvel_rowid > ?")
                  .arg(table(QStringLiteral("Fatture"), QStringLiteral("Incassi"))),
              {param(baseline)});
    std::vector<qint64> cents;
    for (int i = 0; i < PQntuples(r.get()); ++i) cents.push_back(integer(r, i, 0));
    return cents;
}

qint64 serverRowCount(PgConnection& c, const QString& schema, const QString& name, QString* error) {
    try {
        return integer(query(c, QStringLiteral("SELECT count(*) FROM %1").arg(table(schema, name))),
                       0, 0);
    } catch (const Error& e) {
        if (error)
            *error = e.message();
        return -1;
    }
}

// ---- the hotel system

ServerHotelSystem::ServerHotelSystem(QString conninfo, QString dir, SoakTargets targets,
                                     qint64 accountBaseline, std::uint64_t seed)
    : m_conninfo(std::move(conninfo)),
      m_dir(std::move(dir)),
      m_targets(std::move(targets)),
      m_baseline(accountBaseline),
      m_random(seed ^ 0x407E1ULL) {}

ServerHotelSystem::~ServerHotelSystem() {
    stop();
}

void ServerHotelSystem::start() {
    m_thread = std::thread([this] { run(); });
}

void ServerHotelSystem::stop() {
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
}

PgConnection& ServerHotelSystem::conn() {
    if (!m_conn) {
        m_conn = std::make_unique<PgConnection>(m_conninfo);
        m_conn->setLockTimeout(20000);  // a busy client waits long
    }
    return *m_conn;
}

void ServerHotelSystem::run() {
    while (!m_stop) {
        sleepMs(m_random.between(100, 1200));
        const int roll = static_cast<int>(m_random.between(0, 99));
        try {
            if (roll < 12)
                longRead();
            else if (roll < 27)
                rowLock();
            else if (roll < 32)
                tableLock();
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
            // A lock it could not get, or the server away: again later, on a
            // new connection when this one broke.
            ++m_counts.busy;
            if (m_conn && !m_conn->ok())
                m_conn.reset();
        }
    }
}

void ServerHotelSystem::longRead() {
    Tx tx(conn(), "BEGIN ISOLATION LEVEL REPEATABLE READ");
    query(conn(), m_random.percent(50)
                      ? QStringLiteral("SELECT count(*), sum(\"Importo\") FROM %1").arg(Accounts)
                      : QStringLiteral("SELECT count(*) FROM %1").arg(Cards));
    sleepMs(m_random.between(500, 3000));
    tx.commit();
    ++m_counts.longReads;
}

// The rows of a guest's room held for 1 to 8 s, now and then longer than
// the program waits for a lock (5 s).
void ServerHotelSystem::rowLock() {
    if (m_targets.rooms.empty())
        return;
    const auto& room = m_targets.rooms[m_random.between(0, m_targets.rooms.size() - 1)];
    Tx tx(conn());
    query(conn(),
          QStringLiteral("SELECT quorvel_rowid FROM %1 WHERE \"NumeroCamera\" = ? FOR UPDATE")
              .arg(Accounts),
          {param(room.room)});
    const int ms = static_cast<int>(m_random.between(1000, 8000));
    sleepMs(ms);
    tx.commit();
    ++m_counts.rowLocks;
    m_counts.rowLockedMs += ms;
}

// A whole table kept from writers for 1 to 8 s.
void ServerHotelSystem::tableLock() {
    static const char* tables[][2] = {{"Conto_Cliente", "Conto_Cliente"},
                                      {"Scheda_Cliente", "Scheda_Cliente"},
                                      {"Fatture", "Incassi"},
                                      {"ContoEsterni", "Conto_Cliente"}};
    const auto& t = tables[m_random.between(0, 3)];
    Tx tx(conn());
    query(conn(), QStringLiteral("LOCK TABLE %1 IN EXCLUSIVE MODE")
                      .arg(table(QString::fromLatin1(t[0]), QString::fromLatin1(t[1]))));
    const int ms = static_cast<int>(m_random.between(1000, 8000));
    sleepMs(ms);
    tx.commit();
    ++m_counts.exclusiveLocks;
    m_counts.lockedMs += ms;
}

void ServerHotelSystem::invoice() {
    Tx tx(conn());
    const PgResult picked =
        query(conn(),
              QStringLiteral("SELECT quorvel_rowid FROM %1 WHERE \"Fatturato\" = 'N' AND "
                             "quorvel_rowid > ? AND \"Descrizione\" <> ? ORDER BY random() "
                             "LIMIT 3 FOR UPDATE")
                  .arg(Accounts),
              {param(m_baseline), param(QString::fromLatin1(HotelOwnText))});
    std::map<qint64, Row> rows;
    for (int i = 0; i < PQntuples(picked.get()); ++i) {
        const qint64 rowid = integer(picked, i, 0);
        query(conn(),
              QStringLiteral("UPDATE %1 SET \"Fatturato\" = 'S', \"DataFattura\" = '20250307' "
                             "WHERE quorvel_rowid = ?")
                  .arg(Accounts),
              {param(rowid)});
        rows[rowid] = readRow(conn(), rowid);
    }
    tx.commit();  // a commit cut by a restart: those rows are not checked
    m_counts.invoicedRows += static_cast<qint64>(rows.size());
    m_invoiced.merge(rows);
}

void ServerHotelSystem::ownRow() {
    Tx tx(conn());
    const PgResult pick = query(conn(),
                                QStringLiteral("SELECT \"CodiceCliente\", \"NumeroCamera\", "
                                               "\"DataAddebito\" FROM %1 WHERE quorvel_rowid > ? "
                                               "ORDER BY random() LIMIT 1")
                                    .arg(Accounts),
                                {param(m_baseline)});
    if (PQntuples(pick.get()) == 0)
        return;
    // Same guest, room and day; the restaurant's item already invoiced, or
    // another item: the program must add to neither.
    const bool invoiced = m_random.percent(50);
    const PgResult added = query(
        conn(),
        QStringLiteral("INSERT INTO %1 (\"NumeroHotel\", \"CodiceCliente\", \"NumeroCamera\", "
                       "\"DataAddebito\", \"NumeroConto\", \"VoceFattura\", \"VoceAddebito\", "
                       "\"Descrizione\", \"Importo\", \"Unitario\", \"Quantità\", \"Fatturato\", "
                       "\"DataFattura\") VALUES (1, ?, ?, ?, 1, ?, ?, ?, 7.77, 7.77, 1, ?, ?) "
                       "RETURNING quorvel_rowid")
            .arg(Accounts),
        {param(integer(pick, 0, 0)), param(text(pick, 0, 1)), param(text(pick, 0, 2)),
         param(invoiced ? 1 : 9), param(invoiced ? 1 : 9), param(QString::fromLatin1(HotelOwnText)),
         param(invoiced ? QStringLiteral("S") : QStringLiteral("N")),
         param(invoiced ? QStringLiteral("20250307") : QStringLiteral(" "))});
    const qint64 rowid = integer(added, 0, 0);
    const Row row = readRow(conn(), rowid);
    tx.commit();
    m_own[rowid] = row;
    ++m_counts.ownRows;
}

// Each change of a card is followed by its notice, also when the statement
// failed (a restart may have cut its answer, not its commit): a notice for
// a card that did not change does no harm.
void ServerHotelSystem::renameGuest() {
    if (m_targets.rooms.empty())
        return;
    const auto& room = m_targets.rooms[m_random.between(0, m_targets.rooms.size() - 1)];
    struct Notice {
        QString dir, name;
        ~Notice() { dropNotice(dir, name, QStringLiteral("gestionale-avviso.tmp")); }
    } notice{m_dir, QStringLiteral("CKI") + room.room};
    query(conn(),
          QStringLiteral("UPDATE %1 SET \"NomeCliente\" = ? WHERE \"NumeroProgressivo\" = ? AND "
                         "\"NumeroHotel\" = 1")
              .arg(Cards),
          {param(QStringLiteral("Ospite rinominato %1 dal gestionale, nome lungo oltre quaranta")
                     .arg(m_counts.renames + 1)),
           param(room.client)});
    ++m_counts.renames;
}

void ServerHotelSystem::newCard() {
    QString room;
    for (const QString& r : std::as_const(m_departed)) {
        if (!QFile::exists(inDir(m_dir, QStringLiteral("CKO") + r))) {
            room = r;
            break;
        }
    }
    if (room.isEmpty() && m_nextFree < m_targets.freeRooms.size())
        room = m_targets.freeRooms.at(m_nextFree);
    if (room.isEmpty())
        return;
    // Taken whatever the outcome: a card whose commit a restart hid may be there.
    if (!m_departed.removeOne(room))
        ++m_nextFree;
    else
        ++m_counts.reused;
    struct Notice {
        QString dir, name;
        ~Notice() { dropNotice(dir, name, QStringLiteral("gestionale-avviso.tmp")); }
    } notice{m_dir, QStringLiteral("CKI") + room};
    Tx tx(conn());
    query(conn(), QStringLiteral("LOCK TABLE %1 IN EXCLUSIVE MODE").arg(Cards));
    const qint64 number =
        integer(
            query(conn(), QStringLiteral("SELECT max(\"NumeroProgressivo\") FROM %1").arg(Cards)),
            0, 0) +
        1;
    query(conn(),
          QStringLiteral("INSERT INTO %1 (\"NumeroHotel\", \"NumeroProgressivo\", "
                         "\"NumeroCamera\", \"NumeroComponente\", \"Partito\", \"ContoExtra\", "
                         "\"NomeCliente\", \"DataArrivo\", \"DataPartenza\") VALUES (1, ?, ?, 1, "
                         "'N', 1, ?, '20250307', '20250314')")
              .arg(Cards),
          {param(number), param(room), param(QStringLiteral("Nuovo ospite %1").arg(number))});
    tx.commit();
    m_present.emplace_back(room, number);
    ++m_counts.newCards;
}

void ServerHotelSystem::departure() {
    if (m_present.empty())
        return;
    const auto [room, number] = m_present.front();
    query(conn(),
          QStringLiteral("UPDATE %1 SET \"Partito\" = 'S' WHERE \"NumeroProgressivo\" = ?")
              .arg(Cards),
          {param(number)});
    m_present.erase(m_present.begin());
    ++m_counts.departures;
    dropNotice(m_dir, QStringLiteral("CKO") + room, QStringLiteral("gestionale-avviso.tmp"));
    m_departed << room;
}

QSet<qint64> ServerHotelSystem::ownRowids() const {
    QSet<qint64> ids;
    for (const auto& [rowid, row] : m_own) ids.insert(rowid);
    return ids;
}

QStringList ServerHotelSystem::changedRows() const {
    QStringList problems;
    PgConnection c(m_conninfo);
    for (const auto* rows : {&m_invoiced, &m_own}) {
        for (const auto& [rowid, was] : *rows) {
            const QString p = rowChanged(rowid, was, readRow(c, rowid));
            if (!p.isEmpty())
                problems << p;
        }
    }
    return problems;
}

}  // namespace quorvel::soak
