// The PostgreSQL test server (scripts/lib/pg-server.sh exports
// QUORVEL_TEST_PG): a database of its own per test, dropped at the end, so
// tests running side by side never see each other's schemas.
#pragma once

#include "db/PgConnection.h"
#include "db/Server.h"

#include <gtest/gtest.h>
#include <QString>
#include <QStringList>
#include <memory>

namespace quorvel::test {

// The two stores a test of the engine runs on.
enum class Backend { Sqlite, Server };
std::string backendName(const ::testing::TestParamInfo<Backend>& info);

// Marks the running test skipped when no server is given, failed in CI.
// Returns the connection string of the server's tests' database, or empty.
QString testServer();

class ServerDb {
public:
    // REQUIRES: testServer() is not empty.
    ServerDb();
    ~ServerDb();
    ServerDb(const ServerDb&) = delete;
    ServerDb& operator=(const ServerDb&) = delete;

    // The connection string of this test's database.
    const QString& conninfo() const { return m_conninfo; }
    // Every file on the server, the program's own stores in ownSchema.
    db::ServerConfig config(const QString& ownSchema = QString()) const;
    // Rows of a query in the schema of file (bare names are quoted for it),
    // each row's columns joined by '|'; money in ten-thousandths, as SQLite keeps it.
    QStringList raw(const QString& schema, const QString& sql) const;
    void exec(const QString& sql) const;

private:
    QString m_name;
    QString m_conninfo;
    std::unique_ptr<db::PgConnection> m_conn;
};

}  // namespace quorvel::test
