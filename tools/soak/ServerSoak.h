// The crash soak against a PostgreSQL server: a database of the soak's own
// on the server, the hotel system working on it through libpq (long
// transactions holding row locks, table locks, invoicing, rows of its own,
// guests renamed, arriving and leaving), the server restarted now and then,
// and the reads of the final check.
#pragma once

#include "db/PgConnection.h"
#include "soak/Ledger.h"
#include "soak/Simulators.h"

#include <QString>
#include <memory>

namespace quorvel::soak {

// A database of its own on the server (the role needs CREATEDB), so soaks
// never see each other's schemas; dropped when the soak passed.
class SoakDatabase {
public:
    explicit SoakDatabase(const QString& serverConninfo);
    ~SoakDatabase();
    SoakDatabase(const SoakDatabase&) = delete;
    SoakDatabase& operator=(const SoakDatabase&) = delete;
    const QString& conninfo() const { return m_conninfo; }
    const QString& name() const { return m_name; }
    void keep() { m_keep = true; }

private:
    QString m_server, m_name, m_conninfo;
    bool m_keep = false;
};

// Runs the restart command ("fast" or "immediate" as its argument) to its
// end; throws Error with its output when it fails.
void restartServer(const QString& command, bool immediate);

// The reads of the final check, from the server.
qint64 serverMaxRowid(db::PgConnection& conn, const QString& schema, const QString& table);
// As readAccountRows(): the rows of schema's Conto_Cliente above baseline,
// less those in skip and the hotel system's own (by their text: a row whose
// commit was cut by a restart is the hotel's too).
std::vector<AccountRow> readServerAccountRows(db::PgConnection& conn, const QString& schema,
                                              qint64 baseline, const QSet<qint64>& skip = {});
// Groups (guest, room, day, item) where the program's uninvoiced rows of
// schema's Conto_Cliente above baseline are more than one: a second row
// where the sum belonged in the first.
qint64 serverDuplicateGroups(db::PgConnection& conn, const QString& schema, qint64 baseline);
std::vector<qint64> readServerReceiptAmounts(db::PgConnection& conn, qint64 baseline);
// Rows of a table, or -1 (and why in error) when it cannot be read.
qint64 serverRowCount(db::PgConnection& conn, const QString& schema, const QString& table,
                      QString* error = nullptr);

// The hotel system on the server, on a connection of its own.
class ServerHotelSystem : public BusyHotel {
public:
    ServerHotelSystem(QString conninfo, QString dir, SoakTargets targets, qint64 accountBaseline,
                      std::uint64_t seed);
    ~ServerHotelSystem() override;
    void start() override;
    void stop() override;
    const Counts& counts() const override { return m_counts; }
    QSet<qint64> ownRowids() const override;
    QStringList changedRows() const override;

private:
    void run();
    db::PgConnection& conn();
    void longRead();
    void rowLock();
    void tableLock();
    void invoice();
    void ownRow();
    void renameGuest();
    void newCard();
    void departure();

    QString m_conninfo, m_dir;
    SoakTargets m_targets;
    qint64 m_baseline;
    hotel::Random m_random;
    std::unique_ptr<db::PgConnection> m_conn;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
    Counts m_counts;
    std::map<qint64, Row> m_invoiced, m_own;
    std::vector<std::pair<QString, qint64>> m_present;
    QStringList m_departed;
    int m_nextFree = 0;
};

}  // namespace quorvel::soak
