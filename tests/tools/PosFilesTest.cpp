// The POS files the generator writes: charge lines sliced back by their
// columns, discount lines, and closing files read back as the program reads them.
#include "hotel/HotelGenerator.h"
#include "hotel/PosFiles.h"
#include "platform/Error.h"
#include "platform/NumberText.h"
#include "platform/TextFile.h"
#include "support/TempDir.h"
#include "tools/QtPrinters.h"

namespace quorvel {
namespace {

using namespace hotel;

// Columns counted from 1, as the POS documents them.
QString columns(const QString& line, int from, int to) {
    return line.mid(from - 1, to - from + 1);
}

class PosFilesTest : public test::TempDirTest {};

TEST(ChargeLineTest, EveryFieldLandsInItsColumns) {
    ChargeLine c;
    c.posRoom = QStringLiteral("101");
    c.day = QStringLiteral("250131");
    c.description = QStringLiteral("PIZZA MARGHERITA");  // 16 characters: cut to 15
    c.quantity = 3;
    c.amountCents = 1500;
    const QString line = formatChargeLine(c);
    EXPECT_EQ(line.size(), 117);
    EXPECT_EQ(columns(line, 2, 4), QStringLiteral("101"));
    EXPECT_EQ(columns(line, 6, 11), QStringLiteral("250131"));
    EXPECT_EQ(columns(line, 28, 42), QStringLiteral("PIZZA MARGHERIT"));
    EXPECT_EQ(columns(line, 49, 51), QStringLiteral("  3"));
    EXPECT_EQ(columns(line, 57, 62), QStringLiteral("001500"));
    EXPECT_EQ(columns(line, 108, 115), QStringLiteral("        "));  // no unit price
    EXPECT_EQ(numericValue(columns(line, 108, 115)), 0.0);

    c.posRoom = QStringLiteral(" 7");
    c.description = QStringLiteral("Sconto");
    c.quantity = 1;
    c.amountCents = -200;
    c.unitCents = 1250;
    const QString discount = formatChargeLine(c);
    EXPECT_EQ(columns(discount, 2, 4), QStringLiteral(" 7 "));
    EXPECT_EQ(columns(discount, 28, 42).trimmed(), QStringLiteral("Sconto"));
    EXPECT_EQ(columns(discount, 57, 62), QStringLiteral("-00200"));
    // The program reads the amount as money and divides it by 100.
    EXPECT_EQ(Currency::parse(columns(discount, 57, 62), QLocale::c())->dividedBy(100),
              Currency::fromCents(-200));
    EXPECT_EQ(columns(discount, 108, 115), QStringLiteral("00001250"));
    // The filler never touches the read columns' neighbours in a way that joins them.
    EXPECT_EQ(discount.at(4), QLatin1Char(' '));
    EXPECT_EQ(discount.at(55), QLatin1Char(' '));

    // Numbers that do not fit their columns are refused, not cut.
    c.amountCents = 1000000;
    EXPECT_THROW(formatChargeLine(c), Error);
    c.amountCents = -100000;
    EXPECT_THROW(formatChargeLine(c), Error);
    c.amountCents = 100;
    c.quantity = 1000;
    EXPECT_THROW(formatChargeLine(c), Error);
}

TEST_F(PosFilesTest, ChargesFileUsesTheHotelsRoomsAndFoldsDiscountsAfterCharges) {
    HotelSpec hs;
    hs.seed = 5;
    const HotelSummary hotel = generateHotel(path(QStringLiteral("h")), hs);
    PosChargesSpec spec;
    spec.lines = 400;
    spec.seed = 9;
    spec.hotelDir = path(QStringLiteral("h"));
    const PosChargesSummary s = writePosCharges(path(QStringLiteral("Estrazione.mdb")), spec);
    EXPECT_EQ(s.lines, 400);
    EXPECT_EQ(s.charges + s.discounts, 400);
    EXPECT_EQ(s.inHouse + s.external + s.unknown, s.charges);
    EXPECT_GT(s.inHouse, 0);
    EXPECT_GT(s.external, 0);
    EXPECT_GT(s.unknown, 0);
    EXPECT_GT(s.discounts, 0);

    const QByteArray bytes = readBytes(QStringLiteral("Estrazione.mdb"));
    EXPECT_EQ(bytes.count("\r\n"), 400);
    EXPECT_EQ(bytes.count('\n'), 400);
    EXPECT_EQ(bytes.count('\x80'), 400);  // the euro sign of each line, in Windows-1252
    const QStringList lines = readTextLines(path(QStringLiteral("Estrazione.mdb")));
    ASSERT_EQ(lines.size(), 400);

    QStringList posCodes;
    for (const QString& room : hotel.data.inHouseRooms()) posCodes.append(hotel.data.posCode(room));
    qint64 total = 0;
    bool mappedRoomCharged = false;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString& line = lines.at(i);
        ASSERT_GE(line.size(), 115);
        const QString room = columns(line, 2, 4);
        const QString description = columns(line, 28, 42).trimmed();
        const auto amount = Currency::parse(columns(line, 57, 62), QLocale::c());
        ASSERT_TRUE(amount.has_value()) << line.toStdString();
        total += amount->raw() / Currency::Scale;
        EXPECT_EQ(QStringLiteral("20") + columns(line, 6, 11), QStringLiteral("20250307"));
        if (description == QLatin1String("Sconto")) {
            // A discount follows a charge of the same room and takes off at most its amount.
            ASSERT_GT(i, 0);
            const QString& charge = lines.at(i - 1);
            EXPECT_NE(columns(charge, 28, 42).trimmed(), QStringLiteral("Sconto"));
            EXPECT_EQ(columns(charge, 2, 4), room);
            EXPECT_LT(*amount, Currency());
            EXPECT_LE(-amount->raw(),
                      Currency::parse(columns(charge, 57, 62), QLocale::c())->raw());
            continue;
        }
        const double quantity = numericValue(columns(line, 49, 51));
        EXPECT_GE(quantity, 1);
        const double unit = numericValue(columns(line, 108, 115));
        if (unit != 0) {
            EXPECT_EQ(Currency::fromUnits(static_cast<qint64>(unit * quantity)), *amount);
        }
        const bool known = posCodes.contains(room) || hotel.data.externalNumbers().contains(room);
        EXPECT_TRUE(known || !hotel.data.inHouseGuest(room)) << room.toStdString();
        mappedRoomCharged |= room.startsWith(QLatin1Char('A'));
    }
    EXPECT_EQ(total, s.totalCents);
    // Rooms the POS knows by its own code are charged under that code.
    bool mappedRoomLet = false;
    for (const RoomCodeMapping& m : hotel.data.roomMap)
        mappedRoomLet |= hotel.data.inHouseGuest(m.room) != nullptr;
    EXPECT_EQ(mappedRoomCharged, mappedRoomLet);

