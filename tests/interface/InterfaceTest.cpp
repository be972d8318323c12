// The POS interface: records and framing, the settings file, and the
// listener over loopback with a generated hotel behind it (link, inquiry,
// postings and their answers, exactly once, guests pushed, bad input).
#include "PosClient.h"
#include "hotel/ServerHotel.h"
#include "interface/FiasRecord.h"
#include "interface/InterfaceSettings.h"
#include "interface/PosInterface.h"
#include "platform/Error.h"
#include "polling/WorkGuard.h"
#include "support/ServerDb.h"
#include "transfer/HotelFixture.h"
#include "transfer/PostingJournal.h"
#include "transfer/Reconciliation.h"

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QDateTime>
#include <QFile>

namespace quorvel::test {
namespace {

TEST(FiasRecordTest, ParsesWritesAndFramesWhateverTheReadsBring) {
    const auto r = fias::parse("PR|RN101|TA1250|P#17||WS3|");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->type, "PR");
    EXPECT_EQ(r->fields.size(), 4u);  // the empty field is skipped
    EXPECT_EQ(r->value("TA"), QStringLiteral("1250"));
    EXPECT_EQ(r->value("P#"), QStringLiteral("17"));
    EXPECT_FALSE(r->has("DA"));
    EXPECT_TRUE(fias::parse("LS"));
    // Not records: bad type, no separator after it, a control byte, a one-byte field.
    for (const QByteArray& bad : {QByteArray("pr|RN1|"), QByteArray("P"), QByteArray("PRX|"),
                                  QByteArray("PR|RN1\x01|"), QByteArray("PR|R|")}) {
        QString why;
        EXPECT_FALSE(fias::parse(bad, &why)) << bad.constData();
        EXPECT_FALSE(why.isEmpty());
    }
    // Written bytes: a '|' or control character in a value becomes a blank;
    // Windows-1252 text.
    fias::Record out;
    out.type = "PA";
    out.add("AS", QStringLiteral("OK")).add("CT", QStringLiteral("Caffè|1\n"));
    EXPECT_EQ(fias::frame(out), QByteArray("\x02PA|ASOK|CTCaff\xe8 1 |\x03"));

    // A record split over reads, two in one read, garbage around them.
    fias::FrameReader reader(64);
    reader.feed("\r\n\x02LS|DA25");
    EXPECT_FALSE(reader.next());
    reader.feed("1209|\x03\x02LA|\x03xyz");
    EXPECT_EQ(reader.next(), QByteArray("LS|DA251209|"));
    EXPECT_EQ(reader.next(), QByteArray("LA|"));
    EXPECT_TRUE(reader.takeProblems().isEmpty());  // line ends between records are no garbage
    // Garbage is told when the next frame starts; an oversized record and
    // one cut by a new STX are dropped, the next one is read.
    reader.feed("\x02" + QByteArray(100, 'A') + "\x03\x02PR|RN1\x02PS|RN2|\x03");
    EXPECT_EQ(reader.next(), QByteArray("PS|RN2|"));
    EXPECT_FALSE(reader.next());
    EXPECT_EQ(reader.takeProblems().size(), 3);
}

TEST(FiasRecordTest, SettingsFileAndAmounts) {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("QuorvelPOS.txt"));
    EXPECT_FALSE(readInterfaceSettings(file));
    auto write = [&](const QByteArray& text) {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text);
    };
    write(
        "# cassa\nattivo = si\r\nporta = 6001\nclient = 10.0.0.5, 10.0.0.6\nreparto.BAR = 4\n"
        "attesa_vita = 30\nreparto.Bar.2 = 6\nreparto.1.10 = 7\ngiorni_risposte = 3\n");
    const auto s = readInterfaceSettings(file);
    ASSERT_TRUE(s);
    EXPECT_TRUE(s->enabled);
    EXPECT_EQ(s->port, 6001);
    EXPECT_TRUE(s->allows(QHostAddress(QStringLiteral("10.0.0.6"))));
    EXPECT_TRUE(s->allows(QHostAddress(QStringLiteral("::ffff:10.0.0.5"))));
    EXPECT_FALSE(s->allows(QHostAddress(QStringLiteral("127.0.0.1"))));
    EXPECT_EQ(s->outlets.value(QStringLiteral("bar")), 4);
    EXPECT_EQ(s->aliveSeconds, 30);
    EXPECT_EQ(s->subtotals.value(QStringLiteral("bar.2")), 6);
    EXPECT_EQ(s->outlets.value(QStringLiteral("1.10")), 7);  // an outlet, not a sub-total
    EXPECT_EQ(s->answerDays, 3);
    for (const QByteArray& bad :
         {QByteArray("porta = 0\n"), QByteArray("colore = blu\n"), QByteArray("reparto..1 = 4\n"),
          QByteArray("giorni_risposte = 0\n"), QByteArray("client = 10.0.0.x\n"),
          QByteArray("attivo = forse\n"), QByteArray("reparto.1 = 40000\n"),
          QByteArray("porta 5\n")}) {
        write(bad);
        EXPECT_THROW(readInterfaceSettings(file), Error) << bad.constData();
    }
    EXPECT_EQ(protocolAmount(QStringLiteral("1250")), Currency::fromRaw(125000));
    EXPECT_EQ(protocolAmount(QStringLiteral("-200")), Currency::fromRaw(-20000));
    for (const char* bad : {"", "-", "12.50", "1e3", "12 5", "9999999999999999"})
        EXPECT_FALSE(protocolAmount(QString::fromLatin1(bad))) << bad;
}

