// Parser of the POS closing file.
#include "polling/ClosingFile.h"

namespace quorvel {

namespace {
const QString kLabel = QStringLiteral("  Scontrino:");
constexpr qsizetype kAmountWidth = 14;
}  // namespace

bool isReceiptLabel(const QString& line) {
    return line.startsWith(kLabel, Qt::CaseSensitive);
}

ClosingFileContent parseClosingFile(const QStringList& lines, const QString& fileName,
                                    const QLocale& locale) {
    ClosingFileContent out;
    const qsizetype n = lines.size();
    for (qsizetype i = 0; i < n; ++i) {
        if (!isReceiptLabel(lines[i]))
            continue;
        const int labelLine = static_cast<int>(i + 1);
        // A label is never the amount of the label before it: that receipt
        // is reported, and the next label starts its own receipt.
        if (i + 1 >= n || isReceiptLabel(lines[i + 1])) {
            out.problems << QStringLiteral("%1, riga %2: scontrino senza riga dell'importo")
                                .arg(fileName)
                                .arg(labelLine);
            continue;
        }
        ++i;
        const QString& amountLine = lines[i];
        const QString text = amountLine.right(kAmountWidth);
        const auto amount = Currency::parse(text, locale);
        if (!amount) {
            out.problems << QStringLiteral("%1, riga %2: importo non valido \"%3\"")
                                .arg(fileName)
                                .arg(labelLine + 1)
                                .arg(text);
            continue;
        }
        out.receipts.push_back({*amount, labelLine + 1});
    }
    return out;
}

ClosingFileContent parseClosingText(const PosText& file, const QString& fileName,
                                    const QLocale& locale) {
    ClosingFileContent out = parseClosingFile(file.lines, fileName, locale);
    if (!file.utf8)
        return out;
    QStringList problems;
    for (const ClosingReceipt& r : out.receipts)
        problems << QStringLiteral(
                        "%1, riga %2: file in UTF-8 invece di Windows-1252 "
                        "(importo \"%3\")")
                        .arg(fileName)
                        .arg(r.lineNumber)
                        .arg(file.lines[r.lineNumber - 1].right(kAmountWidth).trimmed());
    out.receipts.clear();
    out.problems = problems + out.problems;
    return out;
}

}  // namespace quorvel
