// Texts in the engine's criteria and SELECT texts: a value put between
// apostrophes, and the engine's own case-insensitive text comparison, for
// code that compares in memory what a criterion would compare.
//
// The engine compares a text field with a text literal without regard to
// the case of ASCII letters (SQLite's NOCASE, also the order of Order by);
// when the literal holds a character beyond ASCII, without regard to the
// case of any letter (the JETNOCASE collation, registered on every
// workspace).
#pragma once

#include <QString>
#include <QStringView>

namespace quorvel::db {

// text between apostrophes, every apostrophe doubled, so that a room
// "1'A" or a name "D'ANGELO" neither ends the literal nor changes the
// criterion's meaning.
QString jetQuoted(const QString& text);

// True when text holds a character beyond ASCII: such a literal is
// compared with compareFolded, any other with compareNoCase.
bool hasNonAscii(QStringView text);

// SQLite's NOCASE: ASCII letters without regard to case, every other
// character by its code. The order of a text field's Order by.
int compareNoCase(QStringView a, QStringView b);

// JETNOCASE: every letter without regard to case.
int compareFolded(QStringView a, QStringView b);

// Whether the criterion "field = 'literal'" holds for the field's text.
bool criterionEquals(QStringView field, QStringView literal);

// Every letter folded: texts that criterionEquals finds equal share their
// key (the reverse does not always hold), so a hash on it holds the
// candidates that criterionEquals then decides.
QString foldedKey(QStringView text);

}  // namespace quorvel::db