class InterfaceTest : public HotelTest {
protected:
    void SetUp() override {
        HotelTest::SetUp();
        addItem(50, QStringLiteral("RISTORANTE"), 5);
        addItem(4, QStringLiteral("BAR"), 6);
        addCard(Guests, 1, QStringLiteral("101"));
        addCard(Guests, 2, QStringLiteral("101"));
        addCard(Guests, 3, QStringLiteral("102"));
        addCard(Clients, 5, QStringLiteral("101"));
        addCard(Clients, 6, QStringLiteral("900"));
        config.port = 0;
    }
    void TearDown() override {
        pos.reset();
        HotelTest::TearDown();
    }
    void listen() {
        pos = std::make_unique<PosInterface>(settings, config,
                                             [this]() -> ChargeStore& { return *store; });
        ASSERT_TRUE(pos->start());
    }
    // A client past link start.
    std::unique_ptr<PosClient> linked() {
        auto c = std::make_unique<PosClient>();
        EXPECT_TRUE(c->connectTo(pos->port()));
        EXPECT_TRUE(c->take("LS"));
        c->send("LS|DA251209|TI100000|");
        EXPECT_TRUE(c->take("LA"));
        c->send("LA|");  // the answer to the bridge's
        return c;
    }
    PosRecord ask(PosClient& c, const QByteArray& body, const QByteArray& answer = "PA") {
        c.send(body);
        auto r = c.take(answer);
        EXPECT_TRUE(r) << body.constData();
        return r.value_or(PosRecord{});
    }
    int rememberedAnswers() {
        auto rs = store->database().openRecordset(QStringLiteral("RisposteCassa"));
        int n = 0;
        rs->forEach(QStringLiteral("Giornale > 0"), [&] { ++n; });
        return n;
    }

    InterfaceSettings config;
    std::unique_ptr<PosInterface> pos;
};

