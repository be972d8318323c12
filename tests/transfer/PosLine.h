// Builds POS charge lines with the fixed columns the transfer reads.
#pragma once

#include <QString>

namespace quorvel::test {

struct PosLine {
    QString room = QStringLiteral("101");            // columns 2..4
    QString day = QStringLiteral("250131");          // columns 6..11
    QString description = QStringLiteral("PRANZO");  // columns 28..42
    QString quantity = QStringLiteral("  1");        // columns 49..51
    QString amount = QStringLiteral("001500");       // columns 57..62
    QString unitPrice;                               // columns 108..115, blank when empty

    QString text() const {
        QString l(120, QLatin1Char('.'));
        auto put = [&](int column, int width, const QString& value) {
            l.replace(column - 1, width, value.leftJustified(width, QLatin1Char(' '), true));
        };
        put(1, 1, QStringLiteral(" "));
        put(2, 3, room);
        put(5, 1, QStringLiteral(" "));
        put(6, 6, day);
        put(28, 15, description);
        put(49, 3, quantity);
        put(57, 6, amount);
        put(108, 8, unitPrice);
        return l;
    }
};

inline QString discountLine(const QString& amount) {
    PosLine l;
    l.description = QStringLiteral("Sconto");
    l.amount = amount;
    return l.text();
}

}  // namespace quorvel::test
