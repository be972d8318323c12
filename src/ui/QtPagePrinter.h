// The page printer on Qt: QPrinter and QPainter behind the PagePrinter seam,
// and the printer list from QPrinterInfo. One object lives for the whole
// program, so the printer chosen (and its duplex mode) stays chosen.
//
// Text goes down the page line by line like the old printer object: a line
// advances by the current font's line spacing, a page that is full starts a
// new one. A page that received only blanks is never emitted, so the page
// set-up that follows a form feed does not cost a blank sheet, nor does an
// empty report.
#pragma once

#include "print/PagePrinter.h"

#include <QFont>
#include <QPainter>
#include <memory>

class QPrinter;

namespace quorvel {

class QtPagePrinter final : public PagePrinter {
public:
    QtPagePrinter();
    ~QtPagePrinter() override;
    QtPagePrinter(const QtPagePrinter&) = delete;
    QtPagePrinter& operator=(const QtPagePrinter&) = delete;

    QStringList printerNames() const override;
    bool selectPrinter(const QString& deviceName) override;

    void setFontName(const QString& name) override { m_fontName = name; }
    void setFontSize(double points) override { m_fontSize = points; }
    double fontSize() const override { return m_fontSize; }
    void setBold(bool bold) override { m_bold = bold; }
    void setOrientation(PageOrientation orientation) override;
    void setDuplex(DuplexMode mode) override;

    void print(const QString& text, bool endLine) override;
    void newPage() override;
    void endDoc() override;
    void abortDoc() override;

    // Where the output goes: the printer's name, or the PDF file's path.
    QString outputName() const;
    // Pages emitted by the last document.
    int pagesPrinted() const { return m_pages; }

private:
    QFont currentFont() const;
    double pageHeight() const;
    void ink();
    void resetPosition();

    std::unique_ptr<QPrinter> m_printer;
    QPainter m_painter;
    QString m_fontName = QStringLiteral("Courier New");
    double m_fontSize = 10;
    bool m_bold = false;
    QString m_chosenPrinter;   // the last real printer chosen by name
    QString m_missingPrinter;  // the name last asked for that no printer has
    double m_x = 0;
    double m_y = 0;
    bool m_pageInked = false;    // the current page holds visible text
    bool m_pagePending = false;  // a new page was asked for after ink
    int m_pages = 0;
};

}  // namespace quorvel
