// Lines per second through TrasferisciAddebiti, exactly-once store on: a
// generated hotel of 500 in-house rooms whose Conto_Cliente already holds
// 10,000 or 1,000,000 rows, and 20,000 pending charge lines (about 80% for
// in-house rooms, 15% for external clients, 5% for rooms nobody holds).
//
// Each iteration runs the transfer, then puts the same lines back and runs
// the raw baseline (RawTransfer.h: plain SQLite, commit every 5,000 lines) on
// the same files in the same process: engineLinesPerS, rawLinesPerS and their
// ratio come from those two clocks; the benchmark's own time is the engine's.
// Reading the file in (the queue and journal rows, appendChargesFile) is
// clocked too, beside RawIntake.h writing the same rows on the SQLite API:
// intakeRatio, and endToEndRatio for intake plus transfer.
#include "ChargeLines.h"
#include "RawIntake.h"
#include "RawTransfer.h"
#include "db/Engine.h"
#include "hotel/HotelGenerator.h"
#include "hotel/PosFiles.h"
#include "platform/Log.h"
#include "transfer/ChargeStore.h"
#include "transfer/ChargeTransfer.h"
#include "transfer/PostingJournal.h"

#include <benchmark/benchmark.h>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

namespace {

using namespace quorvel;

constexpr int PendingLines = 20000;

void transferRun(benchmark::State& state) {
    log::setEcho(false);
    QTemporaryDir dir;
    // As in the program: the log goes to its file (not to the terminal).
    log::open(QDir(dir.path()).filePath(QStringLiteral("Quorvel.log")));
    hotel::HotelSpec spec;
    spec.rooms = 572;
    spec.guests = 720;
    spec.externals = 60;
    spec.accountRows = state.range(0);
    const hotel::HotelSummary summary = hotel::generateHotel(dir.path(), spec);
    const QString previous = QDir::currentPath();
    QDir::setCurrent(dir.path());
    const QStringList lines = bench::chargeLines(summary.data, PendingLines, 7);
    Settings settings = summary.settings;
    {
        db::Workspace ws;
        ChargeStore store(ws);
        qint64 commitNs = 0, maxBatchNs = 0, engineNs = 0, rawNs = 0, bareNs = 0;
        qint64 intakeNs = 0, rawIntakeNs = 0;
        int file = 0;
        std::string disagree;  // outlives the run: the library keeps the pointer
        int bareListed = 0;
        // The same run without the journal: what the journal costs.
        auto runBare = [&] {
            store.appendPending(lines);
            ChargeTransfer::Seams bare;
            bare.journal = false;
            QElapsedTimer bareClock;
            bareClock.start();
            bareListed = ChargeTransfer(settings, store, bare).TrasferisciAddebiti().listed;
            bareNs += bareClock.nsecsElapsed();
        };
        int iteration = 0;
        for (auto _ : state) {
            state.PauseTiming();
            // The first run of an iteration finds the caches colder: the
            // two runs take turns at it.
            const bool bareFirst = iteration++ % 2 == 1;
            if (bareFirst)
                runBare();
            // As the polling cycle takes them: each line with its journal row.
            QElapsedTimer intakeClock;
            intakeClock.start();
            store.appendChargesFile({lines, false}, QStringLiteral("Addebiti_%1.txt").arg(++file));
            intakeNs += intakeClock.nsecsElapsed();
            state.ResumeTiming();
            // A batch runs from one commit to the next: that bounds how long
            // the hotel's files stay locked; the commit is its last part.
            QElapsedTimer clock;
            clock.start();
            qint64 batchStart = 0, lastWrite = 0;
            ChargeTransfer::Seams seams;
            seams.afterWrite = [&] {
                const qint64 now = clock.nsecsElapsed();
                if (!ws.inTransaction()) {
                    commitNs += now - lastWrite;
                    // The first batch also holds the opening of the files.
                    if (batchStart > 0)
                        maxBatchNs = std::max(maxBatchNs, now - batchStart);
                    batchStart = now;
                }
                lastWrite = now;
            };
            ChargeTransfer transfer(settings, store, seams);
            const TransferResult r = transfer.TrasferisciAddebiti();
            engineNs += clock.nsecsElapsed();
            state.counters["batches"] += r.batches;
            state.counters["listed"] += r.listed;

            state.PauseTiming();
            if (!bareFirst)
                runBare();
            QElapsedTimer rawClock;
            rawClock.start();
            bench::rawIntake(dir.path(), lines, QStringLiteral("Addebiti_%1.txt").arg(++file));
            rawIntakeNs += rawClock.nsecsElapsed();
            rawClock.restart();
            {
                bench::RawTransfer raw(dir.path(), settings);
                const bench::RawTransfer::Result rr = raw.run();
                rawNs += rawClock.nsecsElapsed();
                if (rr.posted + rr.listed != PendingLines || rr.listed != r.listed)
                    disagree = QStringLiteral(
                                   "raw baseline and transfer disagree: raw %1 "
                                   "posted %2 listed, transfer %3 listed")
                                   .arg(rr.posted)
                                   .arg(rr.listed)
                                   .arg(r.listed)
                                   .toStdString();
                state.counters["listedWithoutJournal"] = bareListed;
            }
            state.ResumeTiming();
            if (!disagree.empty()) {
                state.SkipWithError(disagree.c_str());
                break;
            }
        }
        const double handled = static_cast<double>(state.iterations()) * PendingLines;
        state.counters["engineLinesPerS"] = handled / (static_cast<double>(engineNs) / 1e9);
        state.counters["rawLinesPerS"] = handled / (static_cast<double>(rawNs) / 1e9);
        state.counters["ratio"] = static_cast<double>(rawNs) / static_cast<double>(engineNs);
        state.counters["intakeLinesPerS"] = handled / (static_cast<double>(intakeNs) / 1e9);
        state.counters["rawIntakeLinesPerS"] = handled / (static_cast<double>(rawIntakeNs) / 1e9);
        state.counters["intakeRatio"] =
            static_cast<double>(rawIntakeNs) / static_cast<double>(intakeNs);
        state.counters["endToEndRatio"] =
            static_cast<double>(rawIntakeNs + rawNs) / static_cast<double>(intakeNs + engineNs);
        state.counters["noJournalLinesPerS"] = handled / (static_cast<double>(bareNs) / 1e9);
        // Percent the journal adds to the transfer's time.
        state.counters["journalSlowdownPct"] =
            100.0 * (static_cast<double>(engineNs) / static_cast<double>(bareNs) - 1.0);
        state.counters["commitMsPerBatch"] =
            static_cast<double>(commitNs) / 1e6 / std::max(1.0, double(state.counters["batches"]));
        state.counters["maxBatchMs"] = static_cast<double>(maxBatchNs) / 1e6;
        state.counters["inHouseRooms"] = static_cast<double>(summary.data.inHouseRooms().size());
        state.SetItemsProcessed(state.iterations() * PendingLines);
    }
    QDir::setCurrent(previous);
    log::close();
}

// Finding a charge by room, day and amount among 1,000,000 journal rows,
// each with the transfer's record of it.
void journalFind(benchmark::State& state) {
    log::setEcho(false);
    QTemporaryDir dir;
    const QString previous = QDir::currentPath();
    QDir::setCurrent(dir.path());
    {
        db::Workspace ws;
        ChargeStore store(ws);
        constexpr int Rows = 1000000, Chunk = 50000;
        for (int from = 0; from < Rows; from += Chunk) {
            std::vector<JournalEntry> rows(Chunk);
            for (int i = 0; i < Chunk; ++i) {
                const int n = from + i;
                JournalEntry& e = rows[static_cast<std::size_t>(i)];
                e.archive = QStringLiteral("Addebiti_%1.txt").arg(n / 2000);
                e.lineNo = n % 2000 + 1;
                e.posRoom = e.room = QString::number(100 + n % 500);
                e.day = QStringLiteral("2025%1%2")
                            .arg(1 + n / 100000, 2, 10, QLatin1Char('0'))
                            .arg(1 + n % 28, 2, 10, QLatin1Char('0'));
                e.amount = Currency::fromCents(100 + n % 9973);
                e.line = QStringLiteral(" %1 riga %2").arg(e.room).arg(n);
                e.pendingId = n + 1;
            }
            db::Transaction tx(ws);
            store.journal().add(rows);
            // What the transfer made of them, in batches of its size.
            for (int b = 0; b < Chunk; b += 600) {
                std::vector<JournalEntry> batch;
                for (int i = b; i < std::min(b + 600, Chunk); ++i) {
                    JournalEntry o = rows[static_cast<std::size_t>(i)];
                    o.outcome = Esito::Camera;
                    o.database = QStringLiteral("Conto_Cliente.mdb");
                    o.table = QStringLiteral("Conto_Cliente");
                    o.accountRow = from + i + 1;
                    o.added = *o.amount;
                    o.quantity = 1;
                    batch.push_back(std::move(o));
                }
                store.journal().addOutcomes(batch);
            }
            tx.commit();
        }
        JournalQuery q;
        q.room = QStringLiteral("321");
        q.dayFrom = q.dayTo = QStringLiteral("20250526");
        q.amount = Currency::fromCents(100 + 420221 % 9973);
        std::size_t found = 0;
        for (auto _ : state) found += store.journal().find(q).size();
        if (found == 0)
            state.SkipWithError("the charge was not found");
        state.counters["rows"] = Rows;
    }
    QDir::setCurrent(previous);
}

}  // namespace

BENCHMARK(journalFind)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK(transferRun)
    ->Arg(10000)
    ->Arg(1000000)
    ->Iterations(8)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

BENCHMARK_MAIN();
