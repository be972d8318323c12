// The preview's chunks of the report file, and saving a chunk in its place;
// the error history written as the report file.
#include "PcLocalGuard.h"
#include "platform/Error.h"
#include "print/ErrorReport.h"
#include "print/ReportChunkReader.h"
#include "support/TempDir.h"

namespace quorvel::test {
namespace {

class ReportChunkReaderTest : public TempDirTest {
protected:
    QByteArray lines(int count, int width, char fill = 'x') {
        QByteArray text;
        for (int i = 0; i < count; ++i) text += QByteArray(width, fill) + "\r\n";
        return text;
    }
};

TEST_F(ReportChunkReaderTest, ThousandLinesOfThirtyCharacters) {
    writeBytes("fd3", lines(1000, 30));
    ReportChunkReader reader(path("fd3"));
    ASSERT_TRUE(reader.open());

    QString first = reader.readChunk(20000);
    EXPECT_EQ(first.count(QStringLiteral("\r\n")), 667);
    EXPECT_EQ(reader.chunkLength(), 20010);
    EXPECT_TRUE(reader.more());

    QString second = reader.readChunk(26000);
    EXPECT_EQ(second.count(QStringLiteral("\r\n")), 333);
    EXPECT_EQ(reader.chunkLength(), 9990);
    EXPECT_FALSE(reader.more());

    EXPECT_EQ(reader.readChunk(26000), "");
    EXPECT_EQ(reader.chunkLength(), 0);
    EXPECT_FALSE(reader.more());
}

TEST_F(ReportChunkReaderTest, LongLinesLineEndsAndConversion) {
    // A line past the limit ends the chunk it is read into, and read first
    // it is a chunk of its own.
    writeBytes("fd3", lines(199, 100) + lines(1, 5000, 'y') + lines(1, 30000, 'z') + "fine");
    ReportChunkReader reader(path("fd3"));
    ASSERT_TRUE(reader.open());
    EXPECT_EQ(reader.readChunk(20000).count(QStringLiteral("\r\n")), 200);
    EXPECT_EQ(reader.chunkLength(), 24900);
    const QString single = reader.readChunk(20000);
    EXPECT_EQ(single, QString(30000, QLatin1Char('z')) + "\r\n");
    EXPECT_TRUE(reader.more());
    EXPECT_EQ(reader.readChunk(20000), "fine\r\n");  // no line end at the file's end
    EXPECT_FALSE(reader.more());

    // CR alone ends a line, a lone LF belongs to it; À and the frame code 180
    // are shown converted, the length counts the characters before conversion.
    writeBytes("fd4", "a\rb\nc\r\n\xc0\xb4\xe7\r\n");
    ReportChunkReader other(path("fd4"));
    ASSERT_TRUE(other.open());
    EXPECT_EQ(other.readChunk(100), QString::fromUtf8("a\r\nb\nc\r\nà|ç\r\n"));
    EXPECT_EQ(other.chunkLength(), 1 + 3 + 3);

    // An empty report: an empty text and nothing more.
    writeBytes("fd5", "");
    ReportChunkReader empty(path("fd5"));
    ASSERT_TRUE(empty.open());
    EXPECT_EQ(empty.readChunk(20000), "");
    EXPECT_FALSE(empty.more());

    ReportChunkReader missing(path("fd6"));
    EXPECT_FALSE(missing.open());
    EXPECT_THROW(missing.readChunk(20000), Error);
}

TEST_F(ReportChunkReaderTest, SavingTheOnlyChunkAddsOneEmptyLine) {
    writeBytes("fd3", "PERCH\xc9\r\nriga due\r\n");
    ReportChunkReader reader(path("fd3"));
    ASSERT_TRUE(reader.open());
    const QString shown = reader.readChunk(20000);
    EXPECT_EQ(shown, QString::fromUtf8("PERCHé\r\nriga due\r\n"));
    reader.saveChunk(shown + "aggiunta\r\n");
    EXPECT_EQ(readBytes("fd3"), "PERCH\xe9\r\nriga due\r\naggiunta\r\n\r\n");
    EXPECT_FALSE(reader.more());

    // Saving again replaces the saved text: empty lines do not pile up.
    reader.saveChunk(QStringLiteral("corto\r\n"));
    EXPECT_EQ(readBytes("fd3"), "corto\r\n\r\n");

    // An empty report saved as shown.
    writeBytes("fd4", "");
    ReportChunkReader empty(path("fd4"));
    ASSERT_TRUE(empty.open());
    empty.saveChunk(empty.readChunk(20000));
    EXPECT_EQ(readBytes("fd4"), "\r\n");
}

TEST_F(ReportChunkReaderTest, SavingAMiddleChunkKeepsTheRestOfTheReport) {
    const QByteArray head = lines(700, 30, 'a');
    const QByteArray middle = lines(900, 30, 'b');
    const QByteArray tail = lines(10, 30, 'c');
    writeBytes("fd3", head + middle + tail);
    ReportChunkReader reader(path("fd3"));
    ASSERT_TRUE(reader.open());
    reader.readChunk(20000);  // 667 lines of a
    reader.readChunk(26000);  // 33 of a, 834 of b
    ASSERT_TRUE(reader.more());

    reader.saveChunk(QStringLiteral("modificato\r\n"));
    const QByteArray saved = readBytes("fd3");
    EXPECT_EQ(saved, lines(667, 30, 'a') + "modificato\r\n" + lines(66, 30, 'b') + tail);
    EXPECT_TRUE(reader.more());

    // Reading goes on after the saved text.
    const QString next = reader.readChunk(26000);
    EXPECT_EQ(next.left(30), QString(30, QLatin1Char('b')));
    EXPECT_EQ(next.count(QStringLiteral("\r\n")), 76);
    EXPECT_FALSE(reader.more());

    // The file closed behind the reader's back is opened again from its start.
    reader.close();
    EXPECT_EQ(reader.readChunk(10).left(30), QString(30, QLatin1Char('a')));
}

TEST_F(ReportChunkReaderTest, ErrorHistoryReportBytes) {
    PcLocalGuard env;
    PcLocalGuard::set("PCLocal", "3");
    writeBytes("fd3", "vecchio contenuto\r\n");
    writeErrorReport({});
    EXPECT_TRUE(exists("fd3"));
    EXPECT_EQ(readBytes("fd3"), "");

    writeErrorReport({QString::fromUtf8("101 20250307 CENA € 42,00"), QStringLiteral("999 x")});
    writeErrorReport({QStringLiteral("999 20250306 2010 CENA            0000042,00")});
    EXPECT_EQ(readBytes("fd3"), "999 20250306 2010 CENA            0000042,00\r\n");
    writeErrorReport({QString::fromUtf8("101 CAFFÈ € 1,20"), QString()});
    EXPECT_EQ(readBytes("fd3"), "101 CAFF\xc8 \x80 1,20\r\n\r\n");
}

}  // namespace
}  // namespace quorvel::test
