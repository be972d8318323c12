// The room-code position file and the POS-to-hotel room map.
#include "transfer/RoomCodes.h"

#include "platform/Error.h"
#include "platform/Log.h"
#include "platform/NumberText.h"
#include "platform/TextFile.h"
#include "transfer/ChargeLine.h"

#include <QFileInfo>

namespace quorvel {

RoomCodePosition readRoomCodePosition(const QString& fileName) {
    if (!QFileInfo::exists(fileName))
        return {};
    auto bad = [&](const QString& why) {
        log::error(QStringLiteral("%1 ignorato (%2): codice camera in colonna 2, lunghezza 3")
                       .arg(fileName, why));
        return RoomCodePosition{};
    };
    QStringList lines;
    try {
        lines = readTextLines(fileName);
    } catch (const Error& e) {
        return bad(e.message());
    }
    if (lines.size() < 2)
        return bad(QStringLiteral("servono due righe"));
    const auto start = roundToInt32(numericValue(lines[0]));
    const auto length = roundToInt16(numericValue(lines[1]));
    if (!start || *start < 1)
        return bad(QStringLiteral("colonna iniziale non valida"));
    if (!length || *length < 0)
        return bad(QStringLiteral("lunghezza non valida"));
    return {*start, *length};
}

namespace {

// Splits a map line at its first comma; false when it has none.
bool splitMapLine(const QString& line, QString& key, QString& room) {
    const qsizetype comma = line.indexOf(QLatin1Char(','));
    if (comma < 0)
        return false;
    key = charge::trimBlanks(line.left(comma));
    room = line.mid(comma + 1);
    return true;
}

}  // namespace

QString CameraHotel(const QString& code) {
    QString result = code;
    const QString file = QString::fromLatin1(RoomMapFile);
    if (!QFileInfo::exists(file))
        return result;
    QString key, room;
    for (const QString& line : readTextLines(file)) {
        if (splitMapLine(line, key, room) && key == code)
            result = room;
    }
    return result;
}

RoomMap::RoomMap(QString fileName) : m_fileName(std::move(fileName)) {}

void RoomMap::reloadIfChanged() {
    // One stat per look-up (directory_entry reads size and time together).
    std::error_code ec;
    const std::filesystem::directory_entry entry(m_fileName.toStdU16String(), ec);
    const bool present = !ec && entry.is_regular_file(ec);
    const std::uintmax_t size = present ? entry.file_size(ec) : 0;
    const auto modified = present ? entry.last_write_time(ec) : std::filesystem::file_time_type();
    if (m_loaded && present == m_present && size == m_size && modified == m_modified)
        return;
    m_rooms.clear();
    m_loaded = true;
    m_present = present;
    m_size = size;
    m_modified = modified;
    if (!present)
        return;
    QString key, room;
    int lineNumber = 0;
    for (const QString& line : readTextLines(m_fileName)) {
        ++lineNumber;
        if (splitMapLine(line, key, room))
            m_rooms.insert(key, room);  // the last matching line wins
        else if (!line.trimmed().isEmpty())
            log::error(QStringLiteral("%1, riga %2 senza virgola ignorata: %3")
                           .arg(m_fileName)
                           .arg(lineNumber)
                           .arg(line));
    }
}

QString RoomMap::hotelRoom(const QString& code) {
    reloadIfChanged();
    const auto it = m_rooms.constFind(code);
    return it == m_rooms.constEnd() ? code : it.value();
}

}  // namespace quorvel
