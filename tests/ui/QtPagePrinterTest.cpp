// The Qt page printer writing real PDF files (no printer is needed).
#include "platform/Error.h"
#include "print/PcLocalGuard.h"
#include "print/PrintEngines.h"
#include "support/TempDir.h"
#include "ui/QtPagePrinter.h"

#include <QRegularExpression>

namespace quorvel::test {
namespace {

class QtPagePrinterTest : public TempDirTest {
protected:
    QtPagePrinterTest() {
        job.codes = {8, 0, 0, 0, 0, 1, 8, 0, 0, 0, 0, 0};
        job.destination = QStringLiteral("report.pdf");
        job.pageLength = 60;
        job.topMargin = 2;
    }
    void report(int first, int last, QByteArray& into) {
        for (int i = first; i <= last; ++i)
            into += "Riga " + QByteArray::number(i) + " \xe7grassetto\xe7 normale\r\n";
    }
    int pdfPages(const QByteArray& pdf) {
        return static_cast<int>(pdf.count("/Type /Page\n") + pdf.count("/Type /Page ") +
                                pdf.count("/Type /Page/") + pdf.count("/Type /Page>"));
    }

    PrintJob job;
    QtPagePrinter printer;
};

TEST_F(QtPagePrinterTest, WritesAPdfOfSeveralPages) {
    // 50 lines, a form feed, 80 lines: one page for the first part, then 58
    // and 22 lines; the page set-up between the form feed's two page starts
    // gives no blank sheet.
    QByteArray text;
    report(1, 50, text);
    text += "\f\r\n";
    report(51, 130, text);
    writeBytes("fd3", text);

    EXPECT_TRUE(printer.selectPrinter(job.destination));
    printPages(job, printer, "fd3");
    const QByteArray pdf = readBytes("report.pdf");
    ASSERT_FALSE(pdf.isEmpty());
    EXPECT_TRUE(pdf.startsWith("%PDF"));
    EXPECT_EQ(printer.pagesPrinted(), 3);
    EXPECT_EQ(pdfPages(pdf), 3);
    EXPECT_EQ(printer.outputName(), path("report.pdf"));
}

TEST_F(QtPagePrinterTest, LandscapeThenPortraitAgain) {
    QByteArray text;
    report(1, 3, text);
    writeBytes("fd3", text);
    job.landscape = true;
    printPages(job, printer, "fd3");
    const QRegularExpression box(QStringLiteral("/MediaBox \\[0 0 ([0-9.]+) ([0-9.]+)\\]"));
    auto match = box.match(QString::fromLatin1(readBytes("report.pdf")));
    ASSERT_TRUE(match.hasMatch());
    EXPECT_GT(match.captured(1).toDouble(), match.captured(2).toDouble());

    job.landscape = false;
    job.destination = QStringLiteral("portrait.pdf");
    printPages(job, printer, "fd3");
    match = box.match(QString::fromLatin1(readBytes("portrait.pdf")));
    ASSERT_TRUE(match.hasMatch());
    EXPECT_LT(match.captured(1).toDouble(), match.captured(2).toDouble());
}

TEST_F(QtPagePrinterTest, EmptyReportAndUnknownOrUnwritableDestination) {
    // Only blank set-up and margin lines: no sheet, no file.
    writeBytes("fd3", "");
    printPages(job, printer, "fd3");
    EXPECT_EQ(printer.pagesPrinted(), 0);
    EXPECT_FALSE(exists("report.pdf"));

    // A name that is neither a printer nor a PDF file: the PDF of the
    // earlier run is not current any more.
    EXPECT_FALSE(printer.selectPrinter(QStringLiteral("Nessuna stampante così")));
    EXPECT_NE(printer.outputName(), path("report.pdf"));
    if (printer.printerNames().isEmpty()) {
        // No printer at all: the print fails rather than write the old file.
        writeBytes("fd3", "testo\r\n");
        job.destination = QStringLiteral("Nessuna stampante così");
        EXPECT_THROW(printPages(job, printer, "fd3"), Error);
        EXPECT_FALSE(exists("report.pdf"));
    }

    // A PDF in a folder that does not exist: the print stops with a message.
    writeBytes("fd3", "testo\r\n");
    job.destination = path("missing/report.pdf");
    FakeDialogs dialogs;
    PcLocalGuard env;
    PcLocalGuard::set("PCLocal", "3");
    EXPECT_FALSE(runPrintJob(job, printer, dialogs));
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_TRUE(dialogs.messages[0].text.contains("interrotta"));
}

}  // namespace
}  // namespace quorvel::test
