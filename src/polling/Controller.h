// The handlers of the main window's events (buttons, menu, timer), shared by
// the windowed and the headless runs.
#pragma once

#include "platform/Seams.h"
#include "platform/Settings.h"
#include "polling/MainView.h"

#include <functional>
#include <memory>

namespace quorvel {

namespace db {
class Workspace;
}
class ChargeStore;
class DailyMail;
class PollingCycle;
class TransferButtons;

class Controller : public PosDTHandlers {
public:
    // ws: the program's one workspace, where the store is opened.
    // REQUIRES: every argument outlives the controller.
    Controller(Settings& settings, Services& services, MainView& view, db::Workspace& ws);
    ~Controller() override;

    void tastoClick(int index) override;
    void aggiornaDati() override;
    // Fails (false), taking nothing, until the settings have been read.
    bool timerTick() override;
    void riparaClick(Riparazione what, const std::vector<std::int32_t>& ids) override;

    // The pending charges and error history ("QuorvelCoda.db"), opened on
    // first use in the workspace; throws Error when it cannot be.
    ChargeStore& store();
    TransferButtons& transferButtons();
    // Waits for a daily mail being sent on its worker and collects its
    // outcome (a one-cycle run, tests): otherwise the end of the program
    // abandons it.
    void finishDailyMail();

    // Called after every tick and "&Aggiorna Dati": the guests of some rooms
    // may have changed (the POS interface tells its clients). Never throws.
    std::function<void()> guestsMayHaveChanged;

private:
    // False while "Quorvel.txt" could not be read (settings.unreadable): the
    // read is tried again, and while it fails the failure is logged and
    // notified and no transfer runs.
    // operatorAsked: a click, which is told the failure every time.
    bool settingsReady(bool operatorAsked = false);

    Settings& m_settings;
    Services& m_services;
    MainView& m_view;
    db::Workspace& m_ws;
    std::unique_ptr<ChargeStore> m_store;
    std::unique_ptr<TransferButtons> m_buttons;
    std::unique_ptr<PollingCycle> m_cycle;
    std::unique_ptr<DailyMail> m_dailyMail;
    QString m_settingsFailure;  // told once while it lasts
    int m_settingsFailures = 0;
};

}  // namespace quorvel
