// Column slicing and the number conversions of a POS charge line.
#include "transfer/ChargeLine.h"

#include "platform/NumberText.h"

#include <algorithm>

namespace quorvel::charge {

namespace {

constexpr int AmountColumn = 57;

std::optional<Currency> centsColumns(const QString& line, int start, int width) {
    const auto cents = Currency::parsePosAmount(columns(line, start, width));
    if (!cents)
        return std::nullopt;
    return cents->dividedBy(100);
}

}  // namespace

QString columns(const QString& line, int start, int length) {
    if (start < 1 || length <= 0 || start > line.size())
        return QString();
    return line.mid(start - 1, length);
}

QString trimBlanks(const QString& text) {
    qsizetype from = 0;
    qsizetype to = text.size();
    while (from < to && text[from] == QLatin1Char(' ')) ++from;
    while (to > from && text[to - 1] == QLatin1Char(' ')) --to;
    return text.mid(from, to - from);
}

QString description(const QString& line) {
    return trimBlanks(columns(line, 28, 15));
}

bool isDiscount(const QString& line) {
    return description(line) == QLatin1String("Sconto");
}

QString chargeDay(const QString& line) {
    return QStringLiteral("20") + columns(line, 6, 6);
}

QString readableDay(const QString& line) {
    const QString digits = columns(line, 6, 6);
    if (digits.size() != 6 ||
        !std::all_of(digits.begin(), digits.end(), [](QChar c) { return c.isDigit(); }))
        return {};
    return QStringLiteral("20") + digits;
}

double quantity(const QString& line) {
    return numericValue(columns(line, 49, 3));
}

std::optional<Currency> amount(const QString& line) {
    if (line.size() < AmountColumn)
        return std::nullopt;
    return centsColumns(line, AmountColumn, 6);
}

std::optional<double> unitPrice(const QString& line) {
    if (numericValue(columns(line, 108, 8)) != 0.0) {
        const auto price = Currency::parsePosAmount(columns(line, 108, 8));
        if (!price)
            return std::nullopt;
        return price->toDouble() / 100.0;
    }
    const auto total = amount(line);
    const double qty = quantity(line);
    if (!total || qty == 0.0)
        return std::nullopt;
    return total->toDouble() / qty;
}

}  // namespace quorvel::charge
