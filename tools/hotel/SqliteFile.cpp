// Direct SQLite access for the generator.
#include "hotel/SqliteFile.h"

#include "platform/Error.h"

#include <sqlite3.h>
#include <QFileInfo>

namespace quorvel::hotel {

SqliteFile::SqliteFile(const QString& path, bool readOnly) : m_path(path) {
    if (!QFileInfo::exists(path))
        throw Error(path, QStringLiteral("file non trovato"));
    const int flags = readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE;
    if (sqlite3_open_v2(path.toUtf8().constData(), &m_db, flags, nullptr) != SQLITE_OK) {
        const QString cause = QString::fromUtf8(m_db ? sqlite3_errmsg(m_db) : "memoria esaurita");
        sqlite3_close_v2(m_db);
        m_db = nullptr;
        throw Error(path, cause);
    }
    sqlite3_busy_timeout(m_db, 5000);
}

SqliteFile::~SqliteFile() {
    sqlite3_close_v2(m_db);
}

void SqliteFile::exec(const QString& sql) {
    char* message = nullptr;
    if (sqlite3_exec(m_db, sql.toUtf8().constData(), nullptr, nullptr, &message) != SQLITE_OK) {
        const QString cause = QString::fromUtf8(message ? message : sqlite3_errmsg(m_db));
        sqlite3_free(message);
        throw Error(m_path, cause);
    }
}

void SqliteFile::fail(const QString& what) const {
    throw Error(m_path, what + QStringLiteral(": ") + QString::fromUtf8(sqlite3_errmsg(m_db)));
}

Statement::Statement(SqliteFile& file, const QString& sql) : m_file(file) {
    if (sqlite3_prepare_v2(file.handle(), sql.toUtf8().constData(), -1, &m_stmt, nullptr) !=
        SQLITE_OK)
        file.fail(sql);
}

Statement::~Statement() {
    sqlite3_finalize(m_stmt);
}

void Statement::bind(int index, const db::Value& value) {
    int rc = SQLITE_OK;
    std::visit(
        [&](const auto& v) {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, std::monostate>)
                rc = sqlite3_bind_null(m_stmt, index);
            else if constexpr (std::is_same_v<T, std::int64_t>)
                rc = sqlite3_bind_int64(m_stmt, index, v);
            else if constexpr (std::is_same_v<T, double>)
                rc = sqlite3_bind_double(m_stmt, index, v);
            else if constexpr (std::is_same_v<T, Currency>)
                rc = sqlite3_bind_int64(m_stmt, index, v.raw());
            else {
                const QByteArray utf8 = v.toUtf8();
                rc = sqlite3_bind_text(m_stmt, index, utf8.constData(),
                                       static_cast<int>(utf8.size()), SQLITE_TRANSIENT);
            }
        },
        value.variant());
    if (rc != SQLITE_OK)
        m_file.fail(QStringLiteral("bind"));
}

void Statement::run(const QList<db::Value>& values) {
    for (qsizetype i = 0; i < values.size(); ++i) bind(static_cast<int>(i + 1), values.at(i));
    const int rc = sqlite3_step(m_stmt);
    sqlite3_reset(m_stmt);
    if (rc != SQLITE_DONE && rc != SQLITE_ROW)
        m_file.fail(QStringLiteral("step"));
}

void Statement::bindInt(int index, qint64 value) {
    if (sqlite3_bind_int64(m_stmt, index, value) != SQLITE_OK)
        m_file.fail(QStringLiteral("bind"));
}

void Statement::bindDouble(int index, double value) {
    if (sqlite3_bind_double(m_stmt, index, value) != SQLITE_OK)
        m_file.fail(QStringLiteral("bind"));
}

void Statement::bindText(int index, const QByteArray& utf8) {
    if (sqlite3_bind_text(m_stmt, index, utf8.constData(), static_cast<int>(utf8.size()),
                          SQLITE_STATIC) != SQLITE_OK)
        m_file.fail(QStringLiteral("bind"));
}

void Statement::runBound() {
    const int rc = sqlite3_step(m_stmt);
    sqlite3_reset(m_stmt);
    if (rc != SQLITE_DONE && rc != SQLITE_ROW)
        m_file.fail(QStringLiteral("step"));
}

bool Statement::next() {
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW)
        return true;
    if (rc != SQLITE_DONE)
        m_file.fail(QStringLiteral("step"));
    return false;
}

QString Statement::text(int column) const {
    const auto* bytes = sqlite3_column_text(m_stmt, column);
    return bytes ? QString::fromUtf8(reinterpret_cast<const char*>(bytes),
                                     sqlite3_column_bytes(m_stmt, column))
                 : QString();
}

qint64 Statement::integer(int column) const {
    return sqlite3_column_int64(m_stmt, column);
}

SqliteTransaction::SqliteTransaction(SqliteFile& file) : m_file(file) {
    m_file.exec(QStringLiteral("BEGIN"));
}

SqliteTransaction::~SqliteTransaction() {
    if (!m_done)
        sqlite3_exec(m_file.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
}

void SqliteTransaction::commit() {
    m_file.exec(QStringLiteral("COMMIT"));
    m_done = true;
}

}  // namespace quorvel::hotel
