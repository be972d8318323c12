// Prepared statements, value binding and reading, SQLite errors as Error.
#include "db/Statement.h"

#include "db/SqlTranslator.h"
#include "platform/Error.h"

#include <QRegularExpression>
#include <cmath>
#include <cstdlib>

namespace quorvel::db {

Column columnFromDeclared(const QString& name, const QString& declared) {
    Column c;
    c.name = name;
    c.quoted = quoteIdentifier(name);
    const QString t = declared.trimmed().toUpper();
    auto starts = [&](const char* word) { return t.startsWith(QLatin1String(word)); };
    if (starts("SMALLINT") || starts("SHORT") || starts("INT16")) {
        c.kind = ColumnKind::Int16;
    } else if (starts("INTEGER") || starts("LONG") || t == QLatin1String("INT") ||
               starts("INT32")) {
        c.kind = ColumnKind::Int32;
    } else if (starts("CURRENCY") || starts("MONEY")) {
        c.kind = ColumnKind::Currency;
    } else if (starts("DOUBLE") || starts("REAL") || starts("FLOAT")) {
        c.kind = ColumnKind::Double;
    } else if (starts("TEXT") || starts("VARCHAR") || starts("CHAR") || starts("NVARCHAR")) {
        c.kind = ColumnKind::Text;
        static const QRegularExpression size(QStringLiteral("^[A-Z]+\\s*\\(\\s*(\\d+)\\s*\\)"));
        const auto m = size.match(t);
        if (m.hasMatch())
            c.size = m.captured(1).toInt();
    }
    return c;
}

Column columnFromServer(const QString& name, const QString& type) {
    Column c;
    c.name = name;
    c.quoted = quoteIdentifier(name);
    const QString t = type.trimmed().toLower();
    static const QRegularExpression sized(QStringLiteral("\\((\\d+)(?:,(\\d+))?\\)"));
    const auto m = sized.match(t);
    if (t == QLatin1String("smallint")) {
        c.kind = ColumnKind::Int16;
    } else if (t == QLatin1String("integer")) {
        c.kind = ColumnKind::Int32;
    } else if (t.startsWith(QLatin1String("numeric"))) {
        // Money is numeric(19,4); another numeric is read as a double.
        c.kind = m.hasMatch() && m.captured(2) == QLatin1String("4") ? ColumnKind::Currency
                                                                     : ColumnKind::Double;
    } else if (t == QLatin1String("double precision") || t == QLatin1String("real")) {
        c.kind = ColumnKind::Double;
    } else if (t.startsWith(QLatin1String("character")) || t == QLatin1String("text")) {
        c.kind = ColumnKind::Text;
        if (m.hasMatch())
            c.size = m.captured(1).toInt();
    }
    return c;
}

QString quoteIdentifier(const QString& name) {
    QString q = name;
    q.replace(u'"', QStringLiteral("\"\""));
    return u'"' + q + u'"';
}

Statement::Statement(sqlite3* db, const QString& sql) {
    const QByteArray utf8 = sql.toUtf8();
    const int rc = sqlite3_prepare_v3(db, utf8.constData(), static_cast<int>(utf8.size()),
                                      SQLITE_PREPARE_PERSISTENT, &m_stmt, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_finalize(m_stmt);
        m_stmt = nullptr;
        throwSqlite(db, rc, sql);
    }
}

Statement::Statement(PgConnection& server, const QString& sql)
    : m_sql(sql), m_server(&server), m_serverSql(numberedPlaceholders(sql)) {}

void StatementUse::bind(int index, const Value& value) {
    if (!m_stmt) {
        const auto i = static_cast<std::size_t>(index - 1);
        if (m_params.size() <= i)
            m_params.resize(i + 1);
        m_params[i] = pgParam(value);
        return;
    }
    int rc = SQLITE_OK;
    std::visit(
        [&](const auto& v) {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, std::monostate>) {
                rc = sqlite3_bind_null(m_stmt, index);
            } else if constexpr (std::is_same_v<T, std::int64_t>) {
                rc = sqlite3_bind_int64(m_stmt, index, v);
            } else if constexpr (std::is_same_v<T, double>) {
                rc = sqlite3_bind_double(m_stmt, index, v);
            } else if constexpr (std::is_same_v<T, Currency>) {
                rc = sqlite3_bind_int64(m_stmt, index, v.raw());
            } else {
                const QByteArray utf8 = v.toUtf8();
                rc = sqlite3_bind_text(m_stmt, index, utf8.constData(),
                                       static_cast<int>(utf8.size()), SQLITE_TRANSIENT);
            }
        },
        value.variant());
    if (rc != SQLITE_OK)
        throwSqlite(sqlite3_db_handle(m_stmt), rc, m_where);
}

void StatementUse::bindUtf8(int index, const QByteArray& utf8) {
    const int rc = sqlite3_bind_text(m_stmt, index, utf8.constData(), static_cast<int>(utf8.size()),
                                     SQLITE_STATIC);
    if (rc != SQLITE_OK)
        throwSqlite(sqlite3_db_handle(m_stmt), rc, m_where);
}

