// Byte streams of the character printer.
#include "PcLocalGuard.h"
#include "RecordingPrinter.h"
#include "platform/Error.h"
#include "platform/TextFile.h"
#include "print/PrintEngines.h"
#include "support/TempDir.h"

#include <QBuffer>
#include <QFile>

namespace quorvel::test {
namespace {

const QByteArray kNormalStart("\x1b\x12\0\0\0", 5);
const QByteArray kCompressedStart("\x1b\x0f\0\0\0", 5);

class CharacterPrinterTest : public TempDirTest {
protected:
    CharacterPrinterTest() {
        job.codes = {27, 15, 0, 0, 0, 0, 27, 18, 0, 0, 0, 0};
        job.destination = QStringLiteral("out.prn");
    }

    QByteArray print(const QByteArray& report) {
        writeBytes("fd3", report);
        return printMissing("fd3");
    }
    QByteArray printMissing(const QString& reportPath) {
        QBuffer out;
        out.open(QIODevice::WriteOnly);
        writeCharacterStream(job, out, reportPath);
        return out.data();
    }
    static QByteArray lines(const QByteArray& prefix, int count) {
        QByteArray b;
        for (int i = 1; i <= count; ++i) b += prefix + QByteArray::number(i) + "\r\n";
        return b;
    }
    static QByteArray repeat(const QByteArray& part, int count) { return part.repeated(count); }

    PrintJob job;
};

TEST_F(CharacterPrinterTest, EmptyOrMissingReport) {
    EXPECT_EQ(print(""), kNormalStart);
    EXPECT_EQ(printMissing("nothing"), kNormalStart);
    job.compressed = true;
    EXPECT_EQ(print(""), kCompressedStart);
    job.compressed = false;
    job.topMargin = 2;
    EXPECT_EQ(print(""), kNormalStart + " \r\n \r\n\f");
    EXPECT_EQ(printMissing("nothing"), kNormalStart);  // margin only with a report
}

TEST_F(CharacterPrinterTest, PagesEndAfterPageLengthLessTopMargin) {
    job.pageLength = 60;
    job.topMargin = 2;
    const QByteArray report = lines("L", 120);
    const QByteArray out = print(report);
    const QByteArray margin = " \r\n \r\n";
    const QStringList all = splitLines(QString::fromLatin1(report));
    auto slice = [&](int from, int count) {
        return encodeCp1252(all.mid(from, count).join("\r\n")) + "\r\n";
    };
    EXPECT_EQ(out, kNormalStart + margin + slice(0, 58) + "\f" + margin + slice(58, 58) + "\f" +
                       margin + slice(116, 4) + "\f");
}

TEST_F(CharacterPrinterTest, OptionUPadsPagesWithEmptyLines) {
    job.assistanceCode = QStringLiteral("xU");
    job.pageLength = 60;
    job.physicalLines = 66;
    const QByteArray report = lines("L", 61);
    EXPECT_EQ(print(report),
              kNormalStart + lines("L", 60) + repeat("\r\n", 6) + "L61\r\n" + repeat("\r\n", 65));

    // A physical page no longer than the lines printed gets nothing added.
    job.physicalLines = 50;
    EXPECT_EQ(print(lines("L", 60)), kNormalStart + lines("L", 60));
    // "u" is not "U".
    job.assistanceCode = QStringLiteral("u");
    EXPECT_EQ(print("A\r\n"), kNormalStart + "A\r\n\f");
}

TEST_F(CharacterPrinterTest, MarginBeyondPageLengthEndsPagesOnlyAtFormFeeds) {
    job.topMargin = 3;
    job.pageLength = 2;
    const QByteArray margin = repeat(" \r\n", 3);
    EXPECT_EQ(print(lines("L", 5) + "\f\r\nZ\r\n"),
              kNormalStart + margin + lines("L", 5) + "\f" + margin + "Z\r\n\f");

    // Equal to the page length: a form feed then ends two pages in a row.
    job.pageLength = 3;
    EXPECT_EQ(print("A\r\n\f\r\nB\r\n"),
              kNormalStart + margin + "A\r\n\f" + margin + "\f" + margin + "B\r\n\f");
}

TEST_F(CharacterPrinterTest, FormFeedLines) {
    // Not written nor counted; one mixed with text is an ordinary line; a
    // form feed at the end leaves no further page end without a margin.
    EXPECT_EQ(print("A\r\n\f\r\nB\r\n\f x\r\n\f"), kNormalStart + "A\r\n\fB\r\n\f x\r\n\f");
    job.pageLength = 2;
    EXPECT_EQ(print("A\r\n\f\r\nB\r\nC\r\nD\r\n"), kNormalStart + "A\r\n\fB\r\nC\r\n\fD\r\n\f");
    job.topMargin = 1;
    job.pageLength = 60;
    EXPECT_EQ(print("A\r\n\f"), kNormalStart + " \r\nA\r\n\f \r\n\f");
}

TEST_F(CharacterPrinterTest, ConversionAndAssistanceCodes) {
    const QByteArray report("\xc0 \xb4 \xc4\xc4 \xe7\r\n");
    EXPECT_EQ(print(report), kNormalStart + QByteArray("\xe0 | -- \xe7\r\n\f"));

    job.assistanceCode = QStringLiteral("K");
    EXPECT_EQ(print(report), kNormalStart + report + "\f");

    job.assistanceCode = QStringLiteral("UK");
    job.physicalLines = 3;
    EXPECT_EQ(print(report), kNormalStart + report + "\r\n\r\n");
}

TEST_F(CharacterPrinterTest, WritesTheDestinationFile) {
    writeBytes("fd3", "A\r\n");
    writeBytes("out.prn", "old content that is longer");
    printCharacters(job, "fd3");
    EXPECT_EQ(readBytes("out.prn"), kNormalStart + "A\r\n\f");
}

TEST_F(CharacterPrinterTest, FailuresStopThePrintAndAreShown) {
    PcLocalGuard env;
    PcLocalGuard::set("PCLocal", "3");
    writeBytes("fd3", "A\r\n");
    FakeDialogs dialogs;
    RecordingPrinter printer;

    // A destination that cannot be opened.
    job.destination = path("no-such-folder/lpt1");
    EXPECT_FALSE(runPrintJob(job, printer, dialogs));
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].title, "Stampa");
    EXPECT_TRUE(dialogs.messages[0].text.contains("interrotta"));
    EXPECT_TRUE(dialogs.messages[0].text.contains("lpt1"));

    // A start code that is not a byte: the destination is left alone.
    job.destination = QStringLiteral("out.prn");
    writeBytes("out.prn", "keep");
    job.codes[7] = 300;
    EXPECT_THROW(printCharacters(job, "fd3"), Error);
    EXPECT_EQ(readBytes("out.prn"), "keep");
    EXPECT_FALSE(runPrintJob(job, printer, dialogs));
    EXPECT_EQ(dialogs.messages.size(), 2u);
    job.codes[7] = 18;

    // A device that fails while writing.
    if (QFile::exists("/dev/full")) {
        job.destination = QStringLiteral("/dev/full");
        EXPECT_FALSE(runPrintJob(job, printer, dialogs));
        EXPECT_EQ(dialogs.messages.size(), 3u);
    }

    // Success shows nothing.
    job.destination = QStringLiteral("out.prn");
    EXPECT_TRUE(runPrintJob(job, printer, dialogs));
    EXPECT_EQ(readBytes("out.prn"), kNormalStart + "A\r\n\f");
    EXPECT_LE(dialogs.messages.size(), 3u);
}

}  // namespace
}  // namespace quorvel::test
