// Recordsets: find order, rows added and changed through the recordset,
// typed values and their refusals.
#include "db/DbFixture.h"

#include "db/JetText.h"
#include "db/WorkspaceImpl.h"
#include "platform/Error.h"

using namespace quorvel;
using namespace quorvel::db;

namespace {

const QStringList kConto = {"NumeroHotel:i16",     "CodiceCliente:i32", "NumeroCamera:text:10",
                            "DataAddebito:text:8", "Importo:cur",       "Quantità:dbl",
                            "Descrizione:text:50"};

class RecordsetTest : public test::DbBackendTest {
protected:
    void SetUp() override {
        DbBackendTest::SetUp();
        if (ready())
            makeTable("Conto.mdb", "Conto_Cliente", kConto);
    }
};

}  // namespace

INSTANTIATE_TEST_SUITE_P(Backends, RecordsetTest,
                         ::testing::Values(test::Backend::Sqlite, test::Backend::Server),
                         test::backendName);

TEST_P(RecordsetTest, FindFirstAndNextWalkTheTableInInsertionOrder) {
    auto database = ws().openDatabase("Conto.mdb");
    auto rs = database->openRecordset("Conto_Cliente");
    const QStringList f = {"NumeroHotel", "NumeroCamera", "CodiceCliente"};
    addRow(*rs, f, {1, "103", 1});
    addRow(*rs, f, {2, "101", 2});
    addRow(*rs, f, {1, "102", 3});
    addRow(*rs, f, {1, "101", 4});

    QStringList seen;
    rs->findFirst("NumeroHotel = 1");
    while (!rs->noMatch()) {
        seen << rs->text("NumeroCamera");
        rs->findNext("NumeroHotel = 1");
    }
    EXPECT_EQ(seen, QStringList({"103", "102", "101"}));
    // No match keeps the current row.
    EXPECT_EQ(rs->integer("CodiceCliente"), 4);
    rs->findFirst("NumeroHotel = 9");
    EXPECT_TRUE(rs->noMatch());
    EXPECT_EQ(rs->integer("CodiceCliente"), 4);
}

TEST_P(RecordsetTest, OrderBySelectIsWalkedInItsOrderWithNullsAndTies) {
    auto database = ws().openDatabase("Conto.mdb");
    auto table = database->openRecordset("Conto_Cliente");
    const QStringList f = {"NumeroHotel", "NumeroCamera", "CodiceCliente"};
    addRow(*table, f, {1, "b", 1});
    addRow(*table, f, {1, Value(), 2});
    addRow(*table, f, {1, "A", 3});
    addRow(*table, f, {1, "a", 4});
    addRow(*table, f, {1, "B", 5});
    addRow(*table, f, {2, "a", 6});

    auto walk = [&](const QString& select) {
        auto rs = database->openRecordset(select);
        QList<qint64> ids;
        rs->findFirst("CodiceCliente > 0");
        while (!rs->noMatch() && ids.size() < 20) {  // a walk that loops stops
            ids << rs->integer("CodiceCliente");
            rs->findNext("CodiceCliente > 0");
        }
        return ids;
    };
    // Case-insensitive order, ties by insertion; Null first ascending, last descending.
    EXPECT_EQ(walk("Select * From Conto_Cliente Where NumeroHotel = 1 Order by NumeroCamera;"),
              QList<qint64>({2, 3, 4, 1, 5}));
    EXPECT_EQ(walk("Select * From Conto_Cliente Where NumeroHotel = 1 Order by NumeroCamera Desc"),
              QList<qint64>({1, 5, 3, 4, 2}));
    EXPECT_EQ(walk("Select * From Conto_Cliente Order by NumeroHotel Desc, NumeroCamera Asc"),
              QList<qint64>({6, 2, 3, 4, 1, 5}));
    // A field list: its fields are read, the others are not there; a field
    // left out may still order the rows.
    EXPECT_EQ(walk("Select CodiceCliente, NumeroHotel From Conto_Cliente Where NumeroCamera = 'a'"
                   " Order by NumeroHotel Desc"),
              QList<qint64>({6, 3, 4}));
    EXPECT_EQ(walk("Select CodiceCliente From Conto_Cliente Where NumeroHotel = 1 "
                   "Order by NumeroCamera"),
              QList<qint64>({2, 3, 4, 1, 5}));
    auto listed = database->openRecordset("Select CodiceCliente From Conto_Cliente");
    listed->findFirst("CodiceCliente = 5");
    EXPECT_THROW(listed->value("NumeroCamera"), Error);
    EXPECT_THROW(database->openRecordset("Select Nessuno From Conto_Cliente"), Error);
}

