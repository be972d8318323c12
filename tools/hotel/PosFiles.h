// The files a restaurant POS leaves for us: the charges file (fixed-column
// charge lines) and the closing file (receipts), both Windows-1252 with CR LF.
#pragma once

#include "platform/Currency.h"

#include <QDate>
#include <QLocale>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <vector>

namespace quorvel::hotel {

// One charge line. Columns, counted from 1: room code 2-4, day YYMMDD 6-11,
// description 28-42, quantity 49-51, amount in cents with its sign 57-62,
// unit price in cents 108-115; the rest is filler the POS prints.
struct ChargeLine {
    QString posRoom;                  // exactly as it stands in columns 2-4 (padded or cut to 3)
    QString day;                      // YYMMDD
    QString description;              // up to 15 characters
    int quantity = 1;                 // 0..999, right-aligned
    qint64 amountCents = 0;           // -99999..999999
    std::optional<qint64> unitCents;  // nullopt: blank columns
    QString time = QStringLiteral("1230");  // hhmm, filler
    int receipt = 1;                        // filler
};

// The line's text (117 characters). Throws Error when a number does not fit its columns.
QString formatChargeLine(const ChargeLine& line);

struct PosChargesSpec {
    int lines = 20;
    std::uint64_t seed = 1;
    QString hotelDir;  // take rooms from the hotel in this folder (empty: made-up rooms)
    QDate day{2025, 3, 7};
};

struct PosChargesSummary {
    int lines = 0, charges = 0, discounts = 0;
    int inHouse = 0, external = 0, unknown = 0;  // charges by the kind of room code
    qint64 totalCents = 0;                       // charges plus discounts
    std::vector<ChargeLine> written;
};

// Writes a charges file of spec.lines lines: charges for in-house rooms (under
// their POS codes), for external clients' numbers and for unknown rooms, some
// followed by a "Sconto" line. Throws Error when the file cannot be written.
PosChargesSummary writePosCharges(const QString& file, const PosChargesSpec& spec);

struct PosClosingSpec {
    int receipts = 5;
    std::uint64_t seed = 1;
    QLocale locale = QLocale(QLocale::Italian, QLocale::Italy);  // the POS writes Italian notation
    QDate day{2025, 3, 7};
};

struct PosClosingSummary {
    std::vector<Currency> amounts;  // in file order
    Currency total;
};

// The closing file's lines: each receipt is a label line starting with
// "  Scontrino:" followed by its amount line (amount in the last 14
// characters, in the locale's format), among header, filler and footer lines.
QStringList closingLines(const PosClosingSpec& spec, PosClosingSummary* summary = nullptr);

PosClosingSummary writePosClosing(const QString& file, const PosClosingSpec& spec);

}  // namespace quorvel::hotel
