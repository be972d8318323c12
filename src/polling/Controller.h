// The handlers of the main window's events (buttons, menu, timer), shared by
// the windowed and the headless runs.
#pragma once

#include "platform/Seams.h"
#include "platform/Settings.h"
#include "transfer/MainView.h"

namespace quorvel {

class Controller : public PosDTHandlers {
public:
    Controller(Settings& settings, Services& services, MainView& view);

    void tastoClick(int index) override;
    void aggiornaDati() override;
    bool timerTick() override;

private:
    [[maybe_unused]] Settings& m_settings;
    [[maybe_unused]] Services& m_services;
    MainView& m_view;
};

}  // namespace quorvel
