// quorvel-journal: the posting journal from the command line (see
// journal/JournalCli.h). It needs no display.
#include "journal/JournalCli.h"

#include <QCoreApplication>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    const int status = quorvel::runJournal(QCoreApplication::arguments(), out, err);
    out.flush();
    err.flush();
    return status;
}
