// CameraPos: the POS room code of a hotel room, through the optional map
// file "QuorveloCamere.txt" (lines "POS code,hotel room").
#pragma once

#include <QString>
#include <QStringList>

namespace quorvel {

// The POS code of a hotel room number: the text before the first comma,
// trimmed, of the last map line whose text after the first comma equals room
// exactly (letter case and blanks significant); room itself when the map
// file is missing or no line matches. Lines without a comma are skipped; an
// unreadable map file counts as missing (and is logged).
QString CameraPos(const QString& room);

// The same look-up over the lines of a map file already read.
QString cameraPosIn(const QStringList& mapLines, const QString& room);

}  // namespace quorvel
