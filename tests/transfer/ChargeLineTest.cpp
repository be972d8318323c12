// Column slicing and number conversions of POS charge lines, and the two
// room-code side files.
#include "PosLine.h"
#include "support/TempDir.h"
#include "transfer/ChargeLine.h"
#include "transfer/RoomCodes.h"

#include <gtest/gtest.h>
#include <QFile>

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

TEST(ChargeLine, AmountFollowsTheUserLocale) {
    PosLine p;
    p.amount = QStringLiteral("12,50");
    EXPECT_EQ(charge::amount(p.text(), QLocale(QLocale::Italian, QLocale::Italy)),
              Currency::fromRaw(1250));  // 12.50 cents
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
    // Bad files read as missing.
    for (const char* bad :
         {"1\r\n", "0\r\n3\r\n", "2\r\n-1\r\n", "x\r\n3\r\n", "2\r\n40000\r\n", ""}) {
        write(CamSetupFile, bad);
        pos = readRoomCodePosition();
        EXPECT_EQ(pos.start, 2) << bad;
        EXPECT_EQ(pos.length, 3) << bad;
    }
}

TEST_F(RoomCodesTest, MapFileLookups) {
    EXPECT_EQ(CameraHotel(QStringLiteral("12")), QStringLiteral("12"));
    write(RoomMapFile, "12,101\r\n 7 ,B 2 \r\nno comma here\r\n\r\na1,201\r\n12,102\r\nx,y,z\r\n");
    RoomMap map;
    for (auto lookup : {+[](RoomMap&, const QString&c) { return CameraHotel(c); },
                        +[](RoomMap&m, const QString&c) { return m.hotelRoom(c); }}) {
        EXPECT_EQ(lookup(map, QStringLiteral("12")), QStringLiteral("102"));  // last line wins
        EXPECT_EQ(lookup(map, QStringLiteral(" 12")), QStringLiteral(" 12"));
        EXPECT_EQ(lookup(map, QStringLiteral("7")), QStringLiteral("B 2 "));
        EXPECT_EQ(lookup(map, QStringLiteral("A1")), QStringLiteral("A1"));  // case counts
        EXPECT_EQ(lookup(map, QStringLiteral("x")), QStringLiteral("y,z"));
    }
    // An edit takes effect at the next look-up.
    write(RoomMapFile, "12,999\r\n");
    EXPECT_EQ(map.hotelRoom(QStringLiteral("12")), QStringLiteral("999"));
    QFile::remove(path(QString::fromLatin1(RoomMapFile)));
    EXPECT_EQ(map.hotelRoom(QStringLiteral("12")), QStringLiteral("12"));
}

}  // namespace
}  // namespace quorvel
