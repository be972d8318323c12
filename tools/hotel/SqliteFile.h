// Direct SQLite access for the generator: it writes and reads hotel files
// without the engine, fast (prepared statements inside one transaction).
// Values follow the hotel files' convention: integers and doubles as
// themselves, currency as a whole number of ten-thousandths, text as UTF-8.
#pragma once

#include "db/Engine.h"

#include <QByteArray>
#include <QList>
#include <QString>

struct sqlite3;
struct sqlite3_stmt;

namespace quorvel::hotel {

// An open database file. Throws Error naming the file on any failure.
class SqliteFile {
public:
    // Opens an existing file read-write (or read-only).
    explicit SqliteFile(const QString& path, bool readOnly = false);
    ~SqliteFile();
    SqliteFile(const SqliteFile&) = delete;
    SqliteFile& operator=(const SqliteFile&) = delete;

    void exec(const QString& sql);
    sqlite3* handle() const { return m_db; }
    const QString& path() const { return m_path; }
    [[noreturn]] void fail(const QString& what) const;

private:
    sqlite3* m_db = nullptr;
    QString m_path;
};

// One prepared statement. REQUIRES: its SqliteFile outlives it.
class Statement {
public:
    Statement(SqliteFile& file, const QString& sql);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    // Binds the values to parameters 1..n, runs the statement to its end and
    // resets it for the next call.
    void run(const QList<db::Value>& values);
    // Typed binds and a run for bulk inserts; text is UTF-8.
    // REQUIRES: the bytes bound by bindText outlive the next runBound().
    void bindInt(int index, qint64 value);
    void bindDouble(int index, double value);
    void bindText(int index, const QByteArray& utf8);
    void runBound();
    // Steps a query; false when there are no more rows.
    bool next();
    QString text(int column) const;
    qint64 integer(int column) const;

private:
    void bind(int index, const db::Value& value);
    SqliteFile& m_file;
    sqlite3_stmt* m_stmt = nullptr;
};

// BEGIN on construction; ROLLBACK unless commit() was called.
class SqliteTransaction {
public:
    explicit SqliteTransaction(SqliteFile& file);
    ~SqliteTransaction();
    SqliteTransaction(const SqliteTransaction&) = delete;
    SqliteTransaction& operator=(const SqliteTransaction&) = delete;
    void commit();

private:
    SqliteFile& m_file;
    bool m_done = false;
};

}  // namespace quorvel::hotel
