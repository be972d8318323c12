// Helpers for the engine tests: small tables built through the engine in
// the test's temporary folder, and a raw SQLite reader to check what the
// files hold independently of the engine.
#pragma once

#include "db/Engine.h"
#include "support/TempDir.h"

#include <sqlite3.h>
#include <QStringList>
#include <memory>

namespace quorvel::test {

class DbTest : public TempDirTest {
protected:
    // The test's workspace, made in its folder at first use.
    db::Workspace& ws() {
        if (!m_ws)
            m_ws = std::make_unique<db::Workspace>();
        return *m_ws;
    }
    void TearDown() override {
        m_ws.reset();
        TempDirTest::TearDown();
    }

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
    std::unique_ptr<db::Workspace> m_ws;
};

}  // namespace quorvel::test
