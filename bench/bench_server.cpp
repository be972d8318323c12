// The charge transfer with the hotel on a PostgreSQL server (QUORVEL_TEST_PG;
// scripts/bench-server starts a throw-away one, and without it every
// benchmark here is skipped).
//
// serverTransfer: a generated hotel of 500 in-house rooms whose
// Conto_Cliente holds 10,000, 100,000 or 1,000,000 rows and 20,000 pending
// charge lines, as bench_transfer on SQLite. Each iteration runs
// TrasferisciAddebiti, then puts the same lines back and runs the raw libpq
// baseline (RawPgTransfer.h) on the same hotel in the same process:
// engineLinesPerS, rawLinesPerS and their ratio (raw time / engine time)
// come from those two clocks; µs per line from the same.
//
// serverBridges: 1, 2 or 4 bridges, each its own workspace, connection and
// schema of its own tables, posting 2,000 lines each at once (threads) to
// one hotel of 10,000 account rows, every bridge passing tick after tick
// until its queue is empty (a batch that lost a race with another bridge
// rolls back and goes again at the next tick). Second argument 1: every
// bridge charges the same rooms on the same days (the worst case: their
// batches sum into the same account rows); 0: each bridge its own rooms.
// linesPerS is every bridge's lines over the wall time; at the end the
// account tables must have grown by exactly the posted amounts and
// quantities (lostUpdates counts the money off), and no group of guest,
// room, day and item may hold two uninvoiced rows (duplicateGroups).
#include "ChargeLines.h"
#include "RawPgTransfer.h"
#include "ServerHotelLoad.h"
#include "db/Engine.h"
#include "hotel/HotelGenerator.h"
#include "platform/Log.h"
#include "transfer/ChargeLine.h"
#include "transfer/ChargeStore.h"
#include "transfer/ChargeTransfer.h"

#include <benchmark/benchmark.h>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <atomic>
#include <thread>

namespace {

using namespace quorvel;

constexpr int PendingLines = 20000;
constexpr int LinesPerBridge = 2000;
constexpr char NoServer[] =
    "no PostgreSQL server: set QUORVEL_TEST_PG (scripts/bench-server starts one)";

// The hotel in a temporary working folder, its databases on the server.
struct BenchHotel {
    QTemporaryDir dir;
    QString previous = QDir::currentPath();
    bench::BenchDatabase database;
    hotel::HotelSummary summary;
    double loadS = 0;

