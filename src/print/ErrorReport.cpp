// Writing the error history into the report file.
#include "print/ErrorReport.h"

#include "platform/Log.h"
#include "platform/TextFile.h"
#include "print/ReportFiles.h"

namespace quorvel {

void writeErrorReport(const QStringList& lines) {
    const QString path = reportFileName();
    writeTextLines(path, lines);
    log::info(QStringLiteral("Storico errori scritto in %1 (%2 righe)")
                  .arg(path, QString::number(lines.size())));
}

}  // namespace quorvel
