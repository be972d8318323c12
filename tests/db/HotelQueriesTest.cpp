// The program's own SELECT texts and criteria, run against small hotel
// tables: what each one finds, and in which order.
#include "db/DbFixture.h"

using namespace quorvel;
using namespace quorvel::db;

namespace {

const QStringList kScheda = {
    "NumeroHotel:i16",      "NumeroProgressivo:i32", "NumeroCamera:text:10",
    "NumeroComponente:i16", "Partito:text:1",        "ContoExtra:i32",
    "NomeCliente:text:50",  "DataArrivo:text:8",     "DataPartenza:text:8"};

class HotelQueriesTest : public test::DbBackendTest {
protected:
    // Walks a recordset with find first / find next, collecting one field.
    static QStringList walk(Recordset& rs, const QString& criterion, const QString& field) {
        QStringList out;
        rs.findFirst(criterion);
        while (!rs.noMatch()) {
            out << rs.text(field);
            rs.findNext(criterion);
        }
        return out;
    }

    void makeCards(const QString& file) {
        makeTable(file, "Scheda_Cliente", kScheda);
        auto database = ws().openDatabase(file);
        auto rs = database->openRecordset("Scheda_Cliente");
        const QStringList f = {"NumeroHotel",      "NumeroProgressivo", "NumeroCamera",
                               "NumeroComponente", "Partito",           "ContoExtra"};
        addRow(*rs, f, {1, 30, "101", 1, "N", 300});
        addRow(*rs, f, {1, 10, "101", 2, "N", 100});  // second member of the party
        addRow(*rs, f, {1, 20, "101", 1, "N", 200});
        addRow(*rs, f, {1, 40, "102", 1, "S", 400});  // has left
        addRow(*rs, f, {2, 50, "101", 1, "N", 500});  // another hotel
        addRow(*rs, f, {1, 5, "103", 1, "n", 50});    // lower case flag
    }
};

}  // namespace

INSTANTIATE_TEST_SUITE_P(Backends, HotelQueriesTest,
                         ::testing::Values(test::Backend::Sqlite, test::Backend::Server),
                         test::backendName);

TEST_P(HotelQueriesTest, TransferRunTexts) {
    makeCards("Scheda_Cliente.mdb");
    makeCards("ClientiEsterni.mdb");
    auto cards = ws().openDatabase("Scheda_Cliente.mdb");
    auto guests = cards->openRecordset(
        "Select * From Scheda_Cliente Where NumeroHotel = 1 and Partito = 'N' and "
        "NumeroComponente = 1");
    guests->findFirst("NumeroHotel = 1 and NumeroCamera = '101'");
    ASSERT_FALSE(guests->noMatch());
    EXPECT_EQ(guests->integer("NumeroProgressivo"), 30);  // first in insertion order
    EXPECT_EQ(walk(*guests, "NumeroHotel = 1 and NumeroCamera = '101'", "NumeroProgressivo"),
              QStringList({"30", "20"}));
    guests->findFirst("NumeroHotel = 1 and NumeroCamera = '102'");
    EXPECT_TRUE(guests->noMatch());
    guests->findFirst("NumeroHotel = 1 and NumeroCamera = '103'");
    EXPECT_FALSE(guests->noMatch());  // 'n' is 'N' to Jet

    auto externals = ws().openDatabase("ClientiEsterni.mdb");
    auto clients = externals->openRecordset(
        "Select * From Scheda_Cliente Where NumeroHotel = 1 and Partito = 'N'");
    EXPECT_EQ(walk(*clients, "NumeroHotel = 1 and NumeroCamera = '101'", "NumeroProgressivo"),
              QStringList({"30", "10", "20"}));

    makeTable("VociFattura.mdb", "VociFattura",
              {"NumeroHotel:i16", "Codice:i16", "Descrizione:text:50", "GruppoFatturazione:i16"});
    auto items = ws().openDatabase("VociFattura.mdb");
    auto voci = items->openRecordset("VociFattura");
    const QStringList vf = {"NumeroHotel", "Codice", "Descrizione", "GruppoFatturazione"};
    addRow(*voci, vf, {2, 1, "Caffetteria", 9});
    addRow(*voci, vf, {1, 2, "Ristorante", 3});
    addRow(*voci, vf, {1, 3, "BAR CAFFETTERIA", 4});
    voci->findFirst("NumeroHotel = 1 and Instr(Descrizione,'Caffe') > 0");
    EXPECT_EQ(voci->integer("Codice"), 3);
    voci->findFirst("NumeroHotel = 1 and Codice = 2");
    EXPECT_EQ(voci->text("Descrizione"), "Ristorante");
    voci->findFirst("NumeroHotel = 1 and Codice = 99");
    EXPECT_TRUE(voci->noMatch());

    makeTable("Conto_Cliente.mdb", "Conto_Cliente",
              {"NumeroHotel:i16", "CodiceCliente:i32", "NumeroCamera:text:10",
               "DataAddebito:text:8", "VoceAddebito:i16", "Importo:cur", "Quantità:dbl"});
    auto accounts = ws().openDatabase("Conto_Cliente.mdb");
    auto conto = accounts->openRecordset("Conto_Cliente");
    const QStringList cf = {"NumeroHotel",  "CodiceCliente", "NumeroCamera",
                            "DataAddebito", "VoceAddebito",  "Importo"};
    addRow(*conto, cf, {1, 30, "101", "20250131", 5, Currency::fromCents(100)});
    addRow(*conto, cf, {1, 30, "101", "20250131", 6, Currency::fromCents(200)});
    addRow(*conto, cf, {2, 30, "101", "20250131", 5, Currency::fromCents(300)});
    conto->findFirst(
        "NumeroHotel = 1 and CodiceCliente = 30 and NumeroCamera = '101' and DataAddebito = "
        "'20250131' and VoceAddebito = 5");
    ASSERT_FALSE(conto->noMatch());
    EXPECT_EQ(conto->money("Importo"), Currency::fromCents(100));
}

