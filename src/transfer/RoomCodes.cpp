// The room-code position file and the room-code map in both directions.
#include "transfer/RoomCodes.h"

#include "platform/Error.h"
#include "platform/Log.h"
#include "platform/NumberText.h"
#include "platform/Plural.h"
#include "platform/TextFile.h"
#include "transfer/ChargeLine.h"

#include <QFileInfo>
#include <QHash>
#include <mutex>
#include <optional>

namespace quorvel {

namespace {

// The lines of an optional side file; nullopt when there is no file of that
// name. Anything else of that name is checked before it is opened: opening
// a FIFO would block the tick until some writer came.
std::optional<QStringList> readSideFile(const QString& fileName, const QString& what) {
    try {
        return readSideFileLines(fileName);
    } catch (const Error& e) {
        throw Error(fileName, QStringLiteral("%1 non leggibile (%2)").arg(what, e.cause()));
    }
}

}  // namespace

namespace {

// The unusable position files reported, by name: the intake and the transfer
// read the file at every tick, and one content is told once, its end too.
struct Unusable {
    QStringList lines;
    int readings = 0;
};
std::mutex unusableMutex;
QHash<QString, Unusable> unusableFiles;

}  // namespace

RoomCodePosition readRoomCodePosition(const QString& fileName) {
    const auto lines =
        readSideFile(fileName, QStringLiteral("file della posizione del codice camera"));
    const auto usable = [&](RoomCodePosition position) {
        const std::lock_guard lock(unusableMutex);
        if (const auto it = unusableFiles.constFind(fileName); it != unusableFiles.cend()) {
            log::info(plural(it->readings,
                             QStringLiteral("%2 di nuovo utilizzabile dopo %1 lettura ignorata"),
                             QStringLiteral("%2 di nuovo utilizzabile dopo %1 letture ignorate"))
                          .arg(fileName));
            unusableFiles.erase(it);
        }
        return position;
    };
    if (!lines)
        return usable({});
    auto bad = [&](const QString& why) {
        const std::lock_guard lock(unusableMutex);
        Unusable& u = unusableFiles[fileName];
        if (u.readings == 0 || u.lines != *lines) {
            log::error(QStringLiteral("%1 ignorato (%2): codice camera in colonna 2, lunghezza 3")
                           .arg(fileName, why));
            u = {*lines, 0};
        }
        ++u.readings;
        return RoomCodePosition{};
    };
    if (lines->size() < 2)
        return bad(QStringLiteral("servono due righe"));
    const auto start = roundToInt32(numericValue((*lines)[0]));
    const auto length = roundToInt16(numericValue((*lines)[1]));
    if (!start || *start < 1)
        return bad(QStringLiteral("colonna iniziale non valida"));
    if (!length || *length < 0)
        return bad(QStringLiteral("lunghezza non valida"));
    return usable({*start, *length});
}

RoomMap::RoomMap(const QStringList& lines) {
    int number = 0;
    for (const QString& line : lines) {
        ++number;
        const qsizetype comma = line.indexOf(QLatin1Char(','));
        if (comma < 0) {
            if (!charge::trimBlanks(line).isEmpty())
                m_skipped << number;
            continue;
        }
        const QString pos = charge::trimBlanks(line.left(comma));
        const QString room = line.mid(comma + 1);
        m_toHotel.insert(pos, room);  // a later line replaces an earlier one
        m_toPos.insert(room, pos);
    }
}

RoomMap RoomMap::read(const QString& fileName) {
    const auto lines = readSideFile(fileName, QStringLiteral("file delle camere"));
    if (!lines)
        return {};
    RoomMap map(*lines);
    if (!map.m_skipped.isEmpty()) {
        QStringList numbers;
        for (int n : std::as_const(map.m_skipped)) numbers << QString::number(n);
        log::error(QStringLiteral("%1: righe senza virgola ignorate (%2)")
                       .arg(fileName, numbers.join(QStringLiteral(", "))));
    }
    return map;
}

QString RoomMap::hotelRoom(const QString& code) const {
    return m_toHotel.value(code, code);
}

QString RoomMap::posCode(const QString& room) const {
    return m_toPos.value(room, room);
}

QString CameraHotel(const QString& code) {
    return RoomMap::read().hotelRoom(code);
}

QString CameraPos(const QString& room) {
    return RoomMap::read().posCode(room);
}

}  // namespace quorvel