TEST_P(RecordsetTest, RowsAddedAndChangedThroughTheRecordsetAreFoundLater) {
    auto database = ws().openDatabase("Conto.mdb");
    auto rs = database->openRecordset("Conto_Cliente");
    const QString crit = "NumeroHotel = 1 and CodiceCliente = 7 and NumeroCamera = '101'";
    rs->findFirst(crit);
    EXPECT_TRUE(rs->noMatch());
    addRow(*rs, {"NumeroHotel", "CodiceCliente", "NumeroCamera", "Importo", "Quantità"},
           {1, 7, "101", Currency::fromCents(1250), 2.0});
    rs->findFirst(crit);
    ASSERT_FALSE(rs->noMatch());
    rs->edit();
    rs->setValue("Importo", rs->money("Importo") + Currency::fromCents(1));
    rs->setValue("quantità", rs->real("Quantità") + 1.5);  // names without regard to case
    rs->update();
    EXPECT_EQ(rs->money("Importo"), Currency::fromCents(1251));
    EXPECT_EQ(raw("Conto.mdb", "SELECT Importo, \"Quantità\" FROM Conto_Cliente"),
              QStringList({"125100|3.5"}));

    rs->remove();
    EXPECT_THROW(rs->value("Importo"), Error);
    rs->findFirst(crit);
    EXPECT_TRUE(rs->noMatch());
    EXPECT_TRUE(raw("Conto.mdb", "SELECT * FROM Conto_Cliente").isEmpty());
}

TEST_P(RecordsetTest, DeleteThenFindFirstAgainEmptiesARoom) {
    auto database = ws().openDatabase("Conto.mdb");
    auto rs = database->openRecordset("Conto_Cliente");
    for (const char* room : {"101", "102", "101", "101"}) addRow(*rs, {"NumeroCamera"}, {room});
    rs->findFirst("NumeroCamera = '101'");
    int deleted = 0;
    while (!rs->noMatch()) {
        rs->remove();
        ++deleted;
        rs->findFirst("NumeroCamera = '101'");
    }
    EXPECT_EQ(deleted, 3);
    EXPECT_EQ(raw("Conto.mdb", "SELECT NumeroCamera FROM Conto_Cliente"), QStringList({"102"}));
}

TEST_P(RecordsetTest, CurrencyIsExactAndStoredAsTenThousandths) {
    auto database = ws().openDatabase("Conto.mdb");
    auto rs = database->openRecordset("Conto_Cliente");
    Currency sum;
    for (int i = 0; i < 10; ++i) sum += *Currency::parse("0.1", QLocale::c());
    addRow(*rs, {"CodiceCliente", "Importo"}, {1, sum});
    addRow(*rs, {"CodiceCliente", "Importo"}, {2, 0.1 + 0.2});  // a double is rounded to 4 places
    addRow(*rs, {"CodiceCliente", "Importo"}, {3, Currency::fromRaw(-922337203685477580)});
    addRow(*rs, {"CodiceCliente", "Importo"}, {4, "12.5"});
    if (onServer())  // numeric(19,4), read back here in ten-thousandths
        EXPECT_EQ(raw("Conto.mdb", "SELECT Importo FROM Conto_Cliente"),
                  QStringList({"10000", "3000", "-922337203685477580", "125000"}));
    else
        EXPECT_EQ(raw("Conto.mdb", "SELECT Importo, typeof(Importo) FROM Conto_Cliente"),
                  QStringList({"10000|integer", "3000|integer", "-922337203685477580|integer",
                               "125000|integer"}));
    rs->findFirst("Importo = 0.3");
    ASSERT_FALSE(rs->noMatch());
    EXPECT_EQ(rs->integer("CodiceCliente"), 2);
    EXPECT_EQ(rs->value("Importo"), Value(Currency::fromRaw(3000)));
    rs->findFirst("Importo > 12.4999 and Importo < 12.5001");
    EXPECT_EQ(rs->integer("CodiceCliente"), 4);
    rs->findFirst("Importo = 1");
    EXPECT_EQ(rs->integer("CodiceCliente"), 1);
    rs->findFirst("Importo < -1000");
    EXPECT_EQ(rs->integer("CodiceCliente"), 3);
}

