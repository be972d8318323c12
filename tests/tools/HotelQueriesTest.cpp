// The program's own SELECT texts and criteria, exactly as the transfer, the
// polling cycle, the guest export and the print menu build them, run through
// the engine against a generated hotel, finding the rows the hotel says.
#include "db/Engine.h"
#include "hotel/HotelGenerator.h"
#include "support/TempDir.h"
#include "tools/QtPrinters.h"

#include <QDir>

namespace quorvel {
namespace {

using namespace hotel;

class HotelQueriesTest : public test::TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        HotelSpec spec;
        spec.seed = 11;
        spec.rooms = 40;
        spec.guests = 45;
        spec.externals = 8;
        m_hotel = generateHotel(dir(), spec);
    }

    std::unique_ptr<db::Database> open(const QString& file) { return m_ws.openDatabase(file); }

    // Walks the recordset as the program does: find first, then find next
    // with the same criterion until no match.
    static QStringList walk(db::Recordset& rs, const QString& criterion, const QString& field) {
        QStringList values;
        rs.findFirst(criterion);
        while (!rs.noMatch()) {
            values.append(rs.text(field));
            rs.findNext(criterion);
        }
        return values;
    }

    // Hotel 1 cards that have not left, optionally first members only, in card order.
    QStringList presentCards(const std::vector<GuestCard>& cards, const QString& room,
                             bool firstMemberOnly) const {
        QStringList numbers;
        for (const GuestCard& c : cards) {
            if (c.numeroHotel == 1 && c.partito != QLatin1String("S") && c.numeroCamera == room &&
                (!firstMemberOnly || c.numeroComponente == 1))
                numbers.append(QString::number(c.numeroProgressivo));
        }
        return numbers;
    }

    db::Workspace m_ws;
    HotelSummary m_hotel;
};

