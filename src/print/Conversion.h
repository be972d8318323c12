// The character conversions applied to report lines before they are printed
// or shown: accented capitals become lower-case vowels, box-drawing codes
// become "|" and "-". Characters are told apart by their Windows-1252 code.
#pragma once

#include <QString>

namespace quorvel {

// Character printer and preview. Converts line in place and returns it.
QString ConvertiCaratteri(QString& line);

// Page printer: as ConvertiCaratteri, but the acute accent (180) becomes an
// apostrophe instead of "|". Converts Frase in place and returns it.
QString Converti2(QString& Frase);

// A report line consisting of the single form-feed character: end of page.
bool isFormFeedLine(const QString& line);

// The bold mark of the page printer ("ç").
inline constexpr char16_t kBoldMark = 0x00E7;

}  // namespace quorvel
