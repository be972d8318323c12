// Writing the error history into the report file.
#include "print/ErrorReport.h"

#include "platform/Log.h"
#include "platform/Plural.h"
#include "platform/TextFile.h"
#include "print/ReportFiles.h"

namespace quorvel {

void writeErrorReport(const QStringList& lines) {
    const QString path = reportFileName();
    writeTextLines(path, lines);
    log::info(
        QStringLiteral("Storico errori scritto in %1 (%2)")
            .arg(path, counted(lines.size(), QStringLiteral("riga"), QStringLiteral("righe"))));
}

}  // namespace quorvel
