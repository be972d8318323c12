// The day's reconciliation of a busy day: 20,000 charge lines of one day in
// a journal of 400,000 rows (twenty such days), with their received counts
// and a few hundred error and pending lines. Target: under 0.5 s a day.
#include "db/Engine.h"
#include "transfer/ChargeStore.h"
#include "transfer/PostingJournal.h"
#include "transfer/Reconciliation.h"

#include <benchmark/benchmark.h>
#include <QDir>
#include <QTemporaryDir>
#include <algorithm>

using namespace quorvel;

namespace {

constexpr int kDays = 20;
constexpr int kLinesADay = 20000;
constexpr int kFilesADay = 40;

QString dayOf(int d) {
    return QStringLiteral("202503%1").arg(d + 1, 2, 10, QLatin1Char('0'));
}

struct Fixture {
    QTemporaryDir dir;
    db::Workspace ws;
    std::unique_ptr<ChargeStore> store;

    Fixture() {
        QDir::setCurrent(dir.path());
        store = std::make_unique<ChargeStore>(ws);
        for (int d = 0; d < kDays; ++d) {
            db::Transaction tx(ws);
            const std::int32_t pending =
                store->appendPending(QStringList(100, QStringLiteral("p")));
            const std::int32_t errors = store->appendErrors(QStringList(300, QStringLiteral("e")));
            // As the intake and the transfer write them: each line's row with
            // its queue number, what became of it in its batch's records.
            std::vector<JournalEntry> rows(kLinesADay), outcomes;
            std::vector<ReceivedCount> received(kFilesADay);
            for (int i = 0; i < kLinesADay; ++i) {
                JournalEntry& e = rows[static_cast<std::size_t>(i)];
                ReceivedCount& c = received[static_cast<std::size_t>(i % kFilesADay)];
                e.archive = c.archive = QStringLiteral("Estrazione_%1%2.txt")
                                            .arg(dayOf(d))
                                            .arg(i % kFilesADay, 6, 10, QLatin1Char('0'));
                e.lineNo = i / kFilesADay + 1;
                e.day = c.day = dayOf(d);
                e.amount = Currency::fromCents(100 + i % 5000);
                ++c.lines;
                c.sum += *e.amount;
                if (i < 100) {
                    e.pendingId = pending + i;
                    continue;
                }
                e.pendingId = 1'000'000 + d * kLinesADay + i;  // a line transferred
                JournalEntry o;
                o.pendingId = e.pendingId;
                o.outcome = i % 50 == 0  ? Esito::Storico
                            : i % 7 == 0 ? Esito::Esterno
                                         : Esito::Camera;
                if (o.outcome == Esito::Storico)
                    o.errorId = errors + (i / 50) % 300;
                outcomes.push_back(o);
            }
            store->journal().add(rows);
            // In batches of the transfer's size.
            for (std::size_t b = 0; b < outcomes.size(); b += 600)
                store->journal().addOutcomes(std::vector<JournalEntry>(
                    outcomes.begin() + static_cast<std::ptrdiff_t>(b),
                    outcomes.begin() +
                        static_cast<std::ptrdiff_t>(std::min(b + 600, outcomes.size()))));
            store->journal().addReceived(received);
            tx.commit();
        }
    }
};

Fixture& fixture() {
    static Fixture f;
    return f;
}

void BM_ReconcileBusyDay(benchmark::State& state) {
    Fixture& f = fixture();
    const QString day = dayOf(kDays / 2);
    bool balanced = true;
    for (auto _ : state) {
        const Reconciliation r = reconcile(*f.store, day, day);
        balanced = balanced && r.total.balanced() && r.total.received.lines == kLinesADay;
        benchmark::DoNotOptimize(r.total.room.sum);
    }
    if (!balanced)
        state.SkipWithError("the busy day does not balance");
    state.counters["lines"] = kLinesADay;
}

}  // namespace

BENCHMARK(BM_ReconcileBusyDay)->Unit(benchmark::kMillisecond)->Iterations(5)->Repetitions(3);

BENCHMARK_MAIN();
