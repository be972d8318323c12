// QPrinter/QPainter implementation of the page printer seam.
#include "ui/QtPagePrinter.h"

#include "platform/Error.h"
#include "platform/Log.h"

#include <QFileInfo>
#include <QFontMetricsF>
#include <QPrinter>
#include <QPrinterInfo>
#include <algorithm>

namespace quorvel {

namespace {

QPageLayout::Orientation qtOrientation(PageOrientation o) {
    return o == PageOrientation::Landscape ? QPageLayout::Landscape : QPageLayout::Portrait;
}

bool isBlank(const QString& text) {
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.isSpace(); });
}

}  // namespace

QtPagePrinter::QtPagePrinter() : m_printer(std::make_unique<QPrinter>(QPrinter::HighResolution)) {}

QtPagePrinter::~QtPagePrinter() {
    if (m_painter.isActive())
        abortDoc();
}

QStringList QtPagePrinter::printerNames() const {
    return QPrinterInfo::availablePrinterNames();
}

bool QtPagePrinter::selectPrinter(const QString& deviceName) {
    if (printerNames().contains(deviceName)) {
        m_printer->setOutputFileName(QString());
        m_printer->setOutputFormat(QPrinter::NativeFormat);
        m_printer->setPrinterName(deviceName);
        m_chosenPrinter = deviceName;
        m_missingPrinter.clear();
        return true;
    }
    m_missingPrinter.clear();
    if (deviceName.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive)) {
        m_printer->setOutputFormat(QPrinter::PdfFormat);
        m_printer->setOutputFileName(QFileInfo(deviceName).absoluteFilePath());
        return true;
    }
    // No such printer: the current one stays; a PDF file of an earlier run is
    // not a printer, so that run's file is not overwritten.
    if (!m_printer->outputFileName().isEmpty()) {
        // Without any printer Qt stays on PDF output; with no file name a
        // print then fails instead of writing the old file.
        m_printer->setOutputFileName(QString());
        m_printer->setOutputFormat(QPrinter::NativeFormat);
        if (!m_chosenPrinter.isEmpty())
            m_printer->setPrinterName(m_chosenPrinter);
    }
    m_missingPrinter = deviceName;
    log::info(QStringLiteral("Stampante \"%1\" non trovata: stampo su \"%2\"")
                  .arg(deviceName, outputName()));
    return false;
}

QString QtPagePrinter::outputName() const {
    if (!m_printer->outputFileName().isEmpty())
        return m_printer->outputFileName();
    const QString name = m_printer->printerName();
    return name.isEmpty() ? QStringLiteral("stampante predefinita") : name;
}

void QtPagePrinter::setOrientation(PageOrientation orientation) {
    // While a document is open the new layout applies from the next page.
    m_printer->setPageOrientation(qtOrientation(orientation));
}

void QtPagePrinter::setDuplex(DuplexMode mode) {
    switch (mode) {
        case DuplexMode::Simplex:
            m_printer->setDuplex(QPrinter::DuplexNone);
            break;
        case DuplexMode::Horizontal:
            m_printer->setDuplex(QPrinter::DuplexLongSide);
            break;
        case DuplexMode::Vertical:
            m_printer->setDuplex(QPrinter::DuplexShortSide);
            break;
    }
}

QFont QtPagePrinter::currentFont() const {
    QFont font(m_fontName);
    // Sizes from the printer tables may be 0 or made smaller by bold marks;
    // a font needs a positive size.
    font.setPointSizeF(std::max(m_fontSize, 1.0));
    font.setBold(m_bold);
    return font;
}

double QtPagePrinter::pageHeight() const {
    return m_printer->pageLayout().paintRectPixels(m_printer->resolution()).height();
}

void QtPagePrinter::resetPosition() {
    m_x = 0;
    m_y = 0;
}

void QtPagePrinter::ink() {
    if (!m_painter.isActive()) {
        if (!m_painter.begin(m_printer.get()))
            throw Error(outputName(),
                        m_missingPrinter.isEmpty()
                            ? QStringLiteral("impossibile avviare la stampa")
                            : QStringLiteral("impossibile avviare la stampa (la stampante "
                                             "\"%1\" non esiste su questo computer)")
                                  .arg(m_missingPrinter));
        m_pages = 1;
    } else if (m_pagePending) {
        if (!m_printer->newPage())
            throw Error(outputName(), QStringLiteral("impossibile iniziare una nuova pagina"));
        ++m_pages;
    }
    m_pagePending = false;
    m_pageInked = true;
}

void QtPagePrinter::print(const QString& text, bool endLine) {
    const QFont font = currentFont();
    const QFontMetricsF metrics(font, m_printer.get());
    if (m_y > 0 && m_y + metrics.lineSpacing() > pageHeight())
        newPage();  // the page is full
    if (!isBlank(text)) {
        ink();
        m_painter.setFont(font);
        m_painter.drawText(QPointF(m_x, m_y + metrics.ascent()), text);
    }
    m_x += metrics.horizontalAdvance(text);
    if (endLine) {
        m_x = 0;
        m_y += metrics.lineSpacing();
    }
}

void QtPagePrinter::newPage() {
    if (m_pageInked)
        m_pagePending = true;
    m_pageInked = false;
    resetPosition();
}

void QtPagePrinter::endDoc() {
    resetPosition();
    m_pageInked = false;
    m_pagePending = false;
    if (!m_painter.isActive()) {
        m_pages = 0;
        log::info(QStringLiteral("Stampa su \"%1\": nessun testo da stampare").arg(outputName()));
        return;
    }
    const bool ended = m_painter.end();
    if (!ended || m_printer->printerState() == QPrinter::Error)
        throw Error(outputName(), QStringLiteral("errore della stampante"));
}

void QtPagePrinter::abortDoc() {
    resetPosition();
    m_pageInked = false;
    m_pagePending = false;
    if (m_painter.isActive()) {
        m_printer->abort();
        m_painter.end();
    }
}

}  // namespace quorvel
