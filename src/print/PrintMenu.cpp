// The print menu's load, activation, print run and document opening.
#include "print/PrintMenu.h"

#include "platform/Error.h"
#include "platform/Log.h"
#include "print/DelimitedExport.h"
#include "print/PagePrinter.h"
#include "print/PrintEngines.h"
#include "print/ReportFiles.h"

#include <QFileInfo>

namespace quorvel {

namespace {

const QString kTitle = QStringLiteral("Stampa");

}  // namespace

PrintMenu::PrintMenu(Services& services, PagePrinter& printer, db::Workspace& ws,
                     std::int16_t hotelCorrente)
    : m_services(services), m_printer(printer), m_ws(ws), m_hotelCorrente(hotelCorrente) {}

QStringList PrintMenu::load() {
    if (m_hotelCorrente == 0)
        m_hotelCorrente = 1;
    const QDateTime now = m_services.clock->now();
    // A failed copy must not keep the menu from opening: it is logged, and
    // opening the copy later says it is missing.
    try {
        m_archivePath = makeArchiveCopy(now);
    } catch (const std::exception& e) {
        m_archivePath = archiveCopyName(now);
        log::error(QStringLiteral("Copia di archivio del file di stampa: ") + errorText(e));
    }
    return printerChoices(m_printer.printerNames());
}

QStringList PrintMenu::activate() {
    try {
        m_assistanceCode = readAssistanceCode(m_ws);
    } catch (const std::exception& e) {
        report(QStringLiteral("Impossibile leggere il codice di assistenza dell'albergo."),
               errorText(e));
    }
    QStringList destinations;
    try {
        destinations = readDestinations(m_ws);
    } catch (const std::exception& e) {
        report(QStringLiteral("Impossibile leggere le destinazioni di stampa."), errorText(e));
        return {};
    }
    if (destinations.isEmpty())
        log::info(QStringLiteral("Nessuna destinazione di stampa per l'albergo 1: menu chiuso"));
    return destinations;
}

bool PrintMenu::print(PrintChoice choice) {
    choice.assistanceCode = m_assistanceCode;
    choice.hotelCorrente = m_hotelCorrente;
    std::optional<PrintJob> job;
    try {
        job = buildPrintJob(m_ws, choice);
    } catch (const std::exception& e) {
        report(QStringLiteral("Impossibile leggere le impostazioni della stampante \"%1\".")
                   .arg(choice.destination),
               errorText(e));
        return false;
    }
    if (!job) {
        log::info(QStringLiteral("Destinazione di stampa \"%1\" non trovata: nulla stampato")
                      .arg(choice.destination));
        return false;
    }
    return runPrintJob(*job, m_printer, *m_services.dialogs);
}

bool PrintMenu::openArchive() {
    if (!QFileInfo::exists(m_archivePath)) {
        report(QStringLiteral("La copia di archivio %1 non esiste.").arg(m_archivePath),
               QStringLiteral("Il file di stampa mancava quando il menu è stato aperto."));
        return false;
    }
    return open(m_archivePath, QStringLiteral("dat"), QStringLiteral("la copia di archivio"));
}

bool PrintMenu::exportAndOpen() {
    try {
        ConvertiXLS(reportFileName());
    } catch (const std::exception& e) {
        report(QStringLiteral("Impossibile esportare il file di stampa per il foglio di calcolo."),
               errorText(e));
        return false;
    }
    log::info(QStringLiteral("Esportazione di %1 in %2").arg(reportFileName(), exportFileName()));
    return open(exportFileName(), QStringLiteral(".\\"), QStringLiteral("il file esportato"));
}

void PrintMenu::report(const QString& what, const QString& cause) {
    log::error(cause.isEmpty() ? what : what + QLatin1Char(' ') + cause);
    const QString text = cause.isEmpty() ? what : what + QStringLiteral("\n\n") + cause;
    m_services.dialogs->messageBox(text, kTitle, MsgIcon::Critical, MsgButtons::Ok, MsgAnswer::Ok);
}

bool PrintMenu::open(const QString& path, const QString& workingFolder, const QString& what) {
    // The file lies in the program's working folder whatever working folder
    // the program that opens it is given; so it is handed over by full path.
    const QFileInfo file(path);
    if (!file.exists()) {
        report(QStringLiteral("Impossibile aprire %1: il file %2 non esiste.").arg(what, path), {});
        return false;
    }
    if (!m_services.shell->openDocument(file.absoluteFilePath(), workingFolder)) {
        report(QStringLiteral("Impossibile aprire %1 (%2).").arg(what, path),
               QStringLiteral("Nessun programma associato a questo tipo di file, o il programma "
                              "non si è avviato."));
        return false;
    }
    log::info(QStringLiteral("Aperto %1").arg(file.absoluteFilePath()));
    return true;
}

}  // namespace quorvel
