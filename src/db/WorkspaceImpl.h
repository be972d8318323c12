// Inside a workspace: one SQLite connection whose main database is a private
// named temporary file (so that a commit over several ATTACHed files is
// atomic), the attached files with a reference count, a cache of prepared
// statements keyed by SQL text, and the transaction depth. With a server, the
// files it holds are attachments too (a schema each), on one libpq
// connection made at the first such file and joined to the transaction.
#pragma once

#include "db/Engine.h"
#include "db/Schema.h"
#include "db/Server.h"
#include "db/Statement.h"

#include <QLockFile>
#include <QTemporaryDir>
#include <map>
#include <memory>
#include <unordered_map>

namespace quorvel::db {

struct Attachment {
    QString path;         // absolute
    QString alias;        // "aN", unique for the workspace's life
    QString quotedAlias;  // on the server: the schema, quoted
    bool server = false;
    int refs = 0;
    std::map<QString, std::shared_ptr<const TableSchema>> schemas;  // by folded name
};

struct ConnectionCloser {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};

struct Workspace::Impl {
    explicit Impl(std::optional<ServerConfig> config);
    ~Impl();

    // The SQL text's statement, prepared once and kept.
    Statement& statement(const QString& sql);
    // The same for the server's connection.
    Statement& serverStatement(const QString& sql);
    // A statement of its own, not cached (one that runs while others do).
    std::unique_ptr<Statement> newStatement(bool onServer, const QString& sql);
    // The server's connection, made or made again (only between
    // transactions) when needed, and joined to an open transaction.
    PgConnection& connection();
    void serverExec(const QString& sql, const QString& where) { connection().exec(sql, where); }
    // Commits the server's transaction; throws when it did not commit.
    void commitServer(const QString& where);
    // Rolls the server's transaction back (errors only logged).
    void endServerTransaction();
    // Runs a statement without parameters or results.
    void exec(const QString& sql, const QString& where);

    // Attaches a file (or shares its attachment); create makes a new file.
    Attachment& attach(const QString& path, bool create);
    Attachment& attachServer(const QString& path, const QString& schema, bool create);
    void release(const QString& path);
    // Table schema from the attached file; throws "tabella inesistente".
    std::shared_ptr<const TableSchema> schema(Attachment& att, const QString& table);
    std::shared_ptr<const TableSchema> serverSchema(Attachment& att, const QString& stored);
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
    // Held while the workspace lives (WorkspaceOwnerLock in mainDir): a
    // folder whose lock no live process holds was left by a killed run.
    std::unique_ptr<QLockFile> ownerLock;
    std::unique_ptr<sqlite3, ConnectionCloser> db;
    std::map<QString, Attachment> attachments;  // by absolute path
    std::unordered_map<QString, std::unique_ptr<Statement>> statements;
    quint64 generation = 1;  // grows whenever a cached statement is finalized
    int nextAlias = 0;
    int depth = 0;
    std::optional<ServerConfig> server;
    std::unique_ptr<PgConnection> pg;
    bool pgJoined = false;  // the server's transaction is open at depth
    bool claimsOwnSchema = false;
    int busyTimeoutMs = 5000;
};

// Absolute, clean path of a file name, a bare name resolving against the
// current folder.
QString absoluteDatabasePath(const QString& fileName);

}  // namespace quorvel::db