    BenchHotel(const QString& server, qint64 accountRows) : database(server) {
        log::setEcho(false);
        // As in the program: the log goes to its file (not to the terminal).
        log::open(QDir(dir.path()).filePath(QStringLiteral("Quorvel.log")));
        hotel::HotelSpec spec;
        spec.rooms = 572;
        spec.guests = 720;
        spec.externals = 60;
        spec.accountRows = accountRows;
        QElapsedTimer clock;
        clock.start();
        summary = hotel::generateHotel(dir.path(), spec);
        QDir::setCurrent(dir.path());
        bench::loadHotelOnServer(database);
        loadS = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    }
    ~BenchHotel() {
        QDir::setCurrent(previous);
        log::close();
    }
};

// Sum of Importo (ten-thousandths) and Quantità over both account tables.
std::pair<std::int64_t, double> accountTotals(const QString& conninfo) {
    db::PgConnection conn(conninfo);
    db::PgResult r = conn.run(
        R"(SELECT (sum(i) * 10000)::bigint, sum(q) FROM (SELECT "Importo" i, "Quantità" q FROM )"
        R"("Conto_Cliente"."Conto_Cliente" UNION ALL SELECT "Importo", "Quantità" FROM )"
        R"("ContoEsterni"."Conto_Cliente") t)",
        {}, QStringLiteral("totals"));
    return {std::strtoll(PQgetvalue(r.get(), 0, 0), nullptr, 10),
            QByteArray(PQgetvalue(r.get(), 0, 1)).toDouble()};
}

// Groups (guest, room, day, item) of uninvoiced room-account rows holding
// more than one row: a find-then-add that raced another bridge's.
std::int64_t duplicateGroups(const QString& conninfo) {
    db::PgConnection conn(conninfo);
    db::PgResult r =
        conn.run(R"(SELECT count(*) FROM (SELECT 1 FROM "Conto_Cliente"."Conto_Cliente" WHERE )"
                 R"("Fatturato" = 'N' GROUP BY "CodiceCliente", "NumeroCamera", "DataAddebito", )"
                 R"("VoceAddebito" HAVING count(*) > 1) d)",
                 {}, QStringLiteral("duplicates"));
    return std::strtoll(PQgetvalue(r.get(), 0, 0), nullptr, 10);
}

void serverTransfer(benchmark::State& state) {
    const QString server = bench::benchServer();
    if (server.isEmpty()) {
        state.SkipWithError(NoServer);
        return;
    }
    BenchHotel h(server, state.range(0));
    const QStringList lines = bench::chargeLines(h.summary.data, PendingLines, 7);
    const QString own = QStringLiteral("quorvel_bench");
    Settings settings = h.summary.settings;
    {
        db::Workspace ws(h.database.config(own));
        ChargeStore store(ws);
        qint64 maxBatchNs = 0, engineNs = 0, rawNs = 0;
        double rawCommits = 0;
        for (auto _ : state) {
            state.PauseTiming();
            store.appendPending(lines);
            state.ResumeTiming();
            QElapsedTimer clock;
            clock.start();
            qint64 batchStart = 0;
            ChargeTransfer::Seams seams;
            // The plain libpq program writes no posting journal: like for like.
            seams.journal = false;
            seams.afterWrite = [&] {
                const qint64 now = clock.nsecsElapsed();
                if (!ws.inTransaction()) {
                    // The first batch also holds the opening of the files.
                    if (batchStart > 0)
                        maxBatchNs = std::max(maxBatchNs, now - batchStart);
                    batchStart = now;
                }
            };
            ChargeTransfer transfer(settings, store, seams);
            const TransferResult r = transfer.TrasferisciAddebiti();
            engineNs += clock.nsecsElapsed();
            state.counters["batches"] += r.batches;
            state.counters["listed"] += r.listed;

            state.PauseTiming();
            store.appendPending(lines);
            QElapsedTimer rawClock;
            rawClock.start();
            {
                bench::RawPgTransfer raw(h.database.conninfo(), own, settings);
                const bench::RawPgTransfer::Result rr = raw.run();
                rawNs += rawClock.nsecsElapsed();
                rawCommits += rr.commits;
                if (rr.posted + rr.listed != PendingLines || rr.listed != r.listed)
                    state.SkipWithError("raw baseline and transfer disagree");
            }
            state.ResumeTiming();
        }
        const double handled = static_cast<double>(state.iterations()) * PendingLines;
        state.counters["engineLinesPerS"] = handled / (static_cast<double>(engineNs) / 1e9);
        state.counters["rawLinesPerS"] = handled / (static_cast<double>(rawNs) / 1e9);
        state.counters["ratio"] = static_cast<double>(rawNs) / static_cast<double>(engineNs);
        state.counters["engineUsPerLine"] = static_cast<double>(engineNs) / 1e3 / handled;
        state.counters["rawUsPerLine"] = static_cast<double>(rawNs) / 1e3 / handled;
        state.counters["rawBatches"] = rawCommits;
        state.counters["maxBatchMs"] = static_cast<double>(maxBatchNs) / 1e6;
        state.counters["loadS"] = h.loadS;
        state.SetItemsProcessed(state.iterations() * PendingLines);
    }
}

void serverBridges(benchmark::State& state) {
    const QString server = bench::benchServer();
    if (server.isEmpty()) {
        state.SkipWithError(NoServer);
        return;
    }
    const int bridges = static_cast<int>(state.range(0));
    const bool shared = state.range(1) != 0;
    BenchHotel h(server, 10000);
    Settings settings = h.summary.settings;
    struct Bridge {
        std::unique_ptr<db::Workspace> ws;
        std::unique_ptr<ChargeStore> store;
        QStringList lines;
    };
    std::vector<Bridge> all(static_cast<std::size_t>(bridges));
    for (int i = 0; i < bridges; ++i) {
        Bridge& b = all[static_cast<std::size_t>(i)];
        b.ws = std::make_unique<db::Workspace>(
            h.database.config(QStringLiteral("quorvel_bridge_%1").arg(i + 1)));
        b.store = std::make_unique<ChargeStore>(*b.ws);
        b.lines = bench::chargeLines(h.summary.data, LinesPerBridge, 100 + static_cast<unsigned>(i),
                                     shared ? 0 : i, shared ? 1 : bridges);
    }
    // The generated hotel may hold such groups of its own: only new ones count.
    const std::int64_t duplicatesBefore = duplicateGroups(h.database.conninfo());
    std::atomic<int> conflicts{0};
    std::atomic<bool> stuck{false};
    qint64 wallNs = 0;
    std::int64_t lost = 0;
    double lostQuantity = 0;
    for (auto _ : state) {
        state.PauseTiming();
        std::int64_t expected = 0;
        double expectedQuantity = 0;
        std::vector<qsizetype> errorsBefore;
        for (Bridge& b : all) {
            b.store->appendPending(b.lines);
            errorsBefore.push_back(b.store->errors().size());
            for (const QString& l : std::as_const(b.lines)) {
                expected += charge::amount(l).value_or(Currency()).raw();
                expectedQuantity += charge::quantity(l);
            }
        }
        const auto before = accountTotals(h.database.conninfo());
        state.ResumeTiming();
        QElapsedTimer clock;
        clock.start();
        std::vector<std::thread> threads;
        for (Bridge& b : all) {
            threads.emplace_back([&] {
                // Each pass is a tick; the program waits 5 s between them, here none.
                for (int tick = 0; tick < 2000 && b.store->hasPending(); ++tick) {
                    ChargeTransfer t(settings, *b.store);
                    try {
                        t.TrasferisciAddebiti();
                    } catch (const Error&) {
                        ++conflicts;
                    }
                }
                if (b.store->hasPending())
                    stuck = true;
            });
        }
        for (std::thread& t : threads) t.join();
        wallNs += clock.nsecsElapsed();
        state.PauseTiming();
        const auto after = accountTotals(h.database.conninfo());
        for (std::size_t i = 0; i < all.size(); ++i) {
            const QStringList errors = all[i].store->errors();
            for (qsizetype e = errorsBefore[i]; e < errors.size(); ++e) {
                expected -= charge::amount(errors[e]).value_or(Currency()).raw();
                expectedQuantity -= charge::quantity(errors[e]);
            }
        }
        lost += expected - (after.first - before.first);
        lostQuantity += expectedQuantity - (after.second - before.second);
        state.ResumeTiming();
    }
    const std::int64_t duplicates = duplicateGroups(h.database.conninfo()) - duplicatesBefore;
    if (stuck)
        state.SkipWithError("a bridge still has pending lines after 2,000 ticks");
    else if (duplicates != 0)
        state.SkipWithError("duplicate rows: a group of guest, room, day and item holds two");
    else if (lost != 0 || std::abs(lostQuantity) > 1e-6)
        state.SkipWithError("lost updates: the account totals differ from the posted lines");
    const double handled = static_cast<double>(state.iterations()) * bridges * LinesPerBridge;
    state.counters["linesPerS"] = handled / (static_cast<double>(wallNs) / 1e9);
    state.counters["linesPerSPerBridge"] = state.counters["linesPerS"] / bridges;
    state.counters["conflicts"] = conflicts.load();
    state.counters["duplicateGroups"] = static_cast<double>(duplicates);
    state.counters["lostUpdates"] = static_cast<double>(lost) / 10000.0;
    state.SetItemsProcessed(static_cast<std::int64_t>(handled));
}

}  // namespace

BENCHMARK(serverTransfer)
    ->Arg(10000)
    ->Arg(100000)
    ->Arg(1000000)
    ->Iterations(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

BENCHMARK(serverBridges)
    ->Args({1, 0})
    ->Args({2, 0})
    ->Args({4, 0})
    ->Args({2, 1})
    ->Args({4, 1})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

BENCHMARK_MAIN();
