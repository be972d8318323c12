#include "db/DbFixture.h"

#include "db/Server.h"
#include "platform/Error.h"

#include <QFileInfo>

namespace quorvel::test {

bool DbTest::useServer() {
    if (testServer().isEmpty())
        return false;
    m_server = std::make_unique<ServerDb>();
    m_serverWs = std::make_unique<db::Workspace>(m_server->config());
    return true;
}

void DbTest::TearDown() {
    m_serverWs.reset();
    m_ws.reset();
    m_server.reset();
    TempDirTest::TearDown();
}

void DbTest::makeTable(const QString& file, const QString& table, const QStringList& fields) {
    std::unique_ptr<db::Database> database;
    if (onServer()) {
        try {
            database = ws().openDatabase(file);
        } catch (const Error&) {
            database = ws().createDatabase(file, QString());
        }
    } else {
        database = QFile::exists(path(file)) ? ws().openDatabase(file)
                                             : ws().createDatabase(file, QString());
    }
    db::TableDef def(table);
    for (const QString& f : fields) {
        const QStringList p = f.split(u':');
        db::FieldType type = db::FieldType::Text;
        if (p[1] == QLatin1String("i16"))
            type = db::FieldType::Int16;
        else if (p[1] == QLatin1String("i32"))
            type = db::FieldType::Int32;
        else if (p[1] == QLatin1String("cur"))
            type = db::FieldType::Currency;
        else if (p[1] == QLatin1String("dbl"))
            type = db::FieldType::Double;
        else if (p[1] == QLatin1String("memo"))
            type = db::FieldType::Memo;
        def.appendField(p[0], type, p.size() > 2 ? p[2].toInt() : 0);
    }
    database->appendTable(def);
}

void DbTest::addRow(db::Recordset& rs, const QStringList& fields,
                    const std::vector<db::Value>& values) {
    rs.addNew();
    for (int i = 0; i < fields.size(); ++i)
        rs.setValue(fields[i], values[static_cast<std::size_t>(i)]);
    rs.update();
}

QStringList DbTest::raw(const QString& file, const QString& sql) {
    if (onServer())
        return m_server->raw(QFileInfo(file).completeBaseName(), sql);
    sqlite3* conn = nullptr;
    QStringList rows;
    if (sqlite3_open_v2(path(file).toUtf8().constData(), &conn, SQLITE_OPEN_READONLY, nullptr) !=
        SQLITE_OK) {
        sqlite3_close(conn);
        ADD_FAILURE() << "cannot open " << file.toStdString();
        return rows;
    }
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(conn, sql.toUtf8().constData(), -1, &stmt, nullptr) != SQLITE_OK) {
        ADD_FAILURE() << sqlite3_errmsg(conn);
    } else {
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            QStringList cols;
            for (int i = 0; i < sqlite3_column_count(stmt); ++i) {
                const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(stmt, i));
                cols << (t ? QString::fromUtf8(t) : QStringLiteral("NULL"));
            }
            rows << cols.join(u'|');
        }
    }
    sqlite3_finalize(stmt);
    sqlite3_close(conn);
    return rows;
}

void DbTest::rawExec(const QString& file, const QString& sql) {
    ASSERT_FALSE(onServer()) << "rawExec runs SQLite's SQL";
    sqlite3* conn = nullptr;
    ASSERT_EQ(sqlite3_open(path(file).toUtf8().constData(), &conn), SQLITE_OK);
    char* error = nullptr;
    EXPECT_EQ(sqlite3_exec(conn, sql.toUtf8().constData(), nullptr, nullptr, &error), SQLITE_OK)
        << (error ? error : "");
    sqlite3_free(error);
    sqlite3_close(conn);
}

}  // namespace quorvel::test
