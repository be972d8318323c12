// A fresh empty hotel in a temporary working folder, a workspace with the
// charge store, and helpers to add guest cards, charge items and account
// rows and to read the account tables back.
#pragma once

#include "db/Engine.h"
#include "platform/Settings.h"
#include "support/TempDir.h"
#include "transfer/ChargeStore.h"
#include "transfer/ChargeTransfer.h"

#include <memory>
#include <ostream>
#include <vector>

namespace quorvel::test {

struct AccountRow {
    std::int64_t hotel = 1;
    std::int64_t cliente = 0;
    QString camera;
    QString giorno;
    std::int64_t conto = 0;
    std::int64_t voceFattura = 0;
    std::int64_t voceAddebito = 0;
    QString descrizione;
    Currency importo;
    double unitario = 0;
    double quantita = 0;
    QString fatturato = QStringLiteral("N");
    QString dataFattura = QStringLiteral(" ");
    bool operator==(const AccountRow&) const = default;
};
void PrintTo(const AccountRow& r, std::ostream* os);

class HotelTest : public TempDirTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // Opens the workspace and the store (again, after closeStore()).
    void openStore();
    void closeStore();

    void addCard(const char* file, std::int64_t progressivo, const QString& camera,
                 const QString& partito = QStringLiteral("N"), int componente = 1,
                 std::int64_t conto = 7, int hotel = 1);
    void addItem(int codice, const QString& descrizione, int gruppo, int hotel = 1);
    void addAccountRow(const char* file, const AccountRow& row);
    std::vector<AccountRow> rows(const char* file);

    TransferResult transfer(const QStringList& lines);

    Settings settings;
    std::unique_ptr<db::Workspace> ws;
    std::unique_ptr<ChargeStore> store;
};

inline constexpr char Rooms[] = "Conto_Cliente.mdb";
inline constexpr char Externals[] = "ContoEsterni.mdb";
inline constexpr char Guests[] = "Scheda_Cliente.mdb";
inline constexpr char Clients[] = "ClientiEsterni.mdb";

}  // namespace quorvel::test
