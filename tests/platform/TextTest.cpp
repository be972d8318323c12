#include "platform/Error.h"
#include "platform/NumberText.h"
#include "platform/TextFile.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using namespace quorvel;

TEST(NumericValue, ReadsTheLeadingNumber) {
    EXPECT_DOUBLE_EQ(numericValue(QStringLiteral("  3")), 3.0);
    EXPECT_DOUBLE_EQ(numericValue(QStringLiteral("00001250")), 1250.0);
    EXPECT_DOUBLE_EQ(numericValue(QStringLiteral("-00200")), -200.0);
    EXPECT_DOUBLE_EQ(numericValue(QStringLiteral("12abc")), 12.0);
    EXPECT_DOUBLE_EQ(numericValue(QStringLiteral(" 1 2 . 5x")), 12.5);
    EXPECT_DOUBLE_EQ(numericValue(QStringLiteral("2.5")), 2.5);
    EXPECT_DOUBLE_EQ(numericValue(QStringLiteral("1e3")), 1000.0);
    EXPECT_DOUBLE_EQ(numericValue(QStringLiteral("&H1F")), 31.0);
    EXPECT_DOUBLE_EQ(numericValue(QStringLiteral("12,50")), 12.0);
    for (const char* none : {"", "   ", "abc", "-", ".", "e5"})
        EXPECT_DOUBLE_EQ(numericValue(QString::fromUtf8(none)), 0.0) << none;
}

TEST(NumericValue, LenientInt16RoundsHalfToEvenAndChecksRange) {
    EXPECT_EQ(lenientInt16(QStringLiteral("12abc")), 12);
    EXPECT_EQ(lenientInt16(QStringLiteral(" 7 ")), 7);
    EXPECT_EQ(lenientInt16(QStringLiteral("")), 0);
    EXPECT_EQ(lenientInt16(QStringLiteral("2.5")), 2);
    EXPECT_EQ(lenientInt16(QStringLiteral("3.5")), 4);
    EXPECT_EQ(lenientInt16(QStringLiteral("-32768")), -32768);
    EXPECT_FALSE(lenientInt16(QStringLiteral("32768")).has_value());
    EXPECT_FALSE(lenientInt16(QStringLiteral("-40000")).has_value());
    EXPECT_EQ(numberLine(0), QStringLiteral(" 0 "));
    EXPECT_EQ(numberLine(-3), QStringLiteral("-3 "));
    EXPECT_EQ(numberLine(15), QStringLiteral(" 15 "));
}

class TextFileTest : public test::TempDirTest {};

TEST_F(TextFileTest, EveryByteSurvivesAReadAndAWrite) {
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        if (b != '\r' && b != '\n')
            all.append(static_cast<char>(b));
    writeBytes(QStringLiteral("in.txt"), all + "\r\n");
    const QStringList lines = readTextLines(path(QStringLiteral("in.txt")));
    ASSERT_EQ(lines.size(), 1);
    EXPECT_EQ(lines[0][0x80 - 2], QChar(0x20AC));  // euro sign is byte 128
    writeTextLines(path(QStringLiteral("out.txt")), lines);
    EXPECT_EQ(readBytes(QStringLiteral("out.txt")), all + "\r\n");
    EXPECT_EQ(encodeCp1252(QStringLiteral("\u20AC\u00E0\u4E2D")), QByteArray("\x80\xE0?"));
}

TEST_F(TextFileTest, LineEndsFollowTheRuntime) {
    EXPECT_EQ(splitLines(QStringLiteral("a\r\nb\rc\nd")),
              (QStringList{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c\nd")}));
    EXPECT_EQ(splitLines(QStringLiteral("a\r\n")), QStringList{QStringLiteral("a")});
    EXPECT_EQ(splitLines(QStringLiteral("a\r\n\r\n")),
              (QStringList{QStringLiteral("a"), QString()}));
    EXPECT_TRUE(splitLines(QString()).isEmpty());
    EXPECT_THROW(readTextLines(path(QStringLiteral("missing.txt"))), Error);

    // The POS's files end a line at a lone LF too; CR LF is still one end.
    EXPECT_EQ(splitPosLines(QStringLiteral("a\r\nb\rc\nd\n\ne")),
              (QStringList{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"),
                           QStringLiteral("d"), QString(), QStringLiteral("e")}));
    EXPECT_EQ(splitPosLines(QStringLiteral("a\n\r")),
              (QStringList{QStringLiteral("a"), QString()}));
    EXPECT_TRUE(splitPosLines(QString()).isEmpty());
    writeBytes(QStringLiteral("pos.txt"), "uno\ndue\xE8\n");
    EXPECT_EQ(readPosFile(path(QStringLiteral("pos.txt"))).lines,
              (QStringList{QStringLiteral("uno"), QStringLiteral("due\u00E8")}));
    EXPECT_THROW(readPosFile(path(QStringLiteral("missing.txt"))), Error);
}
