// One print run from the print menu: the engine the job selects, with its
// failures stopped at this boundary, logged and told to the operator.
#include "platform/Error.h"
#include "platform/Log.h"
#include "platform/Seams.h"
#include "print/PrintEngines.h"
#include "print/ReportFiles.h"

#include <QFile>

namespace quorvel {

bool runPrintJob(const PrintJob& job, PagePrinter& printer, Dialogs& dialogs) {
    const QString report = reportFileName();
    const QString engine = job.usesPagePrinter() ? QStringLiteral("stampante di sistema")
                                                 : QStringLiteral("stampante a caratteri");
    try {
        const bool present = QFile::exists(report);
        if (job.usesPagePrinter())
            printPages(job, printer, report);
        else
            printCharacters(job, report);
        if (present)
            log::info(
                QStringLiteral("Stampa di %1 su %2 (%3)").arg(report, job.destination, engine));
        else
            log::info(
                QStringLiteral("Stampa: il file %1 non esiste, nulla da stampare").arg(report));
        return true;
    } catch (const Error& e) {
        log::error(QStringLiteral("Stampa di %1 su %2 interrotta: %3")
                       .arg(report, job.destination, e.message()));
        dialogs.messageBox(QStringLiteral("La stampa su \"%1\" è stata interrotta.\n\n%2")
                               .arg(job.destination, e.message()),
                           QStringLiteral("Stampa"), MsgIcon::Critical, MsgButtons::Ok,
                           MsgAnswer::Ok);
        return false;
    }
}

}  // namespace quorvel