TEST_P(RecordsetTest, ValuesThatDoNotFitTheFieldAreRefusedNamingIt) {
    auto database = ws().openDatabase("Conto.mdb");
    auto rs = database->openRecordset("Conto_Cliente");
    auto refused = [&](const QString& field, const Value& v) {
        try {
            rs->setValue(field, v);
        } catch (const Error& e) {
            return e.where() == field;
        }
        return false;
    };
    // Outside AddNew / Edit.
    EXPECT_TRUE(refused("NumeroHotel", 1));
    rs->addNew();
    EXPECT_TRUE(refused("NumeroHotel", 32768));
    EXPECT_TRUE(refused("NumeroHotel", -32769));
    EXPECT_TRUE(refused("NumeroHotel", "uno"));
    EXPECT_TRUE(refused("CodiceCliente", std::int64_t{2147483648}));
    EXPECT_TRUE(refused("NumeroCamera", "12345678901"));
    EXPECT_TRUE(refused("Importo", "dodici"));
    EXPECT_NO_THROW(rs->setValue("NumeroHotel", -32768));
    EXPECT_NO_THROW(rs->setValue("NumeroCamera", "àèìòù€1234"));  // ten characters
    EXPECT_NO_THROW(rs->setValue("CodiceCliente", 2.5));          // rounds half to even
    rs->update();
    EXPECT_EQ(
        raw("Conto.mdb", "SELECT NumeroHotel, NumeroCamera, CodiceCliente FROM Conto_Cliente"),
        QStringList({"-32768|àèìòù€1234|2"}));
    EXPECT_THROW(rs->update(), Error);  // no AddNew pending
    EXPECT_THROW(rs->setValue("Inesistente", 1), Error);
    rs->findFirst("NumeroHotel = -32768");
    EXPECT_THROW(rs->value("Inesistente"), Error);
}

TEST_P(RecordsetTest, TextComparisonIgnoresCaseAndInstrFindsPieces) {
    auto database = ws().openDatabase("Conto.mdb");
    auto rs = database->openRecordset("Conto_Cliente");
    addRow(*rs, {"CodiceCliente", "Descrizione"}, {1, "Acqua minerale"});
    addRow(*rs, {"CodiceCliente", "Descrizione"}, {2, "CAFFÈ"});
    addRow(*rs, {"CodiceCliente", "Descrizione"}, {3, "Vino dell'Etna"});
    auto first = [&](const QString& crit) -> qint64 {
        rs->findFirst(crit);
        return rs->noMatch() ? 0 : rs->integer("CodiceCliente");
    };
    EXPECT_EQ(first("Descrizione = 'ACQUA MINERALE'"), 1);
    EXPECT_EQ(first("Descrizione = 'caffè'"), 2);  // beyond ASCII too
    EXPECT_EQ(first("Descrizione > 'b' and Descrizione < 'D'"), 2);
    EXPECT_EQ(first("Instr(Descrizione,'MINER') > 0"), 1);
    EXPECT_EQ(first("Instr(Descrizione,'Caffè') = 1"), 2);
    EXPECT_EQ(first("Instr(Descrizione,'dell''etna') > 0"), 3);
    EXPECT_EQ(first("Instr(Descrizione,'birra') > 0"), 0);

    // The comparison exported for look-ups in memory agrees with the
    // engine's '=' and Order by, and jetQuoted makes the literal.
    EXPECT_EQ(jetQuoted("D'A''"), "'D''A'''''");
    const QStringList texts = {"CAFFÈ",  "caffè", "Caffe", "ÀB", "àb", "aB", "ab", "a",
                               "\u212A", "k",     "K",     "ß",  "ss", "Ω",  "ω",  "1'A"};
    makeTable("Testi.mdb", "Testi", {"Codice:i32", "Testo:text:20"});
    auto testi = ws().openDatabase("Testi.mdb");
    auto all = testi->openRecordset("Testi");
    for (int i = 0; i < texts.size(); ++i) addRow(*all, {"Codice", "Testo"}, {i, texts[i]});
    for (const QString& literal : texts) {
        SCOPED_TRACE(literal.toStdString());
        QList<qint64> found, expected;
        all->forEach("Testo = " + jetQuoted(literal), [&] { found << all->integer("Codice"); });
        for (int i = 0; i < texts.size(); ++i) {
            if (criterionEquals(texts[i], literal)) {
                expected << i;
                EXPECT_EQ(foldedKey(texts[i]), foldedKey(literal));
            }
        }
        EXPECT_EQ(found, expected);
    }
    QStringList ordered, sorted = texts;
    auto byText = testi->openRecordset("Select * From Testi Order by Testo");
    byText->forEach("Codice >= 0", [&] { ordered << byText->text("Testo"); });
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const QString& a, const QString& b) { return compareNoCase(a, b) < 0; });
    EXPECT_EQ(ordered, sorted);
}

