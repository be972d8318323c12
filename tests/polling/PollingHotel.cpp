#include "PollingHotel.h"

#include "hotel/HotelSchema.h"
#include "platform/TextFile.h"

#include <QDir>

namespace quorvel {

void PrintTo(const GuestRow& r, std::ostream* os) {
    *os << '{' << r.numeroCamera.toStdString() << '|' << r.nomeCliente.toStdString() << '|'
        << r.dataArrivo.toStdString() << '|' << r.dataPartenza.toStdString() << '}';
}

bool operator==(const GuestRow& a, const GuestRow& b) {
    return a.numeroCamera == b.numeroCamera && a.nomeCliente == b.nomeCliente &&
           a.dataArrivo == b.dataArrivo && a.dataPartenza == b.dataPartenza;
}

}  // namespace quorvel

namespace quorvel::test {

void PollingHotel::SetUp() {
    TempDirTest::SetUp();
    hotel::createHotelDatabases(dir());
    ASSERT_TRUE(QDir(dir()).mkdir(QStringLiteral("pos")));
    hotel::createDatabaseFile(path(QStringLiteral("pos/ClientiCasa.mdb")),
                              {&hotel::clientiCasaTable()});
    writeText(QStringLiteral("POSDest.txt"), {QStringLiteral("pos/")});
    addRoomType(QStringLiteral("DBL"), QStringLiteral("C"));
    addRoomType(QStringLiteral("SAL"), QStringLiteral("S"));
}

void PollingHotel::writeText(const QString& name, const QStringList& lines) {
    writeTextLines(path(name), lines);
}

void PollingHotel::addCard(const char* file, const Card& c) {
    db::Workspace ws;
    auto d = ws.openDatabase(QString::fromLatin1(file));
    auto rs = d->openRecordset(QStringLiteral("Scheda_Cliente"));
    rs->addNew();
    rs->setValue(QStringLiteral("NumeroHotel"), c.hotel);
    rs->setValue(QStringLiteral("NumeroProgressivo"), c.progressivo);
    rs->setValue(QStringLiteral("NumeroCamera"), c.camera);
    rs->setValue(QStringLiteral("NumeroComponente"), c.componente);
    rs->setValue(QStringLiteral("Partito"), c.partito);
    rs->setValue(QStringLiteral("ContoExtra"), 1);
    rs->setValue(QStringLiteral("NomeCliente"), c.nome);
    rs->setValue(QStringLiteral("DataArrivo"), c.arrivo);
    rs->setValue(QStringLiteral("DataPartenza"), c.partenza);
    rs->update();
}

void PollingHotel::addRoom(const QString& camera, const QString& tipo) {
    db::Workspace ws;
    auto d = ws.openDatabase(QStringLiteral("NumeriCamere.mdb"));
    auto rs = d->openRecordset(QStringLiteral("NumeriCamere"));
    rs->addNew();
    rs->setValue(QStringLiteral("NumeroCamera"), camera);
    rs->setValue(QStringLiteral("TipoCamera"), tipo);
    rs->update();
}

void PollingHotel::addRoomType(const QString& sigla, const QString& tipologia) {
    db::Workspace ws;
    auto d = ws.openDatabase(QStringLiteral("TipiCamere.mdb"));
    auto rs = d->openRecordset(QStringLiteral("TipiCamere"));
    rs->addNew();
    rs->setValue(QStringLiteral("Sigla"), sigla);
    rs->setValue(QStringLiteral("Tipologia"), tipologia);
    rs->update();
}

void PollingHotel::addItem(int codice, const QString& descrizione, int hotel) {
    db::Workspace ws;
    auto d = ws.openDatabase(QStringLiteral("VociFattura.mdb"));
    auto rs = d->openRecordset(QStringLiteral("VociFattura"));
    rs->addNew();
    rs->setValue(QStringLiteral("NumeroHotel"), hotel);
    rs->setValue(QStringLiteral("Codice"), codice);
    rs->setValue(QStringLiteral("Descrizione"), descrizione);
    rs->setValue(QStringLiteral("GruppoFatturazione"), 1);
    rs->update();
}

void PollingHotel::addGuestRow(const GuestRow& r) {
    db::Workspace ws;
    auto d = ws.openDatabase(QStringLiteral("pos/ClientiCasa.mdb"));
    auto rs = d->openRecordset(QStringLiteral("ClientiCasa"));
    rs->addNew();
    rs->setValue(QStringLiteral("NumeroHotel"), 1);
    rs->setValue(QStringLiteral("NumeroCamera"), r.numeroCamera);
    rs->setValue(QStringLiteral("NomeCliente"), r.nomeCliente);
    rs->setValue(QStringLiteral("DataArrivo"), r.dataArrivo);
    rs->setValue(QStringLiteral("DataPartenza"), r.dataPartenza);
    rs->update();
}

std::vector<GuestRow> PollingHotel::guestRows() {
    std::vector<GuestRow> out;
    db::Workspace ws;
    auto d = ws.openDatabase(QStringLiteral("pos/ClientiCasa.mdb"));
    auto rs = d->openRecordset(QStringLiteral("ClientiCasa"));
    const QString all = QStringLiteral("NumeroHotel = 1");
    for (rs->findFirst(all); !rs->noMatch(); rs->findNext(all))
        out.push_back(
            {rs->text(QStringLiteral("NumeroCamera")), rs->text(QStringLiteral("NomeCliente")),
             rs->text(QStringLiteral("DataArrivo")), rs->text(QStringLiteral("DataPartenza"))});
    return out;
}

std::vector<IncassoRow> PollingHotel::incassi() {
    std::vector<IncassoRow> out;
    db::Workspace ws;
    auto d = ws.openDatabase(QStringLiteral("Fatture.mdb"));
    auto rs = d->openRecordset(QStringLiteral("Incassi"));
    const QString all = QStringLiteral("NumeroHotel > -1000");
    for (rs->findFirst(all); !rs->noMatch(); rs->findNext(all))
        out.push_back(
            {rs->integer(QStringLiteral("NumeroHotel")), rs->text(QStringLiteral("DataEmissione")),
             rs->text(QStringLiteral("TipoDocumento")), rs->integer(QStringLiteral("NDocumento")),
             rs->integer(QStringLiteral("Contatore")), rs->text(QStringLiteral("Sigla")),
             rs->money(QStringLiteral("Importo")), rs->text(QStringLiteral("Orario")),
             rs->text(QStringLiteral("Nota"))});
    return out;
}

}  // namespace quorvel::test
