// The program's own store: order, whole lines, persistence, transactions.
#include "HotelFixture.h"
#include "PosLine.h"
#include "platform/Error.h"
#include "platform/Log.h"
#include "transfer/PostingJournal.h"

#include <gtest/gtest.h>
#include <QFile>
#include <map>

namespace quorvel::test {
namespace {

using ChargeStoreTest = HotelTest;

TEST_F(ChargeStoreTest, LinesSurviveReopenWholeAndInOrder) {
    const QString longLine = QString(600, QLatin1Char('x')) + QStringLiteral("€ end  ");
    const QString exact255 = QString(255, QLatin1Char('y'));
    const QStringList pending{QStringLiteral(" 101 D'ANGELO  "), QString(), longLine, exact255,
                              QStringLiteral("last")};
    store->appendPending(pending);
    store->appendErrors({QStringLiteral("e1"), longLine});
    closeStore();
    openStore();
    EXPECT_EQ(store->pending(), pending);
    EXPECT_EQ(store->errors(), (QStringList{QStringLiteral("e1"), longLine}));

    const auto lines = store->pendingLines();
    ASSERT_EQ(lines.size(), 5u);
    for (std::size_t i = 1; i < lines.size(); ++i) EXPECT_LT(lines[i - 1].id, lines[i].id);
    EXPECT_TRUE(store->removePending(lines[2].id));  // the long line, three rows
    EXPECT_FALSE(store->removePending(lines[2].id));
    EXPECT_THROW(store->removePending(std::vector<std::int32_t>{lines[0].id, lines[2].id}), Error);
    EXPECT_EQ(store->pending().size(), 4);  // the failed batch removed nothing
    store->removePending(std::vector<std::int32_t>{lines[0].id, lines[1].id});
    EXPECT_EQ(store->pending(), (QStringList{exact255, QStringLiteral("last")}));

    store->clearErrors();
    EXPECT_TRUE(store->errors().isEmpty());
    // Numbers keep growing after a restart, even once the list was empty.
    store->removePending(std::vector<std::int32_t>{lines[3].id, lines[4].id});
    EXPECT_FALSE(store->hasPending());
    closeStore();
    openStore();
    store->appendPending({QStringLiteral("again")});
    EXPECT_GT(store->pendingLines().at(0).id, lines[4].id);
}

TEST_F(ChargeStoreTest, AppendJoinsTheCallersTransaction) {
    {
        db::Transaction tx(*ws);
        store->appendPending({QStringLiteral("a"), QStringLiteral("b")});
    }  // rolled back
    EXPECT_FALSE(store->hasPending());
    {
        db::Transaction tx(*ws);
        store->appendPending({QStringLiteral("a")});
        store->appendPending({QStringLiteral("b")});
        tx.commit();
    }
    EXPECT_EQ(store->pending(), (QStringList{QStringLiteral("a"), QStringLiteral("b")}));
}

TEST_F(ChargeStoreTest, ChargesFileLinesTooLongToBeChargesAreListedCut) {
    const QString a = PosLine{}.text();
    const QString sconto = discountLine(QStringLiteral("-00100"));
    const QString huge = a + QString(ChargeStore::MaxLineLength, QLatin1Char('x'));
    const QString hugeSconto = sconto + QString(ChargeStore::MaxLineLength, QLatin1Char('y'));
    const QString atLimit = a + QString(ChargeStore::MaxLineLength - a.size(), QLatin1Char('z'));
    PosLine other;
    other.room = QStringLiteral("102");
    const QString b = other.text();
    // A long charge takes its "Sconto" line along, a long "Sconto" its charge.
    const auto in = store->appendChargesFile(
        PosText{{a, huge, sconto, atLimit, b, hugeSconto, a}, false}, QStringLiteral("E.txt"));
    EXPECT_EQ(store->pending(), (QStringList{a, atLimit, a}));
    EXPECT_EQ(store->errors(), (QStringList{huge.left(ChargeStore::MaxLineLength), sconto, b,
                                            hugeSconto.left(ChargeStore::MaxLineLength)}));
    EXPECT_EQ(in.pending, 3);
    EXPECT_EQ(in.listed, 4);
    ASSERT_EQ(in.problems.size(), 2);
    EXPECT_TRUE(in.problems[0].startsWith(
        QStringLiteral("E.txt, riga 2: riga di %1 caratteri").arg(huge.size())));
    EXPECT_TRUE(in.problems[1].endsWith(QStringLiteral("con l'addebito della riga 5")));
    EXPECT_FALSE(in.notice.isEmpty());

    // Beyond what the store could hold at all (32,767 rows of 255).
    store->clearErrors();
    const QString giant(8'400'000, QLatin1Char('g'));
    const auto g = store->appendChargesFile(PosText{{giant, b}, false}, QStringLiteral("E.txt"));
    EXPECT_EQ(g.pending, 1);
    EXPECT_EQ(store->errors(), QStringList{giant.left(ChargeStore::MaxLineLength)});
    const auto ok = store->appendChargesFile(PosText{{a}, false}, QStringLiteral("E.txt"));
    EXPECT_TRUE(ok.problems.isEmpty());
    EXPECT_TRUE(ok.notice.isEmpty());
}

TEST_F(ChargeStoreTest, JournalRowsKeepEveryFieldAndAreFoundByQueueAndQuery) {
    std::vector<JournalEntry> rows(2);
    rows[0].archive = QStringLiteral("Estrazione_20261208.txt");
    rows[0].lineNo = 1;
    rows[0].line = QStringLiteral("203 D'ANGELO ") + QString(300, QLatin1Char('x'));
    rows[0].day = QStringLiteral("20261208");
    rows[0].posRoom = QStringLiteral("P3");
    rows[0].room = QStringLiteral("203");
    rows[0].amount = Currency::fromCents(-1250);
    rows[0].pendingId = 7;
    rows[1].lineNo = 2;
    rows[1].day = QStringLiteral("20261209");
    rows[1].receivedAfter = 7;
    PostingJournal journal(*store);
    journal.add(rows);
    ASSERT_GT(rows[0].id, 0);
    EXPECT_EQ(rows[1].id, rows[0].id + 1);
    EXPECT_GT(rows[1].pendingId, 0);  // a queue number of its own
    closeStore();
    openStore();
    PostingJournal& reopened = store->journal();
    // The outcome rows, over the received ones for every reader; the room
    // posted to differs from the one mapped when received.
    std::vector<JournalEntry> outcomes(2);
    outcomes[0].pendingId = 7;
    outcomes[0].outcome = Esito::Camera;
    outcomes[0].room = QStringLiteral("205");
    outcomes[0].added = Currency::fromCents(-1250);
    outcomes[0].accountRow = std::int64_t{1} << 40;  // beyond 32 bits
    outcomes[0].quantity = 2.5;
    outcomes[1].pendingId = rows[1].pendingId;
    outcomes[1].outcome = Esito::Storico;
    outcomes[1].errorId = 5;
    outcomes[1].discountOfPending = 7;
    outcomes[1].reasonText = QStringLiteral("a\tb\\n\nc\r");
    reopened.addOutcomes(outcomes);
    EXPECT_EQ(reopened.pendingWithRows(2, 7), (std::vector<std::int32_t>{7}));
    EXPECT_LT(rows[1].pendingId, 7);
    EXPECT_EQ(reopened.byPendingId(7)->quantity, 2.5);
    EXPECT_EQ(reopened.byPendingId(7)->database, QStringLiteral("Conto_Cliente.mdb"));
    EXPECT_EQ(reopened.byPendingId(7)->mappedRoom, QStringLiteral("203"));
    EXPECT_EQ(reopened.byErrorId(5)->id, rows[1].id);
    EXPECT_EQ(reopened.byErrorId(5)->discountOfPending, 7);
    EXPECT_EQ(reopened.byErrorId(5)->reasonText, outcomes[1].reasonText);
    EXPECT_EQ(reopened.discountReceivedAfter(7)->id, rows[1].id);
    EXPECT_EQ(reopened.errorReasons().at(5), outcomes[1].reasonText);
    JournalQuery inRoom;
    inRoom.outcome = Esito::Camera;
    ASSERT_EQ(reopened.find(inRoom).size(), 1u);
    EXPECT_EQ(reopened.find(inRoom)[0].added, Currency::fromCents(-1250));
    // Searched by the room it went to, or by the code as read.
    for (const char* room : {"205", "P3", "203"}) {
        JournalQuery byRoom;
        byRoom.room = QString::fromLatin1(room);
        EXPECT_EQ(reopened.find(byRoom).size(), room[0] == '2' && room[2] == '3' ? 0u : 1u) << room;
    }
    EXPECT_EQ(reopened.markCleared(5), 1);
    EXPECT_EQ(reopened.byPendingId(rows[1].pendingId)->outcome, Esito::Cancellato);
    EXPECT_FALSE(reopened.byErrorId(5));
    auto e = reopened.byPendingId(7);
    ASSERT_TRUE(e);
    EXPECT_EQ(e->line, rows[0].line.left(255));
    EXPECT_EQ(e->amount, Currency::fromCents(-1250));
    EXPECT_EQ(e->accountRow, std::int64_t{1} << 40);
    EXPECT_FALSE(reopened.byId(rows[1].id)->amount);  // Null stays Null
    // A repair writes the line's outcome row again.
    e->outcome = Esito::Storico;
    e->errorId = 3;
    e->reason = Motivo::NessunConto;
    reopened.update(*e);
    EXPECT_EQ(reopened.byErrorId(3)->reason, Motivo::NessunConto);
    EXPECT_EQ(reopened.byErrorId(3)->added, Currency::fromCents(-1250));
    EXPECT_TRUE(reopened.find(inRoom).empty());

    JournalQuery q;
    q.text = QStringLiteral("d'angelo");
    q.amount = Currency::fromCents(-1250);
    q.room = QStringLiteral("205");
    EXPECT_EQ(reopened.find(q).size(), 1u);
    q.dayFrom = QStringLiteral("20261209");
    EXPECT_TRUE(reopened.find(q).empty());
    JournalQuery day;
    day.dayFrom = QStringLiteral("20261209");
    EXPECT_EQ(reopened.find(day).size(), 1u);

    // A code no version wrote is reported, not taken for a known one.
    store->database().openRecordset(QStringLiteral("EsitiRighe"))->removeAll("Pendente = 7");
    outcomes[0].outcome = static_cast<Esito>(42);
    reopened.addOutcomes({outcomes[0]});
    EXPECT_EQ(reopened.byPendingId(7)->damage, QStringLiteral("esito 42 sconosciuto"));
    EXPECT_TRUE(reopened.byId(rows[1].id)->damage.isEmpty());

    reopened.addReceived(
        {{QStringLiteral("a.txt"), QStringLiteral("20261208"), 3, Currency::fromCents(999)},
         {QStringLiteral("a.txt"), QStringLiteral("20261209"), 1, Currency()}});
    const auto counts = reopened.received(QStringLiteral("20261208"), QStringLiteral("20261208"));
    ASSERT_EQ(counts.size(), 1u);
    EXPECT_EQ(counts[0].lines, 3);
    EXPECT_EQ(counts[0].sum, Currency::fromCents(999));
}

// A store whose journal is one wide table with the transfer's outcomes in
// batch texts (table Lotti) becomes received and outcome rows on open, with
// every outcome kept; a record that cannot be read is logged, not guessed.
TEST_F(ChargeStoreTest, AStoreWithBatchRecordsIsConvertedOnOpen) {
    closeStore();
    QFile::remove(path(QString::fromLatin1(ChargeStore::FileName)));
    {
        db::Workspace old;
        auto file = old.createDatabase(QString::fromLatin1(ChargeStore::FileName), QString());
        using T = db::FieldType;
        db::TableDef g(QStringLiteral("Giornale"));
        const std::pair<const char*, T> fields[] = {
            {"Progressivo", T::Int32}, {"Tipo", T::Text},           {"Archivio", T::Text},
            {"NumeroRiga", T::Int32},  {"Riga", T::Text},           {"Giorno", T::Text},
            {"CameraCassa", T::Text},  {"Camera", T::Text},         {"Importo", T::Currency},
            {"Esito", T::Int16},       {"Database", T::Text},       {"Tabella", T::Text},
            {"RigaConto", T::Double},  {"CodiceCliente", T::Int32}, {"Aggiunto", T::Currency},
            {"Quantità", T::Double},   {"ScontoDi", T::Int32},      {"Pendente", T::Int32},
            {"Errore", T::Int32},      {"Motivo", T::Int16},        {"TestoMotivo", T::Text},
            {"Azione", T::Int16},      {"Quando", T::Text}};
        for (const auto& [name, type] : fields)
            g.appendField(QString::fromUtf8(name), type, type == T::Text ? 255 : 0);
        file->appendTable(g);
        db::TableDef lotti(QStringLiteral("Lotti"));
        for (const char* f :
             {"PrimoPendente", "UltimoPendente", "PrimoErrore", "UltimoErrore", "Righe"})
            lotti.appendField(QString::fromLatin1(f), T::Int32);
        lotti.appendField(QStringLiteral("Quando"), T::Text, 19);
        lotti.appendField(QStringLiteral("Esiti"), T::Memo);
        file->appendTable(lotti);
        auto rs = file->openRecordset(QStringLiteral("Giornale"));
        // id, kind, line no, line, amount (cents), outcome, Pendente, error id, added (cents)
        struct Old {
            int id;
            const char* kind;
            int lineNo;
            QString line;
            int cents, outcome, pending, error, added;
        };
        const Old olds[] = {
            {1, "A", 1, PosLine{}.text(), 1000, 0, 1, 0, 0},
            {2, "A", 2, discountLine("-00200"), -200, 0, 2, 0, 0},
            {3, "A", 3, PosLine{}.text(), 1000, 3, 0, 1, 0},  // listed when received
            {4, "A", 4, discountLine("-00100"), -100, 3, 0, 2, 0},
            {5, "I", 1, QStringLiteral("incasso"), 3000, 6, 0, 0, 3000},
            {6, "A", 5, PosLine{}.text(), 1000, 0, 3, 0, 0},  // its record is damaged
            {7, "A", 6, PosLine{}.text(), 1000, 0, 4, 0, 0},  // still pending
        };
        for (const Old& o : olds) {
            rs->addNew();
            rs->setValue("Progressivo", o.id);
            rs->setValue("Tipo", o.kind);
            rs->setValue("Archivio", o.kind[0] == 'A' ? "a.txt" : "c.txt");
            rs->setValue("NumeroRiga", o.lineNo);
            rs->setValue("Riga", o.line);
            rs->setValue("Giorno", "20250131");
            rs->setValue("Camera", "101");
            rs->setValue("Importo", Currency::fromCents(o.cents));
            rs->setValue("Esito", o.outcome);
            rs->setValue("Pendente", o.pending);
            rs->setValue("Errore", o.error);
            rs->setValue("ScontoDi", o.id == 4 ? 3 : 0);
            rs->setValue("Aggiunto", Currency::fromCents(o.added));
            rs->update();
        }
        auto b = file->openRecordset(QStringLiteral("Lotti"));
        b->addNew();
        b->setValue("PrimoPendente", 1);
        b->setValue("UltimoPendente", 3);
        b->setValue("Quando", "2025-01-31T10:00:00");
        b->setValue("Esiti",
                    "1\t1\t101\tConto_Cliente.mdb\tConto_Cliente\t77\t5\t80000\t1\t0\t0\t0\t\n"
                    "2\t1\t101\t\\=\t\\=\t77\t5\t0\t0\t1\t0\t0\t\n"
                    "3\tguasto\n");
        b->update();
    }
    log::open(path("Quorvel.log"));
    openStore();
    log::close();
    QFile logFile(path("Quorvel.log"));
    ASSERT_TRUE(logFile.open(QIODevice::ReadOnly));
    EXPECT_TRUE(logFile.readAll().contains("record 3 di un lotto illeggibile"));
    PostingJournal& journal = store->journal();
    EXPECT_FALSE(store->database().hasTable(QStringLiteral("Lotti")));
    const auto charge = journal.byPendingId(1);
    ASSERT_TRUE(charge);
    EXPECT_EQ(charge->outcome, Esito::Camera);
    EXPECT_EQ(charge->accountRow, 77);
    EXPECT_EQ(charge->added, Currency::fromCents(800));
    EXPECT_EQ(charge->database, QStringLiteral("Conto_Cliente.mdb"));
    EXPECT_EQ(journal.byPendingId(2)->discountOfPending, 1);
    EXPECT_EQ(journal.byPendingId(2)->receivedAfter, 1);
    const auto listedCharge = journal.byErrorId(1);
    ASSERT_TRUE(listedCharge);
    EXPECT_GT(listedCharge->pendingId, 4);  // numbered now
    EXPECT_EQ(journal.byErrorId(2)->receivedAfter, listedCharge->pendingId);
    EXPECT_EQ(journal.byErrorId(2)->discountOfPending, listedCharge->pendingId);
    EXPECT_EQ(journal.byId(5)->outcome, Esito::Incasso);
    EXPECT_EQ(journal.byId(5)->added, Currency::fromCents(3000));
    EXPECT_EQ(journal.byPendingId(3)->outcome, Esito::InAttesa);  // the damaged record
    EXPECT_EQ(journal.byPendingId(4)->outcome, Esito::InAttesa);
    // The view tells the same with plain SQL.
    std::map<int, int> byOutcome;
    auto view = store->database().openRecordset(QStringLiteral("Giornale"));
    view->forEach("Progressivo > 0", [&] { ++byOutcome[int(view->integer("Esito"))]; });
    EXPECT_EQ(byOutcome, (std::map<int, int>{{0, 2}, {1, 2}, {3, 2}, {6, 1}}));
}

TEST_F(ChargeStoreTest, AFileThatIsNotADatabaseIsRefused) {
    closeStore();
    QFile::remove(path(QString::fromLatin1(ChargeStore::FileName)));
    writeBytes(QString::fromLatin1(ChargeStore::FileName), QByteArray(4096, 'z'));
    ws = std::make_unique<db::Workspace>();
    EXPECT_THROW(ChargeStore{*ws}, Error);
}

}  // namespace
}  // namespace quorvel::test
