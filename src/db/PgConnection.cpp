// libpq connection, parameters in text form, server errors in Italian.
#include "db/PgConnection.h"

#include "platform/Error.h"

#include <QStringList>

namespace quorvel::db {

namespace {

// Type oids of the built-in types the engine binds (pg_type.h is a server header).
constexpr Oid Int8Oid = 20;
constexpr Oid TextOid = 25;
constexpr Oid Float8Oid = 701;
constexpr Oid NumericOid = 1700;

constexpr char DefaultConnectTimeout[] = "5";

struct ConnInfoFree {
    void operator()(PQconninfoOption* o) const { PQconninfoFree(o); }
};

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

PgConnection::PgConnection(QString conninfo)
    : m_conninfo(std::move(conninfo)), m_masked(maskedConnInfo(m_conninfo)) {
    connect();
}

void PgConnection::connect() {
    m_conn.reset();
    m_prepared.clear();  // prepared statements live and die with the session
    // The string first, then what the engine needs; a connect timeout only
    // when the string gives none, so an unreachable server fails a tick
    // quickly instead of hanging it.
    const QByteArray info = m_conninfo.toUtf8();
    const bool hasTimeout = m_conninfo.contains(QLatin1String("connect_timeout"));
    const char* keys[] = {"dbname", "client_encoding", "application_name",
                          hasTimeout ? nullptr : "connect_timeout", nullptr};
    const char* values[] = {info.constData(), "UTF8", "Quorvel", DefaultConnectTimeout, nullptr};
    m_conn.reset(PQconnectdbParams(keys, values, 1));
    if (!m_conn)
        throw Error(m_masked, QStringLiteral("memoria insufficiente per la connessione al server"));
    // The server's notices (a long index name cut, say) are not errors.
    PQsetNoticeProcessor(
        m_conn.get(), [](void*, const char*) {}, nullptr);
    if (PQstatus(m_conn.get()) != CONNECTION_OK) {
        const QString detail = QString::fromUtf8(PQerrorMessage(m_conn.get())).trimmed();
        QString cause = QStringLiteral("connessione al server del database non riuscita");
        if (detail.contains(QLatin1String("password authentication failed")) ||
            detail.contains(QLatin1String("no password supplied")))
            cause = QStringLiteral(
                "accesso al server del database rifiutato (utente o password "
                "errati)");
        throw Error(m_masked, QStringLiteral("%1: %2").arg(cause, detail));
    }
    run(QByteArray(SessionSetup), {}, m_masked);
    setLockTimeout(m_lockTimeoutMs);
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
            throw Error(where, QStringLiteral("connessione al server del database interrotta: la "
                                              "transazione è annullata"));
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
    const QByteArray name = several ? QByteArray() : prepared(sql, types, r);
    if (r) {
        // The prepare failed: its answer is the statement's.
    } else if (several) {
        r.reset(PQexec(m_conn.get(), sql.constData()));
    } else if (!name.isEmpty()) {
        r.reset(PQexecPrepared(m_conn.get(), name.constData(), static_cast<int>(params.size()),
                               values.data(), lengths.data(), nullptr, 0));
    } else {
        r.reset(PQexecParams(m_conn.get(), sql.constData(), static_cast<int>(params.size()),
                             types.data(), values.data(), lengths.data(), nullptr, 0));
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
                                  PgResult& failed) {
    if (!preparable(sql))
        return {};
    const QByteArray key = preparedKey(sql, types);
    if (const auto it = m_prepared.constFind(key); it != m_prepared.constEnd())
        return *it;
    if (m_prepared.size() >= MaxPrepared) {
        // Emptied only outside a transaction, so a failure there cannot abort one.
        if (PQtransactionStatus(m_conn.get()) != PQTRANS_IDLE)
            return {};
        PgResult dropped(PQexec(m_conn.get(), "DEALLOCATE ALL"));
        if (!dropped || PQresultStatus(dropped.get()) != PGRES_COMMAND_OK)
            return {};
        m_prepared.clear();
    }
    const QByteArray name = "q" + QByteArray::number(++m_nextPrepared);
    PgResult r(PQprepare(m_conn.get(), name.constData(), sql.constData(),
                         static_cast<int>(types.size()), types.data()));
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
        PgResult(PQexec(m_conn.get(), ("DEALLOCATE " + *it).constData()));
    m_prepared.erase(it);
}

void PgConnection::fail(const PGresult* result, const QString& where) const {
    const char* state = result ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
    const char* primary = result ? PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
    const QString detail =
        QString::fromUtf8(primary ? primary : PQerrorMessage(m_conn.get())).trimmed();
    const QByteArray code = state ? QByteArray(state) : QByteArray();
    if (!ok() || code.startsWith("08") || code == "57P01" || code == "57P02" || code == "57P03")
        throw Error(
            where,
            QStringLiteral("connessione al server del database interrotta (%1)").arg(detail));
    if (code == "55P03")
        throw Error(where,
                    QStringLiteral("database bloccato da un altro programma (%1)").arg(detail));
    if (code == "40001" || code == "40P01")
        throw Error(where, QStringLiteral("conflitto con un altro utente del database, riprovare "
                                          "(%1)")
                               .arg(detail));
    if (code == "42P01")
        throw Error(where, QStringLiteral("tabella inesistente sul server (%1)").arg(detail));
    if (code == "42703")
        throw Error(where, QStringLiteral("campo inesistente sul server (%1)").arg(detail));
    if (code == "3F000")
        throw Error(where, QStringLiteral("schema inesistente sul server (%1)").arg(detail));
    if (code == "42501")
        throw Error(where, QStringLiteral("permesso negato dal server (%1)").arg(detail));
    if (code == "22001")
        throw Error(where, QStringLiteral("testo troppo lungo (%1)").arg(detail));
    if (code == "22003")
        throw Error(where, QStringLiteral("valore fuori intervallo (%1)").arg(detail));
    if (code == "22P02" || code == "42804" || code == "42883" || code == "42846")
        throw Error(where, QStringLiteral("tipo non corrispondente (%1)").arg(detail));
    if (code == "53100")
        throw Error(where, QStringLiteral("disco pieno sul server (%1)").arg(detail));
    throw Error(where, QStringLiteral("errore del server del database: %1").arg(detail));
}

}  // namespace quorvel::db
