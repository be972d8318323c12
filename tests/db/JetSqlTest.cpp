// The Jet parser and its translation into SQLite SQL with bound parameters.
#include "db/JetSql.h"
#include "db/SqlTranslator.h"
#include "db/Statement.h"

#include "platform/Error.h"

#include <gtest/gtest.h>

using namespace quorvel;
using namespace quorvel::db;

namespace {

TableSchema schemaOf(const QStringList& declared) {
    TableSchema t;
    t.name = "T";
    t.qualified = "\"a1\".\"T\"";
    for (const QString& d : declared) {
        const QStringList p = d.split(u':');
        t.columns.push_back(columnFromDeclared(p[0], p[1]));
        t.byFoldedName.insert(p[0].toCaseFolded(), static_cast<int>(t.columns.size() - 1));
    }
    return t;
}

const TableSchema kTable =
    schemaOf({"NumeroHotel:SMALLINT", "CodiceCliente:INTEGER", "NumeroCamera:TEXT(10)",
              "Descrizione:TEXT(50) COLLATE NOCASE", "Importo:CURRENCY", "Unitario:DOUBLE",
              "Numero Conto:INTEGER", "Quantità:DOUBLE"});

SqlPiece sql(const QString& criterion) {
    const TableResolver none = [](const QString&,
                                  const QString& t) -> std::shared_ptr<const TableSchema> {
        auto s = std::make_shared<TableSchema>(
            schemaOf({"Sigla:TEXT(5) COLLATE NOCASE", "Tipologia:TEXT(1) COLLATE NOCASE"}));
        s->name = t;
        s->qualified = "\"a2\".\"" + t + "\"";
        return s;
    };
    return translate(*jet::parseCriterion(criterion), kTable, none, criterion);
}

}  // namespace

TEST(JetSqlTest, CriteriaBecomeSqlWithEveryLiteralBound) {
    SqlPiece p = sql("NumeroHotel = 1 and NumeroCamera = 'dell''Orso'");
    EXPECT_EQ(p.sql, "((\"NumeroHotel\" = ?) AND (\"NumeroCamera\" = ? COLLATE NOCASE))");
    EXPECT_EQ(p.params, std::vector<Value>({Value(1), Value("dell'Orso")}));

    p = sql("not ([Numero Conto] = 1 OR (quantità > 2.5)) And Descrizione Is Not Null");
    EXPECT_EQ(p.sql,
              "((NOT ((\"Numero Conto\" = ?) OR (\"Quantità\" > ?))) AND (\"Descrizione\" IS NOT "
              "NULL))");
    EXPECT_EQ(p.params, std::vector<Value>({Value(1), Value(2.5)}));

    p = sql("NumeroHotel = 1 and Instr(Descrizione,'CAFFÈ') > 0");
    EXPECT_EQ(p.sql, "((\"NumeroHotel\" = ?) AND (jet_instr(\"Descrizione\", ?) > ?))");

    // Money against a literal: exact ten-thousandths, negative too.
    p = sql("Importo = 12.5 or Importo > -0.0001 or Unitario < -3");
    EXPECT_EQ(p.sql, "(((\"Importo\" = ?) OR (\"Importo\" > ?)) OR (\"Unitario\" < ?))");
    EXPECT_EQ(p.params, std::vector<Value>({Value(Currency::fromRaw(125000)),
                                            Value(Currency::fromRaw(-1)), Value(-3)}));

    // Non-ASCII text compares with full case folding; a number with a text field folds ASCII.
    EXPECT_EQ(sql("Descrizione = 'Caffè'").sql, "(\"Descrizione\" = ? COLLATE JETNOCASE)");
    EXPECT_EQ(sql("NumeroCamera > ''").sql, "(\"NumeroCamera\" > ? COLLATE NOCASE)");

    p = sql("NumeroCamera In ('101', '102') and CodiceCliente Not In (3)");
    EXPECT_EQ(p.sql,
              "((\"NumeroCamera\" COLLATE NOCASE IN (?, ?)) AND (\"CodiceCliente\" NOT IN (?)))");

    p =
        sql("NumeroCamera In (Select Sigla From TipiCamere In 'TipiCamere.mdb' Where Tipologia = "
            "'C')");
    EXPECT_EQ(p.sql,
              "(\"NumeroCamera\" COLLATE NOCASE IN (SELECT \"Sigla\" FROM \"a2\".\"TipiCamere\" "
              "WHERE (\"Tipologia\" = ? COLLATE NOCASE)))");
    EXPECT_EQ(p.params, std::vector<Value>({Value("C")}));
}

TEST(JetSqlTest, BadCriteriaAreRefusedQuotingThem) {
    const char* bad[] = {"NumeroHotel =",      "NumeroCamera = 'abc",
                         "(NumeroHotel = 1",   "NumeroHotel = 1 NumeroCamera = '1'",
                         "NumeroHotel == 1",   "NumeroHotel = 1 and",
                         "[NumeroHotel = 1",   "Instr(Descrizione, 'a'",
                         "NumeroHotel = 1x",   "NumeroHotel = 1; drop table T",
                         "NumeroCamera = \"1", ""};
    for (const char* text : bad) {
        try {
            sql(text);
            ADD_FAILURE() << "accepted: " << text;
        } catch (const Error& e) {
            EXPECT_EQ(e.where(), QString(text));
            EXPECT_TRUE(e.cause().contains("sintassi")) << e.cause().toStdString();
        }
    }
    EXPECT_EQ(sql("NumeroCamera = \"a\"\"b\"").params, std::vector<Value>({Value("a\"b")}));
    // Known syntax, unknown names.
    EXPECT_THROW(sql("Camera = 1"), Error);
    EXPECT_THROW(sql("Left(NumeroCamera, 1) = '1'"), Error);
}

