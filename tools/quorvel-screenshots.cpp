// quorvel-screenshots: the README's pictures, taken from the live windows of
// the program on a hotel folder. Usage: quorvel-screenshots [--workdir DIR] OUTDIR
#include "db/Engine.h"
#include "platform/CommandLine.h"
#include "platform/Error.h"
#include "platform/Log.h"
#include "platform/Seams.h"
#include "platform/Settings.h"
#include "platform/SystemText.h"
#include "polling/Controller.h"
#include "screenshots/Screenshots.h"
#include "ui/PosDT.h"
#include "ui/QtDialogs.h"
#include "ui/QtShell.h"
#include "ui/Translations.h"

#include <QApplication>
#include <QDir>
#include <cstdio>

using namespace quorvel;

int main(int argc, char** argv) {
    // Parsed before the application object, so that --help needs no display.
    CommandLine cli(QStringLiteral("quorvel-screenshots"),
                    QStringLiteral("quorvel-screenshots [--workdir CARTELLA] CARTELLA_IMMAGINI"),
                    QStringLiteral("Salva in file PNG le immagini delle finestre del programma "
                                   "per la documentazione (serve uno schermo, anche Xvfb)."));
    cli.addOption(QStringLiteral("workdir"), QStringLiteral("Cartella dell'albergo."),
                  QStringLiteral("CARTELLA"));
    cli.setPositional(QStringLiteral("CARTELLA_IMMAGINI"),
                      QStringLiteral("Dove salvare le immagini."), 1, 1);
    if (const auto status = cli.handle(argc, argv))
        return *status;
    // The picture folder is named relative to where the tool starts.
    const QString out = QDir::current().absoluteFilePath(cli.positional()[0]);
    if (cli.isSet(QStringLiteral("workdir")) &&
        !QDir::setCurrent(cli.value(QStringLiteral("workdir"))))
        return cli.fail(
            QStringLiteral("cartella non trovata: %1").arg(cli.value(QStringLiteral("workdir"))));
    log::captureQtMessages();
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    loadQtTranslations(app);
    try {
        db::Workspace ws;
        QtDialogs dialogs;
        SystemClock clock;
        QtShell shell;
        Services services{&dialogs, &clock, &shell};
        Settings settings;
        // The pictures show the window as it is with a tray icon.
        PosDT window(settings, services, ws, PosDTSeams{[] { return true; }});
        Controller controller(settings, services, window, ws);
        window.setHandlers(&controller);
        const int status = takeScreenshots(window, ws, out);
        window.setHandlers(nullptr);
        return status;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "quorvel-screenshots: %s\n", qPrintable(errorText(e)));
        return 1;
    }
}
