// Windows-1252 text files, read and written byte-exact. Every byte value maps
// to one character and back (the five bytes that the code page leaves
// undefined map to the C1 control characters of the same number), so a read
// followed by a write reproduces the file.
#pragma once

#include "platform/Error.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

class QFile;

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
    // The length of each line as written, where a line was kept cut
    // (PosLineReader); empty when every line is whole.
    QList<qint64> lengths = {};
    qint64 length(qsizetype i) const { return i < lengths.size() ? lengths[i] : lines[i].size(); }
};

// Reads the lines of a POS file from byte `from` up to byte `to`, never
// holding more than one block and one (cut) line: a 2 GB file costs what a
// small one does. Lines end at CR LF, CR or LF, as splitPosLines; a line
// longer than `keep` characters is kept cut to `keep`, with its length as
// written. When `from` falls between the CR and the LF of one line end, the
// LF is skipped. Throws Error naming the file when it cannot be opened or
// read.
class PosLineReader {
public:
    PosLineReader(const QString& path, qint64 from, qint64 to, bool utf8, qsizetype keep);
    ~PosLineReader();
    PosLineReader(const PosLineReader&) = delete;
    PosLineReader& operator=(const PosLineReader&) = delete;

    // The next line and its length; false at `to`.
    bool next(QString& line, qint64& length);
    // True when `from` fell inside a line (the bytes before it had no end).
    bool startsMidLine() const { return m_midLine; }
    // The file offset just past what next() has read (the line and its end).
    qint64 offset() const { return m_blockStart + m_pos; }
    // False when the line next() returned ran up to `to` without a line end.
    bool lineEnded() const { return m_ended; }

private:
    bool fill();
    // Index in the block of the first CR or LF at or after m_pos, or the
    // block's size; found with memchr, each byte looked at once per block.
    qsizetype lineEnd();

    QString m_path;
    std::unique_ptr<QFile> m_file;
    qint64 m_left;  // bytes still to read before `to`
    bool m_utf8;
    qsizetype m_keep;
    QByteArray m_block;
    qint64 m_blockStart = 0;  // file offset of m_block[0]
    qsizetype m_pos = 0;
    qsizetype m_nextCr = -1, m_nextLf = -1;  // found in m_block; -1: to be searched
    bool m_skipLf = false;
    bool m_midLine = false;
    bool m_ended = true;
};

// looksLikeUtf8 over bytes `from` to `to` of a file, read a block at a time.
// Throws as PosLineReader.
bool fileLooksLikeUtf8(const QString& path, qint64 from, qint64 to);

// Reads a POS file: split by splitPosLines, decoded as Windows-1252, or as
// UTF-8 when looksLikeUtf8. Throws as readTextLines.
PosText readPosFile(const QString& path);

// The one reader of the program's side files (settings, room maps, the
// POS's folder, separator, font, mail and server settings, password files).
// nullopt when nothing has that name. Throws Error naming the file when it
// is not a regular file (a FIFO or device is never opened, so never waited
// on), holds more than maxBytes, or cannot be read. A UTF-8 byte-order mark
// at its start is skipped, so it never sticks to the first value.
constexpr qint64 SideFileLimit = 1024 * 1024;
std::optional<QByteArray> readSideFileBytes(const QString& path, qint64 maxBytes = SideFileLimit);
// The same as Windows-1252 lines (splitLines).
std::optional<QStringList> readSideFileLines(const QString& path, qint64 maxBytes = SideFileLimit);

// One line of a "chiave = valore" settings file (UTF-8; blank lines and
// lines starting with # are skipped): the key lower-cased, both trimmed.
struct KeyValueLine {
    qsizetype number = 0;  // 1-based, for messages
    QString key;
    QString value;
};
// nullopt when nothing has that name. Throws as readSideFileBytes, and Error
// naming the line when one has no "=".
std::optional<QList<KeyValueLine>> readKeyValueFile(const QString& path);
// The error for a value of that line: "riga N: why", naming the file.
Error keyValueError(const QString& path, const KeyValueLine& line, const QString& why);

// First line of the file, or an empty text for an empty file. Throws as above.
QString readFirstLine(const QString& path);

// Writes each line followed by CR LF, replacing the file. Throws Error naming
// the file when it cannot be created or written.
void writeTextLines(const QString& path, const QStringList& lines);

// Writes the lines to a temporary file beside path, then renames it over
// path, so that a reader never sees a half-written file.
void writeTextLinesAtomic(const QString& path, const QStringList& lines);

}  // namespace quorvel
