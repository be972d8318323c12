// The room-code side files of the working folder, both optional:
// "QuorvelCamSetup.txt", where the POS room code stands in a charge line, and
// the map file "QuorveloCamere.txt" (lines "POS code,hotel room"), read in
// both directions: `CameraHotel` for the transfer, `CameraPos` for the guest
// export.
//
// A file that exists but cannot be read (permissions, a lock, a folder or a
// FIFO of that name) throws Error and is never taken for a missing one:
// mapping nothing would post charges to another guest's room and export
// guests under the wrong room code. Nothing is kept between readings.
#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

namespace quorvel {

inline constexpr char CamSetupFile[] = "QuorvelCamSetup.txt";
inline constexpr char RoomMapFile[] = "QuorveloCamere.txt";

struct RoomCodePosition {
    int start = 2;   // 1-based column
    int length = 3;  // characters
};

// Line 1: start column, line 2: length, each the numeric value of its line
// rounded to a whole number. A missing file gives the default, and so does
// one whose content is unusable (fewer than two lines, start below 1, length
// below 0 or beyond 16 bits), logged. Throws Error when the file exists but
// cannot be read.
RoomCodePosition readRoomCodePosition(const QString& fileName = QString::fromLatin1(CamSetupFile));

// One reading of the map file. A line's POS code is the text before its
// first comma, blanks trimmed; its hotel room everything after that comma,
// blanks kept. Both look-ups compare exactly (letter case and blanks count)
// and the last matching line wins. Lines without a comma are skipped.
class RoomMap {
public:
    RoomMap() = default;  // no map file: every code is itself
    explicit RoomMap(const QStringList& lines);

    // Reads the file; a missing file gives the empty map, lines without a
    // comma are logged. Throws Error when the file exists but cannot be read.
    static RoomMap read(const QString& fileName = QString::fromLatin1(RoomMapFile));

    // `CameraHotel`: the hotel room of a POS code, the code itself when no
    // line has it as its POS code (the code is not trimmed).
    QString hotelRoom(const QString& code) const;
    // `CameraPos`: the POS code of a hotel room, the room itself when no line
    // has it as its hotel room.
    QString posCode(const QString& room) const;
    // Whether the map has any line, and whether one has code as its POS code.
    bool isEmpty() const { return m_toHotel.isEmpty(); }
    bool maps(const QString& code) const { return m_toHotel.contains(code); }

    // 1-based numbers of the non-empty lines without a comma.
    const QList<int>& skippedLines() const { return m_skipped; }

private:
    QHash<QString, QString> m_toHotel;
    QHash<QString, QString> m_toPos;
    QList<int> m_skipped;
};

// The look-ups over the file as it is now (read at every call). Throw Error
// as RoomMap::read.
QString CameraHotel(const QString& code);
QString CameraPos(const QString& room);

}  // namespace quorvel