TEST_P(RecordsetTest, AnIndexCoveringTheCriterionServesTheFind) {
    if (onServer())
        GTEST_SKIP() << "SQLite's query plan";
    rawExec("Conto.mdb",
            "CREATE INDEX Addebito ON Conto_Cliente (CodiceCliente, NumeroCamera, DataAddebito)");
    auto database = ws().openDatabase("Conto.mdb");
    auto rs = database->openRecordset("Conto_Cliente");
    for (int i = 0; i < 50; ++i)
        addRow(*rs, {"NumeroHotel", "CodiceCliente", "NumeroCamera", "DataAddebito"},
               {1, i % 5, QString::number(100 + i % 7), "20250131"});
    const QString crit =
        "NumeroHotel = 1 and CodiceCliente = 3 and NumeroCamera = '103' and DataAddebito = "
        "'20250131'";
    const QString plan = rs->queryPlan(crit);
    EXPECT_TRUE(
        plan.contains("USING INDEX Addebito (CodiceCliente=? AND NumeroCamera=? AND "
                      "DataAddebito=?)"))
        << plan.toStdString();
    // The same through a SELECT with its own Where.
    auto select = database->openRecordset("Select * From Conto_Cliente Where NumeroHotel = 1");
    EXPECT_TRUE(select->queryPlan(crit).contains("USING INDEX Addebito"));
    rs->findFirst(crit);
    ASSERT_FALSE(rs->noMatch());
    EXPECT_EQ(rs->integer("CodiceCliente"), 3);
    EXPECT_EQ(rs->text("NumeroCamera"), "103");
}

