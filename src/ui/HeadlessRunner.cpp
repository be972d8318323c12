// The headless run.
#include "ui/HeadlessRunner.h"

#include "platform/Log.h"
#include "ui/Startup.h"

namespace quorvel {

HeadlessRunner::HeadlessRunner(Services& services, db::Workspace& ws)
    : m_services(services), m_ws(ws), m_controller(m_settings, services, m_view, ws) {
    m_timer.setTick([this] { return m_controller.timerTick(); });
    m_timer.setFailureHandler([this](const QString& cause) {
        m_services.dialogs->notify(QStringLiteral("Quorvel"),
                                   QStringLiteral("Errore nel ciclo di controllo: ") + cause);
    });
}

void HeadlessRunner::start(bool poll) {
    prepareWorkingFolder(m_settings, *m_services.dialogs, m_ws);
    log::info(QStringLiteral("Avvio senza finestre completato"));
    if (poll)
        m_timer.start();
}

bool HeadlessRunner::tickOnce() {
    const PollTimer::Outcome outcome = m_timer.fire();
    m_timer.stop();
    m_controller.finishDailyMail();
    return outcome == PollTimer::Outcome::Ran;
}

}  // namespace quorvel
