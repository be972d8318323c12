// What the print menu reads from the hotel's printer databases: the
// destinations of hotel 1, the hotel's assistance code, and the PrintJob of
// one print run (font, page length, printer codes, physical destination).
//
// Every function opens the databases it needs in the given workspace and
// closes them before it returns; a missing file, table or field throws
// Error naming it.
#pragma once

#include "print/PrintJob.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

namespace quorvel {

namespace db {
class Workspace;
}

// What the operator chose in the print menu for one run.
struct PrintChoice {
    QString destination;  // Combo1: a Destinazione of Stampanti
    QString printer;      // Combo2: a device name that overrides the destination
    bool compressed = false;
    bool landscape = false;
    bool duplex = false;
    QString assistanceCode;
    std::int16_t hotelCorrente = 1;  // the hotel whose Contatori row gives the page length
};

// Combo2's entries: the system's printers, or "<nessuna stampante>" alone.
QStringList printerChoices(const QStringList& systemPrinters);
inline const QString kNoPrinter = QStringLiteral("<nessuna stampante>");

// Destinazione of every Stampanti row of hotel 1, in the table's order.
QStringList readDestinations(db::Workspace& ws);

// CodiceAssistenza of hotel 1 in AnagraficaHotels; empty when there is no row.
QString readAssistanceCode(db::Workspace& ws);

// The job for choice: fontName from "FontStp.txt", page length from
// Contatori (60 without a row for choice.hotelCorrente), codes and numbers from the
// SetStampa row of the destination's print type (zeros, 66 physical lines
// and no margin without one), and the physical destination: the value of
// the environment variable named like the destination when set, else
// Linea; a printer chosen in Combo2 (not blank) wins over both. nullopt when
// the destination has no Stampanti row.
std::optional<PrintJob> buildPrintJob(db::Workspace& ws, const PrintChoice& choice);

// Index of the last destination whose name contains "PDF" (case-sensitive),
// -1 when none does.
int lastPdfDestination(const QStringList& destinations);

// An environment variable's value, its name compared without regard to case
// as on Windows (the exact spelling preferred); empty when unset.
QString environmentValue(const QString& name);

}  // namespace quorvel
