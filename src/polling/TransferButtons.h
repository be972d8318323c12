// The main window's buttons `Tasto`(0..3) that serve the charge transfer:
// "&Trasferisci" (0), "&Esci" (1), "&Stampa" (2, through a hook the print
// layer sets) and "&Cancella" (3). The polling tick runs the same transfer
// as "&Trasferisci" through transfer(), and gets its outcome back.
//
// No failure leaves these calls: a failing transfer stops, its unhandled
// lines stay pending, and the failure is logged and shown without a modal
// box (Dialogs::notify) so the polling goes on.
#pragma once

#include "platform/Seams.h"
#include "platform/Settings.h"
#include "polling/FailureEpisode.h"
#include "polling/MainView.h"
#include "transfer/ChargeStore.h"
#include "transfer/ChargeTransfer.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace quorvel {

// What one transfer of "&Trasferisci" or of the tick came to.
struct TransferRun {
    enum class Outcome {
        NoType,  // no transfer type chosen: the operator was told, nothing ran
        Done,    // every pending line handled
        Failed,  // stopped on a failure (logged and notified once, by transfer())
    };
    Outcome outcome = Outcome::Done;
    TransferResult counts;  // what was handled before the run ended
};

class TransferButtons {
public:
    // REQUIRES: every argument outlives the buttons.
    TransferButtons(const Settings& settings, Services& services, MainView& view,
                    ChargeStore& store, const ChargeTransfer::Seams& seams = {});

    void Tasto_Click(std::int16_t index);

    // "&Trasferisci": the transfer type checked ("Scelta passaggio" when
    // there is none), the run over every pending line, the lists shown again.
    // A failure repeating at every tick is told when it starts (or changes)
    // and when it ends, with a count; operatorAsked: always told.
    TransferRun transfer(bool operatorAsked = false);

    // Shows the store's pending lines and error history in List1 / List2
    // (each error line with its reason from the journal).
    void refreshLists();
    // refreshLists when the store changed since the lists were last shown
    // (lines listed at intake, a repair or a clearing by a tool): run after
    // every tick. Returns whether the lists were shown again.
    bool refreshIfChanged();

    // List2's context menu: "Riprova", "Assegna a camera…", "Assegna a
    // cliente esterno…" on the lines errorIds. The room or card is asked
    // through the dialogs; the operator is told what became of each line;
    // the lists are shown again.
    void ripara(Riparazione what, const std::vector<std::int32_t>& errorIds);

    // "&Stampa": set by the print layer; until then the click only logs.
    std::function<void()> stampa;

private:
    void cancella();
    // The lists as last shown: "&Cancella" clears exactly the error lines
    // shown, and a tick that changed either list shows it again.
    ChargeStore::ListsMark m_shown;
    qint64 m_shownLines = 0;
    bool m_everShown = false;

    Services& m_services;
    MainView& m_view;
    ChargeStore& m_store;
    const Settings& m_settings;
    ChargeTransfer m_transfer;
    FailureEpisode m_failing;  // transfers failed in a row
};

}  // namespace quorvel