// The program's own index (made again: nothing happens) serves the finds on
// both stores, its text field compared without regard to case; a row tells
// its identity, and a new row's is told after its update.
TEST_P(RecordsetTest, OwnIndexesServeTheFindAndRowsTellTheirIdentity) {
    auto database = ws().openDatabase("Conto.mdb");
    database->createIndex("Conto_Cliente", {"NumeroCamera", "CodiceCliente"});
    database->createIndex("conto_cliente", {"numerocamera", "CodiceCliente"});
    EXPECT_THROW(database->createIndex("Conto_Cliente", {"Manca"}), Error);
    auto rs = database->openRecordset("Conto_Cliente");
    std::vector<std::int64_t> ids;
    for (int i = 0; i < 3; ++i) {
        addRow(*rs, {"NumeroHotel", "CodiceCliente", "NumeroCamera"}, {1, i, "ab"});
        ids.push_back(rs->lastAddedId());
    }
    EXPECT_GT(ids[0], 0);
    EXPECT_LT(ids[0], ids[1]);
    EXPECT_LT(ids[1], ids[2]);
    const QString crit = "NumeroCamera = 'AB' and CodiceCliente = 1";
    rs->findFirst(crit);
    ASSERT_FALSE(rs->noMatch());
    EXPECT_EQ(rs->rowId(), ids[1]);
    rs->edit();
    rs->setValue("Descrizione", "x");
    rs->update();
    EXPECT_EQ(rs->rowId(), ids[1]);  // an edit keeps it
    EXPECT_EQ(rs->lastAddedId(), ids[2]);
    // Three rows: the server would rather scan them, unless told not to.
    if (onServer())
        ws().impl().serverExec("SET enable_seqscan = off", "test");
    const QString plan = rs->queryPlan(crit);
    EXPECT_TRUE(plan.contains("Conto_Cliente_NumeroCamera_CodiceCliente")) << plan.toStdString();
    // A field list reads only its fields, so the index alone answers; an
    // edit through it changes the row (on the server, checked against the
    // fields read).
    auto listed = database->openRecordset("Select CodiceCliente, NumeroCamera From Conto_Cliente");
    const QString two = "NumeroCamera = 'ab' and CodiceCliente = 2";
    if (!onServer()) {
        const QString covered = listed->queryPlan(two);
        EXPECT_TRUE(covered.contains("COVERING INDEX")) << covered.toStdString();
    }
    listed->findFirst(two);
    ASSERT_FALSE(listed->noMatch());
    EXPECT_EQ(listed->rowId(), ids[2]);
    listed->edit();
    listed->setValue("CodiceCliente", 5);
    listed->update();
    EXPECT_EQ(raw("Conto.mdb",
                  "SELECT NumeroHotel, CodiceCliente FROM Conto_Cliente "
                  "WHERE CodiceCliente >= 2"),
              QStringList({"1|5"}));
    rs->remove();
    EXPECT_THROW(rs->rowId(), Error);
}

