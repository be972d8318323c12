// numericValue and the lenient integer readings.
#include "platform/NumberText.h"

#include <cmath>

namespace quorvel {

namespace {

bool isSkippable(QChar c) {
    return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n') ||
           c == QLatin1Char('\r');
}

// Radix-prefixed integers (&H1F, &O17); the result is the 16- or 32-bit
// signed reading of the digits, as the runtime gives it.
double radixValue(const QString& t, qsizetype i, int radix) {
    unsigned long long v = 0;
    int count = 0;
    for (; i < t.size(); ++i) {
        if (isSkippable(t[i]))
            continue;
        const int d = t[i].isDigit() ? t[i].digitValue()
                      : (radix == 16 && t[i].toUpper() >= QLatin1Char('A') &&
                         t[i].toUpper() <= QLatin1Char('F'))
                          ? t[i].toUpper().unicode() - 'A' + 10
                          : -1;
        if (d < 0 || d >= radix)
            break;
        v = v * static_cast<unsigned>(radix) + static_cast<unsigned>(d);
        if (++count > 22)
            break;
        v &= 0xFFFFFFFFULL;
    }
    if (v <= 0xFFFF)
        return v >= 0x8000 ? static_cast<double>(static_cast<std::int64_t>(v) - 0x10000)
                           : static_cast<double>(v);
    return static_cast<double>(static_cast<std::int32_t>(static_cast<std::uint32_t>(v)));
}

}  // namespace

double numericValue(const QString& text) {
    // Collect the characters of the number with blanks removed, then let the
    // C library convert the normalised text.
    qsizetype i = 0;
    while (i < text.size() && isSkippable(text[i]))
        ++i;
    if (i + 1 < text.size() && text[i] == QLatin1Char('&')) {
        const QChar p = text[i + 1].toUpper();
        if (p == QLatin1Char('H'))
            return radixValue(text, i + 2, 16);
        if (p == QLatin1Char('O'))
            return radixValue(text, i + 2, 8);
    }
    std::string number;
    auto next = [&]() -> QChar {
        while (i < text.size() && isSkippable(text[i]))
            ++i;
        return i < text.size() ? text[i] : QChar();
    };
    QChar c = next();
    if (c == QLatin1Char('-') || c == QLatin1Char('+')) {
        number += static_cast<char>(c.unicode());
        ++i;
        c = next();
    }
    bool digits = false;
    while (c.isDigit() && c.unicode() < 128) {
        number += static_cast<char>(c.unicode());
        digits = true;
        ++i;
        c = next();
    }
    if (c == QLatin1Char('.')) {
        number += '.';
        ++i;
        c = next();
        while (c.isDigit() && c.unicode() < 128) {
            number += static_cast<char>(c.unicode());
            digits = true;
            ++i;
            c = next();
        }
    }
    if (!digits)
        return 0.0;
    const QChar e = c.toUpper();
    if (e == QLatin1Char('E') || e == QLatin1Char('D')) {
        std::string exponent = "e";
        ++i;
        c = next();
        if (c == QLatin1Char('-') || c == QLatin1Char('+')) {
            exponent += static_cast<char>(c.unicode());
            ++i;
            c = next();
        }
        bool expDigits = false;
        while (c.isDigit() && c.unicode() < 128) {
            exponent += static_cast<char>(c.unicode());
            expDigits = true;
            ++i;
            c = next();
        }
        if (expDigits)
            number += exponent;
    }
    const double v = std::strtod(number.c_str(), nullptr);
    return std::isfinite(v) ? v : 0.0;
}

std::optional<std::int16_t> roundToInt16(double value) {
    if (!std::isfinite(value))
        return std::nullopt;
    const double r = std::nearbyint(value);  // default rounding mode: half to even
    if (r < -32768.0 || r > 32767.0)
        return std::nullopt;
    return static_cast<std::int16_t>(r);
}

std::optional<std::int32_t> roundToInt32(double value) {
    if (!std::isfinite(value))
        return std::nullopt;
    const double r = std::nearbyint(value);
    if (r < -2147483648.0 || r > 2147483647.0)
        return std::nullopt;
    return static_cast<std::int32_t>(r);
}

std::optional<std::int16_t> lenientInt16(const QString& line) { return roundToInt16(numericValue(line)); }

QString numberLine(std::int64_t value) {
    return (value < 0 ? QStringLiteral("-") : QStringLiteral(" ")) +
           QString::number(value < 0 ? -value : value) + QLatin1Char(' ');
}

}  // namespace quorvel