TEST_F(InterfaceTest, LinkStartDescriptionRecordsAliveAndEnd) {
    listen();
    PosClient c;
    ASSERT_TRUE(c.connectTo(pos->port()));
    ASSERT_TRUE(c.take("LS"));
    c.send("LS|DA251209|TI100000|");
    const auto ld = c.take("LD");
    ASSERT_TRUE(ld);
    EXPECT_EQ((*ld)["IF"], "Quorvel");
    ASSERT_TRUE(c.take("LA"));
    EXPECT_EQ(c.skipped().count("LR"), 7);
    c.send("LA|");  // answers the bridge's LA: not answered again
    c.send("LD|IFCassa|V#2.1|");
    // The POS's LR narrows the fields of the answers it gets.
    c.send("LR|RIPA|FLASP#|");
    const auto pa = ask(c, "PS|RN101|TA1000|P#1|WS9|DA251209|TI120000|");
    EXPECT_EQ(pa.body, "PA|ASOK|P#1|");
    // Its own LA is answered.
    c.send("LA|");
    ASSERT_TRUE(c.take("LA"));

    // Idle: the bridge checks with an LA, then gives up on a silent link.
    qint64 now = 0;
    pos->setClock([&] { return now; });
    now = 100'000;  // over 60 s after the last byte
    pos->checkAlive();
    ASSERT_TRUE(c.take("LA"));
    now = 300'000;
    pos->checkAlive();
    EXPECT_TRUE(c.closedByPeer());

    PosClient d;
    ASSERT_TRUE(d.connectTo(pos->port()));
    ASSERT_TRUE(d.take("LS"));
    d.send("LE|");
    EXPECT_TRUE(d.take("LE"));
    EXPECT_TRUE(d.closedByPeer());
    EXPECT_TRUE(waitFor([&] { return pos->connections() == 0; }));
}

TEST_F(InterfaceTest, InquiryListsTheRoomsGuestsAsTheTransferSelectsThem) {
    addCard(Guests, 4, QStringLiteral("101"), QStringLiteral("S"));     // left
    addCard(Guests, 7, QStringLiteral("101"), QStringLiteral("N"), 2);  // second member
    listen();
    auto c = linked();
    const auto pl = ask(*c, "PR|PIY|RN101|P#5|WS2|DA251209|TI120000|", "PL");
    EXPECT_EQ(pl["G#"], "1^2^E5");
    EXPECT_EQ(pl["GN"], "Cliente 1^Cliente 2^Cliente 5");
    EXPECT_EQ(pl["RN"], "101");
    EXPECT_EQ(pl["P#"], "5");
    // A room under the POS's own code.
    writeBytes(QStringLiteral("QuorveloCamere.txt"), "A1,102\r\n");
    EXPECT_EQ(ask(*c, "PR|PIY|RNA1|P#6|", "PL")["G#"], "3");
    const auto none = ask(*c, "PR|PIY|RN555|P#7|");
    EXPECT_EQ(none["AS"], "NG");
    EXPECT_EQ(rememberedAnswers(), 0);  // an inquiry posts nothing
}