// Values given apart find what the same criterion written out finds, texts
// with apostrophes and accented letters included; one query visits every
// match; one DELETE removes every match.
TEST_P(RecordsetTest, ValuesApartForEachAndRemoveAll) {
    auto database = ws().openDatabase("Conto.mdb");
    auto rs = database->openRecordset("Conto_Cliente");
    const QStringList f = {"NumeroHotel", "CodiceCliente", "NumeroCamera", "Descrizione"};
    addRow(*rs, f, {1, 7, "1'A", "CAFFÈ"});
    addRow(*rs, f, {1, 8, "102", "D'ANGELO"});
    addRow(*rs, f, {1, 7, "102", "caffè"});
    addRow(*rs, f, {2, 7, "102", "caffè"});
    const QString crit = "NumeroHotel = 1 and CodiceCliente = ? and NumeroCamera = ?";
    for (int round = 0; round < 2; ++round) {  // the second round takes the kept plan
        rs->findFirst(crit, {std::int64_t{7}, QStringLiteral("1'a")});
        ASSERT_FALSE(rs->noMatch());
        EXPECT_EQ(rs->text("Descrizione"), "CAFFÈ");
        rs->findFirst(crit, {std::int64_t{7}, QStringLiteral("102")});
        ASSERT_FALSE(rs->noMatch());
        EXPECT_EQ(rs->text("Descrizione"), "caffè");
        rs->findFirst(crit, {std::int64_t{8}, QStringLiteral("1'A")});
        EXPECT_TRUE(rs->noMatch());
        rs->findFirst("Descrizione = ? and NumeroHotel = 2", {QStringLiteral("CAFFÈ")});
        ASSERT_FALSE(rs->noMatch());  // accented letters too without regard to case
        EXPECT_EQ(rs->integer("NumeroHotel"), 2);
        rs->findFirst("Instr(Descrizione, ?) > 0 and NumeroCamera <> '?'", {QStringLiteral("'A")});
        ASSERT_FALSE(rs->noMatch());
        EXPECT_EQ(rs->integer("CodiceCliente"), 8);
    }
    rs->findFirst("CodiceCliente = ?", {Value()});  // Null: compares as Null does
    EXPECT_TRUE(rs->noMatch());
    EXPECT_THROW(rs->findFirst(crit, {std::int64_t{7}}), Error);
    EXPECT_THROW(rs->findFirst("CodiceCliente = 7", {std::int64_t{7}}), Error);

    QStringList seen;
    rs->forEach("CodiceCliente = 7", [&] { seen << rs->text("NumeroCamera"); });
    EXPECT_EQ(seen, QStringList({"1'A", "102", "102"}));
    EXPECT_EQ(rs->removeAll("NumeroCamera = '102' and NumeroHotel = 1"), 2);
    EXPECT_EQ(raw("Conto.mdb", "SELECT NumeroCamera, NumeroHotel FROM Conto_Cliente"),
              QStringList({"1'A|1", "102|2"}));
    seen.clear();
    rs->forEach("NumeroHotel = 9", [&] { seen << rs->text("NumeroCamera"); });
    EXPECT_TRUE(seen.isEmpty());
    EXPECT_TRUE(rs->noMatch());

    // Many rows at once, over more than one statement; a bad value anywhere
    // or a row short of values writes none.
    const QStringList three = {"NumeroHotel", "CodiceCliente", "Descrizione"};
    std::vector<Value> values;
    for (int i = 0; i < 1500; ++i) {
        values.emplace_back(std::int64_t{3});
        values.emplace_back(std::int64_t{i});
        values.emplace_back(QStringLiteral("riga %1").arg(i));
    }
    std::vector<Value> bad = values;
    bad.back() = QString(51, QLatin1Char('x'));
    EXPECT_THROW(rs->addAll(three, bad), Error);
    bad.pop_back();
    EXPECT_THROW(rs->addAll(three, bad), Error);
    const QString count =
        "SELECT count(*), min(CodiceCliente), max(CodiceCliente) FROM "
        "Conto_Cliente WHERE NumeroHotel = 3";
    EXPECT_EQ(raw("Conto.mdb", count), QStringList({"0|NULL|NULL"}));
    rs->addAll(three, values);
    EXPECT_EQ(raw("Conto.mdb", count), QStringList({"1500|0|1499"}));
    std::int64_t next = 0;
    bool inOrder = true;
    rs->forEach("NumeroHotel = 3", [&] {
        inOrder = inOrder && rs->integer("CodiceCliente") == next &&
                  rs->text("Descrizione") == QStringLiteral("riga %1").arg(next);
        ++next;
    });
    EXPECT_TRUE(inOrder);
    EXPECT_EQ(next, 1500);
    // Counted, and a page of them: the rows after the skipped ones, in order.
    EXPECT_EQ(rs->count(), 1502);
    EXPECT_EQ(rs->count("NumeroHotel = 3 and CodiceCliente >= 1000"), 500);
    auto ordered = database->openRecordset(
        "Select CodiceCliente From Conto_Cliente Where NumeroHotel = 3 Order By CodiceCliente "
        "Desc");
    EXPECT_EQ(ordered->count(), 1500);
    EXPECT_EQ(ordered->count("CodiceCliente < 10"), 10);
    std::vector<std::int64_t> page;
    ordered->forEach("CodiceCliente < 1200", 5, 3,
                     [&] { page.push_back(ordered->integer("CodiceCliente")); });
    EXPECT_EQ(page, (std::vector<std::int64_t>{1194, 1193, 1192}));
    page.clear();
    ordered->forEach("CodiceCliente >= 0", 1497, -1,
                     [&] { page.push_back(ordered->integer("CodiceCliente")); });
    EXPECT_EQ(page, (std::vector<std::int64_t>{2, 1, 0}));
    // A size counts characters: one beyond 16 bits is one, not two.
    const char32_t face = U'\U0001F600';
    QString faces;
    for (int i = 0; i < 50; ++i) faces += QString::fromUcs4(&face, 1);
    rs->addNew();
    rs->setValue("Descrizione", faces);
    EXPECT_THROW(rs->setValue("Descrizione", faces + "x"), Error);
    rs->update();
    EXPECT_EQ(
        raw("Conto.mdb", "SELECT count(*) FROM Conto_Cliente WHERE Descrizione = '" + faces + "'"),
        QStringList({"1"}));
    // A memo has no size limit.
    makeTable("Conto.mdb", "Note", {"Testo:memo"});
    auto notes = database->openRecordset("Note");
    const QString big = QString(300000, QLatin1Char('n')) + faces;
    notes->addNew();
    notes->setValue("Testo", big);
    notes->update();
    notes->findFirst("Testo <> ''");
    ASSERT_FALSE(notes->noMatch());
    EXPECT_EQ(notes->text("Testo"), big);
}
