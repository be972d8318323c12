// Fuzz target: the POS closing file, its bytes read as the polling cycle
// reads them (the amounts by the one locale-free rule). Every receipt must stand right
// after a label line, its amount line is no label, and every label is
// accounted for once.
#include "FuzzSupport.h"

#include "polling/ClosingFile.h"

using namespace quorvel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QStringList lines = splitPosLines(fuzz::textOf(data, size));
    qsizetype labels = 0;
    for (const QString& line : lines) labels += isReceiptLabel(line) ? 1 : 0;

    {
        const ClosingFileContent content = parseClosingFile(lines, QStringLiteral("Documento.txt"));
        const auto read = static_cast<qsizetype>(content.receipts.size());
        if (read + content.problems.size() != labels)
            fuzz::fail("receipts and problems do not match the labels");
        int previous = 0;
        for (const ClosingReceipt& r : content.receipts) {
            if (r.lineNumber < 2 || r.lineNumber > lines.size() || r.lineNumber <= previous)
                fuzz::fail("receipt line number");
            if (!isReceiptLabel(lines[r.lineNumber - 2]) || isReceiptLabel(lines[r.lineNumber - 1]))
                fuzz::fail("receipt not after a label, or its amount is a label");
            previous = r.lineNumber;
        }
    }
    return 0;
}
