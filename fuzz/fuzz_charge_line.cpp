// Fuzz target: one POS charge line (its fixed columns, amount, discount
// mark, quantity, unit price and day) as the charges file delivers it, in
// Windows-1252; the amounts by the one rule that ignores the locale.
#include "FuzzSupport.h"

#include "transfer/ChargeLine.h"

#include <cmath>

using namespace quorvel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString line = fuzz::textOf(data, size);

    // Slices never reach past the line, whatever the column and length.
    for (int start : {-1, 0, 1, 2, 6, 28, 49, 57, 108, static_cast<int>(line.size()),
                      static_cast<int>(line.size()) + 1}) {
        for (int length : {-1, 0, 1, 3, 6, 15, 1 << 20}) {
            const QString c = charge::columns(line, start, length);
            if (c.size() > std::max(length, 0))
                fuzz::fail("columns longer than asked");
            if (!c.isEmpty() && line.mid(start - 1, c.size()) != c)
                fuzz::fail("columns not from the line");
        }
    }

    const QString description = charge::description(line);
    if (description.startsWith(QLatin1Char(' ')) || description.endsWith(QLatin1Char(' ')) ||
        description.size() > 15)
        fuzz::fail("description not trimmed", description);
    if (charge::isDiscount(line) != (description == QLatin1String("Sconto")))
        fuzz::fail("discount mark");
    const QString day = charge::chargeDay(line);
    if (!day.startsWith(QLatin1String("20")) || day.size() > 8)
        fuzz::fail("charge day", day);
    if (!std::isfinite(charge::quantity(line)))
        fuzz::fail("quantity not finite");

    {
        const auto amount = charge::amount(line);
        if (amount && line.size() < 57)
            fuzz::fail("amount of a short line");
        // Six columns of cents: never beyond 999999 cents either way.
        if (amount && (amount->raw() > 99999999 || amount->raw() < -99999999))
            fuzz::fail("amount out of its columns' range", amount->toString());
        const auto price = charge::unitPrice(line);
        if (price && !std::isfinite(*price))
            fuzz::fail("unit price not finite");
    }
    return 0;
}
