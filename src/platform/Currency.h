// Money: a 64-bit fixed-point value with four decimals (ten-thousandths), as
// the hotel databases store it. Addition and comparison are exact; nothing
// here ever goes through a floating value except toDouble().
#pragma once

#include <QLocale>
#include <QString>
#include <compare>
#include <cstdint>
#include <optional>

namespace quorvel {

class Currency {
public:
    static constexpr std::int64_t Scale = 10000;

    constexpr Currency() = default;
    static constexpr Currency fromRaw(std::int64_t tenThousandths) {
        return Currency(tenThousandths);
    }
    // Whole cents, e.g. 1250 -> 12.50. Throws Error when out of range.
    static Currency fromCents(std::int64_t cents);
    // Whole units, e.g. 12 -> 12.00. Throws Error when out of range.
    static Currency fromUnits(std::int64_t units);

    constexpr std::int64_t raw() const { return m_raw; }
    double toDouble() const { return static_cast<double>(m_raw) / Scale; }

    // Exact; throw Error on overflow rather than wrapping.
    Currency operator+(Currency other) const;
    Currency operator-(Currency other) const;
    Currency operator-() const;
    Currency& operator+=(Currency other) { return *this = *this + other; }

    // Divides and rounds to four decimals, half to even.
    Currency dividedBy(std::int64_t divisor) const;

    constexpr auto operator<=>(const Currency&) const = default;

    // Plain text with '.' and as few decimals as needed ("12.5", "-3", "0.0001").
    QString toString() const;
    // With the locale's separators and exactly `decimals` decimals (rounded half to even).
    QString format(const QLocale& locale, int decimals = 2, bool groupThousands = true) const;

    // The "currency value" conversion: text to money following the locale's
    // decimal and thousands separators. Blanks around the number and a
    // leading sign are allowed; anything else (empty text included) fails.
    static std::optional<Currency> parse(const QString& text, const QLocale& locale = QLocale());

    // The one rule for an amount in a POS file (charges and closing file),
    // the same on every machine whatever the process's locale: Italian
    // notation. Blanks around, an optional '-' or '+', ASCII digits with '.'
    // between groups of exactly three (the first group one to three digits),
    // ',' before the decimals (more than four rounded half to even).
    // "1.234,56", "-12,50", " 1250" are read; "12.50", "1,2,3,4", "1.23,4",
    // "1.2345" and empty text are not (nullopt), never guessed.
    static std::optional<Currency> parsePosAmount(const QString& text);

private:
    constexpr explicit Currency(std::int64_t raw) : m_raw(raw) {}
    std::int64_t m_raw = 0;
};

}  // namespace quorvel
