// The handlers of the main window's events (buttons, menu, timer), shared by
// the windowed and the headless runs.
#pragma once

#include "platform/Seams.h"
#include "platform/Settings.h"
#include "transfer/MainView.h"

#include <memory>

namespace quorvel {

class ChargeStore;
class PollingCycle;
class TransferButtons;

class Controller : public PosDTHandlers {
public:
    Controller(Settings& settings, Services& services, MainView& view);
    ~Controller() override;

    void tastoClick(int index) override;
    void aggiornaDati() override;
    bool timerTick() override;

    // The pending charges and error history ("QuorvelCoda.db"), opened on
    // first use in the engine's workspace 0; throws Error when it cannot be.
    ChargeStore& store();
    TransferButtons& transferButtons();

private:
    [[maybe_unused]] Settings& m_settings;
    [[maybe_unused]] Services& m_services;
    MainView& m_view;
    std::unique_ptr<ChargeStore> m_store;
    std::unique_ptr<TransferButtons> m_buttons;
    std::unique_ptr<PollingCycle> m_cycle;
};

}  // namespace quorvel
