// Texts put between apostrophes in a Jet criterion, with every apostrophe
// doubled so that a room "1'A" or a description "D'ANGELO" neither breaks
// the criterion nor changes its meaning.
#pragma once

#include <QString>

namespace quorvel {

inline QString quoted(const QString& text) {
    QString out = text;
    out.replace(QLatin1Char('\''), QStringLiteral("''"));
    return QLatin1Char('\'') + out + QLatin1Char('\'');
}

}  // namespace quorvel
