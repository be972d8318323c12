// Money arithmetic and the locale-aware text conversions of Currency.
#include "platform/Currency.h"

#include "platform/Error.h"

#include <limits>

namespace quorvel {

namespace {

std::int64_t checkedAdd(std::int64_t a, std::int64_t b) {
    std::int64_t r;
    if (__builtin_add_overflow(a, b, &r))
        throw Error(QString(), QStringLiteral("importo fuori dai limiti della valuta"));
    return r;
}

// Rounds numerator/divisor half to even, as the engine rounds money.
std::int64_t divideHalfEven(std::int64_t numerator, std::int64_t divisor) {
    if (divisor == 0)
        throw Error(QString(), QStringLiteral("divisione per zero"));
    std::int64_t q = numerator / divisor;
    std::int64_t r = numerator % divisor;
    if (r == 0)
        return q;
    // Compare 2|r| with |divisor| without overflowing.
    const unsigned long long absR =
        r < 0 ? 0ULL - static_cast<unsigned long long>(r) : static_cast<unsigned long long>(r);
    const unsigned long long absD = divisor < 0 ? 0ULL - static_cast<unsigned long long>(divisor)
                                                : static_cast<unsigned long long>(divisor);
    const bool negative = (numerator < 0) != (divisor < 0);
    const unsigned long long twice = absR * 2;
    if (twice > absD || (twice == absD && (q % 2 != 0)))
        q += negative ? -1 : 1;
    return q;
}

}  // namespace

Currency Currency::fromCents(std::int64_t cents) {
    std::int64_t raw;
    if (__builtin_mul_overflow(cents, std::int64_t{100}, &raw))
        throw Error(QString(), QStringLiteral("importo fuori dai limiti della valuta"));
    return Currency(raw);
}

Currency Currency::fromUnits(std::int64_t units) {
    std::int64_t raw;
    if (__builtin_mul_overflow(units, Scale, &raw))
        throw Error(QString(), QStringLiteral("importo fuori dai limiti della valuta"));
    return Currency(raw);
}

Currency Currency::operator+(Currency other) const {
    return Currency(checkedAdd(m_raw, other.m_raw));
}

Currency Currency::operator-(Currency other) const {
    return *this + (-other);
}

Currency Currency::operator-() const {
    if (m_raw == std::numeric_limits<std::int64_t>::min())
        throw Error(QString(), QStringLiteral("importo fuori dai limiti della valuta"));
    return Currency(-m_raw);
}

Currency Currency::dividedBy(std::int64_t divisor) const {
    return Currency(divideHalfEven(m_raw, divisor));
}

QString Currency::toString() const {
    const bool negative = m_raw < 0;
    const unsigned long long abs = negative ? 0ULL - static_cast<unsigned long long>(m_raw)
                                            : static_cast<unsigned long long>(m_raw);
    QString text = QString::number(abs / Scale);
    unsigned long long frac = abs % Scale;
    if (frac != 0) {
        QString digits = QString::number(frac).rightJustified(4, QLatin1Char('0'));
        while (digits.endsWith(QLatin1Char('0'))) digits.chop(1);
        text += QLatin1Char('.') + digits;
    }
    return negative ? QLatin1Char('-') + text : text;
}

QString Currency::format(const QLocale& locale, int decimals, bool groupThousands) const {
    if (decimals < 0)
        decimals = 0;
    if (decimals > 4)
        decimals = 4;
    std::int64_t divisor = 1;
    for (int i = decimals; i < 4; ++i) divisor *= 10;
    const std::int64_t scaled = divideHalfEven(m_raw, divisor);
    const bool negative = scaled < 0;
    const unsigned long long abs = negative ? 0ULL - static_cast<unsigned long long>(scaled)
                                            : static_cast<unsigned long long>(scaled);
    unsigned long long unit = 1;
    for (int i = 0; i < decimals; ++i) unit *= 10;
    QString whole = QString::number(abs / unit);
    if (groupThousands) {
        const QString sep = locale.groupSeparator();
        for (qsizetype pos = whole.size() - 3; pos > 0; pos -= 3) whole.insert(pos, sep);
    }
    QString text = whole;
    if (decimals > 0)
        text += locale.decimalPoint() +
                QString::number(abs % unit).rightJustified(decimals, QLatin1Char('0'));
    return negative ? locale.negativeSign() + text : text;
}

std::optional<Currency> Currency::parse(const QString& text, const QLocale& locale) {
    const QString decimal = locale.decimalPoint();
    const QString group = locale.groupSeparator();
    const QString t = text.trimmed();
    qsizetype i = 0;
    bool negative = false;
    if (i < t.size() && (t[i] == QLatin1Char('-') || t[i] == QLatin1Char('+') ||
                         t.mid(i, locale.negativeSign().size()) == locale.negativeSign())) {
        negative = t[i] != QLatin1Char('+');
        ++i;
        while (i < t.size() && t[i] == QLatin1Char(' ')) ++i;
    }
    // Integer digits, with thousands separators allowed between them.
    unsigned long long raw = 0;
    int digits = 0;
    const unsigned long long limit =
        static_cast<unsigned long long>(std::numeric_limits<std::int64_t>::max());
    auto addDigit = [&](int d, unsigned long long weight) {
        unsigned long long next = raw + static_cast<unsigned long long>(d) * weight;
        if (next > limit + (negative ? 1 : 0))
            return false;
        raw = next;
        return true;
    };
    while (i < t.size()) {
        if (t[i].isDigit()) {
            if (raw > (limit / 10))
                return std::nullopt;
            raw *= 10;
            if (!addDigit(t[i].digitValue(), 1))
                return std::nullopt;
            ++digits;
            ++i;
        } else if (!group.isEmpty() && digits > 0 && t.mid(i, group.size()) == group &&
                   i + group.size() < t.size() && t[i + group.size()].isDigit()) {
            i += group.size();
        } else {
            break;
        }
    }
    if (raw > limit / Scale)
        return std::nullopt;
    raw *= Scale;
    int decimals = 0;
    if (i < t.size() && t.mid(i, decimal.size()) == decimal) {
        i += decimal.size();
        unsigned long long weight = Scale / 10;
        bool roundUp = false;
        bool sticky = false;
        int extraFirst = -1;
        while (i < t.size() && t[i].isDigit()) {
            const int d = t[i].digitValue();
            if (decimals < 4) {
                if (!addDigit(d, weight))
                    return std::nullopt;
                weight /= 10;
            } else if (extraFirst < 0) {
                extraFirst = d;
            } else if (d != 0) {
                sticky = true;
            }
            ++decimals;
            ++i;
        }
        if (extraFirst >= 0) {
            // Half to even on the fifth decimal.
            roundUp = extraFirst > 5 || (extraFirst == 5 && (sticky || (raw % 2) != 0));
            if (roundUp && !addDigit(1, 1))
                return std::nullopt;
        }
    }
    if (digits == 0 && decimals == 0)
        return std::nullopt;
    if (i != t.size())
        return std::nullopt;
    if (negative) {
        if (raw == limit + 1)
            return Currency(std::numeric_limits<std::int64_t>::min());
        return Currency(-static_cast<std::int64_t>(raw));
    }
    if (raw > limit)
        return std::nullopt;
    return Currency(static_cast<std::int64_t>(raw));
}

std::optional<Currency> Currency::parsePosAmount(const QString& text) {
    const QString t = text.trimmed();
    qsizetype i = 0;
    QString plain;  // sign, digits and '.' as decimal point: read in the C locale
    if (i < t.size() && (t[i] == QLatin1Char('-') || t[i] == QLatin1Char('+')))
        plain += t[i++];
    while (!plain.isEmpty() && i < t.size() && t[i] == QLatin1Char(' '))
        ++i;  // "- 150": the POS pads between sign and digits
    auto ascii = [&](qsizetype k) {
        return k < t.size() && t[k] >= QLatin1Char('0') && t[k] <= QLatin1Char('9');
    };
    int group = 0;  // digits of the current group
    bool grouped = false;
    while (i < t.size()) {
        if (ascii(i)) {
            plain += t[i++];
            ++group;
        } else if (t[i] == QLatin1Char('.')) {
            // A thousands mark follows one to three digits, or three after another mark.
            if (group == 0 || group > 3 || (grouped && group != 3))
                return std::nullopt;
            grouped = true;
            group = 0;
            ++i;
        } else {
            break;
        }
    }
    if (grouped && group != 3)
        return std::nullopt;
    if (i < t.size() && t[i] == QLatin1Char(',')) {
        plain += QLatin1Char('.');
        ++i;
        if (!ascii(i))
            return std::nullopt;
        while (ascii(i)) plain += t[i++];
    }
    if (i != t.size() || plain.isEmpty() || plain == QLatin1String("-") ||
        plain == QLatin1String("+"))
        return std::nullopt;
    return parse(plain, QLocale::c());
}

}  // namespace quorvel
