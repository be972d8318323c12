// Reading the three-digit groups of the printer-type settings.
#include "print/PrintJob.h"

#include "platform/NumberText.h"

namespace quorvel {

std::array<double, 12> codeGroups(const QString& compresso) {
    std::array<double, 12> codes{};
    for (std::size_t i = 0; i < codes.size(); ++i)
        codes[i] = numericValue(compresso.mid(static_cast<qsizetype>(i) * 3, 3));
    return codes;
}

std::array<std::int16_t, 12> numberGroups(const QString& grassetto) {
    std::array<std::int16_t, 12> numbers{};
    for (std::size_t i = 0; i < numbers.size(); ++i)
        numbers[i] =
            roundToInt16(numericValue(grassetto.mid(static_cast<qsizetype>(i) * 3, 3))).value_or(0);
    return numbers;
}

}  // namespace quorvel
