// quorvel: the POS-to-hotel bridge. Without arguments it starts with the tray
// icon and a hidden window and polls the working folder every five seconds.
#include "db/Engine.h"
#include "interface/PosInterface.h"
#include "platform/CommandLine.h"
#include "platform/Confirmation.h"
#include "platform/Error.h"
#include "platform/Log.h"
#include "platform/Plural.h"
#include "platform/Seams.h"
#include "platform/Settings.h"
#include "platform/StopSignal.h"
#include "platform/SystemText.h"
#include "polling/Controller.h"
#include "polling/FolderStores.h"
#include "polling/TransferButtons.h"
#include "transfer/ChargeStore.h"
#include "ui/HeadlessRunner.h"
#include "ui/PosDT.h"
#include "ui/QtDialogs.h"
#include "ui/QtShell.h"
#include "ui/StampaStorico.h"
#include "ui/Translations.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <unistd.h>
#endif

using namespace quorvel;

namespace {

// A windowed run on X11 or Wayland without either: Qt would abort in English.
bool displayMissing() {
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    return qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") &&
           qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
#else
    return false;
#endif
}

// Why a file cannot be written in the working folder, found by writing one:
// a full disk is not a matter of permissions.
QString whyFolderUnwritable() {
    const QString notWritable = QStringLiteral("la cartella di lavoro non è scrivibile");
#ifdef Q_OS_UNIX
    const QByteArray probe = QFile::encodeName(
        QStringLiteral(".Quorvel.prova.%1").arg(QCoreApplication::applicationPid()));
    int err = 0;
    const int fd = ::open(probe.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        err = errno;
    } else {
        const QByteArray bytes(512, ' ');
        if (::write(fd, bytes.constData(), static_cast<size_t>(bytes.size())) < 0 ||
            ::fsync(fd) != 0)
            err = errno;
        ::close(fd);
        ::unlink(probe.constData());
    }
    switch (err) {
        case ENOSPC:
        case EDQUOT:
            return QStringLiteral(
                "il disco è pieno (nessuno spazio libero per i file del "
                "programma)");
        case EROFS:
            return QStringLiteral("il disco è montato in sola lettura");
        case 0:
        case EACCES:
        case EPERM:
            return notWritable;
        default:
            return notWritable + QStringLiteral(" (") +
                   italianSystemText(QString::fromLocal8Bit(std::strerror(err))) +
                   QStringLiteral(")");
    }
#else
    return notWritable;
#endif
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
    confirmation::setSink([&window](const QString& text) { window.showStatus(text); });
    struct ResetSink {
        ~ResetSink() { confirmation::setSink({}); }
    } resetSink;
    dialogs.setNotifier(
        [&window](const QString& title, const QString& text) { window.showNotice(title, text); });
    window.formLoad();
    const auto pos = once ? nullptr : listenToPos(settings, controller);
    if (once) {
        const bool ok = window.timer1().fire() == PollTimer::Outcome::Ran;
        controller.finishDailyMail();
        window.allowClose();
        return ok ? 0 : 1;
    }
    return QApplication::exec();
}

}  // namespace