TEST_F(HotelQueriesTest, TransferFindsGuestsClientsItemsAndTheRowToAddTo) {
    const HotelData& h = m_hotel.data;
    auto guestsDb = open(QStringLiteral("Scheda_Cliente.mdb"));
    auto guests = guestsDb->openRecordset(
        QStringLiteral("Select * From Scheda_Cliente Where NumeroHotel = 1 and Partito = 'N' and "
                       "NumeroComponente = 1"));
    auto accountsDb = open(QStringLiteral("Conto_Cliente.mdb"));
    auto accounts = accountsDb->openRecordset(QStringLiteral("Conto_Cliente"));
    auto externalsDb = open(QStringLiteral("ClientiEsterni.mdb"));
    auto externals = externalsDb->openRecordset(
        QStringLiteral("Select * From Scheda_Cliente Where NumeroHotel = 1 and Partito = 'N'"));
    auto itemsDb = open(QStringLiteral("VociFattura.mdb"));
    auto items = itemsDb->openRecordset(QStringLiteral("VociFattura"));

    // Every in-house room finds its first member; free rooms and rooms that
    // only hotel 2 or departed guests hold find nobody.
    for (const Room& room : h.rooms) {
        guests->findFirst(QStringLiteral("NumeroHotel = 1 and NumeroCamera = '") +
                          room.numeroCamera + QStringLiteral("'"));
        const GuestCard* guest = h.inHouseGuest(room.numeroCamera);
        ASSERT_EQ(guests->noMatch(), guest == nullptr) << room.numeroCamera.toStdString();
        if (guest) {
            EXPECT_EQ(guests->integer(QStringLiteral("NumeroProgressivo")),
                      guest->numeroProgressivo);
            EXPECT_EQ(guests->integer(QStringLiteral("ContoExtra")), guest->contoExtra);
        }
    }
    // External clients: present ones of hotel 1 only.
    for (const GuestCard& c : h.externals) {
        externals->findFirst(QStringLiteral("NumeroHotel = 1 and NumeroCamera = '") +
                             c.numeroCamera + QStringLiteral("'"));
        const bool present = c.numeroHotel == 1 && c.partito == QLatin1String("N");
        EXPECT_EQ(externals->noMatch(), !present) << c.nomeCliente.toStdString();
        if (present) {
            EXPECT_EQ(externals->integer(QStringLiteral("NumeroProgressivo")), c.numeroProgressivo);
        }
    }

    // Items by the line's description, and the generic item.
    const std::pair<const char*, int> byDescription[] = {
        {"CAFFE", 20}, {"caffe", 20}, {"BIRRA", 23}, {"ACQUA MINERALE", 22}, {"BAR", 5}};
    for (const auto& [text, code] : byDescription) {
        items->findFirst(QStringLiteral("NumeroHotel = 1 and Instr(Descrizione,'") +
                         QLatin1String(text) + QStringLiteral("') > 0"));
        ASSERT_FALSE(items->noMatch()) << text;
        EXPECT_EQ(items->integer(QStringLiteral("Codice")), code) << text;
    }
    items->findFirst(
        QStringLiteral("NumeroHotel = 1 and Instr(Descrizione,'VINO DELLA CASA') > 0"));
    EXPECT_TRUE(items->noMatch());
    items->findFirst(QStringLiteral("NumeroHotel = 1 and Codice = ") +
                     QString::number(m_hotel.settings.codiceGenerico));
    ASSERT_FALSE(items->noMatch());
    EXPECT_EQ(items->text(QStringLiteral("Descrizione")), QStringLiteral("RISTORANTE"));
    EXPECT_EQ(items->integer(QStringLiteral("GruppoFatturazione")), 1);

    // A room charge is written with the program's values, then found again
    // by the criterion that adds to it.
    const QString room = h.inHouseRooms().first();
    const GuestCard* guest = h.inHouseGuest(room);
    accounts->addNew();
    accounts->setValue(QStringLiteral("NumeroHotel"), 1);
    accounts->setValue(QStringLiteral("CodiceCliente"), guest->numeroProgressivo);
    accounts->setValue(QStringLiteral("NumeroCamera"), room);
    accounts->setValue(QStringLiteral("DataAddebito"), QStringLiteral("20250307"));
    accounts->setValue(QStringLiteral("NumeroConto"), guest->contoExtra);
    accounts->setValue(QStringLiteral("VoceFattura"), 1);
    accounts->setValue(QStringLiteral("VoceAddebito"), 1);
    accounts->setValue(QStringLiteral("Descrizione"), QStringLiteral("RISTORANTE"));
    accounts->setValue(QStringLiteral("Importo"), Currency::fromCents(1300));
    accounts->setValue(QStringLiteral("Unitario"), 15.0);
    accounts->setValue(QString::fromUtf8("Quantità"), 1.0);
    accounts->setValue(QStringLiteral("Fatturato"), QStringLiteral("N"));
    accounts->setValue(QStringLiteral("DataFattura"), QStringLiteral(" "));
    accounts->update();
    accounts->findFirst(QStringLiteral("NumeroHotel = 1 and CodiceCliente = ") +
                        QString::number(guest->numeroProgressivo) +
                        QStringLiteral(" and NumeroCamera = '") + room +
                        QStringLiteral("' and DataAddebito = '20") + QStringLiteral("250307") +
                        QStringLiteral("' and VoceAddebito = ") + QString::number(1));
    ASSERT_FALSE(accounts->noMatch());
    EXPECT_EQ(accounts->money(QStringLiteral("Importo")), Currency::fromCents(1300));
    EXPECT_EQ(accounts->real(QString::fromUtf8("Quantità")), 1.0);
}

TEST_F(HotelQueriesTest, PollingFindsTheReceiptItemAndWritesReceipts) {
    auto itemsDb = open(QStringLiteral("VociFattura.mdb"));
    auto items = itemsDb->openRecordset(QStringLiteral("VociFattura"));
    items->findFirst(QStringLiteral("NumeroHotel = 1 and Codice = ") +
                     QString::number(m_hotel.settings.codiceIncassi));
    ASSERT_FALSE(items->noMatch());
    EXPECT_EQ(items->text(QStringLiteral("Descrizione")), QStringLiteral("Incasso diretto"));
    items->findFirst(QStringLiteral("NumeroHotel = 1 and Codice = 99"));
    EXPECT_TRUE(items->noMatch());

    auto fatture = open(QStringLiteral("Fatture.mdb"));
    auto receipts = fatture->openRecordset(QStringLiteral("Incassi"));
    receipts->addNew();
    receipts->setValue(QStringLiteral("NumeroHotel"), 1);
    receipts->setValue(QStringLiteral("DataEmissione"), QStringLiteral("20250307"));
    receipts->setValue(QStringLiteral("TipoDocumento"), QStringLiteral("ESTERNI"));
    receipts->setValue(QStringLiteral("NDocumento"), 0);
    receipts->setValue(QStringLiteral("Contatore"), 1);
    receipts->setValue(QStringLiteral("Sigla"), QStringLiteral("CON"));
    receipts->setValue(QStringLiteral("Importo"), Currency::fromCents(1250));
    receipts->setValue(QStringLiteral("Orario"), QStringLiteral("0905"));
    receipts->setValue(QStringLiteral("Nota"), QStringLiteral("0012-Incasso diretto"));
    receipts->update();
    receipts->findFirst(QStringLiteral("NumeroHotel = 1"));
    ASSERT_FALSE(receipts->noMatch());
    EXPECT_EQ(receipts->money(QStringLiteral("Importo")), Currency::fromCents(1250));
    EXPECT_EQ(receipts->text(QStringLiteral("Nota")), QStringLiteral("0012-Incasso diretto"));
}

