// The transfer run on a real (empty, generated) hotel: what lands in which
// account table, with which field values, and what goes to the history.
#include "HotelFixture.h"
#include "PosLine.h"

#include "hotel/ServerHotel.h"
#include "platform/Error.h"
#include "platform/Log.h"
#include "support/ServerDb.h"
#include "transfer/ChargeRepair.h"
#include "transfer/PostingJournal.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <QDir>
#include <QFile>
#include <map>
#include <thread>

namespace quorvel::test {
namespace {

using TransferRun = HotelTest;

QString line(const QString& room, const QString& amount, const QString& day = "250131",
             const QString& quantity = "  1", const QString& description = "PRANZO",
             const QString& unitPrice = QString()) {
    PosLine p;
    p.room = room;
    p.amount = amount;
    p.day = day;
    p.quantity = quantity;
    p.description = description;
    p.unitPrice = unitPrice;
    return p.text();
}

Currency eur(std::int64_t cents) {
    return Currency::fromCents(cents);
}

AccountRow roomRow(std::int64_t cliente, const QString& camera, const QString& giorno,
                   Currency importo, double unitario, double quantita,
                   const QString& descrizione = "Ristorante Interno") {
    AccountRow r;
    r.cliente = cliente;
    r.camera = camera;
    r.giorno = giorno;
    r.conto = 7;
    r.voceFattura = r.voceAddebito = 50;
    r.descrizione = descrizione;
    r.importo = importo;
    r.unitario = unitario;
    r.quantita = quantita;
    return r;
}

TEST_F(TransferRun, RoomChargesSumPerGuestRoomDayAndItem) {
    addCard(Guests, 123, "101");
    addCard(Guests, 124, "102");
    {
        // A card without an account number: its row gets none either, not 0.
        auto guests = ws->openDatabase(QString::fromLatin1(Guests));
        auto cards = guests->openRecordset("Scheda_Cliente");
        cards->findFirst("NumeroProgressivo = 124");
        cards->edit();
        cards->setValue("ContoExtra", db::Value());
        cards->update();
    }
    addItem(50, "Ristorante Interno", 4);
    const auto r =
        transfer({line("101", "001500"), line("101", "000500", "250131", "  2", "CENA", "00000250"),
                  line("101", "000700", "250201"), line("102", "000100")});
    EXPECT_EQ(r.roomCharges, 4);
    auto roomAccounts = ws->openDatabase(QString::fromLatin1(Rooms));
    auto accounts = roomAccounts->openRecordset("Conto_Cliente");
    accounts->findFirst("CodiceCliente = 124");
    ASSERT_FALSE(accounts->noMatch());
    EXPECT_TRUE(accounts->value("NumeroConto").isNull());
    accounts->remove();
    EXPECT_EQ(rows(Rooms),
              (std::vector<AccountRow>{roomRow(123, "101", "20250131", eur(2000), 15.0, 3.0),
                                       roomRow(123, "101", "20250201", eur(700), 7.0, 1.0)}));
    EXPECT_TRUE(rows(Externals).empty());
    EXPECT_TRUE(store->pending().isEmpty());
    EXPECT_TRUE(store->errors().isEmpty());
}

TEST_F(TransferRun, ExistingRowGrowsUnlessInvoicedOrOfAnotherHotel) {
    addCard(Guests, 123, "101");
    addItem(50, "Ristorante Interno", 4);
    AccountRow invoiced = roomRow(123, "101", "20250131", eur(1000), 10, 1);
    invoiced.fatturato = "S";
    AccountRow otherHotel = roomRow(123, "101", "20250131", eur(100), 1, 1);
    otherHotel.hotel = 2;
    AccountRow manual = roomRow(123, "101", "20250131", eur(100), 1, 1, "Manuale");
    manual.conto = 99;
    AccountRow invoicedOnly = roomRow(123, "101", "20250202", eur(500), 5, 1);
    invoicedOnly.fatturato = "S";
    for (const auto& row : {invoiced, otherHotel, manual, invoicedOnly}) addAccountRow(Rooms, row);

    transfer({line("101", "001500"), line("101", "000300", "250202", "  3")});

    AccountRow grown = manual;  // only Importo and Quantità change
    grown.importo = eur(1600);
    grown.quantita = 2;
    EXPECT_EQ(rows(Rooms),
              (std::vector<AccountRow>{invoiced, otherHotel, grown, invoicedOnly,
                                       roomRow(123, "101", "20250202", eur(300), 1.0, 3.0)}));
}

TEST_F(TransferRun, ExternalChargesTakeTheItemByDescription) {
    addCard(Clients, 900, "1'A");
    addCard(Clients, 901, "8  ");
    addCard(Guests, 124, "7  ");
    addCard(Guests, 125, "2'B");
    addItem(10, "D'ANGELO VINO", 3);
    addItem(11, "CAFFE", 9, 2);  // another hotel's item
    const QString vino = line("1'A", "000300", "250131", "  1", "D'ANGELO");
    transfer({vino, vino, line("8", "000250", "250131", "  2", "CAFFE"), line("7", "000400"),
              line("2'B", "000500")});

    AccountRow ext;
    ext.cliente = 900;
    ext.camera = "1'A";
    ext.giorno = "20250131";
    ext.conto = 1;
    ext.voceFattura = 3;
    ext.voceAddebito = 10;
    ext.descrizione = "D'ANGELO VINO";
    ext.importo = eur(300);
    ext.unitario = 3;
    ext.quantita = 1;
    AccountRow bar = ext;
    bar.cliente = 901;
    bar.camera = "8  ";  // as stored
    bar.voceFattura = bar.voceAddebito = 50;
    bar.descrizione = "BAR";
    bar.importo = eur(250);
    bar.unitario = 1.25;
    bar.quantita = 2;
    EXPECT_EQ(rows(Externals), (std::vector<AccountRow>{ext, ext, bar}));
    EXPECT_EQ(rows(Rooms),
              (std::vector<AccountRow>{
                  roomRow(124, "7", "20250131", eur(400), 4, 1, "RISTORANTE"),  // trimmed
                  roomRow(125, "2'B", "20250131", eur(500), 5, 1, "RISTORANTE")}));
    EXPECT_TRUE(store->errors().isEmpty());
}

TEST_F(TransferRun, DiscountFoldsIntoTheChargeBeforeIt) {
    addCard(Guests, 123, "101");
    addItem(50, "Ristorante Interno", 4);
    const QString failing = line("999", "000800");
    const auto r = transfer({discountLine("-00100"),  // first in the list: dropped
                             line("101", "001500"), discountLine("-00200"),
                             discountLine("-00100"),           // after another discount: dropped
                             failing, discountLine("-00300"),  // goes with its failed charge
                             line("101", "000100", "250201"), discountLine("-00500")});
    EXPECT_EQ(rows(Rooms),
              (std::vector<AccountRow>{roomRow(123, "101", "20250131", eur(1300), 15, 1),
                                       roomRow(123, "101", "20250201", eur(-400), 1, 1)}));
    EXPECT_EQ(store->errors(), (QStringList{failing, discountLine("-00300")}));
    EXPECT_TRUE(store->pending().isEmpty());
    EXPECT_EQ(r.discounts, 2);
    EXPECT_EQ(r.listed, 2);

    // A "Sconto" the POS wrote after its file was taken comes in a later
    // read, its charge already handled: by the link recorded at intake it
    // goes where the charge went, or with it to the history; a closed row
    // is not touched.
    addCard(Clients, 900, "8  ");
    const auto sconto = [](const QString& amount, const QString& day) {
        PosLine l;
        l.description = QStringLiteral("Sconto");
        l.amount = amount;
        l.day = day;
        return l.text();
    };
    const QString room = line("101", "002000", "250305"), ext = line("8", "000700", "250305");
    const QString lost = line("999", "000900", "250305"), closed = line("101", "000400", "250306");
    const QList<QStringList> reads = {{room},
                                      {sconto("-00050", "250305"), ext},
                                      {sconto("-00070", "250305"), lost},
                                      {sconto("-00090", "250305"), closed},
                                      {sconto("-00040", "250306")}};
    std::int32_t lineNo = 1;
    for (const QStringList& read : reads) {
        if (read.size() == 1 && lineNo > 1) {  // the charge's row is invoiced meanwhile
            auto accounts = ws->openDatabase(QString::fromLatin1(Rooms));
            auto rs = accounts->openRecordset(QStringLiteral("Conto_Cliente"));
            rs->findFirst(QStringLiteral("DataAddebito = '20250306'"));
            rs->edit();
            rs->setValue(QStringLiteral("Fatturato"), QStringLiteral("S"));
            rs->update();
        }
        store->appendChargesFile({read}, QStringLiteral("Estrazione_1.txt"), lineNo);
        lineNo += static_cast<std::int32_t>(read.size());
        ChargeTransfer(settings, *store).TrasferisciAddebiti();
    }
    AccountRow invoiced = roomRow(123, "101", "20250306", eur(400), 4, 1);
    invoiced.fatturato = "S";
    const auto roomRows = rows(Rooms);
    EXPECT_EQ(
        std::vector<AccountRow>(roomRows.end() - 2, roomRows.end()),
        (std::vector<AccountRow>{roomRow(123, "101", "20250305", eur(1950), 20, 1), invoiced}));
    ASSERT_EQ(rows(Externals).size(), 1u);
    EXPECT_EQ(rows(Externals).front().importo, eur(630));
    EXPECT_EQ(store->errors(),
              (QStringList{failing, discountLine("-00300"), lost, sconto("-00090", "250305"),
                           sconto("-00040", "250306")}));
    const auto late = store->journal().byErrorId(store->errorLines().back().id);
    ASSERT_TRUE(late);
    EXPECT_EQ(late->reason, Motivo::ScontoTardivo);
    EXPECT_TRUE(late->damage.isEmpty());

    // The same with another file's charge taken between the two reads, all
    // three waiting (the transfer had been failing): the "Sconto" goes with
    // its own charge, handled in the same batch, not with its neighbour.
    store->appendChargesFile({{line("101", "001000", "250307")}},
                             QStringLiteral("Estrazione_2.txt"));
    store->appendChargesFile({{line("8", "000300", "250307")}}, QStringLiteral("Estrazione_3.txt"));
    store->appendChargesFile({{sconto("-00100", "250307")}}, QStringLiteral("Estrazione_2.txt"), 2);
    ChargeTransfer(settings, *store).TrasferisciAddebiti();
    EXPECT_EQ(rows(Rooms).back().giorno, QStringLiteral("20250307"));
    EXPECT_EQ(rows(Rooms).back().importo, eur(900));
    EXPECT_EQ(rows(Externals).back().importo, eur(300));
    EXPECT_TRUE(store->pending().isEmpty());
}

TEST_F(TransferRun, NoPositiveChargeOnARoomAccount) {
    addCard(Guests, 123, "101");
    addCard(Clients, 900, "101");
    addCard(Guests, 124, "102");
    const QString negative = line("102", "-00500");
    const QString nobody = line("999", "000100");
    log::open(path("Quorvel.log"));
    transfer({line("101", "000000"), negative, nobody});
    log::close();
    EXPECT_TRUE(rows(Rooms).empty());
    ASSERT_EQ(rows(Externals).size(), 1u);
    EXPECT_EQ(rows(Externals)[0].cliente, 900);
    EXPECT_EQ(rows(Externals)[0].importo, Currency());
    EXPECT_EQ(store->errors(), (QStringList{negative, nobody}));
    // Room 102 has an account: the log gives the true reason, in the
    // journal's words.
    const QString logged = QString::fromUtf8(readBytes("Quorvel.log"));
    EXPECT_TRUE(logged.contains("(Addebito non positivo e nessun cliente esterno): " + negative))
        << logged.toStdString();
    EXPECT_TRUE(
        logged.contains("(Nessun ospite in casa né cliente esterno per la camera 999): " + nobody));
}

TEST_F(TransferRun, OnlyFirstMembersOfHotelOneNotLeftAreCharged) {
    addCard(Guests, 201, "101", "N", 1, 7, 2);
    addCard(Guests, 202, "101", "S");
    addCard(Guests, 203, "101", "N", 2);
    addCard(Clients, 301, "101", "S");
    addCard(Clients, 302, "101", "N", 1, 7, 2);
    const QString charge = line("101", "001000");
    transfer({charge});
    EXPECT_EQ(store->errors(), QStringList{charge});
    addCard(Guests, 204, "101");
    transfer({charge});
    ASSERT_EQ(rows(Rooms).size(), 1u);
    EXPECT_EQ(rows(Rooms)[0].cliente, 204);
    EXPECT_TRUE(rows(Externals).empty());
}

TEST_F(TransferRun, LinesBreakingTheLimitsAreListedUnchanged) {
    addCard(Guests, 123, "101");
    const QString good = line("101", "001000");
    const QString shortLine = good.left(56);
    const QString badAmount = line("101", "12x456", "250131", "  1", "PIZZA €  ");
    const QString noQuantity = line("101", "001000", "250301", "  0");
    const QString badPrice = line("101", "001000", "250302", "  1", "PRANZO", "1 x");
    const QString badDiscount = discountLine("-0x200");
    const QString charged = line("101", "000200", "250303");
    const QString zeroQuantityOnExisting = line("101", "000050", "250131", "  0");
    const QString discount = discountLine("-00100");  // listed with its failed charge
    const auto r = transfer({QString(), shortLine, good, badAmount, discount, noQuantity, badPrice,
                             discount, charged, badDiscount, zeroQuantityOnExisting});
    EXPECT_EQ(store->errors(), (QStringList{QString(), shortLine, badAmount, discount, noQuantity,
                                            badPrice, discount, charged, badDiscount}));
    EXPECT_EQ(
        rows(Rooms),
        (std::vector<AccountRow>{roomRow(123, "101", "20250131", eur(1050), 10, 1, "RISTORANTE")}));
    EXPECT_EQ(r.listed, 9);
    EXPECT_TRUE(store->pending().isEmpty());
}

TEST_F(TransferRun, RoomCodePositionAndMapFiles) {
    addCard(Guests, 123, "101");
    writeBytes("QuorvelCamSetup.txt", "2\r\n2\r\n");
    writeBytes("QuorveloCamere.txt", "12,101\r\n");
    const QString blankFirst = line(" 12", "000100");  // code " 1": no key, looked up as is
    transfer({line("12", "000100"), blankFirst});
    ASSERT_EQ(rows(Rooms).size(), 1u);
    EXPECT_EQ(rows(Rooms)[0].cliente, 123);
    EXPECT_EQ(store->errors(), QStringList{blankFirst});
}

std::map<int, JournalEntry> journalByLine(ChargeStore& store, const QString& archive) {
    JournalQuery all;
    all.limit = 100000;
    std::map<int, JournalEntry> out;
    for (const JournalEntry& e : store.journal().find(all))
        if (e.archive == archive)
            out[e.lineNo] = e;
    return out;
}

// Each kind of bad line gets its reason code and text; every line of a
// charges file gets one journal row saying where it went.
TEST_F(TransferRun, EveryLineHasAJournalRowWithWhereItWentOrWhyNot) {
    addCard(Guests, 123, "101");
    addCard(Guests, 124, "102");
    addCard(Clients, 900, "E10");
    const QString good = line("101", "001000");
    const QString tooLong = good + QString(ChargeStore::MaxLineLength, QLatin1Char('x'));
    const PosText file{
        {discountLine("-00050"), good, discountLine("-00100"),
         line("E10", "000300", "250131", "  2", "VINO", "150"), line("203", "000100"),
         good.left(40), line("101", "12x456"), line("102", "-00500"),
         line("101", "001000", "250301", "  0"), line("101", "000200", "250303"),
         discountLine("-0x200"), tooLong, line("101", "000100", "2501xx")},
        false};
    store->appendChargesFile(file, "arch1.txt");
    auto rows0 = journalByLine(*store, "arch1.txt");
    ASSERT_EQ(rows0.size(), 13u);
    EXPECT_EQ(rows0[2].outcome, Esito::InAttesa);
    EXPECT_GT(rows0[2].pendingId, 0);
    EXPECT_EQ(rows0[12].outcome, Esito::Storico);  // listed at intake
    EXPECT_EQ(rows0[12].reason, Motivo::RigaTroppoLunga);
    ChargeTransfer(settings, *store).TrasferisciAddebiti();

    struct Want {
        int lineNo;
        Esito outcome;
        Motivo reason;
        const char* text;
    };
    const Want wants[] = {
        {1, Esito::Scartato, Motivo::Nessuno, nullptr},
        {2, Esito::Camera, Motivo::Nessuno, ""},
        {3, Esito::Camera, Motivo::Nessuno, ""},
        {4, Esito::Esterno, Motivo::Nessuno, ""},
        {5, Esito::Storico, Motivo::NessunConto,
         "Nessun ospite in casa né cliente esterno per la camera 203"},
        {6, Esito::Storico, Motivo::RigaCorta, "Riga troppo corta"},
        {7, Esito::Storico, Motivo::ImportoNonNumerico, "Importo non numerico"},
        {8, Esito::Storico, Motivo::NonPositivo, "Addebito non positivo e nessun cliente esterno"},
        {9, Esito::Storico, Motivo::PrezzoNonValido, nullptr},
        {10, Esito::Storico, Motivo::ScontoNonNumerico, "Importo dello sconto non numerico"},
        {11, Esito::Storico, Motivo::ScontoDiNonTrasferito, nullptr},
        {12, Esito::Storico, Motivo::RigaTroppoLunga, "Riga troppo lunga (oltre 4000 caratteri)"},
        {13, Esito::Camera, Motivo::Nessuno, ""},  // a day that is no date is no reason
    };
    auto got = journalByLine(*store, "arch1.txt");
    ASSERT_EQ(got.size(), 13u);
    const std::vector<ChargeStore::Line> history = store->errorLines();
    for (const Want& w : wants) {
        SCOPED_TRACE(w.lineNo);
        const JournalEntry& e = got[w.lineNo];
        EXPECT_EQ(e.outcome, w.outcome);
        EXPECT_EQ(e.reason, w.reason);
        if (w.text) {
            EXPECT_EQ(e.reasonText, QString::fromUtf8(w.text));
        }
        EXPECT_EQ(e.pendingId, rows0[w.lineNo].pendingId);  // kept
        EXPECT_EQ(e.line, file.lines[w.lineNo - 1].left(255));
        // A listed row points at its line in the history.
        const bool inHistory =
            std::any_of(history.begin(), history.end(), [&](const ChargeStore::Line& l) {
                return l.id == e.errorId && l.text == file.lines[w.lineNo - 1].left(4000);
            });
        EXPECT_EQ(inHistory, w.outcome == Esito::Storico);
    }
    EXPECT_EQ(history.size(), 8u);
    // Where the postings went: the account rows' identities, clients, amounts.
    const JournalEntry& room = got[2];
    EXPECT_EQ(room.database, "Conto_Cliente.mdb");
    EXPECT_EQ(room.client, 123);
    EXPECT_EQ(room.room, "101");
    EXPECT_EQ(room.added, eur(900));
    EXPECT_EQ(got[3].discountOfPending, room.pendingId);
    EXPECT_EQ(got[3].receivedAfter, room.pendingId);
    EXPECT_EQ(got[13].day, "");
    EXPECT_NE(got[13].accountRow, room.accountRow);  // another day's row
    EXPECT_GT(got[13].accountRow, 0);
    EXPECT_EQ(got[11].discountOfPending, got[10].pendingId);
    EXPECT_EQ(got[4].database, "ContoEsterni.mdb");
    EXPECT_EQ(got[4].client, 900);
    EXPECT_EQ(got[4].quantity, 2.0);
    for (const auto& [file, entry] : {std::pair{Rooms, room}, std::pair{Externals, got[4]}}) {
        auto db = ws->openDatabase(file);
        auto rs = db->openRecordset("Conto_Cliente");
        rs->findFirst("NumeroHotel = 1");
        ASSERT_FALSE(rs->noMatch());
        EXPECT_EQ(rs->rowId(), entry.accountRow);
        EXPECT_EQ(rs->integer("CodiceCliente"), entry.client);
    }
    const auto counts = store->journal().received("20250131", "20250131");
    ASSERT_EQ(counts.size(), 1u);
    EXPECT_EQ(counts[0].lines, 10);  // lines 1 to 8, 11 and 12
    EXPECT_EQ(counts[0].sum, eur(-50 + 1000 - 100 + 300 + 100 - 500 + 1000));

    // With a room map, a code it lacks says so; a line appended behind the
    // journal's back gets its row at the transfer.
    writeBytes("QuorveloCamere.txt", "L12,101\r\n");
    store->appendChargesFile({{line("999", "000100")}, false}, "arch2.txt");
    store->appendPending({line("L12", "000700")});
    log::open(path("Quorvel.log"));
    ChargeTransfer(settings, *store).TrasferisciAddebiti();
    log::close();
    EXPECT_EQ(journalByLine(*store, "arch2.txt")[1].reasonText,
              "Camera non mappata in QuorveloCamere.txt");
    EXPECT_TRUE(
        QString::fromUtf8(readBytes("Quorvel.log"))
            .contains("(Camera non mappata in QuorveloCamere.txt): " + line("999", "000100")));
    auto late = journalByLine(*store, "");
    ASSERT_EQ(late.size(), 1u);
    EXPECT_EQ(late[0].outcome, Esito::Camera);
    EXPECT_EQ(late[0].added, eur(700));

    // "&Cancella": every listed row becomes Cancellato, nothing else moves.
    store->clearErrors();
    JournalQuery q;
    q.outcome = Esito::Storico;
    EXPECT_TRUE(store->journal().find(q).empty());
    q.outcome = Esito::Cancellato;
    const auto cleared = store->journal().find(q);
    EXPECT_EQ(cleared.size(), 9u);
    for (const JournalEntry& e : cleared) {
        EXPECT_EQ(e.errorId, 0);
        EXPECT_EQ(e.action, Azione::Cancella);
    }
    q.outcome = Esito::Camera;
    EXPECT_EQ(store->journal().find(q).size(), 4u);
}

// Repair from the history: bad answers change nothing; a repaired line
// (with its "Sconto" line) is posted once and leaves the history, even when
// a rival repair of the same line runs in another workspace at the same time.
TEST_F(TransferRun, RepairPostsOnceAndRefusesBadAnswers) {
    addCard(Guests, 123, "101");
    addCard(Clients, 900, "E10");
    addCard(Clients, 901, "E11", "S");  // departed
    const QString lost = line("203", "001500");
    store->appendChargesFile(
        {{lost, discountLine("-00200"), line("204", "000400"), line("205", "-00100")}, false},
        "arch.txt");
    ChargeTransfer(settings, *store).TrasferisciAddebiti();
    const std::vector<ChargeStore::Line> history = store->errorLines();
    ASSERT_EQ(history.size(), 4u);
    ChargeRepair repair(settings, *store);
    using S = ChargeRepair::Status;
    const std::pair<ChargeRepair::Result, S> refusals[] = {
        {repair.riprova(history[0].id), S::Failed},
        {repair.assegnaCamera(history[0].id, " 555 "), S::Refused},
        {repair.assegnaCamera(history[0].id, "  "), S::Refused},
        {repair.assegnaEsterno(history[0].id, "12a"), S::Refused},
        {repair.assegnaEsterno(history[0].id, ""), S::Refused},
        {repair.assegnaEsterno(history[0].id, "4242"), S::Refused},
        {repair.assegnaEsterno(history[0].id, "901"), S::Refused},
        {repair.riprova(99999), S::Gone},
        // The line's own fault, whatever room is named.
        {repair.assegnaCamera(history[3].id, "101"), S::Failed},
    };
    for (const auto& [r, status] : refusals) EXPECT_EQ(r.status, status) << r.message.toStdString();
    EXPECT_EQ(refusals[1].first.message, "Nessun ospite in casa nella camera 555");
    EXPECT_EQ(refusals[3].first.message, "Numero di tessera non valido: 12a");
    EXPECT_EQ(refusals[5].first.message, "Nessun cliente esterno con la tessera 4242");
    EXPECT_EQ(refusals[6].first.message, "Il cliente esterno con la tessera 901 è partito");
    EXPECT_EQ(store->errorLines().size(), 4u);
    EXPECT_TRUE(rows(Rooms).empty());
    EXPECT_TRUE(rows(Externals).empty());

    // Chosen by its "Sconto" line, the charge goes with it.
    const auto done = repair.assegnaCamera(history[1].id, "101");
    EXPECT_EQ(done.status, S::Posted);
    EXPECT_EQ(done.lines, 2);
    ASSERT_EQ(rows(Rooms).size(), 1u);
    EXPECT_EQ(rows(Rooms)[0].importo, eur(1300));
    EXPECT_EQ(rows(Rooms)[0].cliente, 123);
    auto j = journalByLine(*store, "arch.txt");
    EXPECT_EQ(j[1].outcome, Esito::Camera);
    EXPECT_EQ(j[1].action, Azione::AssegnaCamera);
    EXPECT_EQ(j[1].errorId, 0);
    EXPECT_EQ(j[1].added, eur(1300));
    EXPECT_EQ(j[2].discountOfPending, j[1].pendingId);
    EXPECT_EQ(repair.assegnaCamera(history[0].id, "101").status, S::Gone);

    // A rival repair from a second workspace gets there first.
    addCard(Guests, 124, "204");
    db::Workspace rivalWs;
    ChargeStore rivalStore(rivalWs);
    ChargeRepair::Result rival;
    RepairSeams seams;
    seams.beforeTransaction = [&] {
        rival = ChargeRepair(settings, rivalStore).riprova(history[2].id);
    };
    const auto mine = ChargeRepair(settings, *store, seams).riprova(history[2].id);
    EXPECT_EQ(rival.status, S::Posted);
    EXPECT_EQ(mine.status, S::Gone);
    EXPECT_EQ(mine.message, "Riga già riparata o già tolta dallo storico errori");
    EXPECT_EQ(rows(Rooms).size(), 2u);
    EXPECT_EQ(store->errorLines().size(), 1u);  // the negative line stays
    EXPECT_EQ(journalByLine(*store, "arch.txt")[3].action, Azione::Riprova);

    // By the external card's number.
    store->appendChargesFile({{line("777", "000250")}, false}, "arch3.txt");
    ChargeTransfer(settings, *store).TrasferisciAddebiti();
    EXPECT_EQ(repair.assegnaEsterno(store->errorLines().back().id, "900").status, S::Posted);
    ASSERT_EQ(rows(Externals).size(), 1u);
    EXPECT_EQ(rows(Externals)[0].importo, eur(250));
    EXPECT_EQ(journalByLine(*store, "arch3.txt")[1].outcome, Esito::Esterno);

    // A "Sconto" goes with the charge it was received after, never with its
    // neighbour in the history: a UTF-8 file lists a stray "Sconto" right
    // after another guest's failed charge.
    store->appendChargesFile({{line("555", "000500")}, false}, "arch4.txt");
    ChargeTransfer(settings, *store).TrasferisciAddebiti();
    store->appendChargesFile(
        {{discountLine("-00200"), line("103", "000900"), discountLine("-00100")}, true},
        "utf8.txt");
    const auto mixed = store->errorLines();  // after the negative line
    ASSERT_EQ(mixed.size(), 5u);
    addCard(Guests, 125, "104");
    const auto stray = repair.assegnaCamera(mixed[2].id, "104");
    EXPECT_EQ(stray.status, S::Refused);
    EXPECT_EQ(stray.message,
              "Lo sconto non ha il suo addebito nello storico errori: non si può "
              "riparare (si può cancellare)");
    const auto own = repair.assegnaCamera(mixed[1].id, "104");
    EXPECT_EQ(own.status, S::Posted);
    EXPECT_EQ(own.lines, 1);
    EXPECT_EQ(journalByLine(*store, "arch4.txt")[1].added, eur(500));
    // Chosen by its "Sconto" line, the UTF-8 charge goes with its own.
    EXPECT_EQ(repair.assegnaCamera(mixed[4].id, "104").lines, 2);
    EXPECT_EQ(journalByLine(*store, "utf8.txt")[2].added, eur(800));
    EXPECT_EQ(rows(Rooms).back().importo, eur(1300));  // both on the guest's row of the day
    EXPECT_EQ(store->errorLines().size(), 2u);         // and the stray one, for "&Cancella"

    // A repair posts the amount recorded when the line was taken (what the
    // reconciliation counted, e.g. by an older reading of the columns),
    // never a new reading of the line.
    store->appendChargesFile({{line("303", "12.345")}, false}, "arch5.txt");
    ChargeTransfer(settings, *store).TrasferisciAddebiti();
    const std::int32_t taken = journalByLine(*store, "arch5.txt")[1].id;
    EXPECT_EQ(journalByLine(*store, "arch5.txt")[1].amount, eur(12345));
    auto received = store->database().openRecordset(QStringLiteral("RigheRicevute"));
    received->findFirst(QStringLiteral("Progressivo = ?"), {std::int64_t{taken}});
    ASSERT_FALSE(received->noMatch());
    received->edit();
    received->setValue(QStringLiteral("Importo"), eur(12));
    received->update();
    addCard(Guests, 126, "303");
    EXPECT_EQ(repair.riprova(store->errorLines().back().id).status, S::Posted);
    EXPECT_EQ(rows(Rooms).back().camera, "303");
    EXPECT_EQ(rows(Rooms).back().importo, eur(12));
}

// A side file that exists but cannot be read fails the run with every line
// pending; it is never taken for a missing file, and the next run that can
// read it maps as before.
TEST_F(TransferRun, UnreadableSideFilesFailTheRunWithLinesPending) {
    addCard(Guests, 1, "103");
    addCard(Guests, 2, "106");
    writeBytes("QuorveloCamere.txt", "103,106\r\n");
    transfer({line("103", "000100")});
    ASSERT_EQ(rows(Rooms).size(), 1u);
    EXPECT_EQ(rows(Rooms)[0].cliente, 2);

    const QStringList lines{line("103", "000200")};
    store->appendPending(lines);
    ChargeTransfer t(settings, *store);
    const std::pair<const char*, QByteArray> files[] = {{"QuorveloCamere.txt", "103,106\r\n"},
                                                        {"QuorvelCamSetup.txt", "2\r\n3\r\n"}};
    for (const auto& [file, content] : files) {
        QFile::remove(path(file));
        ASSERT_TRUE(QDir(dir()).mkdir(file));  // there, but no file to read
        EXPECT_THROW(t.TrasferisciAddebiti(), Error) << file;
        EXPECT_EQ(store->pending(), lines);
        EXPECT_EQ(rows(Rooms).size(), 1u);
        ASSERT_TRUE(QDir(dir()).rmdir(file));
        writeBytes(file, content);
    }
    t.TrasferisciAddebiti();
    ASSERT_EQ(rows(Rooms).size(), 1u);
    EXPECT_EQ(rows(Rooms)[0].cliente, 2);
    EXPECT_EQ(rows(Rooms)[0].importo, eur(300));
    EXPECT_TRUE(store->errors().isEmpty());
}

TEST_F(TransferRun, EmptyListAndMissingDatabase) {
    EXPECT_EQ(transfer({}).batches, 0);
    addCard(Guests, 123, "101");
    const QStringList lines{line("101", "000100"), line("101", "000200")};
    store->appendPending(lines);
    QFile::remove(path("VociFattura.mdb"));
    ChargeTransfer t(settings, *store);
    EXPECT_THROW(t.TrasferisciAddebiti(), Error);
    EXPECT_EQ(store->pending(), lines);
    EXPECT_TRUE(rows(Rooms).empty());
}

// Between two batches the hotel's files are free: another program can take
// an exclusive lock at once.
TEST_F(TransferRun, HotelFilesAreFreeBetweenBatches) {
    addCard(Guests, 123, "101");
    addCard(Clients, 900, "102");
    store->appendPending({line("101", "000100"), line("102", "000200"), line("101", "000300"),
                          line("999", "000400")});
    int checks = 0;
    ChargeTransfer::Seams seams;
    seams.afterWrite = [&] {
        if (ws->inTransaction())
            return;
        ++checks;
        for (const char* file : {Rooms, Externals, Guests, Clients, "QuorvelCoda.db"}) {
            sqlite3* other = nullptr;
            ASSERT_EQ(sqlite3_open(path(QString::fromLatin1(file)).toUtf8().constData(), &other),
                      SQLITE_OK);
            EXPECT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE; ROLLBACK;", nullptr, nullptr, nullptr),
                      SQLITE_OK)
                << file << ": " << sqlite3_errmsg(other);
            sqlite3_close(other);
        }
    };
    ChargeTransfer t(settings, *store, seams);
    t.setBatchBudget(std::chrono::milliseconds(0));
    EXPECT_EQ(t.TrasferisciAddebiti().batches, 4);
    EXPECT_EQ(checks, 4);
}

// A batch ends at the line cap even within its time budget (a charge and
// its discount count as one line), and the log gets one line of counts per
// batch, not one per posting. The room map is read once per run: an edit
// made during the run takes effect at the next run.
TEST_F(TransferRun, BatchesEndAtTheLineCapAndTheRoomMapHoldsForTheRun) {
    addCard(Guests, 123, "101");
    addCard(Guests, 124, "102");
    addItem(50, "Ristorante Interno", 4);
    writeBytes("QuorveloCamere.txt", "X11,101\r\n");
    store->appendPending({line("X11", "000100"), discountLine("-00010"), line("X11", "000200"),
                          line("999", "000300"), line("X11", "000400"), line("X11", "000500")});
    log::open(QStringLiteral("Quorvel.log"));
    bool edited = false;
    ChargeTransfer t(settings, *store, {[&] {
                         if (!edited && !ws->inTransaction()) {
                             writeBytes("QuorveloCamere.txt", "X11,102\r\nX22,101\r\n");
                             edited = true;
                         }
                     }});
    t.setBatchBudget(std::chrono::milliseconds(60000));
    t.setBatchLineCap(2);
    const TransferResult r = t.TrasferisciAddebiti();
    log::close();
    EXPECT_EQ(r.batches, 3);
    EXPECT_EQ(r.roomCharges, 4);
    EXPECT_EQ(r.listed, 1);
    const auto posted = rows(Rooms);
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_EQ(posted[0].cliente, 123);
    EXPECT_EQ(posted[0].importo, eur(1190));
    const QString logText = QString::fromUtf8(readBytes("Quorvel.log"));
    EXPECT_EQ(logText.count("Addebiti trasferiti: "), 3);
    EXPECT_TRUE(
        logText.contains("Addebiti trasferiti: 3 righe, 2 in camera, 0 a clienti "
                         "esterni, 0 non trasferiti"));
    EXPECT_TRUE(
        logText.contains("Addebiti trasferiti: 2 righe, 1 in camera, 0 a clienti "
                         "esterni, 1 non trasferito"));
    EXPECT_FALSE(logText.contains("Addebito camera"));

    store->appendPending({line("X11", "000100")});
    transfer({});
    EXPECT_EQ(rows(Rooms).size(), 2u);  // the next run reads the edited map
    EXPECT_EQ(rows(Rooms)[1].cliente, 124);
}

}  // namespace
}  // namespace quorvel::test