TEST_P(HotelQueriesTest, GuestExportTexts) {
    makeCards("Scheda_Cliente.mdb");
    auto cards = ws().openDatabase("Scheda_Cliente.mdb");
    auto room = cards->openRecordset(
        "Select * From Scheda_Cliente Where NumeroCamera = '101' and Partito <> 'S' and "
        "NumeroComponente = 1 Order by NumeroCamera,NumeroProgressivo;");
    EXPECT_EQ(walk(*room, "NumeroHotel = 1", "NumeroProgressivo"), QStringList({"20", "30"}));
    auto roomAll = cards->openRecordset(
        "Select * From Scheda_Cliente Where NumeroCamera = '101' and Partito <> 'S' Order by "
        "NumeroCamera,NumeroProgressivo;");
    EXPECT_EQ(walk(*roomAll, "NumeroHotel = 1", "NumeroProgressivo"),
              QStringList({"10", "20", "30"}));
    auto present = cards->openRecordset(
        "Select * From Scheda_Cliente Where Partito <> 'S' and NumeroComponente = 1 Order by "
        "NumeroProgressivo;");
    present->findFirst("NumeroCamera = '101'");
    EXPECT_EQ(present->integer("NumeroProgressivo"), 20);
    present->findFirst("NumeroCamera = '102'");
    EXPECT_TRUE(present->noMatch());

    makeTable("NumeriCamere.mdb", "NumeriCamere", {"NumeroCamera:text:10", "TipoCamera:text:5"});
    makeTable("TipiCamere.mdb", "TipiCamere", {"Sigla:text:5", "Tipologia:text:1"});
    {
        auto tipi = ws().openDatabase("TipiCamere.mdb");
        auto rs = tipi->openRecordset("TipiCamere");
        addRow(*rs, {"Sigla", "Tipologia"}, {"DBL", "C"});
        addRow(*rs, {"Sigla", "Tipologia"}, {"SAL", "S"});
        addRow(*rs, {"Sigla", "Tipologia"}, {"sgl", "c"});
    }
    auto numeri = ws().openDatabase("NumeriCamere.mdb");
    {
        auto rs = numeri->openRecordset("NumeriCamere");
        addRow(*rs, {"NumeroCamera", "TipoCamera"}, {"201", "DBL"});
        addRow(*rs, {"NumeroCamera", "TipoCamera"}, {"101", "SGL"});
        addRow(*rs, {"NumeroCamera", "TipoCamera"}, {"900", "SAL"});
        addRow(*rs, {"NumeroCamera", "TipoCamera"}, {"", "DBL"});
        addRow(*rs, {"NumeroCamera", "TipoCamera"}, {"102", "dbl"});
    }
    auto rooms = numeri->openRecordset(
        "Select * From NumeriCamere Where TipoCamera In (Select Sigla From TipiCamere In "
        "'TipiCamere.mdb' Where Tipologia = 'C') Order by NumeroCamera;");
    EXPECT_EQ(walk(*rooms, "NumeroCamera > ''", "NumeroCamera"),
              QStringList({"101", "102", "201"}));

    makeTable("ClientiCasa.mdb", "ClientiCasa",
              {"NumeroHotel:i16", "NumeroCamera:text:6", "NomeCliente:text:100",
               "DataArrivo:text:10", "DataPartenza:text:10"});
    auto casa = ws().openDatabase("ClientiCasa.mdb");
    auto table = casa->openRecordset("ClientiCasa");
    for (const char* code : {"12", "03", "12", "7"})
        addRow(*table, {"NumeroHotel", "NumeroCamera"}, {1, code});
    table->findFirst("NumeroCamera = '12'");
    while (!table->noMatch()) {
        table->remove();
        table->findFirst("NumeroCamera = '12'");
    }
    auto sorted = casa->openRecordset("Select * from ClientiCasa Order by NumeroCamera;");
    EXPECT_EQ(walk(*sorted, "NumeroCamera > ''", "NumeroCamera"), QStringList({"03", "7"}));
}

