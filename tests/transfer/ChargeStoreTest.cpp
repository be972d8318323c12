// The program's own store: order, whole lines, persistence, transactions.
#include "HotelFixture.h"
#include "PosLine.h"
#include "platform/Error.h"
#include "transfer/PostingJournal.h"

#include <gtest/gtest.h>

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
    rows[0].room = QStringLiteral("203");
    rows[0].amount = Currency::fromCents(-1250);
    rows[0].pendingId = 7;
    rows[0].accountRow = std::int64_t{1} << 40;  // beyond 32 bits
    rows[1].lineNo = 2;
    rows[1].day = QStringLiteral("20261209");
    rows[1].pendingId = 8;
    PostingJournal journal(*store);
    journal.add(rows);
    ASSERT_GT(rows[0].id, 0);
    EXPECT_EQ(rows[1].id, rows[0].id + 1);
    closeStore();
    openStore();
    {
        // A store from before the batch table: its per-line outcome rows go
        // into the lines' rows when the journal opens.
        db::TableDef legacy(QStringLiteral("Esiti"));
        for (const char* f : {"Pendente", "Esito", "CodiceCliente", "ScontoDiPendente", "Errore",
                              "Motivo", "Azione"})
            legacy.appendField(QString::fromUtf8(f), db::FieldType::Int32);
        for (const char* f : {"Camera", "Database", "Tabella", "TestoMotivo", "Quando"})
            legacy.appendField(QString::fromUtf8(f), db::FieldType::Text, 64);
        for (const char* f : {"RigaConto", "Quantità"})
            legacy.appendField(QString::fromUtf8(f), db::FieldType::Double);
        legacy.appendField(QStringLiteral("Aggiunto"), db::FieldType::Currency);
        store->database().appendTable(legacy);
        auto rs = store->database().openRecordset(QStringLiteral("Esiti"));
        rs->addNew();
        rs->setValue(QStringLiteral("Pendente"), 7);
        rs->setValue(QStringLiteral("Esito"), static_cast<int>(Esito::Esterno));
        rs->setValue(QStringLiteral("CodiceCliente"), 42);
        rs->update();
    }
    PostingJournal reopened(*store);
    EXPECT_EQ(reopened.byPendingId(7)->outcome, Esito::Esterno);
    EXPECT_EQ(reopened.byPendingId(7)->client, 42);
    auto legacyRows = store->database().openRecordset(QStringLiteral("Esiti"));
    legacyRows->findFirst(QStringLiteral("Pendente > 0"));
    EXPECT_TRUE(legacyRows->noMatch());
    // The transfer's records stand over the rows' fields, for every reader;
    // texts keep tabs, backslashes and line ends.
    std::vector<JournalEntry> outcomes(2);
    outcomes[0].pendingId = 7;
    outcomes[0].outcome = Esito::Camera;
    outcomes[0].room = QStringLiteral("203");
    outcomes[0].added = Currency::fromCents(-1250);
    outcomes[0].accountRow = std::int64_t{1} << 40;  // beyond 32 bits
    outcomes[0].database = QStringLiteral("C:\\Hotel\\Conto_Cliente.mdb");
    outcomes[0].table = QStringLiteral("Conto_Cliente");
    outcomes[0].quantity = 2.5;
    outcomes[1].pendingId = 8;
    outcomes[1].outcome = Esito::Storico;
    outcomes[1].errorId = 5;
    outcomes[1].discountOfPending = 7;
    outcomes[1].database = outcomes[0].database;
    outcomes[1].table = QStringLiteral("\\=");
    outcomes[1].reasonText = QStringLiteral("a\tb\\n\nc\r");
    reopened.addOutcomes(outcomes);
    EXPECT_EQ(reopened.pendingWithRows(1, 100), (std::vector<std::int32_t>{7, 8}));
    const std::vector<JournalEntry> recorded = reopened.outcomesBetween(8, 20);
    ASSERT_EQ(recorded.size(), 1u);
    EXPECT_EQ(recorded[0].database, outcomes[0].database);
    EXPECT_EQ(recorded[0].table, outcomes[1].table);
    EXPECT_EQ(recorded[0].reasonText, outcomes[1].reasonText);
    EXPECT_EQ(reopened.byPendingId(7)->quantity, 2.5);
    EXPECT_EQ(reopened.byPendingId(7)->table, QStringLiteral("Conto_Cliente"));
    EXPECT_EQ(reopened.byErrorId(5)->id, rows[1].id);
    EXPECT_EQ(reopened.byErrorId(5)->discountOf, rows[0].id);
    JournalQuery inRoom;
    inRoom.outcome = Esito::Camera;
    ASSERT_EQ(reopened.find(inRoom).size(), 1u);
    EXPECT_EQ(reopened.find(inRoom)[0].added, Currency::fromCents(-1250));
    EXPECT_EQ(reopened.markCleared(5), 1);
    EXPECT_EQ(reopened.byPendingId(8)->outcome, Esito::Cancellato);
    EXPECT_FALSE(reopened.byErrorId(5));
    auto e = reopened.byPendingId(7);
    ASSERT_TRUE(e);
    EXPECT_EQ(e->added, Currency::fromCents(-1250));
    EXPECT_EQ(e->line, rows[0].line.left(255));
    EXPECT_EQ(e->amount, Currency::fromCents(-1250));
    EXPECT_EQ(e->accountRow, std::int64_t{1} << 40);
    EXPECT_FALSE(reopened.byId(rows[1].id)->amount);  // Null stays Null
    // A repair writes the whole row: its outcome row goes.
    e->outcome = Esito::Storico;
    e->pendingId = 0;
    e->errorId = 3;
    e->reason = Motivo::NessunConto;
    reopened.update(*e);
    EXPECT_FALSE(reopened.byPendingId(7));
    EXPECT_EQ(reopened.byErrorId(3)->reason, Motivo::NessunConto);
    EXPECT_EQ(reopened.byErrorId(3)->added, Currency::fromCents(-1250));
    EXPECT_TRUE(reopened.find(inRoom).empty());
    JournalEntry missing;
    missing.id = 999;
    EXPECT_THROW(reopened.update(missing), Error);

    JournalQuery q;
    q.text = QStringLiteral("d'angelo");
    q.amount = Currency::fromCents(-1250);
    q.room = QStringLiteral("203");
    EXPECT_EQ(reopened.find(q).size(), 1u);
    q.dayFrom = QStringLiteral("20261209");
    EXPECT_TRUE(reopened.find(q).empty());
    JournalQuery day;
    day.dayFrom = QStringLiteral("20261209");
    EXPECT_EQ(reopened.find(day).size(), 1u);

    reopened.addReceived(
        {{QStringLiteral("a.txt"), QStringLiteral("20261208"), 3, Currency::fromCents(999)},
         {QStringLiteral("a.txt"), QStringLiteral("20261209"), 1, Currency()}});
    const auto counts = reopened.received(QStringLiteral("20261208"), QStringLiteral("20261208"));
    ASSERT_EQ(counts.size(), 1u);
    EXPECT_EQ(counts[0].lines, 3);
    EXPECT_EQ(counts[0].sum, Currency::fromCents(999));
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
