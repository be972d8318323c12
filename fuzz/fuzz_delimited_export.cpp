// Fuzz target: the delimited export. The input holds, cut at the first NUL,
// "SeparatoreXLS.txt" and a report file; the separators are read, every
// report line converted, and the whole file exported once.
#include "FuzzSupport.h"

#include "platform/Error.h"
#include "print/DelimitedExport.h"
#include "print/ReportFiles.h"

using namespace quorvel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::enterWorkFolder();
    const auto p = fuzz::parts(data, size, 2);
    fuzz::putFile(QStringLiteral("SeparatoreXLS.txt"), p[0]);
    const ExportSeparators separators = readExportSeparators();

    const QStringList report = splitLines(decodeCp1252(p[1]));
    QStringList converted;
    for (const QString& line : report) {
        const QString out = convertExportLine(line, separators);
        // Only the field separator can make a line longer: one per character.
        const qsizetype widest =
            std::max<qsizetype>({separators.field.size(), separators.decimal.size(), qsizetype{1}});
        if (out.size() > line.size() * widest)
            fuzz::fail("converted line too long", line);
        converted << out;
    }

    // The export file holds those lines, in Windows-1252, CR LF ended.
    const QString reportFile = QStringLiteral("report.txt");
    fuzz::putFile(reportFile, p[1]);
    if (p[1].isEmpty())
        writeTextLines(reportFile, {});
    ConvertiXLS(reportFile);
    QFile out(exportFileName());
    if (!out.open(QIODevice::ReadOnly))
        fuzz::fail("no export file");
    QByteArray expected;
    for (const QString& line : converted) expected += encodeCp1252(line) + "\r\n";
    if (out.readAll() != expected)
        fuzz::fail("export file bytes");
    return 0;
}
