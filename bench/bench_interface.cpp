// Benchmark of the POS interface (Release build): 10 POS over loopback, each
// posting one charge after the other (waiting for its answer) to the rooms
// of a generated hotel on SQLite files. Reports postings per second and the
// answer's 50th / 99th percentile latency seen by the POS.
// Meanwhile the polling cycle ticks every 200 ms on the same event loop, and
// a charges file dropped in the middle of the load must be posted by the
// first tick that takes it (counter file_posted_in_one_cycle = 1).
// Goal: at least 500 postings/s with p99 under 100 ms on the SQLite files.
#include "db/Engine.h"
#include "db/Server.h"
#include "hotel/HotelGenerator.h"
#include "hotel/PosFiles.h"
#include "interface/PosInterface.h"
#include "platform/Log.h"
#include "polling/PollingCycle.h"
#include "polling/TransferButtons.h"
#include "transfer/ChargeStore.h"
#include "transfer/ChargeTransfer.h"

#include <benchmark/benchmark.h>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <memory>
#include <vector>

namespace {

using namespace quorvel;

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

// One POS on its own thread with a blocking socket: posts count charges and
// keeps each answer's latency in ms.
class Pos : public QThread {
public:
    Pos(quint16 port, int station, QStringList rooms, int count)
        : m_port(port), m_station(station), m_rooms(std::move(rooms)), m_count(count) {}
    std::vector<double> latencies;
    int ok = 0;

protected:
    void run() override {
        QTcpSocket s;
        s.connectToHost(QStringLiteral("127.0.0.1"), m_port);
        if (!s.waitForConnected(5000))
            return;
        QByteArray in;
        auto waitFor = [&](const QByteArray& type) {
            for (;;) {
                const qsizetype at = in.indexOf("\x02" + type);
                if (at >= 0) {
                    const qsizetype end = in.indexOf('\x03', at);
                    if (end > at) {
                        const QByteArray record = in.mid(at + 1, end - at - 1);
                        in.remove(0, end + 1);
                        return record;
                    }
                }
                if (!s.waitForReadyRead(10000))
                    return QByteArray();
                in += s.readAll();
            }
        };
        waitFor("LS");
        for (int i = 0; i < m_count; ++i) {
            const QString room = m_rooms[(m_station * 7 + i) % m_rooms.size()];
            const QByteArray pr =
                QStringLiteral("\x02PR|RN%1|TA%2|P#%3|WS%4|DA250307|TI120000|\x03")
                    .arg(room)
                    .arg(100 + i % 900)
                    .arg(i + 1)
                    .arg(m_station)
                    .toLatin1();
            QElapsedTimer t;
            t.start();
            s.write(pr);
            s.waitForBytesWritten(5000);
            const QByteArray pa = waitFor("PA");
            latencies.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
            ok += pa.contains("|ASOK|");
        }
        s.disconnectFromHost();
    }

private:
    quint16 m_port;
    int m_station;
    QStringList m_rooms;
    int m_count;
};

void BM_InterfacePostings(benchmark::State& state) {
    const int clients = 10;
    const int each = static_cast<int>(state.range(0));
    QTemporaryDir dir;
    hotel::HotelSpec spec;
    spec.rooms = 200;
    spec.guests = 250;
    spec.accountRows = 100'000;
    const hotel::HotelSummary summary = hotel::generateHotel(dir.path(), spec);
    QDir::setCurrent(dir.path());
    QStringList rooms;
    for (const QString& r : summary.data.inHouseRooms()) rooms << summary.data.posCode(r);
    Settings settings = summary.settings;
    QuietDialogs dialogs;
    SystemClock clock;
    Services services{&dialogs, &clock, nullptr};
    db::Workspace ws;
    ChargeStore store(ws);
    PollingCycle cycle(settings, services, store, [&] {
        ChargeTransfer(settings, store).TrasferisciAddebiti();
        return TransferRun{};
    });
    InterfaceSettings config;
    config.port = 0;
    PosInterface pos(settings, config, [&]() -> ChargeStore& { return store; });
    pos.start();

    for (auto _ : state) {
        std::vector<std::unique_ptr<Pos>> poses;
        for (int i = 0; i < clients; ++i)
            poses.push_back(std::make_unique<Pos>(pos.port(), i + 1, rooms, each));
        // The polling cycle beside the load; a charges file dropped half-way.
        int ticks = 0, tickOfFile = -1, tickPosted = -1;
        double longestTickMs = 0;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            QElapsedTimer t;
            t.start();
            cycle.tick();
            longestTickMs = std::max(longestTickMs, static_cast<double>(t.elapsed()));
            ++ticks;
            if (tickOfFile >= 0 && tickPosted < 0 && !QFile::exists(settings.fileOrigine) &&
                !store.hasPending())
                tickPosted = ticks;
        });
        poll.start(200);
        QElapsedTimer wall;
        wall.start();
        for (auto& p : poses) p->start();
        bool dropped = false;
        while (std::any_of(poses.begin(), poses.end(), [](auto& p) { return !p->isFinished(); })) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
            if (!dropped && wall.elapsed() > 500) {
                hotel::ChargeLine line;
                line.posRoom = rooms.front();
                line.day = QStringLiteral("250307");
                line.amountCents = 1234;
                QFile f(settings.fileOrigine);
                f.open(QIODevice::WriteOnly);
                f.write(encodeCp1252(hotel::formatChargeLine(line)) + "\r\n");
                f.close();
                f.open(QIODevice::Append);
                f.setFileTime(QDateTime::currentDateTime().addSecs(-60),
                              QFileDevice::FileModificationTime);
                tickOfFile = ticks + 1;
                dropped = true;
            }
        }
        const double seconds = static_cast<double>(wall.nsecsElapsed()) / 1e9;
        while (tickPosted < 0 && wall.elapsed() < 30000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
        poll.stop();
        std::vector<double> all;
        int ok = 0;
        for (auto& p : poses) {
            p->wait();
            all.insert(all.end(), p->latencies.begin(), p->latencies.end());
            ok += p->ok;
        }
        std::sort(all.begin(), all.end());
        auto pct = [&](double q) {
            return all.empty() ? 0.0
                               : all[static_cast<size_t>(q * static_cast<double>(all.size() - 1))];
        };
        state.counters["postings"] = static_cast<double>(all.size());
        state.counters["ok"] = ok;
        state.counters["postings_per_s"] = static_cast<double>(all.size()) / seconds;
        state.counters["p50_ms"] = pct(0.50);
        state.counters["p99_ms"] = pct(0.99);
        state.counters["longest_tick_ms"] = longestTickMs;
        state.counters["file_posted_in_one_cycle"] = tickPosted == tickOfFile ? 1 : 0;
    }
}
BENCHMARK(BM_InterfacePostings)->Arg(200)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    quorvel::log::open(QDir::temp().filePath(QStringLiteral("bench_interface.log")));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