int main(int argc, char** argv) {
    // Parsed before the application object: a bad command line is refused
    // in Italian, with status 2, with or without a display.
    CommandLine cli(
        QStringLiteral("quorvel"),
        QStringLiteral("quorvel [--workdir CARTELLA] [--headless [--interval MS]] "
                       "[--once]\nquorvel --help | --version"),
        QStringLiteral("Ponte fra la cassa del ristorante e il gestionale "
                       "dell'albergo.\nSenza opzioni parte con l'icona \"Quorvel\" "
                       "nell'area di notifica e controlla la cartella ogni 5 secondi."));
    cli.setVersion(QStringLiteral(QUORVEL_VERSION));
    cli.addOption(QStringLiteral("workdir"),
                  QStringLiteral("Cartella di lavoro (impostazioni, file della cassa, archivi)."),
                  QStringLiteral("CARTELLA"));
    cli.addOption(QStringLiteral("headless"),
                  QStringLiteral("Senza finestre (nessuno schermo necessario): messaggi nel "
                                 "registro."));
    cli.addOption(QStringLiteral("once"), QStringLiteral("Un solo ciclo di controllo, poi esce."));
    cli.addOption(QStringLiteral("interval"),
                  QStringLiteral("Con --headless: intervallo di controllo in ms (per le prove; "
                                 "predefinito 5000)."),
                  QStringLiteral("MS"));
    cli.setEpilogue(QStringLiteral(
        "Stato d'uscita: 0 ciclo riuscito (--once) o arresto chiesto dal sistema; 1 ciclo\n"
        "fallito (--once); 2 riga di comando o cartella di lavoro non valida; 3 un'altra\n"
        "copia lavora nella cartella; 4 cartella di lavoro non scrivibile o disco pieno."));
    if (const auto status = cli.handle(argc, argv))
        return *status;
    const bool headless = cli.isSet(QStringLiteral("headless"));
    const bool once = cli.isSet(QStringLiteral("once"));
    int intervalMs = 0;
    if (cli.isSet(QStringLiteral("interval"))) {
        if (!headless)
            return cli.fail(QStringLiteral("--interval vale solo con --headless"));
        const auto ms = cli.intValue(QStringLiteral("interval"), 1, 24 * 3600 * 1000);
        if (!ms)
            return cli.fail(cli.error());
        intervalMs = static_cast<int>(*ms);
    }
    if (cli.isSet(QStringLiteral("workdir"))) {
        const QString dir = cli.value(QStringLiteral("workdir"));
        const QFileInfo info(dir);
        if (!info.exists())
            return cli.fail(QStringLiteral("cartella di lavoro non trovata: %1").arg(dir));
        if (!info.isDir())
            return cli.fail(
                QStringLiteral("cartella di lavoro non valida (è un file): %1").arg(dir));
        if (!QDir::setCurrent(dir))
            return cli.fail(QStringLiteral("cartella di lavoro non accessibile: %1").arg(dir));
    }
    if (!headless && displayMissing())
        return cli.fail(
            QStringLiteral("nessuno schermo (DISPLAY non impostata): per lavorare "
                           "senza finestre usare --headless"));

    log::captureQtMessages();
    std::unique_ptr<QCoreApplication> app(headless ? new QCoreApplication(argc, argv)
                                                   : new QApplication(argc, argv));
    QCoreApplication::setApplicationName(QStringLiteral("quorvel"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUORVEL_VERSION));
    log::open(QStringLiteral("Quorvel.log"));
    loadQtTranslations(*app);
    if (headless)
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
        // No other copy: the lock file itself cannot be made; say why.
        const QString why = whyFolderUnwritable();
        log::error(QStringLiteral("Impossibile creare Quorvel.lock in %1: %2")
                       .arg(QDir::currentPath(), why));
        std::fprintf(stderr, "quorvel: impossibile creare Quorvel.lock in %s: %s\n",
                     qPrintable(QDir::currentPath()), qPrintable(why));
        return 4;
    }
    // QuorvelDB.txt puts the hotel's databases on a server; without it, SQLite files.
    resolveFolderStores().log();
    // Safe only now that no other copy uses this folder.
    if (const int stale = db::removeStaleWorkspaceFolders(QDir::currentPath()))
        log::info(plural(stale,
                         QStringLiteral("Rimossa %1 cartella di lavoro lasciata da un'esecuzione "
                                        "interrotta"),
                         QStringLiteral("Rimosse %1 cartelle di lavoro lasciate da esecuzioni "
                                        "interrotte")));
    log::info(QStringLiteral("Quorvel %1 avviato in %2%3")
                  .arg(QCoreApplication::applicationVersion(), QDir::currentPath(),
                       headless ? QStringLiteral(" (senza finestre)") : QString()));

    // The program's one database workspace: every unit is handed this one.
    // Made only now, in the working folder, where it keeps its private folder.
    std::unique_ptr<db::Workspace> workspace;
    try {
        workspace = std::make_unique<db::Workspace>();
        // This bridge owns its schema on a server while it runs.
        workspace->claimOwnSchema();
    } catch (const std::exception& e) {
        log::error(QStringLiteral("Area di lavoro del database non creata: %1").arg(errorText(e)));
        std::fprintf(stderr, "quorvel: %s\n", qPrintable(errorText(e)));
        log::close();
        return 4;
    }

    // A stop asked by the system ends the event loop with a log line; a
    // --once run keeps the default action (it runs no event loop).
    std::unique_ptr<StopSignal> stopSignal;
    if (!once)
        stopSignal = std::make_unique<StopSignal>();
    const int status =
        headless ? runHeadless(*workspace, once, intervalMs) : runWindowed(*workspace, once);
    workspace.reset();
    log::info(QStringLiteral("Quorvel termina (stato %1)").arg(status));
    log::close();
    return status;
}
