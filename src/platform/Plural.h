// Counts in Italian: "1 riga", "0 righe", "3 righe". Italian takes the
// singular for one only, so the two forms are written out in full.
#pragma once

#include <QString>

namespace quorvel {

// The phrase for n (one when n is 1, else many) with %1 filled with n; the
// remaining placeholders are left for the caller's .arg().
inline QString plural(qint64 n, const QString& one, const QString& many) {
    return (n == 1 ? one : many).arg(n);
}

// "n noun", the noun in the form n takes.
inline QString counted(qint64 n, const QString& one, const QString& many) {
    return QString::number(n) + QLatin1Char(' ') + (n == 1 ? one : many);
}

}  // namespace quorvel
