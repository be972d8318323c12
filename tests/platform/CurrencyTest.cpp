#include "platform/Currency.h"
#include "platform/Error.h"

#include <gtest/gtest.h>
#include <limits>

using quorvel::Currency;

namespace {
const QLocale kItalian(QLocale::Italian, QLocale::Italy);
const QLocale kC = QLocale::c();

std::int64_t raw(const char* text, const QLocale& locale) {
    auto v = Currency::parse(QString::fromUtf8(text), locale);
    EXPECT_TRUE(v.has_value()) << text;
    return v ? v->raw() : -1;
}
}  // namespace

TEST(Currency, ParsesWithLocaleSeparators) {
    EXPECT_EQ(raw("12,50", kItalian), 125000);
    EXPECT_EQ(raw("  1.234,56 ", kItalian), 12345600);
    EXPECT_EQ(raw("12.50", kC), 125000);
    EXPECT_EQ(raw("-00200", kItalian), -2000000);
    EXPECT_EQ(raw("001250", kItalian), 12500000);
    EXPECT_EQ(raw("+7", kItalian), 70000);
    EXPECT_EQ(raw(",5", kItalian), 5000);
    // Fifth decimal rounds half to even.
    EXPECT_EQ(raw("0,00005", kItalian), 0);
    EXPECT_EQ(raw("0,00015", kItalian), 2);
    EXPECT_EQ(raw("0,000051", kItalian), 1);
}

TEST(Currency, RefusesWhatIsNotANumber) {
    for (const char* bad : {"", "   ", "abc", "12a", "1,2,3", "--1", "-", ",", "12 50", "1e3"})
        EXPECT_FALSE(Currency::parse(QString::fromUtf8(bad), kItalian).has_value()) << bad;
    EXPECT_FALSE(Currency::parse(QStringLiteral("99999999999999999999"), kC).has_value());
}

TEST(Currency, ArithmeticIsExactAndChecked) {
    // 0.1 + 0.2 is exactly 0.3, unlike doubles.
    const Currency a = *Currency::parse(QStringLiteral("0.1"), kC);
    const Currency b = *Currency::parse(QStringLiteral("0.2"), kC);
    EXPECT_EQ((a + b).raw(), 3000);
    EXPECT_EQ(Currency::fromCents(1250).raw(), 125000);
    EXPECT_EQ(Currency::fromCents(-200).dividedBy(1).raw(), -20000);
    EXPECT_EQ(Currency::fromRaw(5).dividedBy(2).raw(), 2);   // 2.5 -> 2
    EXPECT_EQ(Currency::fromRaw(7).dividedBy(2).raw(), 4);   // 3.5 -> 4
    EXPECT_EQ(Currency::fromRaw(-7).dividedBy(2).raw(), -4);
    const Currency max = Currency::fromRaw(std::numeric_limits<std::int64_t>::max());
    EXPECT_THROW(max + Currency::fromRaw(1), quorvel::Error);
    EXPECT_THROW(Currency::fromUnits(std::numeric_limits<std::int64_t>::max() / 100), quorvel::Error);
}

TEST(Currency, Formats) {
    EXPECT_EQ(Currency::fromRaw(125000).toString(), QStringLiteral("12.5"));
    EXPECT_EQ(Currency::fromRaw(-20000).toString(), QStringLiteral("-2"));
    EXPECT_EQ(Currency::fromRaw(1).toString(), QStringLiteral("0.0001"));
    EXPECT_EQ(Currency::fromRaw(12345600).format(kItalian), QStringLiteral("1.234,56"));
    EXPECT_EQ(Currency::fromRaw(-450000).format(kItalian), QStringLiteral("-45,00"));
    EXPECT_EQ(Currency::fromRaw(12345678).format(kC, 2, false), QStringLiteral("1234.57"));
}
