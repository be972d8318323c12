// The main window's events handed to the core: the buttons, "&Aggiorna Dati"
// and the polling tick, each guarded so that no failure leaves it.
#include "polling/Controller.h"

#include "db/Engine.h"
#include "platform/Log.h"
#include "polling/GuestExport.h"
#include "polling/PollingCycle.h"
#include "transfer/ChargeStore.h"
#include "transfer/TransferButtons.h"

namespace quorvel {

Controller::Controller(Settings& settings, Services& services, MainView& view)
    : m_settings(settings), m_services(services), m_view(view) {
    // The lists show what a previous run left pending or failed.
    try {
        transferButtons().refreshLists();
    } catch (const std::exception& e) {
        log::error(QStringLiteral("Coda addebiti: %1").arg(QString::fromStdString(e.what())));
    }
}

Controller::~Controller() = default;

ChargeStore& Controller::store() {
    if (!m_store)
        m_store = std::make_unique<ChargeStore>(db::DBEngine::instance().workspace());
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
    WorkGuard guard;  // no tick while a click (or its message box) runs
    try {
        transferButtons().Tasto_Click(static_cast<std::int16_t>(index));
    } catch (const std::exception& e) {
        const QString why = QString::fromStdString(e.what());
        log::error(QStringLiteral("Tasto %1: %2").arg(index).arg(why));
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
        const QString why = QString::fromStdString(e.what());
        log::error(QStringLiteral("Aggiorna Dati: %1").arg(why));
        m_services.dialogs->notify(QStringLiteral("Aggiorna Dati"),
                                   QStringLiteral("Aggiornamento non riuscito: %1").arg(why));
    }
    m_view.setBusy(false);
}

bool Controller::timerTick() {
    try {
        if (!m_cycle)
            m_cycle = std::make_unique<PollingCycle>(
                m_settings, m_services, store(), [this] { transferButtons().Tasto_Click(0); },
                &m_view);
    } catch (const std::exception& e) {
        log::error(QStringLiteral("Ciclo di lettura: %1").arg(QString::fromStdString(e.what())));
        return false;
    }
    // A transfer that fails inside the tick is logged and notified by the
    // button's handler and the tick goes on; the tick still counts as failed.
    const int failedBefore = transferButtons().failedTransfers();
    const bool ok = m_cycle->tick();
    return ok && transferButtons().failedTransfers() == failedBefore;
}

}  // namespace quorvel
