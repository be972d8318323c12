// The delimited export: a report drawn for printers (box-drawing frames,
// Italian amounts such as 1.234,56) turned line by line into a delimited
// text file that a spreadsheet opens.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace quorvel {

// What the optional "SeparatoreXLS.txt" sets: its lines 1-3, read whole.
struct ExportSeparators {
    QString field = QStringLiteral(",");
    QString decimal = QStringLiteral(".");
    QString currency = QString(QChar(0x20AC));  // only its first character is used
};

// Reads "SeparatoreXLS.txt" from the working folder; a missing file, or a
// missing line, keeps the default. Throws Error when it cannot be read.
ExportSeparators readExportSeparators();

// One report line in its delimited form.
QString convertExportLine(const QString& line, const ExportSeparators& separators);

// The delimited form of report lines as the export file would hold them
// (Windows-1252, each line followed by CR LF), with "SeparatoreXLS.txt"'s
// separators: the attachment of a mailed report.
QByteArray delimitedBytes(const QStringList& lines);

// Converts the report file at path into exportFileName() (created or
// replaced), one output line per input line. Throws Error when a file cannot
// be read or written.
void ConvertiXLS(const QString& path);

}  // namespace quorvel
