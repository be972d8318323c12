// The resource soak's ticks and measurements.
#include "soak/ResourceSoak.h"

#include "db/Engine.h"
#include "hotel/HotelGenerator.h"
#include "hotel/PosFiles.h"
#include "hotel/Random.h"
#include "platform/Log.h"
#include "polling/Controller.h"
#include "soak/Simulators.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>

namespace quorvel::soak {

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool Sanitized = true;  // ASan keeps freed memory in quarantine
#else
constexpr bool Sanitized = false;
#endif

// Resident memory in kB, from /proc/self/status.
qint64 residentKb() {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    // A /proc file has no size: read it whole, never test atEnd().
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

int openDescriptors() {
    return static_cast<int>(QDir(QStringLiteral("/proc/self/fd"))
                                .entryList(QDir::AllEntries | QDir::NoDotAndDotDot)
                                .size());
}

class QuietDialogs : public Dialogs {
public:
    MsgAnswer messageBox(const QString&, const QString&, MsgIcon, MsgButtons,
                         MsgAnswer answer) override {
        ++messages;
        return answer;
    }
    std::optional<QString> inputBox(const QString&, const QString&, const QString&) override {
        return std::nullopt;
    }
    void notify(const QString&, const QString&) override { ++notices; }
    int messages = 0, notices = 0;
};

// The headless window: keeps only the sizes of the lists.
class CountingView : public MainView {
public:
    QString transferType() const override { return QStringLiteral("Completo"); }
    void focusTransferType() override {}
    void showWindow() override {}
    void hideWindow() override {}
    void showPending(const QStringList& lines) override { pending = lines.size(); }
    void showErrors(const QStringList& lines) override { errors = lines.size(); }
    void setBusy(bool) override {}
    qsizetype pending = 0, errors = 0;
};

struct Snapshot {
    qint64 rssKb = 0;
    int fds = 0;
};

Snapshot measure() {
    return {residentKb(), openDescriptors()};
}

}  // namespace

int runResourceSoak(const ResourceOptions& o, QTextStream& out) {
    QElapsedTimer clock;
    clock.start();
    hotel::HotelSpec spec;
    spec.seed = o.seed;
    const hotel::HotelSummary hotel = hotel::generateHotel(o.dir, spec);
    const QString home = QDir::currentPath();
    QDir::setCurrent(o.dir);
    log::open(QStringLiteral("Quorvel.log"));
    const QStringList rooms = hotel.data.inHouseRooms();

    Settings settings = hotel.settings;
    QuietDialogs dialogs;
    SystemClock systemClock;
    Services services{&dialogs, &systemClock, nullptr};
    CountingView view;
    db::Workspace ws;
    Controller controller(settings, services, view, ws);
    hotel::Random random(o.seed ^ 0x7E5ULL);

    const int warmUp = std::max(1, o.ticks / 10);
    const int stretch = std::clamp(o.ticks / 8, 10, 500);
    Snapshot start, end;
    int failed = 0, busyTicks = 0, files = 0;
    for (int t = 0; t < o.ticks; ++t) {
        if (t == warmUp)
            start = measure();
        // Stretches of idle and busy ticks by turns.
        const bool busy = (t / stretch) % 2 == 1 && random.percent(40);
        if (busy) {
            ++busyTicks;
            const int roll = static_cast<int>(random.between(0, 99));
            if (roll < 50 && !QFile::exists(settings.fileOrigine)) {
                hotel::PosChargesSpec charges;
                charges.lines = static_cast<int>(random.between(1, 6));
                charges.seed = static_cast<std::uint64_t>(t);
                charges.hotelDir = o.dir;
                hotel::writePosCharges(settings.fileOrigine, charges);
                ++files;
            } else if (roll < 70 && !QFile::exists(settings.fileIncassi)) {
                hotel::PosClosingSpec closing;
                closing.receipts = static_cast<int>(random.between(1, 4));
                closing.seed = static_cast<std::uint64_t>(t);
                hotel::writePosClosing(settings.fileIncassi, closing);
                ++files;
            } else if (!rooms.isEmpty()) {
                const QString kind = roll < 90 ? QStringLiteral("CKI") : QStringLiteral("CKO");
                files += dropNotice(o.dir, kind + rooms.at(random.between(0, rooms.size() - 1)),
                                    QStringLiteral("avviso.tmp"));
            }
        }
        if (!controller.timerTick())
            ++failed;
    }
    end = measure();
    log::close();
    QDir::setCurrent(home);

    const qint64 rssGrowth = end.rssKb - start.rssKb;
    const bool fdsOk = end.fds <= start.fds + 1;
    const bool rssOk = Sanitized || rssGrowth <= std::max<qint64>(8 * 1024, start.rssKb / 5);
    out << QStringLiteral(
               "resource-soak: ticks=%1 busy-ticks=%2 files=%3 failed-ticks=%4 "
               "rss-kb=%5->%6 fds=%7->%8 error-history=%9%10 | %11 s")
               .arg(o.ticks)
               .arg(busyTicks)
               .arg(files)
               .arg(failed)
               .arg(start.rssKb)
               .arg(end.rssKb)
               .arg(start.fds)
               .arg(end.fds)
               .arg(view.errors)
               .arg(Sanitized ? QStringLiteral(" (memory not judged under ASan)") : QString())
               .arg(clock.elapsed() / 1000)
        << Qt::endl;
    return fdsOk && rssOk && failed == 0 ? 0 : 1;
}

}  // namespace quorvel::soak
