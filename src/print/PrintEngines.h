// The two printing engines that turn the report file into pages: the page
// printer (through the PagePrinter seam, with fonts, bold marks and page
// breaks) and the character printer (a raw byte stream with the printer's
// own control codes, written to a port, a share or a file).
#pragma once

#include "print/PagePrinter.h"
#include "print/PrintJob.h"

#include <QString>

class QIODevice;

namespace quorvel {

class Dialogs;

// Prints one line on the page printer; each "ç" toggles bold (and lowers or
// raises the size by 0.4 points) from that point and is not printed. The
// toggle starts off at every call; the printer's font is not restored at the
// line's end.
void StampaLaser(PagePrinter& printer, const QString& Testo);

// Page printer run of the report file reportPath. A missing report prints
// nothing. Throws Error on a report that cannot be read or a device failure
// (the document begun is dropped first).
void printPages(const PrintJob& job, PagePrinter& printer, const QString& reportPath);

// Character printer: writes the byte stream for reportPath to out, from the
// start bytes on. Throws Error when a code is not a byte value, the report
// cannot be read or out fails.
void writeCharacterStream(const PrintJob& job, QIODevice& out, const QString& reportPath);

// Character printer run: opens job.destination (created or truncated) and
// writes the stream into it. Throws Error as above or when the destination
// cannot be opened.
void printCharacters(const PrintJob& job, const QString& reportPath);

// Runs the engine that the job selects on the report file. A failure stops
// the print, goes to the log and is shown to the operator in an Italian
// message; returns false then.
bool runPrintJob(const PrintJob& job, PagePrinter& printer, Dialogs& dialogs);

}  // namespace quorvel
