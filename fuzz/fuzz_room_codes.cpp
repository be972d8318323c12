// Fuzz target: the room-code side files. The input holds, cut at NUL bytes,
// the position file "QuorvelCamSetup.txt", the map file "QuorveloCamere.txt"
// and a room code; both directions of the map are looked up, from the file
// and from lines already read, and must agree.
#include "FuzzSupport.h"

#include "polling/CameraPos.h"
#include "transfer/ChargeLine.h"
#include "transfer/RoomCodes.h"

using namespace quorvel;

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

    // A fresh map reads the file; it must give what CameraHotel gives.
    RoomMap map;
    for (const QString& c : {code, sliced}) {
        const QString room = CameraHotel(c);
        if (map.hotelRoom(c) != room)
            fuzz::fail("RoomMap and CameraHotel disagree", c);
        // Back to the POS: the file and the lines already read agree.
        const QString back = CameraPos(room);
        if (back != cameraPosIn(splitLines(decodeCp1252(p[1])), room))
            fuzz::fail("CameraPos and cameraPosIn disagree", room);
    }
    return 0;
}
