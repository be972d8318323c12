// Fuzz target: the room-code side files. The input holds, cut at NUL bytes,
// the position file "QuorvelCamSetup.txt", the map file "QuorveloCamere.txt"
// and a room code; both directions of the map are looked up and must agree
// with a plain walk over the file's lines, the last matching line winning.
#include "FuzzSupport.h"

#include "transfer/ChargeLine.h"
#include "transfer/RoomCodes.h"

using namespace quorvel;

namespace {

// The two look-ups as a walk over every line.
QString walkToHotel(const QStringList& lines, const QString& code) {
    QString result = code;
    for (const QString& l : lines) {
        const qsizetype comma = l.indexOf(QLatin1Char(','));
        if (comma >= 0 && charge::trimBlanks(l.left(comma)) == code)
            result = l.mid(comma + 1);
    }
    return result;
}

QString walkToPos(const QStringList& lines, const QString& room) {
    QString result = room;
    for (const QString& l : lines) {
        const qsizetype comma = l.indexOf(QLatin1Char(','));
        if (comma >= 0 && l.mid(comma + 1) == room)
            result = charge::trimBlanks(l.left(comma));
    }
    return result;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::enterWorkFolder();
    const auto p = fuzz::parts(data, size, 3);
    fuzz::putFile(QString::fromLatin1(CamSetupFile), p[0]);
    fuzz::putFile(QString::fromLatin1(RoomMapFile), p[1]);
    const QString code = decodeCp1252(p[2]);

    const RoomCodePosition pos = readRoomCodePosition();
    if (pos.start < 1 || pos.length < 0 || pos.length > 32767)
        fuzz::fail("room code position out of range");

    // The code as it would be cut from a charge line at that position.
    const QString sliced = charge::columns(code, pos.start, pos.length);

    const QStringList lines = splitLines(decodeCp1252(p[1]));
    const RoomMap map = RoomMap::read();
    for (const QString& c : {code, sliced}) {
        const QString room = map.hotelRoom(c);
        if (room != walkToHotel(lines, c) || room != CameraHotel(c))
            fuzz::fail("CameraHotel disagrees with the map's lines", c);
        const QString back = map.posCode(room);
        if (back != walkToPos(lines, room) || back != CameraPos(room))
            fuzz::fail("CameraPos disagrees with the map's lines", room);
    }
    return 0;
}
