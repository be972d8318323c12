// Timer1_Timer, the five-second polling tick. In this order it:
//   1. looks up the description of the direct-receipt item (CodiceIncassi);
//   2. imports the receipts of the closing file (FileIncassi) into Incassi;
//   3. moves the lines of the charges file (FileOrigine) to the pending list;
//   4. runs the transfer (Tasto_Click(0)) when charges are pending;
//   5. handles every "CKI" file, then 6. every "CKO" file, in name order;
// the caller re-arms the timer when the tick returns.
//
// Every file goes through the claim / move / settle steps of InboxJournal,
// so a kill at any instant followed by a restart imports each receipt and
// each charge line exactly once; claims left by an earlier run are finished
// first, each at its own step.
#pragma once

#include "platform/Seams.h"
#include "platform/Settings.h"
#include "polling/GuestExport.h"
#include "polling/WorkGuard.h"

#include <QString>
#include <functional>

namespace quorvel {

namespace db {
class Workspace;
}
class ChargeStore;
class InboxJournal;
class MainView;

class PollingCycle {
public:
    // store: the pending list; the tick works in its workspace, so that a
    // charges file's lines and its claim are settled in one transaction.
    // transfer: the transfer button's handler with index 0. view (optional)
    // is shown the pending list after new charges arrived. REQUIRES: every
    // argument outlives the cycle; services.clock and services.dialogs set.
    PollingCycle(const Settings& settings, Services& services, ChargeStore& store,
                 std::function<void()> transfer, MainView* view = nullptr);

    // One tick. Throws Error when a step fails; what earlier steps did stays
    // done, and the failed step is taken up again at the next tick.
    void Timer1_Timer();

    // The tick as the timer runs it: skipped (true) while other work of the
    // program runs (WorkGuard); a failure is logged, shown to the operator
    // through Dialogs::notify (once until the cause changes) and returns
    // false. Never throws.
    bool tick();

    // The description of item CodiceIncassi, or "Codice non valido".
    QString descrizioneIncassi(db::Workspace& ws) const;
    // The note of a receipt row: the code as "0000", "-", the description.
    static QString notaIncasso(int codiceIncassi, const QString& descrizione);

private:
    void importReceipts(db::Workspace& ws, InboxJournal& journal);
    void takeCharges(InboxJournal& journal);
    void handleNotifications(InboxJournal& journal, const char* kind, const QString& mode);

    const Settings& m_settings;
    Services& m_services;
    ChargeStore& m_store;
    GuestExport m_guests;
    std::function<void()> m_transfer;
    MainView* m_view;
    QString m_lastFailure;
};

}  // namespace quorvel
