// The re-arming polling timer.
#include "ui/PollTimer.h"

#include "platform/Error.h"
#include "platform/Log.h"
#include "polling/WorkGuard.h"

namespace quorvel {

PollTimer::PollTimer(QObject* parent) : QObject(parent) {
    m_timer.setSingleShot(true);
    m_timer.setInterval(5000);
    connect(&m_timer, &QTimer::timeout, this, [this] { fire(); });
}

PollTimer::Outcome PollTimer::fire() {
    // The tick itself takes the guard (PollingCycle::tick); this only tells a
    // skipped tick from one that ran.
    if (WorkGuard::busy()) {
        m_timer.start();
        return Outcome::Skipped;
    }
    Outcome outcome = Outcome::Ran;
    QString failure;
    try {
        if (m_tick && !m_tick())
            outcome = Outcome::Failed;
    } catch (const std::exception& e) {
        failure = errorText(e);
    } catch (...) {
        failure = QStringLiteral("errore sconosciuto");
    }
    if (!failure.isEmpty()) {
        outcome = Outcome::Failed;
        log::error(QStringLiteral("Ciclo di controllo: ") + failure);
        if (m_onFailure)
            m_onFailure(failure);
    }
    m_timer.start();
    return outcome;
}

}  // namespace quorvel