TEST_F(HotelQueriesTest, GuestExportQueriesFindPresentCardsAndGuestRooms) {
    const HotelData& h = m_hotel.data;
    // A room with a party, and the room an external client shares with a guest.
    QString partyRoom;
    for (const GuestCard& c : h.guests) {
        if (c.numeroHotel == 1 && c.partito == QLatin1String("N") && c.numeroComponente == 2)
            partyRoom = c.numeroCamera;
    }
    ASSERT_FALSE(partyRoom.isEmpty());
    const QString sharedRoom = h.externals.at(4).numeroCamera;
    ASSERT_NE(h.inHouseGuest(sharedRoom), nullptr);

    for (const QString& room : {partyRoom, sharedRoom}) {
        SCOPED_TRACE(room.toStdString());
        auto guestsDb = open(QStringLiteral("Scheda_Cliente.mdb"));
        auto guests = guestsDb->openRecordset(
            QStringLiteral("Select * From Scheda_Cliente Where NumeroCamera = '") + room +
            QStringLiteral("' and Partito <> 'S' and NumeroComponente = 1 Order by "
                           "NumeroCamera,NumeroProgressivo;"));
        auto externalsDb = open(QStringLiteral("ClientiEsterni.mdb"));
        auto externals = externalsDb->openRecordset(
            QStringLiteral("Select * From Scheda_Cliente Where NumeroCamera = '") + room +
            QStringLiteral("' and Partito <> 'S' Order by NumeroCamera,NumeroProgressivo;"));
        EXPECT_EQ(
            walk(*guests, QStringLiteral("NumeroHotel = 1"), QStringLiteral("NumeroProgressivo")),
            presentCards(h.guests, room, true));
        EXPECT_EQ(walk(*externals, QStringLiteral("NumeroHotel = 1"),
                       QStringLiteral("NumeroProgressivo")),
                  presentCards(h.externals, room, false));
    }
    EXPECT_EQ(presentCards(h.externals, sharedRoom, false).size(), 1);

    // The full refresh: guest rooms through the room types of the other file.
    auto roomsDb = open(QStringLiteral("NumeriCamere.mdb"));
    auto rooms = roomsDb->openRecordset(QStringLiteral(
        "Select * From NumeriCamere Where TipoCamera In (Select Sigla From TipiCamere In "
        "'TipiCamere.mdb' Where Tipologia = 'C') Order by NumeroCamera;"));
    EXPECT_EQ(walk(*rooms, QStringLiteral("NumeroCamera > ''"), QStringLiteral("NumeroCamera")),
              h.typeCRooms());
    auto presentDb = open(QStringLiteral("Scheda_Cliente.mdb"));
    auto present = presentDb->openRecordset(
        QStringLiteral("Select * From Scheda_Cliente Where Partito <> 'S' and NumeroComponente = 1 "
                       "Order by NumeroProgressivo;"));
    for (const QString& room : h.typeCRooms()) {
        present->findFirst(QStringLiteral("NumeroCamera = '") + room + QStringLiteral("'"));
        // Not filtered by hotel: hotel 2's guests count here too.
        bool expected = false;
        for (const GuestCard& c : h.guests)
            expected |= c.partito != QLatin1String("S") && c.numeroComponente == 1 &&
                        c.numeroCamera == room;
        EXPECT_EQ(present->noMatch(), !expected) << room.toStdString();
    }

    // The POS folder's guest database, reached through "POSDest.txt"'s prefix.
    auto posDb = open(m_hotel.posFolder + QStringLiteral("ClientiCasa.mdb"));
    auto pos = posDb->openRecordset(QStringLiteral("ClientiCasa"));
    for (const char* code : {"A01", "102", "A01"}) {
        pos->addNew();
        pos->setValue(QStringLiteral("NumeroHotel"), 1);
        pos->setValue(QStringLiteral("NumeroCamera"), QString::fromLatin1(code));
        pos->setValue(QStringLiteral("NomeCliente"), h.guests.front().nomeCliente.left(40));
        pos->setValue(QStringLiteral("DataArrivo"), QStringLiteral("2025-03-07"));
        pos->setValue(QStringLiteral("DataPartenza"), QStringLiteral("2025-03-09"));
        pos->update();
    }
    int deleted = 0;
    pos->findFirst(QStringLiteral("NumeroCamera = 'A01'"));
    while (!pos->noMatch()) {
        pos->remove();
        ++deleted;
        pos->findFirst(QStringLiteral("NumeroCamera = 'A01'"));
    }
    EXPECT_EQ(deleted, 2);
    auto sorted =
        posDb->openRecordset(QStringLiteral("Select * from ClientiCasa Order by NumeroCamera;"));
    EXPECT_EQ(walk(*sorted, QStringLiteral("NumeroCamera > ''"), QStringLiteral("NumeroCamera")),
              QStringList{QStringLiteral("102")});
}

