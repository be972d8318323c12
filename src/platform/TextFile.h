// Windows-1252 text files, read and written byte-exact. Every byte value maps
// to one character and back (the five bytes that the code page leaves
// undefined map to the C1 control characters of the same number), so a read
// followed by a write reproduces the file.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace quorvel {

// Byte <-> text. encode() writes '?' for a character the code page lacks.
QString decodeCp1252(const QByteArray& bytes);
QByteArray encodeCp1252(const QString& text);
// True when every character of text has a byte in the code page.
bool isCp1252(const QString& text);

// Splits file content into lines the way the runtime's line input does: a
// line ends at CR or CR LF; a lone LF is part of the line; the last line needs
// no end, and a file ending with a line end has no empty last line.
QStringList splitLines(const QString& text);

// Reads the whole file as lines (above). Throws Error naming the file when it
// cannot be opened or read.
QStringList readTextLines(const QString& path);

// The POS's files (charges and closing file) come from other programs, some
// of which end lines with LF only: there a line ends at CR LF, CR or LF.
QStringList splitPosLines(const QString& text);

// True when bytes are valid UTF-8 holding at least one multi-byte sequence:
// such text is not plausible Windows-1252 (an Italian "è" is one byte E8 in
// Windows-1252, which is never valid UTF-8 before a blank or a letter, while
// its UTF-8 form C3 A8 would be read as "Ã¨"). Pure ASCII is not UTF-8 here.
bool looksLikeUtf8(const QByteArray& bytes);

struct PosText {
    QStringList lines;
    bool utf8 = false;  // the file was UTF-8 (looksLikeUtf8): lines decoded as UTF-8
};

// Reads a POS file: split by splitPosLines, decoded as Windows-1252, or as
// UTF-8 when looksLikeUtf8. Throws as readTextLines.
PosText readPosFile(const QString& path);

// First line of the file, or an empty text for an empty file. Throws as above.
QString readFirstLine(const QString& path);

// Writes each line followed by CR LF, replacing the file. Throws Error naming
// the file when it cannot be created or written.
void writeTextLines(const QString& path, const QStringList& lines);

// Writes the lines to a temporary file beside path, then renames it over
// path, so that a reader never sees a half-written file.
void writeTextLinesAtomic(const QString& path, const QStringList& lines);

}  // namespace quorvel