TEST_F(InterfaceTest, EachAnswerCodeWithItsCauseAndTheJournal) {
    config.outlets.insert(QStringLiteral("bar"), 4);
    config.outlets.insert(QStringLiteral("rist"), 50);
    config.subtotals.insert(QStringLiteral("rist.2"), 4);
    config.subtotals.insert(QStringLiteral("rist.3"), 4);
    config.subtotals.insert(QStringLiteral("spa2.1"), 50);
    listen();
    auto c = linked();
    // The rules of the transfer: the room's first in-house guest, summed per day and item.
    EXPECT_EQ(ask(*c, "PR|RN101|TA1250|P#1|WS3|DA250307|TI120000|SOrist|")["AS"], "OK");
    EXPECT_EQ(ask(*c, "PS|RN101|TA250|P#2|WS3|DA250307|TI120100|SOrist|")["AS"], "OK");
    // Sub-totals: the negative one is the discount, folded in.
    EXPECT_EQ(ask(*c, "PR|RN102|TA1300|S11500|S2-200|P#3|WS3|DA250307|SObar|")["AS"], "OK");
    // The chosen guest, and the external client of the room.
    EXPECT_EQ(ask(*c, "PR|RN101|TA400|G#2|P#4|WS3|DA250307|SOrist|")["AS"], "OK");
    const auto ext = ask(*c, "PR|RN900|TA700|P#5|WS3|DA250307|SObar|");
    EXPECT_EQ(ext["AS"], "OK");
    EXPECT_EQ(ext["CT"], "Addebitato al cliente esterno 6");
    const std::vector<AccountRow> expected{
        {1, 1, "101", "20250307", 7, 50, 50, "RISTORANTE", Currency::fromRaw(150000), 12.5, 2},
        {1, 3, "102", "20250307", 7, 6, 4, "BAR", Currency::fromRaw(130000), 15, 1},
        {1, 2, "101", "20250307", 7, 50, 50, "RISTORANTE", Currency::fromRaw(40000), 4, 1}};
    EXPECT_EQ(rows(Rooms), expected);
    ASSERT_EQ(rows(Externals).size(), 1u);
    EXPECT_EQ(rows(Externals)[0].importo, Currency::fromRaw(70000));

    // Sub-totals by item: rist's S2 and S3 are the bar's, so the S3
    // discount goes with the bar's part, not the first. One row per item,
    // and one journal row per row written.
    EXPECT_EQ(ask(*c, "PR|RN102|TA2000|S11500|S2700|S3-200|P#6|WS3|DA250308|SOrist|")["AS"], "OK");
    EXPECT_EQ(ask(*c, "PS|RN102|TA500|S2500|P#7|WS3|DA250308|SOrist|")["AS"], "OK");
    EXPECT_EQ(ask(*c, "PS|RN102|TA300|S1300|P#8|WS3|DA250308|SOspa2|")["AS"], "OK");
    auto all = rows(Rooms);
    ASSERT_EQ(all.size(), 5u);
    const std::vector<AccountRow> split{
        {1, 3, "102", "20250308", 7, 50, 50, "RISTORANTE", Currency::fromRaw(180000), 15, 2},
        {1, 3, "102", "20250308", 7, 6, 4, "BAR", Currency::fromRaw(100000), 7, 2}};
    EXPECT_EQ(std::vector<AccountRow>(all.begin() + 3, all.end()), split);
    JournalQuery six;
    six.text = "P#6|";
    const auto parts = store->journal().find(six);
    ASSERT_EQ(parts.size(), 2u);
    EXPECT_EQ(parts[0].amount, Currency::fromRaw(150000));
    EXPECT_EQ(parts[1].amount, Currency::fromRaw(50000));
    EXPECT_NE(parts[0].accountRow, parts[1].accountRow);
    const Reconciliation split8 =
        reconcile(*store, QStringLiteral("20250308"), QStringLiteral("20250308"));
    EXPECT_TRUE(split8.total.balanced());
    EXPECT_EQ(split8.total.room.lines, 4);

    struct Refused {
        QByteArray request, status, text;
    };
    const Refused refused[] = {
        {"PR|RN555|TA100|P#10|WS3|DA250307|", "NG",
         "Nessun ospite in casa né cliente esterno per la camera 555"},
        {"PR|RN102|TA100|G#1|P#11|WS3|DA250307|", "NG",
         "L'ospite 1 non è in casa nella camera 102"},
        {"PR|RN101|TA12,50|P#12|WS3|DA250307|", "UR", "Importo non valido: \"12,50\""},
        {"PR|RN101|TA100|P#13|WS3|DA251399|", "UR", "Data non valida: \"251399\""},
        {"PR|RN101|TA100|S1150|P#14|WS3|DA250307|", "UR",
         "I subtotali (1,50) non danno il totale (1,00)"},
        {"PR|RN101|TA100|SOspa|P#15|WS3|DA250307|", "UR", "Punto vendita sconosciuto: spa"},
        {"PR|RN102|TA-100|P#16|WS3|DA250307|", "UR",
         "Addebito non positivo e nessun cliente esterno"},
        {"PR|RN101|TA100|WS3|DA250307|", "UR", "Numero progressivo (P#) mancante"},
        {"PR|RN102|TA100|S2100|P#17|WS3|DA250307|SOspa2|", "UR",
         "Subtotale 2 del punto vendita spa2 senza voce in QuorvelPOS.txt"},
        {"PR|RN102|TA100|P#18|WS3|DA250307|SOspa2|", "UR",
         "Punto vendita spa2 senza subtotali e senza voce in QuorvelPOS.txt"},
    };
    for (const Refused& r : refused) {
        const auto pa = ask(*c, r.request);
        EXPECT_EQ(pa["AS"], r.status) << r.request.constData();
        EXPECT_EQ(QString::fromLatin1(pa["CT"]), QString::fromUtf8(r.text))
            << r.request.constData();
    }
    EXPECT_EQ(rows(Rooms).size(), 5u);
    // Refused at the till: journalled with the reason, never in the error history.
    EXPECT_TRUE(store->errors().isEmpty());
    JournalQuery q;
    q.outcome = Esito::Rifiutato;
    const auto journal = store->journal().find(q);
    ASSERT_EQ(journal.size(), 9u);
    EXPECT_EQ(journal[0].archive, QStringLiteral("Cassa 3"));
    EXPECT_EQ(journal[0].reason, Motivo::NessunConto);
    EXPECT_EQ(journal[2].reason, Motivo::RichiestaNonValida);
    // The day's balance: received = posted + refused, the refused on a row of their own.
    const Reconciliation rec =
        reconcile(*store, QStringLiteral("20250307"), QStringLiteral("20250307"));
    EXPECT_TRUE(rec.total.balanced());
    EXPECT_EQ(rec.total.room.lines, 4);
    EXPECT_EQ(rec.total.external.lines, 1);
    EXPECT_EQ(rec.total.refused.lines, 8);  // the bad date has no day
    EXPECT_TRUE(reconciliationText(rec, QDateTime()).join('\n').contains("Rifiutate alla cassa"));

    // Retry: work of the program in progress; nothing remembered, so the
    // request posts once the work is over.
    const int before = rememberedAnswers();
    {
        WorkGuard busy;
        EXPECT_EQ(ask(*c, "PR|RN102|TA100|P#20|WS3|DA250307|")["AS"], "RY");
    }
    EXPECT_EQ(rememberedAnswers(), before);
    EXPECT_EQ(ask(*c, "PR|RN102|TA100|P#20|WS3|DA250307|")["AS"], "OK");

    // The journal keeps the room the POS code maps to apart from the room
    // the charge went to (here the chosen external client's).
    writeBytes(QStringLiteral("QuorveloCamere.txt"), "A1,102\r\n");
    EXPECT_EQ(ask(*c, "PR|RNA1|TA100|G#E5|P#21|WS3|DA250307|")["AS"], "OK");
    JournalQuery byCode;
    byCode.room = QStringLiteral("A1");
    const auto mapped = store->journal().find(byCode);
    ASSERT_EQ(mapped.size(), 1u);
    EXPECT_EQ(mapped[0].mappedRoom, QStringLiteral("102"));
    EXPECT_EQ(mapped[0].room, QStringLiteral("101"));
}

