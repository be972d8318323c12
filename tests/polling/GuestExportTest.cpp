// AggiornaCamera and AggiornaClienti against a small hotel: which rows land
// in the POS guest database, under which code, and the bytes of "Clienti.txt".
#include "PollingHotel.h"
#include "platform/Error.h"
#include "polling/GuestExport.h"
#include "support/RecordedConfirmations.h"

#include <QDir>
#include <QFile>

namespace quorvel::test {
namespace {

const QString kLong = QStringLiteral("Maria Vittoria Elisabetta Carolina Ferraris Dal Pozzo");

class GuestExportTest : public PollingHotel {
protected:
    void SetUp() override {
        PollingHotel::SetUp();
        // Room 101: two present first members (added out of order), one
        // further member, one who has left, one of hotel 2; one external.
        addCard(InHouse, {1, 20, QStringLiteral("101"), 1, QStringLiteral("N"),
                          QStringLiteral("Bianchi Anna"), QStringLiteral("20250305"),
                          QStringLiteral("20250310")});
        addCard(InHouse, {1, 10, QStringLiteral("101"), 1, QStringLiteral("N"), kLong,
                          QStringLiteral("20250301"), QStringLiteral("20250309")});
        addCard(InHouse,
                {1, 11, QStringLiteral("101"), 2, QStringLiteral("N"), QStringLiteral("Figlio")});
        addCard(InHouse,
                {1, 5, QStringLiteral("101"), 1, QStringLiteral("S"), QStringLiteral("Partito")});
        addCard(InHouse, {2, 6, QStringLiteral("101"), 1, QStringLiteral("N"),
                          QStringLiteral("Altro albergo")});
        addCard(External, {1, 3, QStringLiteral("101"), 1, QStringLiteral("N"),
                           QStringLiteral("Ditta Rossi"), QString(), QStringLiteral("20250331")});
    }

    GuestExport exporter{dialogs};
};

TEST_F(GuestExportTest, ArrivalListsInHouseThenExternalCards) {
    addGuestRow({QStringLiteral("101"), QStringLiteral("vecchia riga"), {}, {}});
    addGuestRow({QStringLiteral("102"), QStringLiteral("altra camera"), {}, {}});
    exporter.AggiornaCamera(QStringLiteral("101"), QStringLiteral("1"));
    const std::vector<GuestRow> expected{
        {QStringLiteral("102"), QStringLiteral("altra camera"), {}, {}},
        {QStringLiteral("101"), kLong.left(40), QStringLiteral("2025-03-01"),
         QStringLiteral("2025-03-09")},
        {QStringLiteral("101"), QStringLiteral("Bianchi Anna"), QStringLiteral("2025-03-05"),
         QStringLiteral("2025-03-10")},
        {QStringLiteral("101"), QStringLiteral("Ditta Rossi"), QStringLiteral("--"),
         QStringLiteral("2025-03-31")},
    };
    EXPECT_EQ(guestRows(), expected);
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(GuestExportTest, MapFileGivesPosCodeAndRoomCaption) {
    writeText(QStringLiteral("QuorveloCamere.txt"), {QStringLiteral("1A,101")});
    addGuestRow({QStringLiteral("1a"), QStringLiteral("vecchia"), {}, {}});
    exporter.AggiornaCamera(QStringLiteral("101"), QStringLiteral("1"));
    auto rows = guestRows();
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].numeroCamera, QStringLiteral("1A"));
    EXPECT_EQ(rows[0].nomeCliente, QStringLiteral("Camera : 101"));
    EXPECT_EQ(rows[0].dataArrivo, QStringLiteral("2025-03-01"));
    EXPECT_EQ(rows[1].nomeCliente, QStringLiteral("Camera : 101"));
    EXPECT_EQ(rows[2].nomeCliente, QStringLiteral("Ditta Rossi"));  // external keeps its name
    EXPECT_EQ(rows[2].numeroCamera, QStringLiteral("1A"));

    // A blank after the comma: room 101 is not mapped.
    writeText(QStringLiteral("QuorveloCamere.txt"), {QStringLiteral("1B, 101")});
    exporter.AggiornaCamera(QStringLiteral("101"), QStringLiteral("1"));
    rows = guestRows();
    ASSERT_EQ(rows.size(), 6u);  // the 1A rows stay: nothing rewrites that code now
    EXPECT_EQ(rows[3].numeroCamera, QStringLiteral("101"));
    EXPECT_EQ(rows[3].nomeCliente, kLong.left(40));

