// quorvel-hotel: creates demo and test hotels and the files a POS leaves.
#include "hotel/Cli.h"

#include <QCoreApplication>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTextStream out(stdout), err(stderr);
    return quorvel::hotel::runCli(QCoreApplication::arguments(), out, err);
}
