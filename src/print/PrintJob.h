// The settings of one print run, built by the print menu from the hotel's
// printer tables and read by the two printing engines.
#pragma once

#include <QString>
#include <array>
#include <cstdint>

namespace quorvel {

struct PrintJob {
    // Page printer: the printer's device name (or a ".pdf" file when no
    // printer has that name). Character printer: the path opened for output
    // (a port, a share or a file).
    QString destination;
    // Codes 1-12 (SetStampa's Compresso groups): codes 1-5 and 7-11 are the
    // start bytes of a compressed / normal character print, code 1 and code
    // 7 the compressed / normal font size of the page printer, code 6 picks
    // the engine.
    std::array<double, 12> codes{};
    // Numbers 1-12 (SetStampa's Grassetto groups): 6 top margin, 7 and 8
    // physical lines.
    std::array<std::int16_t, 12> numbers{};
    std::int16_t pageLength = 60;
    std::int16_t physicalLines = 66;  // option U pads each page to this
    std::int16_t topMargin = 0;
    QString fontName = QStringLiteral("Courier New");
    bool compressed = false;
    bool landscape = false;
    bool duplex = false;
    QString assistanceCode;  // only "K" and "U" in it matter, case-sensitively

    // Code n, numbered from 1.
    double code(int n) const { return codes.at(static_cast<std::size_t>(n - 1)); }
    bool usesPagePrinter() const { return code(6) == 1; }
    // "K": print the lines unconverted.
    bool skipConversion() const { return assistanceCode.contains(QLatin1Char('K')); }
    // "U": fill pages with empty lines instead of a form feed.
    bool padPages() const { return assistanceCode.contains(QLatin1Char('U')); }
};

// SetStampa's Compresso and Grassetto fields are 12 groups of 3 characters;
// a group past the text's end reads as 0. Codes are numeric values; numbers
// are rounded to 16 bits (0 when out of range).
std::array<double, 12> codeGroups(const QString& compresso);
std::array<std::int16_t, 12> numberGroups(const QString& grassetto);

}  // namespace quorvel