TEST(JetSqlTest, SelectTextsAreParsed) {
    EXPECT_TRUE(jet::isSelectText("  select * from T"));
    EXPECT_FALSE(jet::isSelectText("Selezioni"));
    EXPECT_FALSE(jet::isSelectText("Scheda_Cliente"));

    auto s = jet::parseSelect(
        "Select * From NumeriCamere Where TipoCamera In (Select Sigla From TipiCamere In "
        "'TipiCamere.mdb' Where Tipologia = 'C') Order by NumeroCamera;");
    EXPECT_TRUE(s->columns.isEmpty());
    EXPECT_EQ(s->table, "NumeriCamere");
    ASSERT_TRUE(s->where);
    EXPECT_EQ(s->where->kind, jet::Expr::Kind::InSelect);
    EXPECT_EQ(s->where->select->file, "TipiCamere.mdb");
    EXPECT_EQ(s->where->select->columns, QStringList({"Sigla"}));
    ASSERT_EQ(s->orderBy.size(), 1u);
    EXPECT_EQ(s->orderBy[0].field, "NumeroCamera");

    s = jet::parseSelect("SELECT a, [b c] FROM [Tab 1] ORDER BY a DESC, [b c] asc");
    EXPECT_EQ(s->columns, QStringList({"a", "b c"}));
    EXPECT_EQ(s->table, "Tab 1");
    ASSERT_EQ(s->orderBy.size(), 2u);
    EXPECT_TRUE(s->orderBy[0].descending);
    EXPECT_FALSE(s->orderBy[1].descending);

    EXPECT_THROW(jet::parseSelect("Select * From"), Error);
    EXPECT_THROW(jet::parseSelect("Select * From T Order NumeroCamera"), Error);
    EXPECT_THROW(jet::parseSelect("Select * From T Where"), Error);
    EXPECT_THROW(jet::parseSelect("Select * From T; Select 1"), Error);
}

TEST(JetSqlTest, MoneyLiteralsAreExact) {
    EXPECT_EQ(exactMoney("0.1"), Currency::fromRaw(1000));
    EXPECT_EQ(exactMoney("12.50000"), Currency::fromRaw(125000));
    EXPECT_EQ(exactMoney("7"), Currency::fromRaw(70000));
    EXPECT_EQ(exactMoney("0.00001"), std::nullopt);
    EXPECT_EQ(exactMoney("99999999999999999999"), std::nullopt);
}

TEST(JetSqlTest, CriteriaOfOneShapeShareATranslation) {
    QString a, b;
    std::vector<jet::Literal> la, lb;
    ASSERT_TRUE(jet::criterionShape("NumeroHotel = 1 and NumeroCamera = 'dell''a'", a, la));
    ASSERT_TRUE(jet::criterionShape("NumeroHotel = 22 and NumeroCamera = '7'", b, lb));
    EXPECT_EQ(a, b);
    ASSERT_EQ(lb.size(), 2u);
    EXPECT_EQ(la[1].text, "dell'a");
    EXPECT_EQ(lb[0].integer, 22);

    // What changes the translation changes the shape: kind of literal, letters beyond
    // ASCII, money that is not exact.
    auto shape = [](const QString& c) {
        QString s;
        std::vector<jet::Literal> l;
        return jet::criterionShape(c, s, l) ? s : QStringLiteral("-");
    };
    EXPECT_NE(shape("Importo = 1"), shape("Importo = 1.5"));
    EXPECT_NE(shape("Importo = 1.5"), shape("Importo = 1.00001"));
    EXPECT_NE(shape("Descrizione = 'a'"), shape("Descrizione = 'à'"));
    EXPECT_NE(shape("[A 1] = 1"), shape("[A 2] = 1"));
    EXPECT_EQ(shape("Campo1 = 2"), "Campo1 = \x01I");
    EXPECT_EQ(shape("A In (Select B From T)"), "-");
    EXPECT_EQ(shape("A = 'x"), "-");

    // A recipe rebuilds the parameters of another criterion of the shape.
    const QString c1 = "Importo = -12.5 and Quantità > -2 and NumeroCamera = 'x'";
    const QString c2 = "Importo = -0.25 and Quantità > -7 and NumeroCamera = 'yz'";
    const SqlPiece p1 = sql(c1);
    ASSERT_TRUE(jet::criterionShape(c2, b, lb));
    EXPECT_EQ(paramsFromLiterals(p1.recipe, lb), sql(c2).params);
    EXPECT_EQ(sql(c2).params,
              std::vector<Value>({Value(Currency::fromRaw(-2500)), Value(-7), Value("yz")}));
}
