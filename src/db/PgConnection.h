// The PostgreSQL side of a workspace: one libpq connection owned by RAII,
// statements run with typed parameters (text format both ways, so numeric
// money and doubles travel exactly), server errors turned into Error with an
// Italian cause, and the connection string kept out of every message but
// with its password masked. A statement that reads or writes rows is
// prepared on the server once per connection and parameter types and run
// again by name: the server parses it once and may keep its plan, which
// halves what a transfer line costs it.
#pragma once

#include "db/Engine.h"

#include <libpq-fe.h>

#include <QByteArray>
#include <QHash>
#include <QString>
#include <functional>
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
    // Connects with the default time-outs and keepalives for every one
    // conninfo does not set, then runs onConnect (again at every reconnect;
    // when it throws, the connection is dropped). Throws Error naming the
    // server (password masked) when it cannot.
    explicit PgConnection(QString conninfo, std::function<void(PgConnection&)> onConnect = {});
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
    int lockTimeoutMs() const { return m_lockTimeoutMs; }
    const QString& server() const { return m_masked; }
    // Inside a transaction a lost connection fails the statement (the
    // server has rolled back); outside, run() connects again first.
    void setInTransaction(bool on) { m_inTransaction = on; }
    bool inTransaction() const { return m_inTransaction; }
    // How many statements are prepared on the server now (for tests).
    int preparedCount() const { return static_cast<int>(m_prepared.size()); }
    // The server process serving this connection (for tests).
    int backendPid() const { return PQbackendPID(m_conn.get()); }
    // The server process of the last connection given up without an answer
    // (time-out, stop request): it may live on, still holding the session's
    // locks. 0 when none was.
    int abandonedBackendPid() const { return m_abandonedPid; }
    // How long a call waits for the server's answer before it is cancelled
    // and the connection closed: the server's statement_timeout plus a grace.
    int answerWaitMs() const { return m_answerWaitMs; }

    // At most this many statements stay prepared; beyond, the cache is
    // emptied at the next statement outside a transaction.
    static constexpr int MaxPrepared = 256;

private:
    void connect();
    [[noreturn]] void fail(const PGresult* result, const QString& where) const;
    // Closes a connection whose server gave no answer.
    void abandon();
    // The answer to what was just sent, waited for with a bound (and given
    // up at a stop request); nullptr when the send itself failed.
    PgResult answer(bool sent, const QString& where);
    // The statement's name on the server, prepared now when needed; empty
    // when it is run unprepared (the cache is full inside a transaction).
    // On a failed prepare, failed holds the server's answer.
    QByteArray prepared(const QByteArray& sql, const std::vector<Oid>& types, PgResult& failed,
                        const QString& where);
    void forgetPrepared(const QByteArray& sql, const std::vector<Oid>& types);

    QString m_conninfo;
    QString m_masked;
    std::function<void(PgConnection&)> m_onConnect;
    int m_answerWaitMs = 0;  // 0: no bound
    std::unique_ptr<PGconn, PgConnFinish> m_conn;
    QHash<QByteArray, QByteArray> m_prepared;  // types and SQL text -> name
    int m_nextPrepared = 0;
    int m_lockTimeoutMs = 5000;
    int m_abandonedPid = 0;
    bool m_inTransaction = false;
};

// A server's or libpq's text on one line (they span several).
QString oneLine(const QString& text);

// The SQL text for the server: each ? outside quotes becomes $1, $2, ...
QByteArray numberedPlaceholders(const QString& sql, int* count = nullptr);

}  // namespace quorvel::db