    // Two lines for room 101: the later wins.
    writeText(QStringLiteral("QuorveloCamere.txt"),
              {QStringLiteral("1A,101"), QStringLiteral(" 9Z ,101")});
    exporter.AggiornaCamera(QStringLiteral("101"), QStringLiteral("0"));
    rows = guestRows();
    ASSERT_EQ(rows.size(), 9u);
    for (size_t i = 6; i < 9; ++i)
        EXPECT_EQ(rows[i], (GuestRow{QStringLiteral("9Z"), QStringLiteral(" "), QStringLiteral(" "),
                                     QStringLiteral(" ")}));
}

TEST_F(GuestExportTest, DepartureAndClearModes) {
    exporter.AggiornaCamera(QStringLiteral("101"), QStringLiteral("0"));
    const GuestRow blank{QStringLiteral("101"), QStringLiteral(" "), QStringLiteral(" "),
                         QStringLiteral(" ")};
    EXPECT_EQ(guestRows(), (std::vector<GuestRow>{blank, blank, blank}));
    exporter.AggiornaCamera(QStringLiteral("101"), QStringLiteral("2"));
    EXPECT_TRUE(guestRows().empty());
    // Once every card shows 'S' a departure leaves the room without rows.
    exporter.AggiornaCamera(QStringLiteral("404"), QStringLiteral("0"));
    EXPECT_TRUE(guestRows().empty());
}

TEST_F(GuestExportTest, ApostrophesInRoomAndCodeAreSafe) {
    addCard(InHouse,
            {1, 30, QStringLiteral("1'B"), 1, QStringLiteral("N"), QStringLiteral("D'Amico")});
    writeText(QStringLiteral("QuorveloCamere.txt"), {QStringLiteral("P'1,1'B")});
    addGuestRow({QStringLiteral("P'1"), QStringLiteral("vecchia"), {}, {}});
    exporter.AggiornaCamera(QStringLiteral("1'B"), QStringLiteral("1"));
    const auto rows = guestRows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].numeroCamera, QStringLiteral("P'1"));
    EXPECT_EQ(rows[0].nomeCliente, QStringLiteral("Camera : 1'B"));
}

TEST_F(GuestExportTest, MissingPosDestWarnsOnceAndChangesNothing) {
    RecordedConfirmations confirmed;
    addRoom(QStringLiteral("101"));
    addRoom(QStringLiteral("102"));
    addGuestRow({QStringLiteral("102"), QStringLiteral("resta"), {}, {}});
    QFile::remove(path(QStringLiteral("POSDest.txt")));
    exporter.AggiornaCamera(QStringLiteral("101"), QStringLiteral("1"));
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text,
              QStringLiteral("E' necessario creare il file 'POSDest.txt'!"));
    EXPECT_EQ(dialogs.messages[0].title, QStringLiteral("Dati mancanti"));
    EXPECT_EQ(dialogs.messages[0].icon, MsgIcon::Exclamation);
    EXPECT_EQ(dialogs.messages[0].buttons, MsgButtons::Ok);
    exporter.AggiornaClienti();
    EXPECT_EQ(dialogs.messages.size(), 2u);  // one per refresh, not one per room
    EXPECT_TRUE(confirmed.isEmpty());        // nothing done, nothing confirmed
    EXPECT_EQ(guestRows().size(), 1u);
    EXPECT_FALSE(exists(QStringLiteral("pos/Clienti.txt")));
}

TEST_F(GuestExportTest, FullRefreshRewritesTypeCRoomsAndWritesTheList) {
    RecordedConfirmations confirmed;
    addRoom(QStringLiteral("101"));
    addRoom(QStringLiteral("102"));  // type C, only an external card names it
    addRoom(QStringLiteral("201"), QStringLiteral("SAL"));  // not type C: left alone
    addRoom(QStringLiteral("103"));
    addCard(External,
            {1, 40, QStringLiteral("102"), 1, QStringLiteral("N"), QStringLiteral("Esterno")});
    addCard(InHouse,
            {1, 50, QStringLiteral("103"), 1, QStringLiteral("N"), QStringLiteral("Verdi Ugo")});
    writeText(QStringLiteral("QuorveloCamere.txt"), {QStringLiteral("B3,103")});
    addGuestRow({QStringLiteral("102"), QStringLiteral("vecchia"), {}, {}});
    addGuestRow(
        {QStringLiteral("201"), QStringLiteral("Sala"), QStringLiteral("x"), QStringLiteral("y")});
    addGuestRow({QStringLiteral("ZZZZZ"), QStringLiteral("orfana"), {}, {}});
    addGuestRow({QString(), QStringLiteral("senza camera"), {}, {}});
    writeText(QStringLiteral("POSDest.txt"), {QStringLiteral("pos/"), QStringLiteral("altro/")});

    exporter.AggiornaClienti();
    EXPECT_TRUE(dialogs.messages.empty());
    ASSERT_EQ(confirmed.size(), 1);
    EXPECT_TRUE(confirmed[0].startsWith("Aggiorna Dati: 3 camere, ")) << confirmed[0].toStdString();
    const auto rows = guestRows();
    ASSERT_EQ(rows.size(), 7u);
    EXPECT_EQ(rows[0].numeroCamera, QStringLiteral("201"));
    EXPECT_EQ(rows[1].numeroCamera, QStringLiteral("ZZZZZ"));
    EXPECT_EQ(rows[2].numeroCamera, QString());
    EXPECT_EQ(rows[3].numeroCamera, QStringLiteral("101"));
    EXPECT_EQ(rows[6], (GuestRow{QStringLiteral("B3"), QStringLiteral("Camera : 103"),
                                 QStringLiteral("2025-03-01"), QStringLiteral("2025-03-09")}));

    const QByteArray expected = QByteArray("101    ") + kLong.left(40).toLatin1() +
                                "2025-03-01 2025-03-09\r\n"
                                "101    Bianchi Anna                            "
                                "2025-03-05 2025-03-10\r\n"
                                "101    Ditta Rossi                             "
                                "-- 2025-03-31\r\n"
                                "201    Sala                                    x y\r\n"
                                "B3     Camera : 103                            "
                                "2025-03-01 2025-03-09\r\n"
                                "ZZZZZ  orfana                                   \r\n";
    EXPECT_EQ(readBytes(QStringLiteral("pos/Clienti.txt")), expected);
}

