// The soak's check of the posting journal against what it describes: after
// the last run no line is left InAttesa, the room and external rows the
// program wrote hold exactly the amounts their Camera / Esterno rows say
// they added, every error-history line has one Storico row, every receipt
// one Incasso row, and no line of an archive has two rows.
#pragma once

#include "soak/Ledger.h"

namespace quorvel {
class ChargeStore;
}

namespace quorvel::soak {

// rooms, externals: the program's account rows (readAccountRows);
// receipts: how many Incassi rows it wrote.
void checkJournal(ChargeStore& store, const std::vector<AccountRow>& rooms,
                  const std::vector<AccountRow>& externals, qint64 receipts, Tally& tally);

}  // namespace quorvel::soak
