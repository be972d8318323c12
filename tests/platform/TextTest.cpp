#include "platform/Error.h"
#include "platform/Log.h"
#include "platform/NumberText.h"
#include "platform/SystemText.h"
#include "platform/TextFile.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

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

// Side files: a byte-order mark is skipped; only a regular file within the
// limit is read, and nothing else is ever waited on.
TEST_F(TextFileTest, SideFilesAreReadByOneBoundedReader) {
    writeBytes(QStringLiteral("bom.txt"),
               "\xEF\xBB\xBF"
               "206,101\r\nx\xE8\r\n");
    EXPECT_EQ(readSideFileLines(path(QStringLiteral("bom.txt"))),
              (QStringList{QStringLiteral("206,101"), QStringLiteral("x\u00E8")}));
    EXPECT_EQ(readSideFileBytes(path(QStringLiteral("bom.txt")), 16),
              QByteArray("206,101\r\nx\xE8\r\n"));
    EXPECT_THROW(readSideFileBytes(path(QStringLiteral("bom.txt")), 15), Error);
    EXPECT_FALSE(readSideFileLines(path(QStringLiteral("missing.txt"))));
    ASSERT_TRUE(QDir(dir()).mkdir(QStringLiteral("folder")));
    EXPECT_THROW(readSideFileLines(path(QStringLiteral("folder"))), Error);
#ifdef Q_OS_UNIX
    ASSERT_EQ(::mkfifo(path(QStringLiteral("fifo")).toLocal8Bit().constData(), 0600), 0);
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), path(QStringLiteral("zero"))));
    for (const char* odd : {"fifo", "zero"})
        EXPECT_THROW(readSideFileBytes(path(QString::fromLatin1(odd))), Error) << odd;
#endif
}

TEST_F(TextFileTest, SystemReasonsAreItalian) {
    QDir().mkdir(path(QStringLiteral("cartella")));
    for (const auto& [name, reason] : {std::pair{"missing.txt", "File o cartella inesistente"},
                                       std::pair{"cartella", "una cartella"}}) {
        try {
            readTextLines(path(QString::fromLatin1(name)));
            ADD_FAILURE() << name;
        } catch (const Error& e) {
            EXPECT_TRUE(italianSystemText(e.message()).endsWith(QString::fromUtf8(reason)))
                << e.what();
        }
    }
    EXPECT_EQ(italianSystemText(QStringLiteral("x: Permission denied, Unknown error")),
              QStringLiteral("x: Permesso negato, Errore sconosciuto"));
}

TEST_F(TextFileTest, Utf8IsToldFromWindows1252) {
    // Windows-1252 Italian: single high bytes, never valid UTF-8 sequences.
    for (const char* cp : {"CAFF\xC8 1.50", "caff\xE8\r\n", "PI\xD9", "\x80 5", "plain ASCII", ""})
        EXPECT_FALSE(looksLikeUtf8(QByteArray(cp))) << cp;
    // Malformed UTF-8: overlong, surrogate, above U+10FFFF, cut short, stray
    // continuation, or one good sequence beside a Windows-1252 byte.
    for (const char* bad : {"\xC0\xAF", "\xE0\x80\x80", "\xED\xA0\x80", "\xF4\x90\x80\x80",
                            "ab\xC3", "\xA8x", "\xC3\xA8 CAFF\xE8 "})
        EXPECT_FALSE(looksLikeUtf8(QByteArray(bad))) << bad;
    for (const char* utf8 :
         {"CAFF\xC3\xA8", "\xEF\xBB\xBFplain", "\xE2\x82\xAC 5", "\xF0\x9F\x98\x80"})
        EXPECT_TRUE(looksLikeUtf8(QByteArray(utf8))) << utf8;

    writeBytes(QStringLiteral("utf8.txt"), "CAFF\xC3\xA8\r\n\xE2\x82\xAC");
    const PosText utf8 = readPosFile(path(QStringLiteral("utf8.txt")));
    EXPECT_TRUE(utf8.utf8);
    EXPECT_EQ(utf8.lines, (QStringList{QStringLiteral("CAFF\u00E8"), QStringLiteral("\u20AC")}));
    writeBytes(QStringLiteral("cp.txt"), "CAFF\xC8\r\n");
    EXPECT_FALSE(readPosFile(path(QStringLiteral("cp.txt"))).utf8);
}

TEST_F(TextFileTest, LogLinesCarryNoRawControlBytes) {
    QString text = QStringLiteral("a");
    for (const char16_t c : {u'\x01', u'\t', u'\x7F', u'\x81', u'\u20AC', u'\\'}) text += QChar(c);
    EXPECT_EQ(log::escaped(text), QStringLiteral("a\\x01\\x09\\x7F\\x81\u20AC\\"));
    const QString plain = QStringLiteral("C:\\POS\\Estrazione.mdb CAFF\u00C8");
    EXPECT_EQ(log::escaped(plain), plain);

    // A POS line with NUL, ESC and a line end inside stays one log line.
    log::open(path(QStringLiteral("test.log")));
    log::error(QStringLiteral("riga: ") + decodeCp1252(QByteArray("x\0\x1B[2J\r\ny\x9D", 10)));
    log::close();
    const QByteArray bytes = readBytes(QStringLiteral("test.log"));
    ASSERT_TRUE(bytes.endsWith('\n'));
    EXPECT_EQ(bytes.count('\n'), 1);
    for (const char c : bytes.chopped(1))
        EXPECT_FALSE(static_cast<unsigned char>(c) < 0x20 || c == 0x7F) << static_cast<int>(c);
    EXPECT_TRUE(bytes.contains("riga: x\\x00\\x1B[2J\\x0D\\x0Ay\\x9D")) << bytes.constData();
}
