// A prepared SQLite statement owned by RAII, with the binding and reading of
// engine values. A statement is reset when a StatementUse ends, so a cached
// statement never holds a read lock between engine calls. A statement for
// the server is its SQL text with $n placeholders, run whole at the first
// step (libpq hands back every row at once).
#pragma once

#include "db/Engine.h"
#include "db/PgConnection.h"
#include "db/Schema.h"

#include <sqlite3.h>

namespace quorvel::db {

class Statement {
public:
    Statement(sqlite3* db, const QString& sql);
    Statement(PgConnection& server, const QString& sql);
    ~Statement() { sqlite3_finalize(m_stmt); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    sqlite3_stmt* get() const { return m_stmt; }
    const QString& sql() const { return m_sql; }
    PgConnection* server() const { return m_server; }
    const QByteArray& serverSql() const { return m_serverSql; }

private:
    sqlite3_stmt* m_stmt = nullptr;
    QString m_sql;
    PgConnection* m_server = nullptr;
    QByteArray m_serverSql;
};

// One execution of a statement: binds, steps, reads, and resets at the end.
class StatementUse {
public:
    // where: the file (or table) named by an error of this execution.
    StatementUse(Statement& stmt, QString where)
        : m_stmt(stmt.get()), m_owner(stmt), m_where(std::move(where)) {}
    ~StatementUse() {
        if (m_stmt) {
            sqlite3_reset(m_stmt);
            sqlite3_clear_bindings(m_stmt);
        }
    }
    StatementUse(const StatementUse&) = delete;
    StatementUse& operator=(const StatementUse&) = delete;

    void bind(int index, const Value& value);  // 1-based
    // A text already in UTF-8, not copied. REQUIRES: SQLite (not the
    // server); utf8 outlives the statement's run.
    void bindUtf8(int index, const QByteArray& utf8);
    void bindAll(const std::vector<Value>& values, int first = 1);
    // True when a row is ready; false when done. Throws Error otherwise.
    bool step();
    std::int64_t integer(int column) const;
    QString text(int column) const;
    bool isNull(int column) const;
    // The column read as the engine's type for a field of this declared kind.
    Value value(int column, ColumnKind kind) const;
    // Rows changed by the (finished) statement.
    std::int64_t changes() const;

private:
    const char* serverValue(int column) const { return PQgetvalue(m_result.get(), m_row, column); }

    sqlite3_stmt* m_stmt;  // null for a statement of the server
    Statement& m_owner;
    QString m_where;
    // The server's side: parameters until the first step, then the rows.
    std::vector<PgParam> m_params;
    PgResult m_result;
    int m_row = -1;
};

// Throws Error(where, message) for an SQLite result code, in Italian for the
// cases an operator meets (locked file, not a database, full disk).
[[noreturn]] void throwSqlite(sqlite3* db, int rc, const QString& where);

}  // namespace quorvel::db
