// The text-to-number conversions that do not depend on the locale.
#pragma once

#include <QString>
#include <cstdint>
#include <optional>

namespace quorvel {

// The "numeric value": the number standing at the start of the text, with
// blanks (and tabs, line feeds) anywhere in it skipped, '.' as decimal point,
// an optional exponent (E or D) and the &H / &O prefixes; 0 when the text
// holds no number. Never fails.
double numericValue(const QString& text);

// Rounds to the nearest whole number, a half to the even neighbour, and
// checks the 16-bit signed range; nullopt when it does not fit.
std::optional<std::int16_t> roundToInt16(double value);

// Rounds half to even into 32 bits; nullopt when it does not fit.
std::optional<std::int32_t> roundToInt32(double value);

// The lenient reading of a number line of the settings file: numericValue,
// rounded half to even, as a 16-bit signed integer (nullopt when outside
// -32768..32767).
std::optional<std::int16_t> lenientInt16(const QString& line);

// A 16-bit number as the runtime prints it on a line of its own: a blank (or
// '-'), the digits and one trailing blank.
QString numberLine(std::int64_t value);

}  // namespace quorvel
