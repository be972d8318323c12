// The main window's buttons `Tasto`(0..3) that serve the charge transfer:
// "&Trasferisci" (0), "&Esci" (1), "&Stampa" (2, through a hook the print
// layer sets) and "&Cancella" (3). The polling cycle's automatic transfer
// goes through index 0 too, so both behave the same.
//
// No failure leaves Tasto_Click: a failing transfer stops, its unhandled
// lines stay pending, and the failure is logged and shown without a modal
// box (Dialogs::notify) so the polling goes on.
#pragma once

#include "platform/Seams.h"
#include "platform/Settings.h"
#include "transfer/ChargeTransfer.h"
#include "transfer/MainView.h"

#include <cstdint>
#include <functional>
#include <memory>

namespace quorvel {

class ChargeStore;

class TransferButtons {
public:
    // REQUIRES: every argument outlives the buttons.
    TransferButtons(const Settings& settings, Services& services, MainView& view,
                    ChargeStore& store);

    void Tasto_Click(std::int16_t index);

    // Shows the store's pending lines and error history in List1 / List2.
    void refreshLists();

    // "&Stampa": set by the print layer; until then the click only logs.
    std::function<void()> stampa;

    ChargeTransfer& transfer() { return m_transfer; }

    // How many transfer runs have failed (each one logged and notified); a
    // caller compares the count before and after a click.
    int failedTransfers() const { return m_failedTransfers; }

private:
    void trasferisci();
    void cancella();

    const Settings& m_settings;
    Services& m_services;
    MainView& m_view;
    ChargeStore& m_store;
    ChargeTransfer m_transfer;
    int m_failedTransfers = 0;
};

}  // namespace quorvel
