// Call sequence of the page printer, on a recording printer.
#include "PcLocalGuard.h"
#include "RecordingPrinter.h"
#include "print/PrintEngines.h"
#include "support/TempDir.h"

namespace quorvel::test {
namespace {

class PagePrinterTest : public TempDirTest {
protected:
    PagePrinterTest() {
        job.codes = {8, 0, 0, 0, 0, 1, 10, 0, 0, 0, 0, 0};
        job.destination = QStringLiteral("Laser");
        job.fontName = QStringLiteral("Courier New");
    }
    QStringList run(const QByteArray& report) {
        writeBytes("fd3", report);
        printer.calls.clear();
        printPages(job, printer, "fd3");
        return printer.calls;
    }

    PrintJob job;
    RecordingPrinter printer;
};

TEST_F(PagePrinterTest, SetUpMarginsPageLengthAndFormFeed) {
    job.topMargin = 1;
    job.pageLength = 3;
    job.landscape = true;
    job.duplex = true;
    const QStringList setUp = {"font Times New Roman", "size 8", "line [ ]", "font Courier New"};
    QStringList expected = {"select Laser", "duplex 2", "orient 2"};
    expected << setUp << "line [ ]"
             << "size 10";
    expected << "line [A]";
    // The form feed: a new page with its margin, then the full page set-up.
    expected << "newPage"
             << "orient 2"
             << "line [ ]";
    expected << "newPage"
             << "orient 2" << setUp << "size 10"
             << "line [ ]";
    // Margin 1 + two lines reach the page length of 3.
    expected << "line [B]"
             << "line [C]";
    expected << "newPage"
             << "orient 2" << setUp << "size 10"
             << "line [ ]";
    expected << "endDoc"
             << "orient 1";
    EXPECT_EQ(run("A\r\n\f\r\nB\r\nC\r\n"), expected);
}

TEST_F(PagePrinterTest, BoldMarksToggleWithinALineOnly) {
    const QStringList calls = run(QString::fromUtf8("unoççdueç\r\nx\r\naç b\r\n").toLatin1());
    const QStringList body = calls.mid(calls.indexOf("size 10") + 1);
    const QStringList expected = {"text [uno]", "size 9.6",   "bold on",  "text []",   "size 10",
                                  "bold off",   "text [due]", "size 9.6", "bold on",   "line []",
                                  "line [x]",  // still bold
                                  "text [a]",   "size 9.2",   "bold on",  "line [ b]", "endDoc"};
    EXPECT_EQ(body, expected);
    EXPECT_NEAR(printer.size, 9.2, 1e-9);
}

TEST_F(PagePrinterTest, ConversionCompressedAndMarginBeyondPageLength) {
    job.compressed = true;
    QStringList calls = run("\xc0\xb4\xc4\r\n");
    EXPECT_TRUE(calls.contains(QString::fromUtf8("line [à'-]")));
    EXPECT_EQ(calls.count("size 8"), 2);  // set-up line and body
    EXPECT_FALSE(calls.contains("size 10"));

    job.assistanceCode = QStringLiteral("K");
    calls = run("\xc0\xb4\xc4\r\n");
    EXPECT_TRUE(calls.contains(QString::fromUtf8("line [À´Ä]")));

    // A margin of at least the page length starts a page after every line.
    job.topMargin = 2;
    job.pageLength = 2;
    calls = run("a\r\nb\r\nc\r\n");
    EXPECT_EQ(calls.count("newPage"), 3);
    EXPECT_EQ(calls.last(), "endDoc");  // portrait: the orientation is left alone
}

TEST_F(PagePrinterTest, MissingReportAndDeviceFailure) {
    printer.calls.clear();
    printPages(job, printer, "nothing");
    EXPECT_EQ(printer.calls, QStringList{"select Laser"});

    PcLocalGuard env;
    PcLocalGuard::set("PCLocal", "3");
    writeBytes("fd3", "A\r\n");
    printer.calls.clear();
    printer.failOnPrint = true;
    FakeDialogs dialogs;
    EXPECT_FALSE(runPrintJob(job, printer, dialogs));
    EXPECT_EQ(printer.calls.last(), "abortDoc");
    EXPECT_FALSE(printer.calls.contains("endDoc"));
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_TRUE(dialogs.messages[0].text.contains("errore del dispositivo"));
    EXPECT_EQ(dialogs.messages[0].icon, MsgIcon::Critical);
}

}  // namespace
}  // namespace quorvel::test
