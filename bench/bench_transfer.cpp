// Lines per second through TrasferisciAddebiti, exactly-once store on: a
// generated hotel of 500 in-house rooms whose Conto_Cliente already holds
// 10,000 or 1,000,000 rows, and 20,000 pending charge lines (about 80% for
// in-house rooms, 15% for external clients, 5% for rooms nobody holds).
//
// Each iteration runs the transfer, then puts the same lines back and runs
// the raw baseline (RawTransfer.h: plain SQLite, commit every 5,000 lines) on
// the same files in the same process: engineLinesPerS, rawLinesPerS and their
// ratio come from those two clocks; the benchmark's own time is the engine's.
#include "ChargeLines.h"
#include "RawTransfer.h"
#include "db/Engine.h"
#include "hotel/HotelGenerator.h"
#include "hotel/PosFiles.h"
#include "platform/Log.h"
#include "transfer/ChargeStore.h"
#include "transfer/ChargeTransfer.h"

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
        qint64 commitNs = 0, maxBatchNs = 0, engineNs = 0, rawNs = 0;
        std::string disagreement;  // outlives the run: the library keeps the pointer
        for (auto _ : state) {
            state.PauseTiming();
            store.appendPending(lines);
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
            store.appendPending(lines);
            QElapsedTimer rawClock;
            rawClock.start();
            {
                bench::RawTransfer raw(dir.path(), settings);
                const bench::RawTransfer::Result rr = raw.run();
                rawNs += rawClock.nsecsElapsed();
                if (rr.posted + rr.listed != PendingLines || rr.listed != r.listed) {
                    disagreement = QStringLiteral(
                                       "raw baseline and transfer disagree: raw %1 "
                                       "posted %2 listed, transfer %3 listed")
                                       .arg(rr.posted)
                                       .arg(rr.listed)
                                       .arg(r.listed)
                                       .toStdString();
                    state.SkipWithError(disagreement.c_str());
                    break;
                }
            }
            state.ResumeTiming();
        }
        const double handled = static_cast<double>(state.iterations()) * PendingLines;
        state.counters["engineLinesPerS"] = handled / (static_cast<double>(engineNs) / 1e9);
        state.counters["rawLinesPerS"] = handled / (static_cast<double>(rawNs) / 1e9);
        state.counters["ratio"] = static_cast<double>(rawNs) / static_cast<double>(engineNs);
        state.counters["commitMsPerBatch"] =
            static_cast<double>(commitNs) / 1e6 / std::max(1.0, double(state.counters["batches"]));
        state.counters["maxBatchMs"] = static_cast<double>(maxBatchNs) / 1e6;
        state.counters["inHouseRooms"] = static_cast<double>(summary.data.inHouseRooms().size());
        state.SetItemsProcessed(state.iterations() * PendingLines);
    }
    QDir::setCurrent(previous);
    log::close();
}

}  // namespace

BENCHMARK(transferRun)
    ->Arg(10000)
    ->Arg(1000000)
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

BENCHMARK_MAIN();
