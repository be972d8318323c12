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
                                    int firstLineNo) {
    ClosingFileContent out;
    const qsizetype n = lines.size();
    for (qsizetype i = 0; i < n; ++i) {
        if (!isReceiptLabel(lines[i]))
            continue;
        const int labelLine = firstLineNo + static_cast<int>(i);
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
        const auto amount = Currency::parsePosAmount(text);
        if (!amount) {
            out.problems << QStringLiteral(
                                "%1, riga %2: importo non valido \"%3\" (atteso come 1.234,56)")
                                .arg(fileName)
                                .arg(labelLine + 1)
                                .arg(text);
            continue;
        }
        out.receipts.push_back({*amount, labelLine + 1});
    }
    return out;
}

ClosingFileContent parseClosingText(const PosText& file, const QString& fileName, int firstLineNo) {
    ClosingFileContent out = parseClosingFile(file.lines, fileName, firstLineNo);
    QStringList problems;
    std::vector<ClosingReceipt> kept;
    for (const ClosingReceipt& r : out.receipts) {
        const qsizetype i = r.lineNumber - firstLineNo;
        if (file.utf8)
            problems << QStringLiteral(
                            "%1, riga %2: file in UTF-8 invece di Windows-1252 "
                            "(importo \"%3\")")
                            .arg(fileName)
                            .arg(r.lineNumber)
                            .arg(file.lines[i].right(kAmountWidth).trimmed());
        else if (file.length(i) > file.lines[i].size())
            problems << QStringLiteral("%1, riga %2: riga dell'importo troppo lunga (%3 caratteri)")
                            .arg(fileName)
                            .arg(r.lineNumber)
                            .arg(file.length(i));
        else
            kept.push_back(r);
    }
    out.receipts = std::move(kept);
    out.problems = problems + out.problems;
    return out;
}

}  // namespace quorvel
