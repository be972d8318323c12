// The POS closing file (setting FileIncassi): each receipt is a label line
// beginning with "  Scontrino:" followed by an amount line whose last 14
// characters hold the amount (read by Currency::parsePosAmount, whatever the
// process's locale). A label line is never an amount line: a label right after a label is a receipt
// without an amount (reported), and the second label's receipt is read as usual.
#pragma once

#include "platform/Currency.h"
#include "platform/TextFile.h"

#include <QString>
#include <QStringList>
#include <vector>

namespace quorvel {

struct ClosingReceipt {
    Currency amount;
    int lineNumber = 0;  // of the amount line, from 1
};

struct ClosingFileContent {
    std::vector<ClosingReceipt> receipts;  // in file order
    // One text per receipt that could not be read (label line without an
    // amount line, amount that is not a number), naming file and line.
    QStringList problems;
};

// True for a label line: its first 12 characters are exactly "  Scontrino:".
bool isReceiptLabel(const QString& line);

// Reads the receipts of the lines of a closing file. A receipt that cannot be
// read is left out and described in problems; the others are kept.
// firstLineNo: the number of the first line in the file (a file read in parts).
ClosingFileContent parseClosingFile(const QStringList& lines, const QString& fileName,
                                    int firstLineNo = 1);

// The same for a file read by readPosFile. A file in UTF-8 is not trusted:
// none of its receipts is imported, each is described in problems.
// An amount line kept cut (PosLineReader) is a problem too: its last
// characters were never read.
ClosingFileContent parseClosingText(const PosText& file, const QString& fileName,
                                    int firstLineNo = 1);

}  // namespace quorvel