TEST_P(HotelQueriesTest, PrintMenuAndReceiptTexts) {
    makeTable("AnagraficaHotels.mdb", "AnagraficaHotels",
              {"Numero:i32", "CodiceAssistenza:text:20"});
    makeTable("Stampanti.mdb", "Stampanti",
              {"NumeroHotel:i16", "Destinazione:text:30", "TipoStampa:i16", "Linea:text:50"});
    makeTable("Stampanti.mdb", "SetStampa",
              {"TipoStampa:i32", "Compresso:text:36", "Grassetto:text:36"});
    makeTable("Contatori.mdb", "Contatori",
              {"NumeroHotel:i16", "LungPagComp:i16", "LungPagNoComp:i16"});
    {
        auto h = ws().openDatabase("AnagraficaHotels.mdb");
        addRow(*h->openRecordset("AnagraficaHotels"), {"Numero", "CodiceAssistenza"}, {1, "KU"});
        auto s = ws().openDatabase("Stampanti.mdb");
        auto st = s->openRecordset("Stampanti");
        addRow(*st, {"NumeroHotel", "Destinazione", "TipoStampa"}, {1, "Cassa 1", 2});
        addRow(*st, {"NumeroHotel", "Destinazione", "TipoStampa"}, {2, "Altro", 1});
        addRow(*st, {"NumeroHotel", "Destinazione", "TipoStampa"}, {1, "Ufficio", 1});
        addRow(*s->openRecordset("SetStampa"), {"TipoStampa", "Compresso"},
               {2, "008000000000000001010000000000000000"});
        auto c = ws().openDatabase("Contatori.mdb");
        addRow(*c->openRecordset("Contatori"), {"NumeroHotel", "LungPagComp"}, {1, 72});
    }
    auto h = ws().openDatabase("AnagraficaHotels.mdb");
    auto hotels = h->openRecordset("AnagraficaHotels");
    hotels->findFirst("Numero = 1");
    EXPECT_EQ(hotels->text("CodiceAssistenza"), "KU");

    auto s = ws().openDatabase("Stampanti.mdb");
    auto st = s->openRecordset("Stampanti");
    EXPECT_EQ(walk(*st, "NumeroHotel = 1", "Destinazione"), QStringList({"Cassa 1", "Ufficio"}));
    st->findFirst("Destinazione = 'cassa 1'");
    ASSERT_FALSE(st->noMatch());
    auto set = s->openRecordset("SetStampa");
    set->findFirst("TipoStampa = " + QString::number(st->integer("TipoStampa")));
    EXPECT_EQ(set->text("Compresso").mid(15, 3), "001");

    auto c = ws().openDatabase("Contatori.mdb");
    auto cont = c->openRecordset("Contatori");
    cont->findFirst("NumeroHotel = 1");
    EXPECT_EQ(cont->integer("LungPagComp"), 72);
    EXPECT_TRUE(cont->value("LungPagNoComp").isNull());
}
