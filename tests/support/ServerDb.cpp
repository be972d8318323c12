#include "support/ServerDb.h"

#include "db/Schema.h"
#include "platform/Error.h"

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QRegularExpression>
#include <atomic>

namespace quorvel::test {

std::string backendName(const ::testing::TestParamInfo<Backend>& info) {
    return info.param == Backend::Sqlite ? "Sqlite" : "Server";
}

QString testServer() {
    const QString info = qEnvironmentVariable("QUORVEL_TEST_PG");
    if (!info.isEmpty())
        return info;
    [] {
        if (qEnvironmentVariable("CI") == QLatin1String("true"))
            ADD_FAILURE() << "QUORVEL_TEST_PG is not set: the PostgreSQL test server did not start";
        else
            GTEST_SKIP() << "no PostgreSQL test server (QUORVEL_TEST_PG; scripts/test starts one)";
    }();
    return {};
}

ServerDb::ServerDb() {
    static std::atomic<int> counter{0};
    m_name = QStringLiteral("quorvel_t_%1_%2")
                 .arg(QCoreApplication::applicationPid())
                 .arg(counter.fetch_add(1));
    const QString base = testServer();
    {
        db::PgConnection admin(base);
        admin.exec(QStringLiteral("CREATE DATABASE %1").arg(m_name), m_name);
    }
    m_conninfo = base + QStringLiteral(" dbname=") + m_name;
    m_conn = std::make_unique<db::PgConnection>(m_conninfo);
}

ServerDb::~ServerDb() {
    m_conn.reset();
    try {
        db::PgConnection admin(testServer());
        admin.exec(QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(m_name), m_name);
    } catch (const Error& e) {
        ADD_FAILURE() << e.what();
    }
}

db::ServerConfig ServerDb::config(const QString& ownSchema) const {
    db::ServerConfig c;
    c.conninfo = m_conninfo;
    c.ownSchema = ownSchema;
    return c;
}

void ServerDb::exec(const QString& sql) const {
    m_conn->exec(sql, m_name);
}

QStringList ServerDb::raw(const QString& schema, const QString& sql) const {
    // The tests write SQLite's bare names; the server keeps their case only quoted.
    static const QRegularExpression word(
        QStringLiteral("\"[^\"]*\"|'[^']*'|\\b[\\p{L}_][\\p{L}\\d_]*"));
    static const QStringList keywords = {"SELECT", "FROM", "WHERE", "ORDER", "BY",  "AND",
                                         "OR",     "NOT",  "NULL",  "IS",    "ASC", "DESC"};
    QString quoted;
    qsizetype at = 0;
    for (auto it = word.globalMatch(sql); it.hasNext();) {
        const auto m = it.next();
        quoted += sql.mid(at, m.capturedStart() - at);
        const QString w = m.captured();
        const bool bare = !w.startsWith(u'"') && !w.startsWith(u'\'') &&
                          !keywords.contains(w, Qt::CaseInsensitive);
        quoted += bare ? db::quoteIdentifier(w) : w;
        at = m.capturedEnd();
    }
    quoted += sql.mid(at);
    m_conn->exec(QStringLiteral("SET search_path = ") + db::quoteIdentifier(schema), m_name);
    db::PgResult r = m_conn->run(quoted.toUtf8(), {}, m_name);
    QStringList rows;
    for (int i = 0; i < PQntuples(r.get()); ++i) {
        QStringList cols;
        for (int c = 0; c < PQnfields(r.get()); ++c) {
            if (PQgetisnull(r.get(), i, c)) {
                cols << QStringLiteral("NULL");
                continue;
            }
            QString v = QString::fromUtf8(PQgetvalue(r.get(), i, c));
            if (PQftype(r.get(), c) == 1700 && PQfmod(r.get(), c) == ((19 << 16) | 4) + 4)
                v = QString::number(v.remove(u'.').toLongLong());  // 12.5100 -> 125100
            cols << v;
        }
        rows << cols.join(u'|');
    }
    return rows;
}

}  // namespace quorvel::test
