// quorvel: the POS-to-hotel bridge. Without arguments it starts with the tray
// icon and a hidden window and polls the working folder every five seconds.
#include "db/Engine.h"
#include "interface/PosInterface.h"
#include "platform/Error.h"
#include "platform/Log.h"
#include "platform/Seams.h"
#include "platform/Settings.h"
#include "platform/StopSignal.h"
#include "polling/Controller.h"
#include "polling/FolderStores.h"
#include "polling/TransferButtons.h"
#include "transfer/ChargeStore.h"
#include "ui/HeadlessRunner.h"
#include "ui/PosDT.h"
#include "ui/QtDialogs.h"
#include "ui/QtShell.h"
#include "ui/StampaStorico.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QLockFile>
#include <cstdio>
#include <cstring>
#include <memory>

using namespace quorvel;

namespace {

// Decided before the application object exists: these runs need no display.
bool needsNoDisplay(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        for (const char* opt : {"--headless", "--help", "-h", "--help-all", "--version", "-v"})
            if (std::strcmp(argv[i], opt) == 0)
                return true;
    return false;
}

// The POS interface when "QuorvelPOS.txt" turns it on; told of guest changes.
std::unique_ptr<PosInterface> listenToPos(const Settings& settings, Controller& controller) {
    auto pos =
        startPosInterface(settings, [&controller]() -> ChargeStore& { return controller.store(); });
    if (pos)
        controller.guestsMayHaveChanged = [p = pos.get()] { p->guestsMayHaveChanged(); };
    return pos;
}

int runHeadless(db::Workspace& ws, bool once, int intervalMs) {
    HeadlessDialogs dialogs;
    SystemClock clock;
    QtShell shell;
    Services services{&dialogs, &clock, &shell};
    HeadlessRunner runner(services, ws);
    if (intervalMs > 0)
        runner.setInterval(intervalMs);
    runner.start(!once);
    if (once)
        return runner.tickOnce() ? 0 : 1;
    const auto pos = listenToPos(runner.settings(), runner.controller());
    return QCoreApplication::exec();
}

int runWindowed(db::Workspace& ws, bool once) {
    QApplication::setQuitOnLastWindowClosed(false);
    QtDialogs dialogs;
    SystemClock clock;
    QtShell shell;
    Services services{&dialogs, &clock, &shell};
    Settings settings;
    PosDT window(settings, services, ws);
    Controller controller(settings, services, window, ws);
    window.setHandlers(&controller);
    // "&Stampa": the error history from the store, then the print menu.
    StampaStorico stampa(services, ws, &window);
    try {
        controller.transferButtons().stampa = [&] {
            stampa.stampa(controller.store().errors(), window.hotelCorrente());
        };
        window.quadratura = [&] { stampa.quadratura(controller.store(), window.hotelCorrente()); };
    } catch (const std::exception& e) {
        log::error(
            QStringLiteral("Stampa dello storico errori non disponibile: %1").arg(errorText(e)));
    }
    dialogs.setNotifier(
        [&window](const QString& title, const QString& text) { window.showNotice(title, text); });
    window.formLoad();
    const auto pos = once ? nullptr : listenToPos(settings, controller);
    if (once) {
        const bool ok = window.timer1().fire() == PollTimer::Outcome::Ran;
        window.allowClose();
        return ok ? 0 : 1;
    }
    return QApplication::exec();
}

}  // namespace

