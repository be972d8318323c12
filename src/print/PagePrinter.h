// The page printer seam: what the page-printing engine asks of the
// platform's printer object, and the printer list of the print menu. The Qt
// implementation lives in ui/; tests record the calls.
#pragma once

#include <QString>
#include <QStringList>

namespace quorvel {

enum class PageOrientation { Portrait = 1, Landscape = 2 };
enum class DuplexMode { Simplex = 1, Horizontal = 2, Vertical = 3 };

class PagePrinter {
public:
    virtual ~PagePrinter() = default;

    // The operating system's printers by device name, in the system's order.
    virtual QStringList printerNames() const = 0;
    // Makes the printer with this device name current. When there is none,
    // the current printer stays, except that a name ending in ".pdf" makes
    // the output that PDF file. Returns false when nothing matched.
    virtual bool selectPrinter(const QString& deviceName) = 0;

    virtual void setFontName(const QString& name) = 0;
    virtual void setFontSize(double points) = 0;
    virtual double fontSize() const = 0;
    virtual void setBold(bool bold) = 0;
    virtual void setOrientation(PageOrientation orientation) = 0;
    virtual void setDuplex(DuplexMode mode) = 0;

    // Prints text at the current position; endLine moves to the next line.
    // The output methods throw Error on a device failure.
    virtual void print(const QString& text, bool endLine) = 0;
    virtual void newPage() = 0;
    // Ends the document: the job goes to the printer.
    virtual void endDoc() = 0;
    // Drops the document begun so far (after a failure).
    virtual void abortDoc() = 0;
};

}  // namespace quorvel