TEST_F(HotelQueriesTest, PrintMenuFindsDestinationsSettingsAndPageLengths) {
    auto hotels = open(QStringLiteral("AnagraficaHotels.mdb"));
    auto hotelRs = hotels->openRecordset(QStringLiteral("AnagraficaHotels"));
    hotelRs->findFirst(QStringLiteral("Numero = 1"));
    ASSERT_FALSE(hotelRs->noMatch());
    EXPECT_EQ(hotelRs->text(QStringLiteral("CodiceAssistenza")), QStringLiteral("A01"));

    auto printersDb = open(QStringLiteral("Stampanti.mdb"));
    auto printers = printersDb->openRecordset(QStringLiteral("Stampanti"));
    auto settings = printersDb->openRecordset(QStringLiteral("SetStampa"));
    EXPECT_EQ(walk(*printers, QStringLiteral("NumeroHotel = 1"), QStringLiteral("Destinazione")),
              (QStringList{QStringLiteral("Laser Ufficio"), QStringLiteral("Stampante Cassa"),
                           QStringLiteral("PDF Ufficio")}));
    printers->findFirst(QStringLiteral("Destinazione = '") + QStringLiteral("PDF Ufficio") +
                        QStringLiteral("'"));
    ASSERT_FALSE(printers->noMatch());
    EXPECT_TRUE(printers->text(QStringLiteral("Linea")).endsWith(QLatin1String("stampa.pdf")));
    EXPECT_EQ(printers->integer(QStringLiteral("TipoStampa")), 1);
    settings->findFirst(QStringLiteral("TipoStampa = ") +
                        QString::number(printers->integer(QStringLiteral("TipoStampa"))));
    ASSERT_FALSE(settings->noMatch());
    EXPECT_EQ(settings->text(QStringLiteral("Compresso")).mid(15, 3), QStringLiteral("001"));
    printers->findFirst(QStringLiteral("Destinazione = 'Stampante Cassa'"));
    ASSERT_FALSE(printers->noMatch());
    settings->findFirst(QStringLiteral("TipoStampa = ") +
                        QString::number(printers->integer(QStringLiteral("TipoStampa"))));
    ASSERT_FALSE(settings->noMatch());
    EXPECT_EQ(settings->text(QStringLiteral("Compresso")),
              QStringLiteral("027015000000000000027018000000000000"));
    printers->findFirst(QStringLiteral("Destinazione = 'Nessuna'"));
    EXPECT_TRUE(printers->noMatch());

    auto counters = open(QStringLiteral("Contatori.mdb"));
    auto countersRs = counters->openRecordset(QStringLiteral("Contatori"));
    countersRs->findFirst(QStringLiteral("NumeroHotel = ") + QString::number(1));
    ASSERT_FALSE(countersRs->noMatch());
    EXPECT_EQ(countersRs->integer(QStringLiteral("LungPagComp")), 80);
    EXPECT_EQ(countersRs->integer(QStringLiteral("LungPagNoComp")), 60);
}

}  // namespace
}  // namespace quorvel
