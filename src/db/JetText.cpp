// Quoting and comparing texts as the engine's criteria do.
#include "db/JetText.h"

#include <sqlite3.h>
#include <QList>
#include <algorithm>

namespace quorvel::db {

QString jetQuoted(const QString& text) {
    QString out = text;
    out.replace(u'\'', QStringLiteral("''"));
    return u'\'' + out + u'\'';
}

bool hasNonAscii(QStringView text) {
    return std::any_of(text.begin(), text.end(), [](QChar c) { return c.unicode() > 127; });
}

int compareNoCase(QStringView a, QStringView b) {
    // SQLite's own function over the UTF-8 it stores, as its collation runs it.
    const QByteArray x = a.toUtf8();
    const QByteArray y = b.toUtf8();
    const int r = sqlite3_strnicmp(x.constData(), y.constData(),
                                   static_cast<int>(std::min(x.size(), y.size())));
    if (r != 0)
        return r < 0 ? -1 : 1;
    return x.size() < y.size() ? -1 : (x.size() > y.size() ? 1 : 0);
}

int compareFolded(QStringView a, QStringView b) {
    const int c = a.compare(b, Qt::CaseInsensitive);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

bool criterionEquals(QStringView field, QStringView literal) {
    return (hasNonAscii(literal) ? compareFolded(field, literal) : compareNoCase(field, literal)) ==
           0;
}

QString foldedKey(QStringView text) {
    // Letter by letter, as compareFolded folds (no folding of one letter into two).
    QString key;
    key.reserve(text.size());
    for (const uint c : text.toUcs4())
        key.append(QStringView(QChar::fromUcs4(QChar::toCaseFolded(char32_t{c}))));
    return key;
}

}  // namespace quorvel::db
