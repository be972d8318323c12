// Helpers for the engine tests: small tables built through the engine in
// the test's temporary folder, and a raw SQLite reader to check what the
// files hold independently of the engine. DbBackendTest runs a test on both
// stores: the SQLite files and a database of its own on the test server.
#pragma once

#include "db/Engine.h"
#include "support/ServerDb.h"
#include "support/TempDir.h"

#include <sqlite3.h>
#include <QStringList>
#include <memory>

namespace quorvel::test {

class DbTest : public TempDirTest {
protected:
    void TearDown() override;
    // The test's workspace (made in its folder at first use), or the
    // server's once useServer() moved the test there.
    db::Workspace& ws() {
        if (m_serverWs)
            return *m_serverWs;
        if (!m_ws)
            m_ws = std::make_unique<db::Workspace>();
        return *m_ws;
    }
    // Moves the test onto the server; false when there is none (the test is
    // then skipped, or failed in CI).
    bool useServer();
    bool onServer() const { return m_serverWs != nullptr; }
    ServerDb& server() { return *m_server; }

    // Creates file with one table; fields are "name:type[:size]" with type
    // one of i16, i32, cur, dbl, text.
    void makeTable(const QString& file, const QString& table, const QStringList& fields);

    // Adds a row through the engine: values in the order of `fields`.
    void addRow(db::Recordset& rs, const QStringList& fields, const std::vector<db::Value>& values);

    // Rows of a raw query on the file, each row's columns joined by '|'.
    QStringList raw(const QString& file, const QString& sql);
    // Runs statements on the file through a connection of its own.
    void rawExec(const QString& file, const QString& sql);

private:
    std::unique_ptr<ServerDb> m_server;
    std::unique_ptr<db::Workspace> m_serverWs;
    std::unique_ptr<db::Workspace> m_ws;
};

class DbBackendTest : public DbTest, public ::testing::WithParamInterface<Backend> {
protected:
    void SetUp() override {
        DbTest::SetUp();
        if (GetParam() == Backend::Server)
            useServer();
    }
    // A subclass's SetUp goes on only when this is true.
    bool ready() const { return !IsSkipped() && !HasFailure(); }
};

}  // namespace quorvel::test
