// libpq connection, parameters in text form, server errors in Italian.
#include "db/PgConnection.h"

#include "db/ServerUnreachable.h"
#include "platform/Error.h"
#include "platform/SocketWait.h"
#include "platform/StopSignal.h"

#include <QElapsedTimer>
#include <QSet>
#include <QStringList>
#include <atomic>
#include <climits>

namespace quorvel::db {

namespace {
std::atomic<std::uint64_t> unreachableCount{0};
}  // namespace

ServerUnreachable::ServerUnreachable(const QString& where, const QString& cause)
    : Error(where, cause) {
    ++unreachableCount;
}

std::uint64_t serverUnreachableCount() {
    return unreachableCount.load();
}

namespace {

// Type oids of the built-in types the engine binds (pg_type.h is a server header).
constexpr Oid Int8Oid = 20;
constexpr Oid TextOid = 25;
constexpr Oid Float8Oid = 701;
constexpr Oid NumericOid = 1700;

// Set unless the connection string gives its own: an unreachable server
// fails a cycle quickly, a peer gone silent is noticed by the keepalives
// (TCP only; a Unix socket ignores them).
constexpr const char* DefaultKeywords[][2] = {
    {"connect_timeout", "5"},      {"keepalives", "1"},       {"keepalives_idle", "30"},
    {"keepalives_interval", "10"}, {"keepalives_count", "3"}, {"tcp_user_timeout", "60000"}};
// The server's own time-outs, unless the string's options set them: a
// statement ends after a minute, a session idle inside a transaction (a
// bridge stopped mid-batch) after five, so its locks go.
constexpr char DefaultStatementTimeout[] = "60s";
constexpr char DefaultIdleTimeout[] = "300s";
// Past the statement time-out the client cancels; past twice this it
// closes the connection, for a server that cannot even cancel.
constexpr int AnswerGraceMs = 1000;
constexpr int WaitSliceMs = 100;

struct ConnInfoFree {
    void operator()(PQconninfoOption* o) const { PQconninfoFree(o); }
};

// The keywords the connection string sets, and its options.
struct GivenKeys {
    QSet<QByteArray> keys;
    QByteArray options;
};
GivenKeys givenKeys(const QByteArray& conninfo) {
    GivenKeys given;
    char* error = nullptr;
    std::unique_ptr<PQconninfoOption, ConnInfoFree> opts(
        PQconninfoParse(conninfo.constData(), &error));
    PQfreemem(error);
    for (PQconninfoOption* o = opts.get(); o && o->keyword; ++o) {
        if (!o->val)
            continue;
        given.keys.insert(QByteArray(o->keyword));
        if (qstrcmp(o->keyword, "options") == 0)
            given.options = o->val;
    }
    return given;
}

void cancelQuietly(PGconn* conn) {
    if (PGcancel* cancel = PQgetCancel(conn)) {
        char error[256];
        PQcancel(cancel, error, sizeof error);
        PQfreeCancel(cancel);
    }
}

// Jet's Instr, case-insensitive for every letter; in pg_temp, so the
// program needs no right to create objects in the hotel's database.
constexpr char SessionSetup[] = R"sql(
CREATE FUNCTION pg_temp.jet_instr(t text, s text) RETURNS bigint
LANGUAGE sql IMMUTABLE STRICT AS
$f$ SELECT strpos(lower(t COLLATE "und-x-icu"), lower(s COLLATE "und-x-icu"))::bigint $f$;
CREATE FUNCTION pg_temp.jet_instr(st bigint, t text, s text) RETURNS bigint
LANGUAGE plpgsql IMMUTABLE STRICT AS $f$
DECLARE p bigint;
BEGIN
  IF st < 1 THEN RAISE EXCEPTION 'Instr: posizione iniziale non valida'; END IF;
  IF st > length(t) + 1 THEN RETURN 0; END IF;
  p := strpos(lower(substr(t, st::int) COLLATE "und-x-icu"), lower(s COLLATE "und-x-icu"));
  RETURN CASE WHEN p = 0 THEN 0 ELSE p + st - 1 END;
END $f$;
)sql";

}  // namespace