    // Same seed, same bytes.
    writePosCharges(path(QStringLiteral("again.txt")), spec);
    EXPECT_EQ(readBytes(QStringLiteral("again.txt")), bytes);
}

TEST_F(PosFilesTest, ClosingFileReadsBackThroughTheMachinesNumberFormat) {
    for (const QLocale& locale : {QLocale::c(), QLocale(QLocale::Italian, QLocale::Italy),
                                  QLocale(QLocale::German, QLocale::Switzerland)}) {
        SCOPED_TRACE(locale.name().toStdString());
        PosClosingSpec spec;
        spec.receipts = 60;
        spec.locale = locale;
        const PosClosingSummary s = writePosClosing(path(QStringLiteral("Documento.txt")), spec);
        ASSERT_EQ(s.amounts.size(), 60u);
        const QStringList lines = readTextLines(path(QStringLiteral("Documento.txt")));
        EXPECT_TRUE(readBytes(QStringLiteral("Documento.txt")).endsWith("\r\n"));
        // Read as the importer does: a label line, then the next line's last 14 characters.
        std::vector<Currency> read;
        Currency total;
        for (qsizetype i = 0; i < lines.size(); ++i) {
            if (lines.at(i).left(12) != QLatin1String("  Scontrino:"))
                continue;
            ASSERT_LT(i + 1, lines.size());
            const auto amount = Currency::parse(lines.at(i + 1).right(14), locale);
            ASSERT_TRUE(amount.has_value()) << lines.at(i + 1).toStdString();
            read.push_back(*amount);
            total += *amount;
            ++i;
        }
        EXPECT_EQ(read, s.amounts);
        EXPECT_EQ(total, s.total);
        // Filler that resembles a label does not count as one.
        EXPECT_TRUE(lines.filter(QStringLiteral("Scontrini emessi")).size() == 1);
    }
    // A file with no receipts has no label line.
    const QStringList none = closingLines(PosClosingSpec{.receipts = 0});
    EXPECT_TRUE(none.filter(QStringLiteral("  Scontrino:")).isEmpty());
}

}  // namespace
}  // namespace quorvel
