// Reading one POS charge line: fixed columns counted in characters from 1.
// Only the columns below are read; the rest of the line is ignored.
//
//   room code    from the room-code start, for its length (default 2, 3)
//   6..11        day of the charge, YYMMDD ("20" is put in front)
//   28..42       description, blanks trimmed; "Sconto" marks a discount
//   49..51       quantity (numeric value)
//   57..62       amount in cents, sign allowed (POS amount rule / 100)
//   108..115     unit price in cents, 0 or blank when absent
#pragma once

#include "platform/Currency.h"

#include <QString>
#include <optional>

namespace quorvel::charge {

// The runtime's Mid: `length` characters from the 1-based column `start`;
// shorter (or empty) when the line ends before.
QString columns(const QString& line, int start, int length);

// Removes leading and trailing blanks (spaces only, as the runtime's Trim).
QString trimBlanks(const QString& text);

QString description(const QString& line);
bool isDiscount(const QString& line);
// "20" + columns 6 to 11; not validated.
QString chargeDay(const QString& line);
// chargeDay when columns 6 to 11 are six digits, else empty: the day the
// journal and the day's balance file a line under.
QString readableDay(const QString& line);
double quantity(const QString& line);

// Columns 57 to 62 read by Currency::parsePosAmount, divided by 100; nullopt
// when the line is shorter than 57 characters or the columns hold no amount.
std::optional<Currency> amount(const QString& line);

// The unit price of a new account row: columns 108 to 115 divided by 100
// when their numeric value is not 0, otherwise the amount divided by 100 and
// by the quantity (the discount plays no part). nullopt when the price
// columns are not a number or the quantity is 0 with no price given.
std::optional<double> unitPrice(const QString& line);

}  // namespace quorvel::charge
