// The page-printer engine: page set-up line, top-margin lines, bold marks,
// page length and form feeds, in the order the hotel's printers expect.
#include "platform/Error.h"
#include "platform/TextFile.h"
#include "print/Conversion.h"
#include "print/PrintEngines.h"

#include <QFile>

namespace quorvel {

namespace {

const QString kSetupFont = QStringLiteral("Times New Roman");
const QString kBlank = QStringLiteral(" ");
constexpr double kBoldStep = 0.4;

class PageRun {
public:
    PageRun(const PrintJob& job, PagePrinter& printer) : m_job(job), m_printer(printer) {}

    void run(const QStringList& lines) {
        if (m_job.duplex)
            m_printer.setDuplex(DuplexMode::Horizontal);
        m_printer.setOrientation(orientation());
        firstPageSetUp();
        for (QString line : lines) {
            if (!m_job.skipConversion())
                Converti2(line);
            const bool formFeed = isFormFeedLine(line);
            if (!formFeed) {
                StampaLaser(m_printer, line);
            } else {
                m_printer.newPage();
                m_printer.setOrientation(orientation());
                m_n = 0;
                marginLines();
            }
            ++m_n;
            // A form feed also lands here, so it starts a second page; the
            // printer leaves out the blank one between.
            if (m_n >= m_job.pageLength || formFeed)
                nextPageSetUp();
        }
        m_printer.endDoc();
        if (m_job.landscape)
            m_printer.setOrientation(PageOrientation::Portrait);
    }

private:
    PageOrientation orientation() const {
        return m_job.landscape ? PageOrientation::Landscape : PageOrientation::Portrait;
    }
    double bodySize() const { return m_job.compressed ? m_job.code(1) : m_job.code(7); }

    // The top-margin lines; the line counter then stands at the margin.
    void marginLines() {
        for (int i = 0; i < m_job.topMargin; ++i) m_printer.print(kBlank, true);
        m_n = m_job.topMargin;
    }

    void setUpLine() {
        m_printer.setFontName(kSetupFont);
        m_printer.setFontSize(m_job.code(1));
        m_printer.print(kBlank, true);
        m_printer.setFontName(m_job.fontName);
    }

    void firstPageSetUp() {
        setUpLine();
        for (int i = 0; i < m_job.topMargin; ++i) m_printer.print(kBlank, true);
        m_n += m_job.topMargin;
        m_printer.setFontSize(bodySize());
    }

    void nextPageSetUp() {
        m_printer.newPage();
        m_printer.setOrientation(orientation());
        setUpLine();
        m_printer.setFontSize(bodySize());
        m_n = 0;
        marginLines();
    }

    const PrintJob& m_job;
    PagePrinter& m_printer;
    int m_n = 0;
};

}  // namespace

void StampaLaser(PagePrinter& printer, const QString& Testo) {
    bool bold = false;
    QString buffer;
    for (QChar c : Testo) {
        if (c.unicode() != kBoldMark) {
            buffer += c;
            continue;
        }
        printer.print(buffer, false);
        buffer.clear();
        bold = !bold;
        printer.setFontSize(printer.fontSize() + (bold ? -kBoldStep : kBoldStep));
        printer.setBold(bold);
    }
    printer.print(buffer, true);
}

void printPages(const PrintJob& job, PagePrinter& printer, const QString& reportPath) {
    printer.selectPrinter(job.destination);
    if (!QFile::exists(reportPath))
        return;
    const QStringList lines = readTextLines(reportPath);
    try {
        PageRun(job, printer).run(lines);
    } catch (...) {
        printer.abortDoc();
        throw;
    }
}

}  // namespace quorvel
