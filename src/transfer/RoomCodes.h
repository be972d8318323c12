// Where the POS room code stands in a charge line ("QuorvelCamSetup.txt") and
// how it becomes a hotel room number ("QuorveloCamere.txt", `CameraHotel`).
// Both files are optional and live in the working folder.
#pragma once

#include <QHash>
#include <QString>
#include <filesystem>

namespace quorvel {

inline constexpr char CamSetupFile[] = "QuorvelCamSetup.txt";
inline constexpr char RoomMapFile[] = "QuorveloCamere.txt";

struct RoomCodePosition {
    int start = 2;   // 1-based column
    int length = 3;  // characters
};

// Line 1: start column, line 2: length, each the numeric value of its line
// rounded to a whole number. A missing file gives the default; a bad one
// (fewer than two lines, start below 1, length below 0 or beyond 16 bits,
// unreadable) is logged and treated as missing.
RoomCodePosition readRoomCodePosition(const QString& fileName = QString::fromLatin1(CamSetupFile));

// The hotel room number for a POS room code: the text after the first comma
// of the last map line whose key (the text before the first comma, blanks
// trimmed) equals code exactly; code itself when the file is missing or has
// no such line. Reads the file at every call.
QString CameraHotel(const QString& code);

// The map file held between look-ups and read again whenever its size or
// time stamp changes, so an edit takes effect at the next charge line
// without reading the file for every line. Lines without a comma are
// skipped and logged.
class RoomMap {
public:
    explicit RoomMap(QString fileName = QString::fromLatin1(RoomMapFile));
    QString hotelRoom(const QString& code);

private:
    void reloadIfChanged();

    QString m_fileName;
    bool m_loaded = false;
    bool m_present = false;
    std::uintmax_t m_size = 0;
    std::filesystem::file_time_type m_modified;
    QHash<QString, QString> m_rooms;
};

}  // namespace quorvel