TEST_F(InterfaceTest, ARepeatedRequestIsAnsweredOnceAndPostsNothingMore) {
    listen();
    auto c = linked();
    const QByteArray request = "PR|RN101|TA1000|P#77|WS1|DA250307|TI120000|";
    const auto first = ask(*c, request);
    EXPECT_EQ(first["AS"], "OK");
    // Resent after a lost answer, and after a restart of the bridge.
    EXPECT_EQ(ask(*c, request).body, first.body);
    pos.reset();
    closeStore();
    openStore();
    listen();
    auto again = linked();
    EXPECT_EQ(ask(*again, request).body, first.body);
    // Another workstation or day with the same number is another posting.
    EXPECT_EQ(ask(*again, "PR|RN101|TA1000|P#77|WS2|DA250307|")["AS"], "OK");
    EXPECT_EQ(ask(*again, "PR|RN101|TA1000|P#77|WS1|DA250308|")["AS"], "OK");
    ASSERT_EQ(rows(Rooms).size(), 2u);
    EXPECT_EQ(rows(Rooms)[0].importo, Currency::fromRaw(200000));  // WS1 and WS2, once each
    EXPECT_EQ(rememberedAnswers(), 3);
    EXPECT_EQ(store->journal().find({}).size(), 3u);
    // A refused request is remembered too: its resend gets the same answer.
    const auto ng = ask(*again, "PR|RN555|TA100|P#78|WS1|DA250307|");
    EXPECT_EQ(ask(*again, "PR|RN555|TA100|P#78|WS1|DA250307|").body, ng.body);
    EXPECT_EQ(store->journal().find({}).size(), 4u);

    // Remembered answers are forgotten after giorni_risposte days, never
    // before (a resend within them is still answered from memory), and
    // never during the operator's work.
    PostingDesk desk(settings, config, *store);
    const QDateTime now = QDateTime::currentDateTime();
    {
        WorkGuard busy;
        EXPECT_FALSE(desk.forgetAnswers(now.addDays(30)));
    }
    EXPECT_EQ(desk.forgetAnswers(now.addDays(config.answerDays - 1)), 0);
    EXPECT_EQ(ask(*again, request).body, first.body);
    EXPECT_EQ(rows(Rooms)[0].importo, Currency::fromRaw(200000));
    EXPECT_EQ(desk.forgetAnswers(now.addDays(config.answerDays + 1)), 4);
    EXPECT_EQ(rememberedAnswers(), 0);
}