QString maskedConnInfo(const QString& conninfo) {
    char* error = nullptr;
    std::unique_ptr<PQconninfoOption, ConnInfoFree> opts(
        PQconninfoParse(conninfo.toUtf8().constData(), &error));
    if (!opts) {
        PQfreemem(error);
        // Not parseable: nothing of it is shown, it may hold a password anywhere.
        return QStringLiteral("(stringa di connessione non valida)");
    }
    QStringList parts;
    for (PQconninfoOption* o = opts.get(); o->keyword; ++o) {
        if (!o->val)
            continue;
        const QString key = QString::fromUtf8(o->keyword);
        const bool secret = key == QLatin1String("password") || QByteArray(o->dispchar) == "*";
        parts << key + u'=' + (secret ? QStringLiteral("***") : QString::fromUtf8(o->val));
    }
    return parts.join(u' ');
}

bool connInfoHasPassword(const QString& conninfo) {
    char* error = nullptr;
    std::unique_ptr<PQconninfoOption, ConnInfoFree> opts(
        PQconninfoParse(conninfo.toUtf8().constData(), &error));
    if (!opts) {
        PQfreemem(error);
        return conninfo.contains(QLatin1String("password"), Qt::CaseInsensitive);
    }
    for (PQconninfoOption* o = opts.get(); o->keyword; ++o) {
        if (o->val && qstrcmp(o->keyword, "password") == 0)
            return true;
    }
    return false;
}

PgParam pgParam(const Value& value) {
    PgParam p;
    std::visit(
        [&](const auto& v) {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, std::int64_t>) {
                p.type = Int8Oid;
                p.text = QByteArray::number(static_cast<qlonglong>(v));
            } else if constexpr (std::is_same_v<T, double>) {
                p.type = Float8Oid;
                p.text = QByteArray::number(v, 'g', 17);
            } else if constexpr (std::is_same_v<T, Currency>) {
                const std::int64_t raw = v.raw();
                const quint64 mag =
                    raw < 0 ? 0 - static_cast<quint64>(raw) : static_cast<quint64>(raw);
                p.type = NumericOid;
                p.text = (raw < 0 ? QByteArray("-") : QByteArray()) +
                         QByteArray::number(mag / Currency::Scale) + '.' +
                         QByteArray::number(mag % Currency::Scale).rightJustified(4, '0');
            } else if constexpr (std::is_same_v<T, QString>) {
                // libpq would end the text at a NUL and store the rest lost.
                if (v.contains(QChar(0)))
                    throw ValueRefused(QStringLiteral("server"),
                                       QStringLiteral("il testo contiene un byte NUL, che il "
                                                      "server non accetta"));
                p.type = TextOid;
                p.text = v.toUtf8();
            }
        },
        value.variant());
    return p;
}

QByteArray numberedPlaceholders(const QString& sql, int* count) {
    QString out;
    out.reserve(sql.size() + 16);
    int n = 0;
    QChar quote;
    for (const QChar c : sql) {
        if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
        } else if (c == u'\'' || c == u'"') {
            quote = c;
        } else if (c == u'?') {
            out += u'$' + QString::number(++n);
            continue;
        }
        out += c;
    }
    if (count)
        *count = n;
    return out.toUtf8();
}

QString oneLine(const QString& text) {
    return text.simplified();
}

PgConnection::PgConnection(QString conninfo, std::function<void(PgConnection&)> onConnect)
    : m_conninfo(std::move(conninfo)),
      m_masked(maskedConnInfo(m_conninfo)),
      m_onConnect(std::move(onConnect)) {
    connect();
}

