// The error-history report and the print menu behind "&Stampa".
#include "ui/StampaStorico.h"

#include "platform/Error.h"
#include "platform/Log.h"
#include "print/ErrorReport.h"
#include "ui/MenuStampa.h"

namespace quorvel {

StampaStorico::StampaStorico(Services& services, db::Workspace& ws, QWidget* parent)
    : m_services(services), m_parent(parent) {
    showMenu = [this, &ws](std::int16_t hotelCorrente) {
        MenuStampa menu(m_services, m_printer, ws, hotelCorrente, {}, m_parent);
        menu.run();
    };
}

void StampaStorico::stampa(const QStringList& errors, std::int16_t hotelCorrente) {
    try {
        writeErrorReport(errors);
    } catch (const Error& e) {
        const QString why = errorText(e);
        log::error(QStringLiteral("Stampa dello storico errori: ") + why);
        m_services.dialogs->messageBox(
            QStringLiteral("Impossibile scrivere il file di stampa.\n\n") + why,
            QStringLiteral("Stampa"), MsgIcon::Critical, MsgButtons::Ok, MsgAnswer::Ok);
        return;
    }
    showMenu(hotelCorrente);
}

}  // namespace quorvel
