// Column slicing and number conversions of POS charge lines, and the two
// room-code side files.
#include "PosLine.h"
#include "support/TempDir.h"
#include "transfer/ChargeLine.h"
#include "transfer/RoomCodes.h"

#include "platform/Error.h"
#include "platform/Log.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace quorvel {
namespace {

using test::PosLine;

TEST(ChargeLine, ReadsEachColumn) {
    PosLine p;
    p.room = QStringLiteral("1'A");
    p.day = QStringLiteral("250131");
    p.description = QStringLiteral(" D'ANGELO ");
    p.quantity = QStringLiteral("  3");
    p.amount = QStringLiteral("-00200");
    const QString line = p.text();
    EXPECT_EQ(charge::columns(line, 2, 3), QStringLiteral("1'A"));
    EXPECT_EQ(charge::chargeDay(line), QStringLiteral("20250131"));
    EXPECT_EQ(charge::description(line), QStringLiteral("D'ANGELO"));
    EXPECT_EQ(charge::quantity(line), 3.0);
    EXPECT_EQ(charge::amount(line), Currency::fromCents(-200));
    EXPECT_EQ(charge::columns(QStringLiteral("abc"), 2, 5), QStringLiteral("bc"));
    EXPECT_EQ(charge::columns(QStringLiteral("abc"), 4, 5), QString());
}

TEST(ChargeLine, DiscountIsExactlySconto) {
    PosLine p;
    for (const char* d : {"Sconto", "  Sconto  "}) {
        p.description = QString::fromLatin1(d);
        EXPECT_TRUE(charge::isDiscount(p.text())) << d;
    }
    for (const char* d : {"SCONTO", "Sconto 10%", "Sconti", ""}) {
        p.description = QString::fromLatin1(d);
        EXPECT_FALSE(charge::isDiscount(p.text())) << d;
    }
}

TEST(ChargeLine, UnitPriceFromColumnsOrAmountOverQuantity) {
    PosLine p;
    p.unitPrice = QStringLiteral("00001250");
    EXPECT_EQ(charge::unitPrice(p.text()), 12.5);
    p.unitPrice = QString();
    p.amount = QStringLiteral("001500");
    p.quantity = QStringLiteral("  3");
    EXPECT_EQ(charge::unitPrice(p.text()), 5.0);
    p.unitPrice = QStringLiteral("00000000");
    EXPECT_EQ(charge::unitPrice(p.text()), 5.0);
}

TEST(ChargeLine, LimitsBrokenGiveNoValue) {
    PosLine p;
    EXPECT_FALSE(charge::amount(p.text().left(56)));
    EXPECT_FALSE(charge::amount(QString()));
    p.amount = QStringLiteral("12x456");
    EXPECT_FALSE(charge::amount(p.text()));
    p.amount = QStringLiteral("      ");
    EXPECT_FALSE(charge::amount(p.text()));
    p.amount = QStringLiteral("001500");
    p.quantity = QStringLiteral("  0");
    EXPECT_FALSE(charge::unitPrice(p.text()));
    p.quantity = QStringLiteral("  2");
    p.unitPrice = QStringLiteral("12x");  // a number to start with, not a currency value
    EXPECT_FALSE(charge::unitPrice(p.text()));
}

TEST(ChargeLine, AmountInItalianNotation) {
    PosLine p;
    p.amount = QStringLiteral("12,50");
    EXPECT_EQ(charge::amount(p.text()), Currency::fromRaw(1250));  // 12.50 cents
}

class RoomCodesTest : public test::TempDirTest {
protected:
    void write(const char* name, const char* content) {
        writeBytes(QString::fromLatin1(name), content);
    }
};

TEST_F(RoomCodesTest, PositionFile) {
    auto pos = readRoomCodePosition();
    EXPECT_EQ(pos.start, 2);
    EXPECT_EQ(pos.length, 3);
    write(CamSetupFile, " 1 \r\n 4 \r\n");
    pos = readRoomCodePosition();
    EXPECT_EQ(pos.start, 1);
    EXPECT_EQ(pos.length, 4);
    write(CamSetupFile, "2.6\r\n4.5\r\n");  // rounded, half to even
    pos = readRoomCodePosition();
    EXPECT_EQ(pos.start, 3);
    EXPECT_EQ(pos.length, 4);
    // Unusable content reads as missing.
    for (const char* bad :
         {"1\r\n", "0\r\n3\r\n", "2\r\n-1\r\n", "x\r\n3\r\n", "2\r\n40000\r\n", ""}) {
        write(CamSetupFile, bad);
        pos = readRoomCodePosition();
        EXPECT_EQ(pos.start, 2) << bad;
        EXPECT_EQ(pos.length, 3) << bad;
    }
    // Read at every tick by the intake and the transfer: told once while the
    // content stays the same, and when it is usable again.
    log::open(path(QStringLiteral("test.log")));
    write(CamSetupFile, "7\r\n");
    for (int i = 0; i < 3; ++i) readRoomCodePosition();
    write(CamSetupFile, "2\r\n3\r\n");
    readRoomCodePosition();
    log::close();
    const QString logged = QString::fromUtf8(readBytes(QStringLiteral("test.log")));
    EXPECT_EQ(logged.count(QStringLiteral("servono due righe")), 1) << logged.toStdString();
    EXPECT_TRUE(logged.contains(QStringLiteral("utilizzabile dopo 3 letture ignorate")));
}

TEST_F(RoomCodesTest, MapFileLookups) {
    EXPECT_EQ(CameraHotel(QStringLiteral("12")), QStringLiteral("12"));
    write(RoomMapFile, "12,101\r\n 7 ,B 2 \r\nno comma here\r\n\r\na1,201\r\n12,102\r\nx,y,z\r\n");
    const RoomMap map = RoomMap::read();
    EXPECT_EQ(map.skippedLines(), QList<int>{3});
    for (auto lookup : {+[](const RoomMap&, const QString&c) { return CameraHotel(c); },
                        +[](const RoomMap&m, const QString&c) { return m.hotelRoom(c); }}) {
        EXPECT_EQ(lookup(map, QStringLiteral("12")), QStringLiteral("102"));  // last line wins
        EXPECT_EQ(lookup(map, QStringLiteral(" 12")), QStringLiteral(" 12"));
        EXPECT_EQ(lookup(map, QStringLiteral("7")), QStringLiteral("B 2 "));
        EXPECT_EQ(lookup(map, QStringLiteral("A1")), QStringLiteral("A1"));  // case counts
        EXPECT_EQ(lookup(map, QStringLiteral("x")), QStringLiteral("y,z"));
    }
    // The free look-up reads the file at every call.
    write(RoomMapFile, "12,999\r\n");
    EXPECT_EQ(CameraHotel(QStringLiteral("12")), QStringLiteral("999"));
    QFile::remove(path(QString::fromLatin1(RoomMapFile)));
    EXPECT_EQ(CameraHotel(QStringLiteral("12")), QStringLiteral("12"));
}

TEST_F(RoomCodesTest, MapFileTheOtherWay) {
    EXPECT_EQ(CameraPos(QStringLiteral("101")), QStringLiteral("101"));  // no map file
    write(RoomMapFile, "1A,101\r\n");
    EXPECT_EQ(CameraPos(QStringLiteral("101")), QStringLiteral("1A"));
    EXPECT_EQ(CameraPos(QStringLiteral("102")), QStringLiteral("102"));
    // A blank after the comma is part of the hotel room: "1A, 101" maps " 101".
    write(RoomMapFile, "1A, 101\r\n");
    EXPECT_EQ(CameraPos(QStringLiteral("101")), QStringLiteral("101"));
    EXPECT_EQ(CameraPos(QStringLiteral(" 101")), QStringLiteral("1A"));
    // Blanks around the POS code go; the later of two lines wins; letter case
    // of the room counts; lines without a comma and empty lines are skipped.
    write(RoomMapFile, "  1A  ,101\r\nrotta\r\n\r\n2B,101\r\nX,10a\r\nY,1,2\r\n");
    EXPECT_EQ(CameraPos(QStringLiteral("101")), QStringLiteral("2B"));
    EXPECT_EQ(CameraPos(QStringLiteral("10A")), QStringLiteral("10A"));
    EXPECT_EQ(CameraPos(QStringLiteral("10a")), QStringLiteral("X"));
    EXPECT_EQ(CameraPos(QStringLiteral("1,2")), QStringLiteral("Y"));
    // A byte-order mark (a map saved by a Windows editor) is no part of the code.
    write(RoomMapFile,
          "\xEF\xBB\xBF"
          "206,101\r\n");
    EXPECT_EQ(CameraHotel(QStringLiteral("206")), QStringLiteral("101"));
    // Only blanks are trimmed: a tab stays.
    EXPECT_EQ(RoomMap({QStringLiteral("\t1A ,7")}).posCode(QStringLiteral("7")),
              QStringLiteral("\t1A"));
}

// A side file that exists but cannot be read is an error in every look-up,
// never a missing file; and a FIFO of that name does not block.
TEST_F(RoomCodesTest, UnreadableSideFilesThrow) {
    auto expectUnreadable = [&](const char* name) {
        if (QString::fromLatin1(name) == QLatin1String(CamSetupFile)) {
            EXPECT_THROW(readRoomCodePosition(), Error) << name;
        } else {
            EXPECT_THROW(RoomMap::read(), Error);
            EXPECT_THROW(CameraHotel(QStringLiteral("12")), Error);
            EXPECT_THROW(CameraPos(QStringLiteral("101")), Error);
        }
    };
    for (const char* name : {CamSetupFile, RoomMapFile}) {
        const QString file = QString::fromLatin1(name);
        ASSERT_TRUE(QDir(dir()).mkdir(file));
        expectUnreadable(name);
        ASSERT_TRUE(QDir(dir()).rmdir(file));
#ifdef Q_OS_UNIX
        ASSERT_EQ(::mkfifo(path(file).toLocal8Bit().constData(), 0600), 0);
        expectUnreadable(name);
        ASSERT_TRUE(QFile::remove(path(file)));
#endif
        // No read permission (has no effect for the superuser).
        write(name, "12,101\r\n");
        QFile::setPermissions(path(file), QFileDevice::WriteOwner);
        if (QFile probe(path(file)); !probe.open(QIODevice::ReadOnly))
            expectUnreadable(name);
        QFile::setPermissions(path(file), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }
}

}  // namespace
}  // namespace quorvel
