#include "HotelFixture.h"

#include "hotel/HotelSchema.h"

namespace quorvel::test {

void PrintTo(const AccountRow& r, std::ostream* os) {
    *os << "{" << r.hotel << ", " << r.cliente << ", '" << r.camera.toStdString() << "', "
        << r.giorno.toStdString() << ", conto " << r.conto << ", " << r.voceFattura << "/"
        << r.voceAddebito << ", '" << r.descrizione.toStdString() << "', "
        << r.importo.toString().toStdString() << ", " << r.unitario << " x " << r.quantita << ", '"
        << r.fatturato.toStdString() << "', '" << r.dataFattura.toStdString() << "'}";
}

void HotelTest::SetUp() {
    TempDirTest::SetUp();
    hotel::createHotelDatabases(dir());
    settings.codiceGenerico = 50;
    openStore();
}

void HotelTest::TearDown() {
    closeStore();
    TempDirTest::TearDown();
}

void HotelTest::openStore() {
    ws = std::make_unique<db::Workspace>();
    store = std::make_unique<ChargeStore>(*ws);
}

void HotelTest::closeStore() {
    store.reset();
    ws.reset();
}

void HotelTest::addCard(const char* file, std::int64_t progressivo, const QString& camera,
                        const QString& partito, int componente, std::int64_t conto, int hotel) {
    auto database = ws->openDatabase(QString::fromLatin1(file));
    auto rs = database->openRecordset(QStringLiteral("Scheda_Cliente"));
    rs->addNew();
    rs->setValue(QStringLiteral("NumeroHotel"), hotel);
    rs->setValue(QStringLiteral("NumeroProgressivo"), progressivo);
    rs->setValue(QStringLiteral("NumeroCamera"), camera);
    rs->setValue(QStringLiteral("NumeroComponente"), componente);
    rs->setValue(QStringLiteral("Partito"), partito);
    rs->setValue(QStringLiteral("ContoExtra"), conto);
    rs->setValue(QStringLiteral("NomeCliente"), QStringLiteral("Cliente %1").arg(progressivo));
    rs->update();
}

void HotelTest::addItem(int codice, const QString& descrizione, int gruppo, int hotel) {
    auto database = ws->openDatabase(QStringLiteral("VociFattura.mdb"));
    auto rs = database->openRecordset(QStringLiteral("VociFattura"));
    rs->addNew();
    rs->setValue(QStringLiteral("NumeroHotel"), hotel);
    rs->setValue(QStringLiteral("Codice"), codice);
    rs->setValue(QStringLiteral("Descrizione"), descrizione);
    rs->setValue(QStringLiteral("GruppoFatturazione"), gruppo);
    rs->update();
}

void HotelTest::addAccountRow(const char* file, const AccountRow& r) {
    auto database = ws->openDatabase(QString::fromLatin1(file));
    auto rs = database->openRecordset(QStringLiteral("Conto_Cliente"));
    rs->addNew();
    rs->setValue(QStringLiteral("NumeroHotel"), r.hotel);
    rs->setValue(QStringLiteral("CodiceCliente"), r.cliente);
    rs->setValue(QStringLiteral("NumeroCamera"), r.camera);
    rs->setValue(QStringLiteral("DataAddebito"), r.giorno);
    rs->setValue(QStringLiteral("NumeroConto"), r.conto);
    rs->setValue(QStringLiteral("VoceFattura"), r.voceFattura);
    rs->setValue(QStringLiteral("VoceAddebito"), r.voceAddebito);
    rs->setValue(QStringLiteral("Descrizione"), r.descrizione);
    rs->setValue(QStringLiteral("Importo"), r.importo);
    rs->setValue(QStringLiteral("Unitario"), r.unitario);
    rs->setValue(QStringLiteral("Quantità"), r.quantita);
    rs->setValue(QStringLiteral("Fatturato"), r.fatturato);
    rs->setValue(QStringLiteral("DataFattura"), r.dataFattura);
    rs->update();
}

std::vector<AccountRow> HotelTest::rows(const char* file) {
    std::vector<AccountRow> out;
    auto database = ws->openDatabase(QString::fromLatin1(file));
    auto rs = database->openRecordset(QStringLiteral("Conto_Cliente"));
    const QString all = QStringLiteral("NumeroHotel > -1");
    for (rs->findFirst(all); !rs->noMatch(); rs->findNext(all)) {
        AccountRow r;
        r.hotel = rs->integer(QStringLiteral("NumeroHotel"));
        r.cliente = rs->integer(QStringLiteral("CodiceCliente"));
        r.camera = rs->text(QStringLiteral("NumeroCamera"));
        r.giorno = rs->text(QStringLiteral("DataAddebito"));
        r.conto = rs->integer(QStringLiteral("NumeroConto"));
        r.voceFattura = rs->integer(QStringLiteral("VoceFattura"));
        r.voceAddebito = rs->integer(QStringLiteral("VoceAddebito"));
        r.descrizione = rs->text(QStringLiteral("Descrizione"));
        r.importo = rs->money(QStringLiteral("Importo"));
        r.unitario = rs->real(QStringLiteral("Unitario"));
        r.quantita = rs->real(QStringLiteral("Quantità"));
        r.fatturato = rs->text(QStringLiteral("Fatturato"));
        r.dataFattura = rs->text(QStringLiteral("DataFattura"));
        out.push_back(r);
    }
    return out;
}

TransferResult HotelTest::transfer(const QStringList& lines) {
    store->appendPending(lines);
    ChargeTransfer t(settings, *store);
    return t.TrasferisciAddebiti();
}

}  // namespace quorvel::test
