// The journal's readers (Release build):
//  - the day's reconciliation of a busy day: 20,000 charge lines of one day in
//    a journal of 400,000 rows (twenty such days), with their received counts
//    and a few hundred error and pending lines. Target: under 0.5 s a day;
//  - start-up plus one idle cycle (the window's lists filled, one tick) with
//    1,000,000 journal rows of which 0 or 100,000 (one file's) are in the
//    error history. Target: under 0.5 s, and within 2x of the empty history;
//  - with a 10,000-line history: refreshing the window's lists after a
//    transfer of one line (target under 50 ms), and a repair of one line
//    (target under 20 ms).
#include "ChargeLines.h"
#include "db/Engine.h"
#include "hotel/HotelGenerator.h"
#include "platform/Log.h"
#include "polling/Controller.h"
#include "polling/TransferButtons.h"
#include "transfer/ChargeRepair.h"
#include "transfer/ChargeStore.h"
#include "transfer/PostingJournal.h"
#include "transfer/Reconciliation.h"

#include <benchmark/benchmark.h>
#include <QDir>
#include <QElapsedTimer>
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
    // The workspace opens in the current folder: this fixture's, not one an
    // earlier benchmark left (and removed).
    bool inDir = QDir::setCurrent(dir.path());
    db::Workspace ws;
    std::unique_ptr<ChargeStore> store;

    Fixture() {
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

class QuietDialogs : public Dialogs {
public:
    MsgAnswer messageBox(const QString&, const QString&, MsgIcon, MsgButtons,
                         MsgAnswer answer) override {
        return answer;
    }
    std::optional<QString> inputBox(const QString&, const QString&, const QString&) override {
        return std::nullopt;
    }
    void notify(const QString&, const QString&) override {}
};

// The window, as far as the core sees it: what it is asked to show.
class CountingView : public MainView {
public:
    QString transferType() const override { return QStringLiteral("1"); }
    void focusTransferType() override {}
    void showWindow() override {}
    void hideWindow() override {}
    void showPending(const QStringList& lines) override { pending = lines.size(); }
    void showErrors(const QStringList& lines) override { errors = lines.size(); }
    void showErrorLines(const std::vector<ErrorLineInfo>& lines) override {
        errors = static_cast<qsizetype>(lines.size());
    }
    // As the window does: the size, and the first page of lines it shows.
    void showErrorHistory(const std::shared_ptr<const ErrorHistory>& history) override {
        errors = history->size();
        const auto page = history->lines(0, 200);
        read = static_cast<qsizetype>(page.size());
        withReason = std::count_if(page.begin(), page.end(),
                                   [](const ErrorLineInfo& l) { return !l.reason.isEmpty(); });
    }
    void setBusy(bool) override {}
    qsizetype pending = 0, errors = 0, read = 0, withReason = 0;
};

// A small hotel whose store holds journalRows journal rows, the last
// history of them listed (one file's lines, as the transfer lists them).
struct HistoryHotel {
    HistoryHotel(int journalRows, int history) {
        log::setEcho(false);
        hotel::HotelSpec spec;
        spec.rooms = 120;
        spec.guests = 150;
        spec.externals = 20;
        spec.accountRows = 10000;
        summary = hotel::generateHotel(dir.path(), spec);
        QDir::setCurrent(dir.path());
        log::open(QDir(dir.path()).filePath(QStringLiteral("Quorvel.log")));
        db::Workspace ws;
        ChargeStore store(ws);
        const QStringList posted = bench::chargeLines(summary.data, 1000, 3);
        constexpr int Chunk = 50000;
        for (int from = 0; from < journalRows; from += Chunk) {
            db::Transaction tx(ws);
            const int n = std::min(Chunk, journalRows - from);
            const int listed = std::max(0, std::min(n, from + n - (journalRows - history)));
            QStringList errors;
            for (int i = n - listed; i < n; ++i)
                errors << QString(posted[(from + i) % posted.size()])
                              .replace(1, 3, QStringLiteral("997"));
            std::int32_t errorId = store.appendErrors(errors);
            std::vector<JournalEntry> rows(static_cast<std::size_t>(n));
            for (int i = 0; i < n; ++i) {
                JournalEntry& e = rows[static_cast<std::size_t>(i)];
                const bool isListed = i >= n - listed;
                e.archive =
                    QStringLiteral("Estrazione_%1.txt").arg(isListed ? 0 : (from + i) / 2000 + 1);
                e.lineNo = (from + i) % 2000 + 1;
                e.line = isListed ? errors[i - (n - listed)] : posted[(from + i) % posted.size()];
                e.day = QStringLiteral("20250301");
                e.amount = Currency::fromCents(100 + (from + i) % 5000);
                e.outcome = isListed ? Esito::Storico : Esito::Camera;
                e.errorId = isListed ? errorId++ : 0;
                e.reason = isListed ? Motivo::NessunConto : Motivo::Nessuno;
                e.reasonText = isListed ? QStringLiteral(
                                              "Nessun ospite in casa né cliente esterno "
                                              "per la camera 997")
                                        : QString();
                e.accountRow = from + i + 1;
                e.added = *e.amount;
            }
            store.journal().add(rows);
            tx.commit();
        }
    }
    QTemporaryDir dir;
    hotel::HotelSummary summary;
    QuietDialogs dialogs;
    SystemClock clock;
    Services services{&dialogs, &clock, nullptr};
};

// Start-up (the store opened, the window's lists filled) and one idle tick.
void BM_StartupIdle(benchmark::State& state) {
    HistoryHotel h(1'000'000, static_cast<int>(state.range(0)));
    Settings settings = h.summary.settings;
    qsizetype shown = 0, read = 0, withReason = 0;
    for (auto _ : state) {
        db::Workspace ws;
        CountingView view;
        Controller controller(settings, h.services, view, ws);
        if (!controller.timerTick())
            state.SkipWithError("the idle tick failed");
        shown = view.errors;
        read = view.read;
        withReason = view.withReason;
    }
    if (shown != state.range(0))
        state.SkipWithError("the window does not show the whole history");
    if (read != std::min<qsizetype>(shown, 200) || withReason != read)
        state.SkipWithError("the window's first page is not read whole, with its reasons");
    state.counters["history"] = static_cast<double>(shown);
}

// After a transfer of one line, the window's lists; and a repair of one line.
void BM_RefreshAndRepair(benchmark::State& state) {
    HistoryHotel h(20000, 10000);
    Settings settings = h.summary.settings;
    db::Workspace ws;
    CountingView view;
    ChargeStore store(ws);
    TransferButtons buttons(settings, h.services, view, store);
    const QStringList lines = bench::chargeLines(h.summary.data, 1, 11);
    const QString room = h.summary.data.inHouseRooms().front();
    std::vector<ChargeStore::Line> history = store.errorLines();
    qint64 refreshNs = 0, repairNs = 0;
    int repaired = 0;
    for (auto _ : state) {
        store.appendChargesFile({lines, false}, QStringLiteral("Uno.txt"));
        ChargeTransfer(settings, store).TrasferisciAddebiti();
        QElapsedTimer clock;
        clock.start();
        buttons.refreshLists();
        refreshNs += clock.nsecsElapsed();
        clock.restart();
        const auto r = ChargeRepair(settings, store).assegnaCamera(history.back().id, room);
        repairNs += clock.nsecsElapsed();
        repaired += r.status == ChargeRepair::Status::Posted;
        history.pop_back();
    }
    if (repaired != state.iterations())
        state.SkipWithError("a repair did not post");
    const auto n = static_cast<double>(state.iterations());
    state.counters["refreshMs"] = static_cast<double>(refreshNs) / 1e6 / n;
    state.counters["repairMs"] = static_cast<double>(repairNs) / 1e6 / n;
    state.counters["history"] = static_cast<double>(view.errors);
}

}  // namespace

BENCHMARK(BM_StartupIdle)
    ->Arg(0)
    ->Arg(100000)
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_RefreshAndRepair)->Iterations(20)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReconcileBusyDay)->Unit(benchmark::kMillisecond)->Iterations(5)->Repetitions(3);

BENCHMARK_MAIN();