void StatementUse::bindAll(const std::vector<Value>& values, int first) {
    for (std::size_t i = 0; i < values.size(); ++i) bind(first + static_cast<int>(i), values[i]);
}

bool StatementUse::step() {
    if (!m_stmt) {
        if (!m_result)
            m_result = m_owner.server()->run(m_owner.serverSql(), m_params, m_where);
        return ++m_row < PQntuples(m_result.get());
    }
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    throwSqlite(sqlite3_db_handle(m_stmt), rc, m_where);
}

std::int64_t StatementUse::integer(int column) const {
    if (!m_stmt)
        return std::strtoll(serverValue(column), nullptr, 10);
    return sqlite3_column_int64(m_stmt, column);
}

bool StatementUse::isNull(int column) const {
    if (!m_stmt)
        return PQgetisnull(m_result.get(), m_row, column);
    return sqlite3_column_type(m_stmt, column) == SQLITE_NULL;
}

std::int64_t StatementUse::changes() const {
    if (!m_stmt)
        return m_result ? std::strtoll(PQcmdTuples(m_result.get()), nullptr, 10) : 0;
    return sqlite3_changes64(sqlite3_db_handle(m_stmt));
}

QString StatementUse::text(int column) const {
    if (!m_stmt)
        return QString::fromUtf8(serverValue(column), PQgetlength(m_result.get(), m_row, column));
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column));
    return QString::fromUtf8(p, sqlite3_column_bytes(m_stmt, column));
}

Value StatementUse::value(int column, ColumnKind kind) const {
    if (!m_stmt) {
        if (isNull(column))
            return Value();
        switch (kind) {
            case ColumnKind::Int16:
            case ColumnKind::Int32:
                return Value(integer(column));
            case ColumnKind::Currency: {
                // numeric(19,4) as text: exact, never through a double.
                QString t = text(column);
                const bool negative = t.startsWith(u'-');
                if (negative)
                    t.remove(0, 1);
                if (auto m = exactMoney(t))
                    return Value(negative ? -*m : *m);
                // Beyond the money range (a wider numeric): never read as 0.
                if (auto c = Currency::parse(text(column), QLocale::c()))
                    return Value(*c);
                throw ValueRefused(QString::fromUtf8(PQfname(m_result.get(), column)),
                                   QStringLiteral("valore non rappresentabile come importo: %1")
                                       .arg(text(column)));
            }
            case ColumnKind::Double:
                return Value(QByteArray(serverValue(column)).toDouble());
            case ColumnKind::Text:
                return Value(text(column));
            case ColumnKind::Other:
                break;
        }
        const Oid type = PQftype(m_result.get(), column);
        if (type == 20 || type == 21 || type == 23)
            return Value(integer(column));
        if (type == 700 || type == 701 || type == 1700)
            return Value(QByteArray(serverValue(column)).toDouble());
        return Value(text(column));
    }
    const int type = sqlite3_column_type(m_stmt, column);
    if (type == SQLITE_NULL)
        return Value();
    switch (kind) {
        case ColumnKind::Int16:
        case ColumnKind::Int32:
            if (type == SQLITE_INTEGER)
                return Value(integer(column));
            return Value(Value(type == SQLITE_FLOAT ? Value(sqlite3_column_double(m_stmt, column))
                                                    : Value(text(column)))
                             .toInt());
        case ColumnKind::Currency:
            if (type == SQLITE_INTEGER)
                return Value(Currency::fromRaw(integer(column)));
            if (type == SQLITE_FLOAT) {
                const double raw = std::nearbyint(sqlite3_column_double(m_stmt, column));
                return Value(Currency::fromRaw(static_cast<std::int64_t>(raw)));
            }
            return Value(Value(text(column)).toCurrency());
        case ColumnKind::Double:
            return Value(sqlite3_column_double(m_stmt, column));
        case ColumnKind::Text:
            return Value(text(column));
        case ColumnKind::Other:
            break;
    }
    if (type == SQLITE_INTEGER)
        return Value(integer(column));
    if (type == SQLITE_FLOAT)
        return Value(sqlite3_column_double(m_stmt, column));
    return Value(text(column));
}

void throwSqlite(sqlite3* db, int rc, const QString& where) {
    const QString detail = db ? QString::fromUtf8(sqlite3_errmsg(db)) : QString();
    switch (rc & 0xff) {
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            throw Error(where,
                        QStringLiteral("database bloccato da un altro programma (%1)").arg(detail));
        case SQLITE_NOTADB:
            throw Error(where, QStringLiteral("il file non è un database"));
        case SQLITE_CORRUPT:
            throw Error(where, QStringLiteral("database danneggiato (%1)").arg(detail));
        case SQLITE_FULL:
            throw Error(where, QStringLiteral("disco pieno"));
        case SQLITE_READONLY:
        case SQLITE_PERM:
            throw Error(where, QStringLiteral("database in sola lettura (%1)").arg(detail));
        case SQLITE_CANTOPEN:
            throw Error(where, QStringLiteral("impossibile aprire il file (%1)").arg(detail));
        default:
            throw Error(where, QStringLiteral("errore del database: %1").arg(detail));
    }
}

}  // namespace quorvel::db
