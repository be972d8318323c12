// One print run from the print menu: the engine the job selects, with its
// failures stopped at this boundary, logged and told to the operator.
#include "platform/Confirmation.h"
#include "platform/Error.h"
#include "platform/Log.h"
#include "platform/Seams.h"
#include "print/PrintEngines.h"
#include "print/ReportFiles.h"

#include <QFile>
#include <QFileInfo>

namespace quorvel {

namespace {

// What the operator is told once the job is handed over.
QString confirmationText(const PrintJob& job, const PagePrinter& printer) {
    if (!job.usesPagePrinter())
        return QStringLiteral("Stampa inviata a \"%1\"").arg(job.destination);
    if (printer.printerNames().contains(job.destination))
        return QStringLiteral("Stampa inviata alla stampante \"%1\"").arg(job.destination);
    if (job.destination.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive))
        return QStringLiteral("PDF scritto in %1")
            .arg(QFileInfo(job.destination).absoluteFilePath());
    return QStringLiteral("Stampa inviata alla stampante predefinita (\"%1\" non esiste)")
        .arg(job.destination);
}

}  // namespace

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
        if (present) {
            log::info(
                QStringLiteral("Stampa di %1 su %2 (%3)").arg(report, job.destination, engine));
            confirmation::tell(confirmationText(job, printer));
        } else {
            const QString nothing =
                QStringLiteral("Stampa: il file %1 non esiste, nulla da stampare").arg(report);
            log::info(nothing);
            confirmation::tell(nothing);
        }
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
