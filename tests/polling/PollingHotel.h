// A fresh empty hotel in a temporary working folder, with the POS folder
// "pos/" named by "POSDest.txt" and its empty "ClientiCasa.mdb", plus helpers
// to add cards, rooms and items and to read back what the polling wrote.
#pragma once

#include "db/Engine.h"
#include "platform/Settings.h"
#include "polling/GuestList.h"
#include "support/TempDir.h"

#include <ostream>
#include <vector>

namespace quorvel {
void PrintTo(const GuestRow& r, std::ostream* os);
bool operator==(const GuestRow& a, const GuestRow& b);
}  // namespace quorvel

namespace quorvel::test {

struct Card {
    int hotel = 1;
    int progressivo = 0;
    QString camera;
    int componente = 1;
    QString partito = QStringLiteral("N");
    QString nome;
    QString arrivo = QStringLiteral("20250301");
    QString partenza = QStringLiteral("20250309");
};

struct IncassoRow {
    std::int64_t hotel;
    QString data, tipo;
    std::int64_t nDocumento, contatore;
    QString sigla;
    Currency importo;
    QString orario, nota;
};

class PollingHotel : public TempDirTest {
protected:
    void SetUp() override;

    void addCard(const char* file, const Card& card);
    void addRoom(const QString& camera, const QString& tipo = QStringLiteral("DBL"));
    void addRoomType(const QString& sigla, const QString& tipologia);
    void addItem(int codice, const QString& descrizione, int hotel = 1);
    void addGuestRow(const GuestRow& row);  // straight into pos/ClientiCasa.mdb

    std::vector<GuestRow> guestRows();  // pos/ClientiCasa.mdb in table order
    std::vector<IncassoRow> incassi();

    void writeText(const QString& name, const QStringList& lines);

    FakeDialogs dialogs;
    FakeClock clock;
    Services services{&dialogs, &clock, nullptr};
};

inline constexpr char InHouse[] = "Scheda_Cliente.mdb";
inline constexpr char External[] = "ClientiEsterni.mdb";

}  // namespace quorvel::test
