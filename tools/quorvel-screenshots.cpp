// quorvel-screenshots: the README's pictures, taken from the live windows of
// the program on a hotel folder. Usage: quorvel-screenshots [--workdir DIR] OUTDIR
#include "db/Engine.h"
#include "platform/Error.h"
#include "platform/Log.h"
#include "platform/Seams.h"
#include "platform/Settings.h"
#include "polling/Controller.h"
#include "screenshots/Screenshots.h"
#include "ui/PosDT.h"
#include "ui/QtDialogs.h"
#include "ui/QtShell.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <cstdio>

using namespace quorvel;

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Salva le immagini della documentazione in OUTDIR."));
    parser.addHelpOption();
    const QCommandLineOption workdir(
        QStringLiteral("workdir"), QStringLiteral("Cartella dell'albergo."), QStringLiteral("DIR"));
    parser.addOption(workdir);
    parser.addPositionalArgument(QStringLiteral("OUTDIR"),
                                 QStringLiteral("Cartella delle immagini."));
    parser.process(app);
    if (parser.positionalArguments().size() != 1) {
        std::fprintf(stderr, "uso: quorvel-screenshots [--workdir DIR] OUTDIR\n");
        return 2;
    }
    // The picture folder is named relative to where the tool starts.
    const QString out = QDir::current().absoluteFilePath(parser.positionalArguments()[0]);
    if (parser.isSet(workdir) && !QDir::setCurrent(parser.value(workdir))) {
        std::fprintf(stderr, "quorvel-screenshots: cartella non trovata: %s\n",
                     qPrintable(parser.value(workdir)));
        return 2;
    }
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
