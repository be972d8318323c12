// The room-account lookup of a charge posting (find first on Conto_Cliente by
// hotel, guest, room, day and charge item) on a table of a million rows,
// through the engine and as a raw prepared SQLite statement side by side.
// Every lookup uses a criterion text of its own, as a run's charge lines do.
#include "db/Engine.h"

#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <QDir>
#include <QTemporaryDir>
#include <cstdio>
#include <random>

using namespace quorvel;

namespace {

constexpr int kRows = 1000000;
constexpr int kLookups = 65536;

struct Lookup {
    int hotel, client;
    QString room, day;
    int item;
    QString criterion;
};

QString roomOf(int i) {
    return QString::number(100 + (i / 7) % 500);
}
QString dayOf(int i) {
    return QStringLiteral("202501%1").arg(i % 28 + 1, 2, 10, QChar(u'0'));
}

struct Fixture {
    QTemporaryDir dir;
    QString file;
    std::vector<Lookup> lookups;
    db::Workspace ws;

    Fixture() {
        file = dir.filePath(QStringLiteral("Conto_Cliente.mdb"));
        {
            auto database = ws.createDatabase(file, QString());
            db::TableDef def(QStringLiteral("Conto_Cliente"));
            using db::FieldType;
            def.appendField(QStringLiteral("NumeroHotel"), FieldType::Int16);
            def.appendField(QStringLiteral("CodiceCliente"), FieldType::Int32);
            def.appendField(QStringLiteral("NumeroCamera"), FieldType::Text, 10);
            def.appendField(QStringLiteral("DataAddebito"), FieldType::Text, 8);
            def.appendField(QStringLiteral("NumeroConto"), FieldType::Int32);
            def.appendField(QStringLiteral("VoceFattura"), FieldType::Int16);
            def.appendField(QStringLiteral("VoceAddebito"), FieldType::Int16);
            def.appendField(QStringLiteral("Descrizione"), FieldType::Text, 50);
            def.appendField(QStringLiteral("Importo"), FieldType::Currency);
            def.appendField(QStringLiteral("Unitario"), FieldType::Double);
            def.appendField(QStringLiteral("Quantità"), FieldType::Double);
            def.appendField(QStringLiteral("Fatturato"), FieldType::Text, 1);
            def.appendField(QStringLiteral("DataFattura"), FieldType::Text, 8);
            database->appendTable(def);
        }
        fill();
        std::mt19937 rng(7);
        for (int k = 0; k < kLookups; ++k) {
            const int i = static_cast<int>(rng() % kRows);
            Lookup l{1, i % 20000 + 1, roomOf(i), dayOf(i), i % 10 + 1, {}};
            if (k % 2)
                l.item = 11 + k % 7;  // a miss: no such charge item
            l.criterion = QStringLiteral(
                              "NumeroHotel = %1 and CodiceCliente = %2 and NumeroCamera = '%3' and "
                              "DataAddebito = '%4' and VoceAddebito = %5")
                              .arg(l.hotel)
                              .arg(l.client)
                              .arg(l.room, l.day)
                              .arg(l.item);
            lookups.push_back(l);
        }
    }

    // Bulk rows straight through SQLite: the set-up is not what is measured.
    void fill() {
        sqlite3* conn = nullptr;
        sqlite3_open(file.toUtf8().constData(), &conn);
        sqlite3_exec(conn, "BEGIN", nullptr, nullptr, nullptr);
        sqlite3_stmt* ins = nullptr;
        sqlite3_prepare_v2(conn,
                           "INSERT INTO Conto_Cliente VALUES (?, ?, ?, ?, 1, 1, ?, 'RISTORANTE', "
                           "?, 12.5, 1, 'N', ' ')",
                           -1, &ins, nullptr);
        for (int i = 0; i < kRows; ++i) {
            const QByteArray room = roomOf(i).toUtf8(), day = dayOf(i).toUtf8();
            sqlite3_bind_int(ins, 1, i % 50 == 0 ? 2 : 1);
            sqlite3_bind_int(ins, 2, i % 20000 + 1);
            sqlite3_bind_text(ins, 3, room.constData(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(ins, 4, day.constData(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_int(ins, 5, i % 10 + 1);
            sqlite3_bind_int64(ins, 6, 125000 + i % 1000);
            sqlite3_step(ins);
            sqlite3_reset(ins);
        }
        sqlite3_finalize(ins);
        sqlite3_exec(conn,
                     "CREATE INDEX Addebito ON Conto_Cliente (CodiceCliente, NumeroCamera, "
                     "DataAddebito, VoceAddebito); COMMIT",
                     nullptr, nullptr, nullptr);
        sqlite3_close(conn);
    }
};

Fixture& fixture() {
    static Fixture f;
    return f;
}

// state.range(0): how many distinct criterion texts the lookups cycle through.
void BM_EngineFindFirst(benchmark::State& state) {
    Fixture& f = fixture();
    const auto distinct = static_cast<std::size_t>(state.range(0));
    auto database = f.ws.openDatabase(f.file);
    auto rs = database->openRecordset(QStringLiteral("Conto_Cliente"));
    static bool shown = false;
    if (!shown) {
        shown = true;
        std::fprintf(stderr, "plan: %s\n", qPrintable(rs->queryPlan(f.lookups.front().criterion)));
    }
    std::size_t k = 0;
    std::int64_t hits = 0;
    for (auto _ : state) {
        const Lookup& l = f.lookups[k++ % distinct];
        rs->findFirst(l.criterion);
        if (!rs->noMatch())
            hits += rs->money(QStringLiteral("Importo")).raw() > 0;
    }
    state.counters["hits"] = static_cast<double>(hits);
}

void BM_RawFindFirst(benchmark::State& state) {
    Fixture& f = fixture();
    sqlite3* conn = nullptr;
    sqlite3_open(f.file.toUtf8().constData(), &conn);
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(conn,
                       "SELECT rowid, * FROM Conto_Cliente WHERE NumeroHotel = ? AND "
                       "CodiceCliente = ? AND NumeroCamera = ? AND DataAddebito = ? AND "
                       "VoceAddebito = ? ORDER BY rowid LIMIT 1",
                       -1, &stmt, nullptr);
    std::size_t k = 0;
    std::int64_t hits = 0;
    for (auto _ : state) {
        const Lookup& l = f.lookups[k++ % f.lookups.size()];
        const QByteArray room = l.room.toUtf8(), day = l.day.toUtf8();
        sqlite3_bind_int(stmt, 1, l.hotel);
        sqlite3_bind_int(stmt, 2, l.client);
        sqlite3_bind_text(stmt, 3, room.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(stmt, 4, day.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int(stmt, 5, l.item);
        if (sqlite3_step(stmt) == SQLITE_ROW) {
            for (int c = 0; c < sqlite3_column_count(stmt); ++c)
                benchmark::DoNotOptimize(sqlite3_column_text(stmt, c));
            hits += sqlite3_column_int64(stmt, 9) > 0;
        }
        sqlite3_reset(stmt);
    }
    state.counters["hits"] = static_cast<double>(hits);
    sqlite3_finalize(stmt);
    sqlite3_close(conn);
}

}  // namespace

BENCHMARK(BM_RawFindFirst)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_EngineFindFirst)->Arg(kLookups)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_EngineFindFirst)->Arg(256)->Repetitions(5)->ReportAggregatesOnly(true);

BENCHMARK_MAIN();
