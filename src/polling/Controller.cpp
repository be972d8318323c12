// Stub until the transfer and polling code lands.
#include "polling/Controller.h"

#include "platform/Log.h"

namespace quorvel {

Controller::Controller(Settings& settings, Services& services, MainView& view)
    : m_settings(settings), m_services(services), m_view(view) {}

void Controller::tastoClick(int index) {
    if (index == 1) {
        m_view.hideWindow();
        return;
    }
    log::info(QStringLiteral("Tasto %1: non ancora disponibile").arg(index));
}

void Controller::aggiornaDati() {
    log::info(QStringLiteral("Aggiorna Dati: non ancora disponibile"));
}

bool Controller::timerTick() {
    return true;
}

}  // namespace quorvel
