// Line conversion of the delimited export.
#include "print/DelimitedExport.h"

#include "platform/TextFile.h"
#include "print/ReportFiles.h"

#include <QFile>

namespace quorvel {

namespace {

bool digitAt(const QString& line, qsizetype i) {
    return i >= 0 && i < line.size() && line[i] >= QLatin1Char('0') && line[i] <= QLatin1Char('9');
}

// A comma or full stop with a digit before it and two after it.
bool amountMark(const QString& line, qsizetype i) {
    return digitAt(line, i - 1) && digitAt(line, i + 1) && digitAt(line, i + 2);
}

bool isColumnFrame(char16_t c) {
    switch (c) {
        case 179:
        case 191:
        case 192:
        case 193:
        case 194:
        case 195:
        case 197:
        case 217:
        case 218:
        case u'|':
        case u'+':
            return true;
        default:
            return false;
    }
}

}  // namespace

ExportSeparators readExportSeparators() {
    ExportSeparators s;
    const QString file = QStringLiteral("SeparatoreXLS.txt");
    const auto read = readSideFileLines(file);
    if (!read)
        return s;
    const QStringList& lines = *read;
    if (lines.size() > 0)
        s.field = lines[0];
    if (lines.size() > 1)
        s.decimal = lines[1];
    if (lines.size() > 2)
        s.currency = lines[2];
    return s;
}

QString convertExportLine(const QString& line, const ExportSeparators& separators) {
    // Frame codes are compared by code point: in 179..218 it equals the
    // Windows-1252 byte.
    QString out;
    const QChar blank = QLatin1Char(' ');
    for (qsizetype i = 0; i < line.size(); ++i) {
        const char16_t c = line[i].unicode();
        if (isColumnFrame(c)) {
            out += separators.field;
        } else if (c == 180) {
            if (i == line.size() - 1)
                out += separators.field;
            else
                out += blank;
        } else if (c == 196) {
            out += blank;
        } else if (c == u',') {
            if (amountMark(line, i)) {
                // The last blank before the amount takes the currency sign;
                // with no blank before it the amount goes without one.
                const qsizetype at = out.lastIndexOf(blank);
                if (at >= 0 && !separators.currency.isEmpty())
                    out[at] = separators.currency.front();
                out += separators.decimal;
            } else {
                out += blank;
            }
        } else if (c == u'.') {
            if (!amountMark(line, i))
                out += QLatin1Char('.');
        } else if (c == u'-') {
            out += digitAt(line, i + 1) ? QLatin1Char('-') : blank;
        } else {
            out += line[i];
        }
    }
    return out;
}

void ConvertiXLS(const QString& path) {
    const ExportSeparators separators = readExportSeparators();
    QStringList lines = readTextLines(path);
    for (QString& line : lines) line = convertExportLine(line, separators);
    writeTextLines(exportFileName(), lines);
}

QByteArray delimitedBytes(const QStringList& lines) {
    const ExportSeparators separators = readExportSeparators();
    QByteArray out;
    for (const QString& line : lines)
        out += encodeCp1252(convertExportLine(line, separators)) + "\r\n";
    return out;
}

}  // namespace quorvel
