// The main window's events handed to the core: the buttons, "&Aggiorna Dati"
// and the polling tick, each guarded so that no failure leaves it.
#include "polling/Controller.h"

#include "platform/Error.h"
#include "platform/Log.h"
#include "polling/DailyMail.h"
#include "polling/GuestExport.h"
#include "polling/PollingCycle.h"
#include "polling/TransferButtons.h"
#include "polling/WorkGuard.h"
#include "transfer/ChargeStore.h"

#include <optional>

namespace quorvel {

Controller::Controller(Settings& settings, Services& services, MainView& view, db::Workspace& ws)
    : m_settings(settings), m_services(services), m_view(view), m_ws(ws) {
    // The lists show what a previous run left pending or failed.
    try {
        transferButtons().refreshLists();
    } catch (const std::exception& e) {
        log::error(QStringLiteral("Coda addebiti: %1").arg(errorText(e)));
    }
}

Controller::~Controller() = default;

ChargeStore& Controller::store() {
    if (!m_store)
        m_store = std::make_unique<ChargeStore>(m_ws);
    return *m_store;
}

TransferButtons& Controller::transferButtons() {
    if (!m_buttons)
        m_buttons = std::make_unique<TransferButtons>(m_settings, m_services, m_view, store());
    return *m_buttons;
}

void Controller::tastoClick(int index) {
    if (index == 1) {
        m_view.hideWindow();  // even when the store cannot be opened
        return;
    }
    if (index < 0 || index > 3)
        return;
    // "&Stampa" leaves the guard free: polling goes on while the print menu,
    // the preview and the e-mail hand-over are open (see WorkGuard).
    std::optional<WorkGuard> guard;
    if (index != 2)
        guard.emplace();
    if (index == 0 && !settingsReady(true))
        return;
    try {
        transferButtons().Tasto_Click(static_cast<std::int16_t>(index));
    } catch (const std::exception& e) {
        const QString why = errorText(e);
        log::error(QStringLiteral("Tasto %1: %2").arg(index).arg(why));
        m_services.dialogs->notify(QStringLiteral("Quorvel"), why);
    }
}

void Controller::riparaClick(Riparazione what, const std::vector<std::int32_t>& ids) {
    // No tick of this process between reading the line and posting it.
    WorkGuard guard;
    if (!guard.entered()) {
        m_services.dialogs->notify(QStringLiteral("Quorvel"),
                                   QStringLiteral("Un'altra operazione è in corso: riprovare."));
        return;
    }
    if (!settingsReady(true))
        return;
    try {
        transferButtons().ripara(what, ids);
    } catch (const std::exception& e) {
        const QString why = errorText(e);
        log::error(QStringLiteral("Riparazione: %1").arg(why));
        m_services.dialogs->notify(QStringLiteral("Quorvel"), why);
    }
}

void Controller::aggiornaDati() {
    WorkGuard guard;
    if (!guard.entered()) {
        m_services.dialogs->notify(QStringLiteral("Aggiorna Dati"),
                                   QStringLiteral("Un'altra operazione è in corso: riprovare."));
        return;
    }
    m_view.setBusy(true);
    try {
        GuestExport(*m_services.dialogs).AggiornaClienti();
    } catch (const std::exception& e) {
        const QString why = errorText(e);
        log::error(QStringLiteral("Aggiorna Dati: %1").arg(why));
        m_services.dialogs->notify(QStringLiteral("Aggiorna Dati"),
                                   QStringLiteral("Aggiornamento non riuscito: %1").arg(why));
    }
    m_view.setBusy(false);
    if (guestsMayHaveChanged)
        guestsMayHaveChanged();
}

bool Controller::settingsReady(bool operatorAsked) {
    if (!m_settings.unreadable)
        return true;
    QStringList unusable;
    try {
        m_settings = loadSettingsFile(kSettingsFile, &unusable);
    } catch (const std::exception& e) {
        const QString why = errorText(e);
        ++m_settingsFailures;
        // Told when it starts or its cause changes, not at every cycle; an
        // operator's click is always answered.
        if (why == m_settingsFailure && !operatorAsked)
            return false;
        m_settingsFailure = why;
        log::error(QStringLiteral("Impostazioni non lette, nessun file della cassa preso e nessun "
                                  "addebito trasferito: %1")
                       .arg(why));
        m_services.dialogs->notify(
            QStringLiteral("Quorvel"),
            QStringLiteral("Impossibile leggere le impostazioni: %1. Nessun addebito viene "
                           "trasferito finché il file non è leggibile.")
                .arg(why));
        return false;
    }
    log::info(QStringLiteral("Impostazioni lette da %1: il ciclo di controllo riprende (%2 "
                             "letture non riuscite prima)")
                  .arg(kSettingsFile)
                  .arg(m_settingsFailures));
    m_settingsFailure.clear();
    m_settingsFailures = 0;
    if (!unusable.isEmpty())
        m_services.dialogs->notify(QStringLiteral("Quorvel"),
                                   QStringLiteral("%1: valori inutilizzabili: %2")
                                       .arg(kSettingsFile, unusable.join(QStringLiteral("; "))));
    return true;
}

void Controller::finishDailyMail() {
    if (!m_dailyMail || !m_store || !m_dailyMail->sending())
        return;
    m_dailyMail->wait();
    m_dailyMail->tick(*m_store);
}

bool Controller::timerTick() {
    // Nothing is taken from the POS while the settings are placeholders.
    if (!settingsReady())
        return false;
    // The store is opened inside the tick, so that a store that cannot be
    // opened fails the tick like any other step: logged and notified there.
    if (!m_cycle)
        m_cycle = std::make_unique<PollingCycle>(
            m_settings, m_services, [this]() -> ChargeStore& { return store(); },
            [this] { return transferButtons().transfer(); }, &m_view);
    const bool ok = m_cycle->tick();
    // The lists follow the store after every tick: lines listed at intake,
    // and repairs or clearings made by a tool meanwhile.
    if (m_store) {
        try {
            transferButtons().refreshIfChanged();
        } catch (const std::exception& e) {
            log::error(QStringLiteral("Lettura della coda addebiti: %1").arg(errorText(e)));
        }
    }
    // The daily mail of the error history, once the tick could open the
    // store: a failure is its own, not the tick's.
    if (m_store) {
        if (!m_dailyMail)
            m_dailyMail = std::make_unique<DailyMail>(m_services);
        m_dailyMail->tick(*m_store);
    }
    if (guestsMayHaveChanged)
        guestsMayHaveChanged();
    return ok;
}

}  // namespace quorvel