void PgConnection::connect() {
    m_conn.reset();
    m_prepared.clear();  // prepared statements live and die with the session
    if (stopRequested())
        throw Error(m_masked, QStringLiteral("arresto richiesto: nessuna nuova connessione"));
    // The string first, then what the engine needs and the defaults it leaves.
    const QByteArray info = m_conninfo.toUtf8();
    const GivenKeys given = givenKeys(info);
    std::vector<const char*> keys{"dbname", "client_encoding", "application_name"};
    std::vector<const char*> values{info.constData(), "UTF8", "Quorvel"};
    for (const auto& [key, value] : DefaultKeywords) {
        if (!given.keys.contains(key)) {
            keys.push_back(key);
            values.push_back(value);
        }
    }
    keys.push_back(nullptr);
    values.push_back(nullptr);
    // Bounded from the start: the setup's own statements wait no longer.
    m_answerWaitMs = 60000 + AnswerGraceMs;
    m_conn.reset(PQconnectdbParams(keys.data(), values.data(), 1));
    if (!m_conn)
        throw Error(m_masked, QStringLiteral("memoria insufficiente per la connessione al server"));
    // The server's notices (a long index name cut, say) are not errors.
    PQsetNoticeProcessor(
        m_conn.get(), [](void*, const char*) {}, nullptr);
    if (PQstatus(m_conn.get()) != CONNECTION_OK) {
        const QString detail = oneLine(QString::fromUtf8(PQerrorMessage(m_conn.get())));
        QString cause = QStringLiteral("connessione al server del database non riuscita");
        if (detail.contains(QLatin1String("password authentication failed")) ||
            detail.contains(QLatin1String("no password supplied")))
            cause = QStringLiteral(
                "accesso al server del database rifiutato (utente o password "
                "errati)");
        const bool refused = !cause.startsWith(QLatin1String("connessione"));
        m_conn.reset();
        if (refused)
            throw Error(m_masked, QStringLiteral("%1: %2").arg(cause, detail));
        throw ServerUnreachable(m_masked, QStringLiteral("%1: %2").arg(cause, detail));
    }
    try {
        QByteArray setup(SessionSetup);
        if (!given.options.contains("statement_timeout"))
            setup += QByteArray("SET statement_timeout = '") + DefaultStatementTimeout + "';";
        if (!given.options.contains("idle_in_transaction_session_timeout"))
            setup += QByteArray("SET idle_in_transaction_session_timeout = '") +
                     DefaultIdleTimeout + "';";
        run(setup, {}, m_masked);
        const PgResult limit =
            run("SELECT (EXTRACT(EPOCH FROM current_setting('statement_timeout')::interval) * "
                "1000)::bigint",
                {}, m_masked);
        const qint64 ms = QByteArray(PQgetvalue(limit.get(), 0, 0)).toLongLong();
        m_answerWaitMs =
            ms > 0 ? static_cast<int>(std::min<qint64>(ms + AnswerGraceMs, INT_MAX / 2)) : 0;
        setLockTimeout(m_lockTimeoutMs);
        if (m_onConnect)
            m_onConnect(*this);
    } catch (...) {
        // Never left half set up: the next statement connects again.
        m_conn.reset();
        throw;
    }
}

PgResult PgConnection::answer(bool sent, const QString& where) {
    PGconn* conn = m_conn.get();
    if (!sent)
        return {};
    QElapsedTimer clock;
    clock.start();
    qint64 cancelledAt = -1;
    PgResult last;
    for (;;) {
        while (PQisBusy(conn)) {
            if (stopRequested()) {
                cancelQuietly(conn);
                abandon();
                throw Error(where, QStringLiteral("arresto richiesto: l'operazione sul server del "
                                                  "database è interrotta"));
            }
            const qint64 waited = clock.elapsed();
            if (m_answerWaitMs > 0 && waited >= m_answerWaitMs) {
                if (cancelledAt < 0) {
                    cancelQuietly(conn);
                    cancelledAt = waited;
                } else if (waited >= cancelledAt + AnswerGraceMs) {
                    abandon();
                    throw ServerUnreachable(
                        where, QStringLiteral("il server del database non risponde da %1 "
                                              "s: connessione chiusa")
                                   .arg((waited + 999) / 1000));
                }
            }
            // Readable, failed or a signal: libpq reads what there is.
            if (waitReadable(PQsocket(conn), WaitSliceMs) && !PQconsumeInput(conn))
                break;  // the connection is gone: the result says so
        }
        PgResult one(PQgetResult(conn));
        if (!one)
            break;
        // The first failure is the answer (several statements stop at it).
        const ExecStatusType st = last ? PQresultStatus(last.get()) : PGRES_COMMAND_OK;
        if (st == PGRES_COMMAND_OK || st == PGRES_TUPLES_OK)
            last = std::move(one);
    }
    return last;
}