TEST_F(GuestExportTest, FullRefreshOfAnotherHotelsCardsLeavesRoomsEmpty) {
    // A hotel whose only present cards are of hotel 2.
    addRoom(QStringLiteral("301"));
    addRoom(QStringLiteral("302"));
    addCard(InHouse, {2, 60, QStringLiteral("301"), 1, QStringLiteral("N"), QStringLiteral("H2")});
    addCard(External, {2, 61, QStringLiteral("302"), 1, QStringLiteral("N"), QStringLiteral("E2")});
    addGuestRow({QStringLiteral("301"), QStringLiteral("vecchia"), {}, {}});
    addGuestRow({QStringLiteral("302"), QStringLiteral("vecchia"), {}, {}});
    addGuestRow({QStringLiteral("X1"), QStringLiteral("Altro"), QStringLiteral("--"),
                 QStringLiteral("--")});
    exporter.AggiornaClienti();
    const auto rows = guestRows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].numeroCamera, QStringLiteral("X1"));
    EXPECT_EQ(readBytes(QStringLiteral("pos/Clienti.txt")),
              QByteArray("X1     Altro                                   -- --\r\n"));
}

TEST_F(GuestExportTest, TwoRoomsUnderOneCodeKeepTheLaterRoom) {
    addRoom(QStringLiteral("101"));
    addRoom(QStringLiteral("102"));
    addCard(InHouse, {1, 70, QStringLiteral("102"), 1, QStringLiteral("N"), QStringLiteral("C2")});
    writeText(QStringLiteral("QuorveloCamere.txt"),
              {QStringLiteral("AA,101"), QStringLiteral("AA,102")});
    exporter.AggiornaClienti();
    const auto rows = guestRows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].nomeCliente, QStringLiteral("Camera : 102"));
}

// Rooms and codes beyond ASCII are looked up as the engine's criteria do:
// 'À1' finds the card of room "à1", whose refresh takes the old row "À1".
TEST_F(GuestExportTest, FullRefreshComparesRoomsAsTheEngine) {
    addRoom(QStringLiteral("À1"));
    addCard(InHouse, {1, 80, QStringLiteral("à1"), 1, QStringLiteral("N"), QStringLiteral("Età")});
    addGuestRow({QStringLiteral("À1"), QStringLiteral("vecchia"), {}, {}});
    addGuestRow({QStringLiteral("a1"), QStringLiteral("resta"), {}, {}});
    exporter.AggiornaClienti();
    const std::vector<GuestRow> expected{
        {QStringLiteral("a1"), QStringLiteral("resta"), {}, {}},
        {QStringLiteral("à1"), QStringLiteral("Età"), QStringLiteral("2025-03-01"),
         QStringLiteral("2025-03-09")}};
    EXPECT_EQ(guestRows(), expected);
}

// A map that is there but cannot be read (here a folder of its name) must
// not export the room under its hotel number: nothing of the POS changes.
TEST_F(GuestExportTest, UnreadableMapFailsAndTouchesNoPosFile) {
    addRoom(QStringLiteral("101"));
    addGuestRow({QStringLiteral("1A"), QStringLiteral("Camera : 101"), {}, {}});
    writeBytes(QStringLiteral("pos/Clienti.txt"), "1A     vecchia lista\r\n");
    ASSERT_TRUE(QDir(dir()).mkdir(QStringLiteral("QuorveloCamere.txt")));
    const auto before = guestRows();
    EXPECT_THROW(exporter.AggiornaCamera(QStringLiteral("101"), QStringLiteral("1")), Error);
    EXPECT_THROW(exporter.AggiornaClienti(), Error);
    EXPECT_EQ(guestRows(), before);
    EXPECT_EQ(readBytes(QStringLiteral("pos/Clienti.txt")), QByteArray("1A     vecchia lista\r\n"));
}

TEST_F(GuestExportTest, TooLongPosCodeIsSkippedNotFatal) {
    writeText(QStringLiteral("QuorveloCamere.txt"), {QStringLiteral("1234567,101")});
    EXPECT_NO_THROW(exporter.AggiornaCamera(QStringLiteral("101"), QStringLiteral("1")));
    EXPECT_TRUE(guestRows().empty());
}

}  // namespace
}  // namespace quorvel::test
