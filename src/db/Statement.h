// A prepared SQLite statement owned by RAII, with the binding and reading of
// engine values. A statement is reset when a StatementUse ends, so a cached
// statement never holds a read lock between engine calls.
#pragma once

#include "db/Engine.h"
#include "db/Schema.h"

#include <sqlite3.h>

namespace quorvel::db {

class Statement {
public:
    Statement(sqlite3* db, const QString& sql);
    ~Statement() { sqlite3_finalize(m_stmt); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    sqlite3_stmt* get() const { return m_stmt; }

private:
    sqlite3_stmt* m_stmt = nullptr;
};

// One execution of a statement: binds, steps, reads, and resets at the end.
class StatementUse {
public:
    // where: the file (or table) named by an error of this execution.
    StatementUse(Statement& stmt, QString where) : m_stmt(stmt.get()), m_where(std::move(where)) {}
    ~StatementUse() {
        sqlite3_reset(m_stmt);
        sqlite3_clear_bindings(m_stmt);
    }
    StatementUse(const StatementUse&) = delete;
    StatementUse& operator=(const StatementUse&) = delete;

    void bind(int index, const Value& value);  // 1-based
    void bindAll(const std::vector<Value>& values, int first = 1);
    // True when a row is ready; false when done. Throws Error otherwise.
    bool step();
    std::int64_t integer(int column) const { return sqlite3_column_int64(m_stmt, column); }
    QString text(int column) const;
    // The column read as the engine's type for a field of this declared kind.
    Value value(int column, ColumnKind kind) const;

private:
    sqlite3_stmt* m_stmt;
    QString m_where;
};

// Throws Error(where, message) for an SQLite result code, in Italian for the
// cases an operator meets (locked file, not a database, full disk).
[[noreturn]] void throwSqlite(sqlite3* db, int rc, const QString& where);

}  // namespace quorvel::db
