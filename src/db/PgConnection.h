// The PostgreSQL side of a workspace: one libpq connection owned by RAII,
// statements run with typed parameters (text format both ways, so numeric
// money and doubles travel exactly), server errors turned into Error with an
// Italian cause, and the connection string kept out of every message but
// with its password masked.
#pragma once

#include "db/Engine.h"

#include <libpq-fe.h>

#include <QByteArray>
#include <QString>
#include <memory>
#include <optional>
#include <vector>

namespace quorvel::db {

struct PgResultFree {
    void operator()(PGresult* r) const { PQclear(r); }
};
using PgResult = std::unique_ptr<PGresult, PgResultFree>;
struct PgConnFinish {
    void operator()(PGconn* c) const { PQfinish(c); }
};

// The connection string as it may be logged: a password shown as "***".
QString maskedConnInfo(const QString& conninfo);
// True when the connection string carries a password of its own.
bool connInfoHasPassword(const QString& conninfo);

// One parameter of a statement, in libpq's text form.
struct PgParam {
    Oid type = 0;  // 0: the server infers it (a Null)
    std::optional<QByteArray> text;
};
PgParam pgParam(const Value& value);

class PgConnection {
public:
    // Connects (blocking, with a connect timeout unless conninfo sets one).
    // Throws Error naming the server (password masked) when it cannot.
    explicit PgConnection(QString conninfo);
    ~PgConnection() = default;
    PgConnection(const PgConnection&) = delete;
    PgConnection& operator=(const PgConnection&) = delete;

    bool ok() const { return PQstatus(m_conn.get()) == CONNECTION_OK; }
    // Connects again after the server went away. Throws like the constructor.
    void reconnect();
    // Runs one statement; a result with rows or a command's. where names the
    // file, table or field of an error.
    PgResult run(const QByteArray& sql, const std::vector<PgParam>& params, const QString& where,
                 bool retrying = false);
    void exec(const QString& sql, const QString& where) { run(sql.toUtf8(), {}, where); }
    // How long a statement waits for a row lock of another bridge.
    void setLockTimeout(int milliseconds);
    const QString& server() const { return m_masked; }
    // Inside a transaction a lost connection fails the statement (the
    // server has rolled back); outside, run() connects again first.
    void setInTransaction(bool on) { m_inTransaction = on; }
    bool inTransaction() const { return m_inTransaction; }

private:
    void connect();
    [[noreturn]] void fail(const PGresult* result, const QString& where) const;

    QString m_conninfo;
    QString m_masked;
    std::unique_ptr<PGconn, PgConnFinish> m_conn;
    int m_lockTimeoutMs = 5000;
    bool m_inTransaction = false;
};

// The SQL text for the server: each ? outside quotes becomes $1, $2, ...
QByteArray numberedPlaceholders(const QString& sql, int* count = nullptr);

}  // namespace quorvel::db