// The store on the server: a posting, its resend answered once, a refused
// one journalled, each answer a plain row there.
TEST_F(InterfaceTest, OnTheServerPostsOnceAndJournalsTheRefused) {
    if (testServer().isEmpty())
        return;
    ServerDb server;
    closeStore();
    ws = std::make_unique<db::Workspace>(server.config(QStringLiteral("bridge_0")));
    hotel::createHotelOnServer(*ws);
    store = std::make_unique<ChargeStore>(*ws);
    addItem(50, QStringLiteral("RISTORANTE"), 5);
    addCard(Guests, 1, QStringLiteral("101"));
    listen();
    auto c = linked();
    const QByteArray request = "PR|RN101|TA1250|P#1|WS1|DA250307|";
    const auto first = ask(*c, request);
    EXPECT_EQ(first["AS"], "OK");
    EXPECT_EQ(ask(*c, request).body, first.body);
    EXPECT_EQ(ask(*c, "PR|RN555|TA100|P#2|WS1|DA250307|")["AS"], "NG");
    const std::vector<AccountRow> expected{
        {1, 1, "101", "20250307", 7, 50, 50, "RISTORANTE", Currency::fromRaw(125000), 12.5, 1}};
    EXPECT_EQ(rows(Rooms), expected);
    EXPECT_EQ(server.raw(QStringLiteral("bridge_0"),
                         QStringLiteral("SELECT Esito, Sequenza FROM RisposteCassa "
                                        "ORDER BY Sequenza")),
              QStringList({"OK|1", "NG|2"}));
    JournalQuery q;
    q.outcome = Esito::Rifiutato;
    const auto refused = store->journal().find(q);
    ASSERT_EQ(refused.size(), 1u);
    EXPECT_EQ(refused[0].reason, Motivo::NessunConto);
    EXPECT_TRUE(store->errors().isEmpty());
    PostingDesk desk(settings, config, *store);
    EXPECT_EQ(desk.forgetAnswers(QDateTime::currentDateTime().addDays(config.answerDays + 1)), 2);
}

