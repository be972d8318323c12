// Character conversions of report lines and the printer-type groups.
#include "platform/TextFile.h"
#include "print/Conversion.h"
#include "print/PrintJob.h"

#include <gtest/gtest.h>

namespace quorvel::test {
namespace {

QString cp(std::initializer_list<int> bytes) {
    QByteArray b;
    for (int x : bytes) b += static_cast<char>(x);
    return decodeCp1252(b);
}

TEST(ConversionTest, TablesCodeByCode) {
    QString line = cp({192, 200, 201, 204, 217, 210, 179, 180, 183, 186, 195,
                       187, 188, 191, 193, 194, 196, 197, 202, 203, 206, 218});
    const QString original = line;
    const QString converted = ConvertiCaratteri(line);
    EXPECT_EQ(converted, QString::fromUtf8("àèéìùò|||||-----------"));
    EXPECT_EQ(line, converted);  // changed in place as well

    QString line2 = original;
    EXPECT_EQ(Converti2(line2), QString::fromUtf8("àèéìùò|'|||-----------"));
    EXPECT_EQ(line2, QString::fromUtf8("àèéìùò|'|||-----------"));

    // Neighbouring codes, lower-case vowels, the euro sign and the bold mark stay.
    QString others = cp({178, 181, 190, 199, 205, 207, 211, 216, 219, 224, 231, 128, 12});
    const QString before = others;
    EXPECT_EQ(ConvertiCaratteri(others), before);
    EXPECT_EQ(Converti2(others), before);
}

TEST(ConversionTest, Converti2OnWords) {
    QString word = QString::fromUtf8("PERCHÉ");
    EXPECT_EQ(Converti2(word), QString::fromUtf8("PERCHé"));
    QString acute = QString::fromUtf8("perche´ no");
    EXPECT_EQ(Converti2(acute), "perche' no");
    QString acute2 = QString::fromUtf8("perche´ no");
    EXPECT_EQ(ConvertiCaratteri(acute2), "perche| no");
}

TEST(ConversionTest, FormFeedLineIsOnlyTheSingleCharacter) {
    EXPECT_TRUE(isFormFeedLine("\f"));
    EXPECT_FALSE(isFormFeedLine("\f "));
    EXPECT_FALSE(isFormFeedLine(""));
}

TEST(ConversionTest, PrinterTypeGroups) {
    const auto page = codeGroups("008000000000000001010000000000000000");
    EXPECT_EQ(page[0], 8);
    EXPECT_EQ(page[5], 1);
    EXPECT_EQ(page[6], 10);
    PrintJob job;
    job.codes = page;
    EXPECT_TRUE(job.usesPagePrinter());

    const auto chars = codeGroups("027015000000000000027018000000000000");
    job.codes = chars;
    EXPECT_FALSE(job.usesPagePrinter());
    EXPECT_EQ(chars[1], 15);
    EXPECT_EQ(chars[7], 18);

    // A short text reads as 0 in the missing groups.
    const auto shortCodes = codeGroups("027015");
    EXPECT_EQ(shortCodes[0], 27);
    EXPECT_EQ(shortCodes[1], 15);
    for (std::size_t i = 2; i < 12; ++i) EXPECT_EQ(shortCodes[i], 0);

    const auto numbers = numberGroups("000000000000000002060066000");
    EXPECT_EQ(numbers[5], 2);
    EXPECT_EQ(numbers[6], 60);
    EXPECT_EQ(numbers[7], 66);
    EXPECT_EQ(numbers[8], 0);
}

}  // namespace
}  // namespace quorvel::test