namespace quorvel::test {
namespace {

// Four bridges (four working folders' stores, four connections) post the
// same rooms at once on one server, where no account row exists yet: no
// update of a shared row is lost and no group gets a second row (the find
// and the add are one under the group's lock); the loser of a race rolls
// its batch back and posts it at a later tick. Then a line the server
// refuses (a CHECK) goes to the error history with the server's reason
// while the others of its batch post, and a NUL in a line is a space.
TEST_F(TransferRun, FourBridgesOnOneServerNeverLoseAnUpdateNorAddTwoRows) {
    if (testServer().isEmpty())
        return;
    ServerDb server;
    closeStore();
    ws = std::make_unique<db::Workspace>(server.config("bridge_0"));
    hotel::createHotelOnServer(*ws);
    store = std::make_unique<ChargeStore>(*ws);
    addItem(50, "Ristorante Interno", 4);
    std::map<QString, Currency> expected;
    for (int r = 0; r < 4; ++r) addCard(Guests, 100 + r, QString::number(101 + r));
    std::vector<std::unique_ptr<db::Workspace>> others;
    std::vector<ChargeStore*> stores{store.get()};
    std::vector<std::unique_ptr<ChargeStore>> otherStores;
    for (int b = 1; b < 4; ++b) {
        others.push_back(
            std::make_unique<db::Workspace>(server.config(QStringLiteral("bridge_%1").arg(b))));
        otherStores.push_back(std::make_unique<ChargeStore>(*others.back()));
        stores.push_back(otherStores.back().get());
    }
    for (int b = 0; b < 4; ++b) {
        QStringList lines;
        for (int i = 0; i < 12; ++i) {
            const QString room = QString::number(101 + (i + b) % 4);
            const int cents = 100 * (b + 1) + i;
            lines << line(room, QStringLiteral("%1").arg(cents, 6, 10, QLatin1Char('0')));
            expected[room] += eur(cents);
        }
        stores[static_cast<std::size_t>(b)]->appendPending(lines);
        stores[static_cast<std::size_t>(b)]->workspace().setBusyTimeout(3000);
    }
    std::atomic<int> conflicts{0};
    auto bridge = [&](ChargeStore* s) {
        // Each pass is a tick: a batch that lost a race is rolled back and retried.
        for (int tick = 0; tick < 200 && s->hasPending(); ++tick) {
            ChargeTransfer t(settings, *s);
            t.setBatchLineCap(3);
            try {
                t.TrasferisciAddebiti();
            } catch (const Error&) {
                ++conflicts;
            }
        }
    };
    std::vector<std::thread> threads;
    for (ChargeStore* s : stores) threads.emplace_back(bridge, s);
    for (std::thread& t : threads) t.join();
    std::map<QString, Currency> totals;
    std::map<QString, double> quantities;
    std::map<QString, int> rowsPerRoom;
    for (const AccountRow& r : rows(Rooms)) {
        totals[r.camera] += r.importo;
        quantities[r.camera] += r.quantita;
        ++rowsPerRoom[r.camera];
    }
    EXPECT_EQ(totals, expected);
    for (const auto& [room, q] : quantities) EXPECT_EQ(q, 12.0) << room.toStdString();
    for (const auto& [room, n] : rowsPerRoom) EXPECT_EQ(n, 1) << room.toStdString();
    for (ChargeStore* s : stores) EXPECT_TRUE(!s->hasPending() && s->errors().isEmpty());
    RecordProperty("conflicts", conflicts.load());

    server.exec(
        "ALTER TABLE \"Conto_Cliente\".\"Conto_Cliente\" ADD CONSTRAINT piccolo "
        "CHECK (\"Importo\" < 50) NOT VALID");
    QString withNul = line("101", "000100", "250201");
    withNul[30] = QChar(0);
    const auto intake = store->appendChargesFile(
        PosText{{line("102", "000100", "250201"), line("103", "006000", "250201"),
                 discountLine("000100"), withNul},
                false},
        QStringLiteral("A.txt"));
    EXPECT_EQ(intake.problems.size(), 1);
    EXPECT_TRUE(store->pendingLines().back().text.startsWith(withNul.left(30) + u' '));
    const TransferResult r = ChargeTransfer(settings, *store).TrasferisciAddebiti();
    EXPECT_EQ(r.roomCharges, 2);
    EXPECT_EQ(r.listed, 2);  // the refused charge with its discount
    const QStringList errors = store->errors();
    ASSERT_EQ(errors.size(), 2);
    EXPECT_EQ(errors[0], line("103", "006000", "250201"));
    JournalQuery q;
    q.room = "103";
    q.outcome = Esito::Storico;
    const auto refused = store->journal().find(q);
    ASSERT_FALSE(refused.empty());
    EXPECT_EQ(refused[0].reason, Motivo::RifiutatoDalDatabase);
    EXPECT_TRUE(refused[0].reasonText.contains("piccolo")) << refused[0].reasonText.toStdString();
    EXPECT_FALSE(store->hasPending());
}

}  // namespace
}  // namespace quorvel::test