int main(int argc, char** argv) {
    const bool noDisplay = needsNoDisplay(argc, argv);
    std::unique_ptr<QCoreApplication> app(noDisplay ? new QCoreApplication(argc, argv)
                                                    : new QApplication(argc, argv));
    QCoreApplication::setApplicationName(QStringLiteral("quorvel"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUORVEL_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Ponte fra la cassa del ristorante e il gestionale dell'albergo."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption workdir(QStringLiteral("workdir"),
                                     QStringLiteral("Cartella di lavoro (file e archivi)."),
                                     QStringLiteral("DIR"));
    const QCommandLineOption headless(QStringLiteral("headless"),
                                      QStringLiteral("Senza finestre: messaggi nel registro."));
    const QCommandLineOption once(QStringLiteral("once"),
                                  QStringLiteral("Un solo ciclo di controllo, poi esce."));
    const QCommandLineOption interval(
        QStringLiteral("interval"),
        QStringLiteral("Con --headless: intervallo di controllo in ms (per le prove; 5000)."),
        QStringLiteral("MS"));
    parser.addOptions({workdir, headless, once, interval});
    parser.process(*app);

    bool intervalOk = true;
    const int intervalMs = parser.isSet(interval) ? parser.value(interval).toInt(&intervalOk) : 0;
    if (!intervalOk || intervalMs < 0) {
        std::fprintf(stderr, "quorvel: intervallo non valido: %s\n",
                     qPrintable(parser.value(interval)));
        return 2;
    }
    if (parser.isSet(workdir) && !QDir::setCurrent(parser.value(workdir))) {
        std::fprintf(stderr, "quorvel: cartella di lavoro non trovata: %s\n",
                     qPrintable(parser.value(workdir)));
        return 2;
    }
    log::open(QStringLiteral("Quorvel.log"));
    if (parser.isSet(headless))
        log::setEcho(true);
    // Two copies polling one folder would race for the same files.
    QLockFile lock(QStringLiteral("Quorvel.lock"));
    if (!lock.tryLock(0)) {
        if (lock.error() == QLockFile::LockFailedError) {
            log::error(
                QStringLiteral("Quorvel è già in esecuzione in %1").arg(QDir::currentPath()));
            std::fprintf(stderr, "quorvel: già in esecuzione in questa cartella\n");
            return 3;
        }
        // No other copy: the lock file itself cannot be made.
        log::error(QStringLiteral("Impossibile creare Quorvel.lock in %1: la cartella di lavoro "
                                  "non è scrivibile")
                       .arg(QDir::currentPath()));
        std::fprintf(stderr,
                     "quorvel: impossibile creare Quorvel.lock: la cartella di lavoro %s non è "
                     "scrivibile\n",
                     qPrintable(QDir::currentPath()));
        return 4;
    }
    // QuorvelDB.txt puts the hotel's databases on a server; without it, SQLite files.
    resolveFolderStores().log();
    // Safe only now that no other copy uses this folder.
    if (const int stale = db::removeStaleWorkspaceFolders(QDir::currentPath()))
        log::info(QStringLiteral("Rimosse %1 cartelle di lavoro lasciate da esecuzioni interrotte")
                      .arg(stale));
    log::info(QStringLiteral("Quorvel %1 avviato in %2%3")
                  .arg(QCoreApplication::applicationVersion(), QDir::currentPath(),
                       parser.isSet(headless) ? QStringLiteral(" (senza finestre)") : QString()));

    // The program's one database workspace: every unit is handed this one.
    // Made only now, in the working folder, where it keeps its private folder.
    std::unique_ptr<db::Workspace> workspace;
    try {
        workspace = std::make_unique<db::Workspace>();
    } catch (const std::exception& e) {
        log::error(QStringLiteral("Area di lavoro del database non creata: %1").arg(errorText(e)));
        std::fprintf(stderr, "quorvel: %s\n", qPrintable(errorText(e)));
        log::close();
        return 4;
    }

    // A stop asked by the system ends the event loop with a log line; a
    // --once run keeps the default action (it runs no event loop).
    std::unique_ptr<StopSignal> stopSignal;
    if (!parser.isSet(once))
        stopSignal = std::make_unique<StopSignal>();
    const int status = parser.isSet(headless)
                           ? runHeadless(*workspace, parser.isSet(once), intervalMs)
                           : runWindowed(*workspace, parser.isSet(once));
    workspace.reset();
    log::info(QStringLiteral("Quorvel termina (stato %1)").arg(status));
    log::close();
    return status;
}