TEST_F(InterfaceTest, GuestChangesArePushedAndAResyncListsEveryGuest) {
    listen();
    auto c = linked();
    c->send("DR|DA251209|TI100000|");
    ASSERT_TRUE(c->take("DS"));
    QList<QByteArray> rooms;
    for (int i = 0; i < 3; ++i) {
        const auto gi = c->take("GI");
        ASSERT_TRUE(gi);
        rooms << (*gi)["RN"] + "/" + (*gi)["G#"];
    }
    EXPECT_EQ(rooms, (QList<QByteArray>{"101/1", "101/2", "102/3"}));
    ASSERT_TRUE(c->take("DE"));

    // A check-in, a departure, a room move, as CKI / CKO notices bring them.
    addCard(Guests, 8, QStringLiteral("103"));
    {
        auto database = ws->openDatabase(QString::fromLatin1(Guests));
        auto rs = database->openRecordset(QStringLiteral("Scheda_Cliente"));
        rs->findFirst(QStringLiteral("NumeroProgressivo = 1"));
        rs->edit();
        rs->setValue(QStringLiteral("Partito"), QStringLiteral("S"));
        rs->update();
        rs->findFirst(QStringLiteral("NumeroProgressivo = 3"));
        rs->edit();
        rs->setValue(QStringLiteral("NumeroCamera"), QStringLiteral("104"));
        rs->update();
    }
    pos->guestsMayHaveChanged();
    const auto go = c->take("GO");
    ASSERT_TRUE(go);
    EXPECT_EQ((*go)["G#"], "1");
    EXPECT_EQ((*go)["RN"], "101");
    const auto gc = c->take("GC");
    ASSERT_TRUE(gc);
    EXPECT_EQ((*gc)["RN"], "104");
    EXPECT_EQ((*gc)["RO"], "102");
    const auto gi = c->take("GI");
    ASSERT_TRUE(gi);
    EXPECT_EQ((*gi)["G#"], "8");
    EXPECT_EQ((*gi)["GN"], "Cliente 8");
    // Nothing changed: nothing sent.
    pos->guestsMayHaveChanged();
    c->send("LA|");
    ASSERT_TRUE(c->take("LA"));
    EXPECT_FALSE(c->skipped().contains("GI"));
}

TEST_F(InterfaceTest, BadClientsNeverStopTheOthers) {
    config.clients = {QHostAddress(QStringLiteral("10.9.9.9"))};
    listen();
    {
        PosClient refused;
        refused.connectTo(pos->port());
        EXPECT_TRUE(refused.closedByPeer());
        EXPECT_FALSE(refused.take("LS", 200));
        EXPECT_EQ(pos->connections(), 0);
    }
    pos.reset();
    config.clients = {QHostAddress(QHostAddress::LocalHost)};
    listen();

    auto c = linked();
    // Garbage, an oversized record, a record that is none: dropped, the link goes on.
    c->sendRaw("junk\x02" + QByteArray(fias::MaxRecordBytes + 10, 'X') + "\x03\x02pr|x|\x03");
    EXPECT_EQ(ask(*c, "PR|RN101|TA100|P#1|WS1|DA250307|")["AS"], "OK");
    // A slow client: one byte per turn of the loop.
    const QByteArray slow = "\x02PR|RN101|TA100|P#2|WS1|DA250307|\x03";
    for (char b : slow) {
        c->sendRaw(QByteArray(1, b));
        QCoreApplication::processEvents();
    }
    ASSERT_TRUE(c->take("PA"));

    // 50 clients at once, each posting.
    std::vector<std::unique_ptr<PosClient>> many;
    for (int i = 0; i < 50; ++i) {
        many.push_back(std::make_unique<PosClient>());
        ASSERT_TRUE(many.back()->connectTo(pos->port()));
    }
    for (int i = 0; i < 50; ++i)
        many[static_cast<size_t>(i)]->send(
            QStringLiteral("PS|RN102|TA100|P#%1|WS%2|DA250307|").arg(i).arg(100 + i).toLatin1());
    for (auto& m : many) {
        const auto pa = m->take("PA");
        ASSERT_TRUE(pa);
        EXPECT_EQ((*pa)["AS"], "OK");
    }
    EXPECT_EQ(rows(Rooms)[1].importo, Currency::fromRaw(500000));  // 50 x 1.00 on room 102

    // A client that does not read its answers is closed once too many wait
    // for it (beyond what the system's socket buffers take); the others stay.
    pos->setMaxUnsent(64 * 1024);
    PosClient deaf;
    ASSERT_TRUE(deaf.connectTo(pos->port()));
    deaf.stopReading();
    QByteArray flood;
    for (int i = 0; i < 400000; ++i) flood += "\x02LA|\x03";
    deaf.sendRaw(flood);
    EXPECT_TRUE(waitFor([&] { return pos->connections() == 51; }, 20000));
    EXPECT_EQ(ask(*c, "PR|RN101|TA100|P#3|WS1|DA250307|")["AS"], "OK");
}

}  // namespace
}  // namespace quorvel::test

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
