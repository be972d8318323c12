// The work of the print menu behind its window: the archive copy made when
// the menu loads, the destinations and assistance code read at each
// activation, a print run, opening the archive copy and the delimited
// export. The window (ui/MenuStampa) holds the controls and calls these.
//
// Failures never leave these calls: each is logged and shown to the
// operator through Dialogs, and the call reports that it did not do its
// work. The engines' own failures are told by runPrintJob.
#pragma once

#include "platform/Seams.h"
#include "print/PrintSettings.h"

#include <QString>
#include <QStringList>
#include <cstdint>

namespace quorvel {

class PagePrinter;

namespace db {
class Workspace;
}

class PrintMenu {
public:
    // hotelCorrente: the hotel worked for, whose Contatori row gives the page
    // length. REQUIRES: services.dialogs, .clock and .shell set; every
    // argument outlives the menu.
    PrintMenu(Services& services, PagePrinter& printer, db::Workspace& ws,
              std::int16_t hotelCorrente);

    // Form_Load without the window's placement: the hotel taken as 1 when
    // 0, the folder "doc" and the archive copy of the report file. Returns
    // Combo2's entries (the system's printers or "<nessuna stampante>").
    QStringList load();

    // Form_Activate: reads the assistance code and returns the destinations
    // of hotel 1 for Combo1 (empty when there are none or they cannot be
    // read; the menu then closes).
    QStringList activate();

    // Print (Tst(3)): builds the job and runs the engine it selects. False
    // when nothing was printed (no such destination, a failure).
    bool print(PrintChoice choice);

    // Tst(0): opens the archive copy with the program the desktop associates
    // with it, working folder "dat".
    bool openArchive();

    // Tst(1): the delimited export of the report file, then opens the
    // ".csv" with its program, working folder ".\".
    bool exportAndOpen();

    const QString& archivePath() const { return m_archivePath; }
    const QString& assistanceCode() const { return m_assistanceCode; }
    std::int16_t hotelCorrente() const { return m_hotelCorrente; }

private:
    void report(const QString& what, const QString& cause);
    bool open(const QString& path, const QString& workingFolder, const QString& what);

    Services& m_services;
    PagePrinter& m_printer;
    db::Workspace& m_ws;
    std::int16_t m_hotelCorrente;
    QString m_archivePath;
    QString m_assistanceCode;
};

}  // namespace quorvel