void PgConnection::abandon() {
    m_abandonedPid = PQbackendPID(m_conn.get());
    m_conn.reset();
}

void PgConnection::reconnect() {
    connect();
}

void PgConnection::setLockTimeout(int milliseconds) {
    m_lockTimeoutMs = milliseconds;
    if (ok())
        run(QByteArrayLiteral("SET lock_timeout = ") + QByteArray::number(milliseconds), {},
            m_masked);
}

PgResult PgConnection::run(const QByteArray& sql, const std::vector<PgParam>& params,
                           const QString& where, bool retrying) {
    if (!ok()) {
        if (m_inTransaction)
            throw ServerUnreachable(where,
                                    QStringLiteral("connessione al server del database interrotta: "
                                                   "la transazione è annullata"));
        connect();
    }
    std::vector<Oid> types;
    std::vector<const char*> values;
    std::vector<int> lengths;
    types.reserve(params.size());
    values.reserve(params.size());
    lengths.reserve(params.size());
    for (const PgParam& p : params) {
        types.push_back(p.type);
        values.push_back(p.text ? p.text->constData() : nullptr);
        lengths.push_back(p.text ? static_cast<int>(p.text->size()) : 0);
    }
    PgResult r;
    const bool several = params.empty() && sql.contains(';');  // the session setup
    const QByteArray name = several ? QByteArray() : prepared(sql, types, r, where);
    if (r) {
        // The prepare failed: its answer is the statement's.
    } else if (several) {
        r = answer(PQsendQuery(m_conn.get(), sql.constData()), where);
    } else if (!name.isEmpty()) {
        r = answer(
            PQsendQueryPrepared(m_conn.get(), name.constData(), static_cast<int>(params.size()),
                                values.data(), lengths.data(), nullptr, 0),
            where);
    } else {
        r = answer(PQsendQueryParams(m_conn.get(), sql.constData(), static_cast<int>(params.size()),
                                     types.data(), values.data(), lengths.data(), nullptr, 0),
                   where);
    }
    const ExecStatusType st = r ? PQresultStatus(r.get()) : PGRES_FATAL_ERROR;
    if (st != PGRES_COMMAND_OK && st != PGRES_TUPLES_OK) {
        const char* state = r ? PQresultErrorField(r.get(), PG_DIAG_SQLSTATE) : nullptr;
        if (!name.isEmpty() && state && QByteArray(state) == "0A000") {
            // A table changed under a kept plan ("cached plan must not change
            // result type"): prepared afresh next time; outside a transaction
            // sent again at once.
            forgetPrepared(sql, types);
            if (ok() && !retrying && !m_inTransaction &&
                PQtransactionStatus(m_conn.get()) == PQTRANS_IDLE)
                return run(sql, params, where, true);
        }
        // The server went away since the last statement (libpq sees it only
        // now): outside a transaction a statement that changes nothing is
        // sent again on a new connection. A write is not: it may have run.
        if (!ok() && !m_inTransaction && !retrying &&
            (sql.startsWith("BEGIN") || sql.startsWith("SELECT") || sql.startsWith("SET"))) {
            connect();
            return run(sql, params, where, true);
        }
        fail(r.get(), where);
    }
    return r;
}

namespace {

// Statements worth preparing: those that read or write rows, run again and
// again with other values. DDL and transaction control run as they come.
bool preparable(const QByteArray& sql) {
    return sql.startsWith("SELECT") || sql.startsWith("INSERT") || sql.startsWith("UPDATE") ||
           sql.startsWith("DELETE");
}

QByteArray preparedKey(const QByteArray& sql, const std::vector<Oid>& types) {
    QByteArray key;
    key.reserve(sql.size() + static_cast<qsizetype>(types.size() * 5) + 1);
    for (const Oid t : types) key += QByteArray::number(t) + ',';
    return key + ';' + sql;
}

}  // namespace

