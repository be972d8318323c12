// The error history as a report: "&Stampa" of the main window writes it into
// the workstation's report file, which the print menu then works from.
#pragma once

#include <QStringList>

namespace quorvel {

// Writes lines, oldest first, each followed by CR LF, into reportFileName()
// (Windows-1252), replacing what it held; no lines give an empty file.
// Throws Error naming the file when it cannot be written.
void writeErrorReport(const QStringList& lines);

}  // namespace quorvel
