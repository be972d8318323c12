// The server side of the server benchmarks: the server from QUORVEL_TEST_PG
// (scripts/lib/pg-server.sh starts a throw-away one), a database of its own
// per benchmark, dropped at the end, and a generated hotel put into it with
// COPY (the engine's row-by-row copy would take minutes for 1,000,000
// account rows).
#pragma once

#include "db/Engine.h"
#include "db/HotelFiles.h"
#include "db/PgConnection.h"
#include "db/Schema.h"
#include "db/Server.h"
#include "hotel/HotelSchema.h"
#include "hotel/ServerHotel.h"
#include "platform/Error.h"

#include <libpq-fe.h>

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <atomic>
#include <memory>

namespace quorvel::bench {

// The server's connection string, or empty (the benchmark then skips).
inline QString benchServer() {
    return qEnvironmentVariable("QUORVEL_TEST_PG");
}

// A database of its own on the server, dropped with the object.
class BenchDatabase {
public:
    explicit BenchDatabase(const QString& server) : m_server(server) {
        static std::atomic<int> counter{0};
        m_name = QStringLiteral("quorvel_bench_%1_%2")
                     .arg(QCoreApplication::applicationPid())
                     .arg(counter.fetch_add(1));
        db::PgConnection admin(m_server);
        admin.exec(QStringLiteral("CREATE DATABASE %1").arg(m_name), m_name);
        m_conninfo = m_server + QStringLiteral(" dbname=") + m_name;
    }
    ~BenchDatabase() {
        try {
            db::PgConnection admin(m_server);
            admin.exec(QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(m_name),
                       m_name);
        } catch (const Error&) {
        }
    }
    BenchDatabase(const BenchDatabase&) = delete;
    BenchDatabase& operator=(const BenchDatabase&) = delete;

    const QString& conninfo() const { return m_conninfo; }
    // Every hotel file on the server, the bridge's own tables in ownSchema.
    db::ServerConfig config(const QString& ownSchema) const {
        db::ServerConfig c;
        c.conninfo = m_conninfo;
        c.localFiles = db::defaultLocalFiles();
        c.ownSchema = ownSchema;
        return c;
    }

private:
    QString m_server, m_name, m_conninfo;
};

namespace detail {

struct PgFinish {
    void operator()(PGconn* c) const { PQfinish(c); }
};

inline void appendCopyField(QByteArray& out, const db::Value& value) {
    const db::PgParam p = db::pgParam(value);
    if (!p.text) {
        out += "\\N";
        return;
    }
    for (const char c : *p.text) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                out += c;
        }
    }
}

inline void checkCopy(PGconn* conn, bool ok, const QString& where) {
    if (!ok)
        throw Error(where, QString::fromUtf8(PQerrorMessage(conn)));
}

}  // namespace detail

// Puts the generated hotel of the current folder on the server: its schemas,
// tables and indexes, every row by COPY, then ANALYZE (as autovacuum would
// soon do), and removes the hotel's files. Returns how many rows were copied.
inline qint64 loadHotelOnServer(const BenchDatabase& database) {
    {
        db::Workspace ws(database.config(QString()));
        hotel::createHotelOnServer(ws);
    }
    std::unique_ptr<PGconn, detail::PgFinish> conn(
        PQconnectdb(database.conninfo().toUtf8().constData()));
    detail::checkCopy(conn.get(), PQstatus(conn.get()) == CONNECTION_OK, database.conninfo());
    qint64 copied = 0;
    {
        db::Workspace files;  // the SQLite files
        for (const hotel::TableLayout& t : hotel::hotelTables()) {
            auto from = files.openDatabase(t.fileName);
            auto source = from->openRecordset(t.tableName);
            QStringList columns;
            for (const db::FieldDef& f : t.fields) columns << db::quoteIdentifier(f.name);
            const QString schema = db::quoteIdentifier(QFileInfo(t.fileName).completeBaseName());
            const QByteArray copy = QStringLiteral("COPY %1.%2 (%3) FROM STDIN")
                                        .arg(schema, db::quoteIdentifier(t.tableName),
                                             columns.join(QStringLiteral(", ")))
                                        .toUtf8();
            db::PgResult started(PQexec(conn.get(), copy.constData()));
            detail::checkCopy(conn.get(), PQresultStatus(started.get()) == PGRES_COPY_IN,
                              t.fileName);
            QByteArray chunk;
            auto flush = [&] {
                detail::checkCopy(conn.get(),
                                  PQputCopyData(conn.get(), chunk.constData(),
                                                static_cast<int>(chunk.size())) == 1,
                                  t.fileName);
                chunk.clear();
            };
            const QString all = QStringLiteral("%1 Is Null Or %1 Is Not Null")
                                    .arg(u'[' + t.fields.front().name + u']');
            source->forEach(all, [&] {
                for (std::size_t i = 0; i < t.fields.size(); ++i) {
                    if (i > 0)
                        chunk += '\t';
                    detail::appendCopyField(chunk, source->value(t.fields[i].name));
                }
                chunk += '\n';
                ++copied;
                if (chunk.size() > 1 << 20)
                    flush();
            });
            if (!chunk.isEmpty())
                flush();
            detail::checkCopy(conn.get(), PQputCopyEnd(conn.get(), nullptr) == 1, t.fileName);
            db::PgResult done(PQgetResult(conn.get()));
            detail::checkCopy(conn.get(), PQresultStatus(done.get()) == PGRES_COMMAND_OK,
                              t.fileName);
            while (PGresult* rest = PQgetResult(conn.get())) PQclear(rest);
        }
    }
    for (const hotel::TableLayout& t : hotel::hotelTables()) {
        const QByteArray sql =
            QStringLiteral("ANALYZE %1.%2")
                .arg(db::quoteIdentifier(QFileInfo(t.fileName).completeBaseName()),
                     db::quoteIdentifier(t.tableName))
                .toUtf8();
        db::PgResult analyzed(PQexec(conn.get(), sql.constData()));
        detail::checkCopy(conn.get(), PQresultStatus(analyzed.get()) == PGRES_COMMAND_OK,
                          t.fileName);
    }
    for (const QString& file : db::hotelDatabaseFiles()) QFile::remove(file);
    return copied;
}

}  // namespace quorvel::bench