QByteArray PgConnection::prepared(const QByteArray& sql, const std::vector<Oid>& types,
                                  PgResult& failed, const QString& where) {
    if (!preparable(sql))
        return {};
    const QByteArray key = preparedKey(sql, types);
    if (const auto it = m_prepared.constFind(key); it != m_prepared.constEnd())
        return *it;
    if (m_prepared.size() >= MaxPrepared) {
        // Emptied only outside a transaction, so a failure there cannot abort one.
        if (PQtransactionStatus(m_conn.get()) != PQTRANS_IDLE)
            return {};
        PgResult dropped = answer(PQsendQuery(m_conn.get(), "DEALLOCATE ALL"), where);
        if (!dropped || PQresultStatus(dropped.get()) != PGRES_COMMAND_OK)
            return {};
        m_prepared.clear();
    }
    const QByteArray name = "q" + QByteArray::number(++m_nextPrepared);
    PgResult r = answer(PQsendPrepare(m_conn.get(), name.constData(), sql.constData(),
                                      static_cast<int>(types.size()), types.data()),
                        where);
    if (!r || PQresultStatus(r.get()) != PGRES_COMMAND_OK) {
        failed = std::move(r);
        if (!failed)
            failed.reset(PQmakeEmptyPGresult(m_conn.get(), PGRES_FATAL_ERROR));
        return {};
    }
    m_prepared.insert(key, name);
    return name;
}

void PgConnection::forgetPrepared(const QByteArray& sql, const std::vector<Oid>& types) {
    const QByteArray key = preparedKey(sql, types);
    const auto it = m_prepared.constFind(key);
    if (it == m_prepared.constEnd())
        return;
    // Outside a transaction the server drops it too; inside, a DEALLOCATE
    // could fail an aborted transaction's cleanup, so the name is left unused.
    if (ok() && PQtransactionStatus(m_conn.get()) == PQTRANS_IDLE)
        answer(PQsendQuery(m_conn.get(), ("DEALLOCATE " + *it).constData()), QString());
    m_prepared.erase(it);
}

void PgConnection::fail(const PGresult* result, const QString& where) const {
    const char* state = result ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
    const char* primary = result ? PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
    const QString detail = oneLine(QString::fromUtf8(
        primary ? primary : (m_conn ? PQerrorMessage(m_conn.get()) : "connessione chiusa")));
    const QByteArray code = state ? QByteArray(state) : QByteArray();
    if (!ok() || code.startsWith("08") || code == "57P01" || code == "57P02" || code == "57P03")
        throw ServerUnreachable(
            where,
            QStringLiteral("connessione al server del database interrotta (%1)").arg(detail));
    if (code == "55P03")
        throw Error(where,
                    QStringLiteral("database bloccato da un altro programma (%1)").arg(detail));
    if (code == "40001" || code == "40P01")
        throw Error(where, QStringLiteral("conflitto con un altro utente del database, riprovare "
                                          "(%1)")
                               .arg(detail));
    if (code == "57014")
        throw Error(
            where,
            QStringLiteral("il server del database non ha risposto in tempo (%1)").arg(detail));
    // Tied to the row being written, not to the store: the caller may set
    // that row aside and go on.
    if (code == "22001")
        throw ValueRefused(where, QStringLiteral("testo troppo lungo (%1)").arg(detail));
    if (code == "22003")
        throw ValueRefused(where, QStringLiteral("valore fuori intervallo (%1)").arg(detail));
    if (code.startsWith("23") || code == "P0001")
        throw ValueRefused(where, QStringLiteral("valore rifiutato dal server (%1)").arg(detail));
    if (code == "42P01")
        throw Error(where, QStringLiteral("tabella inesistente sul server (%1)").arg(detail));
    if (code == "42703")
        throw Error(where, QStringLiteral("campo inesistente sul server (%1)").arg(detail));
    if (code == "3F000")
        throw Error(where, QStringLiteral("schema inesistente sul server (%1)").arg(detail));
    if (code == "42501")
        throw Error(where, QStringLiteral("permesso negato dal server (%1)").arg(detail));
    if (code == "22P02" || code == "42804" || code == "42883" || code == "42846")
        throw Error(where, QStringLiteral("tipo non corrispondente (%1)").arg(detail));
    if (code == "53100")
        throw Error(where, QStringLiteral("disco pieno sul server (%1)").arg(detail));
    throw Error(where, QStringLiteral("errore del server del database: %1").arg(detail));
}

}  // namespace quorvel::db
