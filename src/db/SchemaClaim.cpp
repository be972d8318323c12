// The schema claim: an advisory lock and the row naming its holder.
#include "db/SchemaClaim.h"

#include "db/Dialect.h"
#include "db/Schema.h"
#include "platform/Error.h"
#include "platform/Log.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QSysInfo>
#include <climits>
#ifdef Q_OS_UNIX
#include <cerrno>
#include <csignal>
#endif

namespace quorvel::db {

namespace {

constexpr char TryLock[] = "SELECT pg_try_advisory_lock(hashtextextended($1, 0))";
constexpr int ClaimWaitMs = 1000;
constexpr char Unlock[] = "SELECT pg_advisory_unlock(hashtextextended($1, 0))";

PgParam textParam(const QString& text) {
    return pgParam(Value(text));
}

QByteArray lockKey(const QString& schema) {
    return QByteArrayLiteral("quorvel-schema:") + schema.toUtf8();
}

bool tryLock(PgConnection& conn, const QString& schema) {
    const PgResult r = conn.run(TryLock, {textParam(QString::fromUtf8(lockKey(schema)))}, schema);
    return qstrcmp(PQgetvalue(r.get(), 0, 0), "t") == 0;
}

// As tryLock, waiting up to milliseconds: a bridge restarted at once finds
// its old session's lock still held for the moment the server needs to see
// that session gone.
bool lockWithin(PgConnection& conn, const QString& schema, int milliseconds) {
    const int kept = conn.lockTimeoutMs();
    conn.setLockTimeout(milliseconds);
    bool got = true;
    try {
        conn.run("SELECT pg_advisory_lock(hashtextextended($1, 0))",
                 {textParam(QString::fromUtf8(lockKey(schema)))}, schema);
    } catch (const Error& e) {
        if (!e.cause().startsWith(QLatin1String("database bloccato")))
            throw;
        got = false;
    }
    conn.setLockTimeout(kept);
    return got;
}

bool exists(PgConnection& conn, const QString& schema) {
    const PgResult r =
        conn.run("SELECT 1 FROM pg_namespace WHERE nspname = $1", {textParam(schema)}, schema);
    return PQntuples(r.get()) > 0;
}

QString table(const QString& schema) {
    return quoteIdentifier(schema) + QStringLiteral(".\"Ponte\"");
}

QString thisBridge() {
    return QStringLiteral("macchina %1, cartella %2, processo %3")
        .arg(QSysInfo::machineHostName(), QDir::currentPath())
        .arg(QCoreApplication::applicationPid());
}

// The holder as its row names it; a placeholder when the row is not there.
QString holder(PgConnection& conn, const QString& schema) {
    try {
        const PgResult r = conn.run(
            (QStringLiteral("SELECT \"Macchina\", \"Cartella\", \"Processo\", \"Dal\" FROM %1 "
                            "ORDER BY quorvel_rowid DESC LIMIT 1")
                 .arg(table(schema)))
                .toUtf8(),
            {}, schema);
        if (PQntuples(r.get()) > 0) {
            auto at = [&](int c) { return QString::fromUtf8(PQgetvalue(r.get(), 0, c)); };
            return QStringLiteral("macchina %1, cartella %2, processo %3, dal %4")
                .arg(at(0), at(1), at(2), at(3));
        }
    } catch (const Error&) {
    }
    return QStringLiteral("un altro ponte, non identificato");
}

// The session holding the schema that this bridge abandoned: its own
// earlier connection, given up after a time-out (the row names this
// process), or on Unix any session of a process of this machine and folder
// that no longer runs (a crash or power cut the server has not noticed).
// Without this the schema stays held until the server's keepalive ends the
// session, hours on a default server. 0: none; -1: whichever holds it.
qint64 abandonedSession(PgConnection& conn, const QString& schema) {
    try {
        const PgResult r =
            conn.run((QStringLiteral("SELECT \"Macchina\", \"Cartella\", \"Processo\" FROM %1 "
                                     "ORDER BY quorvel_rowid DESC LIMIT 1")
                          .arg(table(schema)))
                         .toUtf8(),
                     {}, schema);
        if (PQntuples(r.get()) == 0 ||
            QString::fromUtf8(PQgetvalue(r.get(), 0, 0)) != QSysInfo::machineHostName().left(255) ||
            QString::fromUtf8(PQgetvalue(r.get(), 0, 1)) != QDir::currentPath().left(1024))
            return 0;
        const qint64 pid = QByteArray(PQgetvalue(r.get(), 0, 2)).toLongLong();
        if (pid == QCoreApplication::applicationPid())
            return conn.abandonedBackendPid();
#ifdef Q_OS_UNIX
        if (pid > 0 && pid <= INT_MAX && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH)
            return -1;
#endif
    } catch (const Error&) {
    }
    return 0;
}

// Ends the session(s) holding the schema's lock (which: a server process,
// -1 any); true when one ended.
bool endHolders(PgConnection& conn, const QString& schema, qint64 which) {
    const PgResult r = conn.run(
        "SELECT pid, pg_terminate_backend(pid, 2000) FROM pg_locks WHERE locktype = 'advisory' "
        "AND granted AND objsubid = 1 AND pid <> pg_backend_pid() AND ($2 < 0 OR pid = $2) AND "
        "classid::bigint = ((hashtextextended($1, 0) >> 32) & 4294967295) AND "
        "objid::bigint = (hashtextextended($1, 0) & 4294967295)",
        {textParam(QString::fromUtf8(lockKey(schema))), pgParam(Value(static_cast<std::int64_t>(which)))}, schema);
    QStringList ended;
    for (int i = 0; i < PQntuples(r.get()); ++i) {
        if (qstrcmp(PQgetvalue(r.get(), i, 1), "t") == 0)
            ended << QString::fromUtf8(PQgetvalue(r.get(), i, 0));
    }
    if (!ended.isEmpty())
        log::info(QStringLiteral("Schema %1: una connessione precedente di questo ponte (processo "
                                 "del server %2) lo teneva ancora ed è stata chiusa")
                      .arg(schema, ended.join(QStringLiteral(", "))));
    return !ended.isEmpty();
}

}  // namespace

bool adoptLegacySchema(PgConnection& conn, const ServerConfig& config) {
    const QString& legacy = config.legacySchema;
    if (legacy.isEmpty() || legacy == config.ownSchema || exists(conn, config.ownSchema) ||
        !exists(conn, legacy) || !tryLock(conn, legacy))
        return false;
    bool adopted = false;
    try {
        // A schema with a "Ponte" table was claimed by a bridge of this
        // version: it is somebody's own, never taken over.
        const PgResult claimed =
            conn.run("SELECT to_regclass($1) IS NOT NULL", {textParam(table(legacy))}, legacy);
        if (qstrcmp(PQgetvalue(claimed.get(), 0, 0), "f") == 0) {
            conn.exec(QStringLiteral("ALTER SCHEMA %1 RENAME TO %2")
                          .arg(quoteIdentifier(legacy), quoteIdentifier(config.ownSchema)),
                      legacy);
            adopted = true;
        }
    } catch (...) {
        conn.run(Unlock, {textParam(QString::fromUtf8(lockKey(legacy)))}, legacy);
        throw;
    }
    conn.run(Unlock, {textParam(QString::fromUtf8(lockKey(legacy)))}, legacy);
    if (adopted)
        log::info(QStringLiteral("Schema %1 (dal percorso della cartella) rinominato in %2, "
                                 "identità della cartella in %3")
                      .arg(legacy, config.ownSchema, QLatin1String(FolderIdentityFile)));
    return adopted;
}

void claimOwnSchema(PgConnection& conn, const ServerConfig& config) {
    const QString& schema = config.ownSchema;
    bool claimed = lockWithin(conn, schema, ClaimWaitMs);
    if (!claimed) {
        const qint64 abandoned = abandonedSession(conn, schema);
        claimed = abandoned != 0 && endHolders(conn, schema, abandoned) &&
                  lockWithin(conn, schema, ClaimWaitMs);
    }
    if (!claimed) {
        throw Error(schema,
                    QStringLiteral("schema delle tabelle del programma già in uso da un altro "
                                   "ponte (%1); questo ponte (%2) non trasferisce nulla finché "
                                   "l'altro è in funzione: dare a ciascun ponte una cartella di "
                                   "lavoro propria (%3) o uno schema proprio (seconda riga di %4)")
                        .arg(holder(conn, schema), thisBridge(), QLatin1String(FolderIdentityFile),
                             QLatin1String(ServerConfigFile)));
    }
    adoptLegacySchema(conn, config);
    conn.exec(QStringLiteral("CREATE SCHEMA IF NOT EXISTS ") + quoteIdentifier(schema), schema);
    conn.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (%2 bigint GENERATED BY DEFAULT AS "
                             "IDENTITY PRIMARY KEY, \"Macchina\" varchar(255), \"Cartella\" "
                             "varchar(1024), \"Processo\" bigint, \"Dal\" varchar(19))")
                  .arg(table(schema), QLatin1String(dialect::ServerRowId)),
              schema);
    conn.exec(QStringLiteral("DELETE FROM ") + table(schema), schema);
    conn.run(
        (QStringLiteral("INSERT INTO %1 (\"Macchina\", \"Cartella\", \"Processo\", \"Dal\") "
                        "VALUES ($1, $2, $3, $4)")
             .arg(table(schema)))
            .toUtf8(),
        {textParam(QSysInfo::machineHostName().left(255)),
         textParam(QDir::currentPath().left(1024)),
         pgParam(Value(static_cast<std::int64_t>(QCoreApplication::applicationPid()))),
         textParam(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")))},
        schema);
}

}  // namespace quorvel::db
