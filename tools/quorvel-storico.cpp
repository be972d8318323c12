// quorvel-storico: the error history from the command line (see
// storico/StoricoCli.h). A page printer needs Qt's painter, which runs on
// the offscreen platform here: the tool never shows a window.
#include "platform/SystemText.h"
#include "storico/StoricoCli.h"

#include <QApplication>
#include <cstdio>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Qt's English warnings (a printer that does not start) stay off the terminal.
    quorvel::log::captureQtMessages();
    QApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    const int status = quorvel::runStorico(QApplication::arguments(), out, err);
    out.flush();
    err.flush();
    return status;
}
