// Inside a workspace: one SQLite connection whose main database is a private
// named temporary file (so that a commit over several ATTACHed files is
// atomic), the attached files with a reference count, a cache of prepared
// statements keyed by SQL text, and the transaction depth.
#pragma once

#include "db/Engine.h"
#include "db/Schema.h"
#include "db/Statement.h"

#include <QTemporaryDir>
#include <map>
#include <memory>
#include <unordered_map>

namespace quorvel::db {

struct Attachment {
    QString path;   // absolute
    QString alias;  // "aN", unique for the workspace's life
    QString quotedAlias;
    int refs = 0;
    std::map<QString, std::shared_ptr<const TableSchema>> schemas;  // by folded name
};

struct ConnectionCloser {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};

struct Workspace::Impl {
    Impl();
    ~Impl();

    // The SQL text's statement, prepared once and kept.
    Statement& statement(const QString& sql);
    // Runs a statement without parameters or results.
    void exec(const QString& sql, const QString& where);

    // Attaches a file (or shares its attachment); create makes a new file.
    Attachment& attach(const QString& path, bool create);
    void release(const QString& path);
    // Table schema from the attached file; throws "tabella inesistente".
    std::shared_ptr<const TableSchema> schema(Attachment& att, const QString& table);
    // Stored name of a table, matched without regard to case; empty when missing.
    QString storedTableName(Attachment& att, const QString& table);
    void forgetSchemas(Attachment& att) { att.schemas.clear(); }

    bool inTransaction() const { return depth > 0; }
    void detachUnused();

    // Holds the workspace's main file and, during a commit over several
    // files, SQLite's super-journal. It lives in the working folder, beside
    // the databases, so that a commit cut short by a crash is still rolled
    // back correctly after a reboot that empties the system's temp folder.
    QTemporaryDir mainDir;
    std::unique_ptr<sqlite3, ConnectionCloser> db;
    std::map<QString, Attachment> attachments;  // by absolute path
    std::unordered_map<QString, std::unique_ptr<Statement>> statements;
    quint64 generation = 1;  // grows whenever a cached statement is finalized
    int nextAlias = 0;
    int depth = 0;
};

// Absolute, clean path of a file name, a bare name resolving against the
// current folder.
QString absoluteDatabasePath(const QString& fileName);

}  // namespace quorvel::db
