// The error-history report and the print menu behind "&Stampa".
#include "ui/StampaStorico.h"

#include "db/Engine.h"
#include "platform/Error.h"
#include "platform/Log.h"
#include "print/ErrorReport.h"
#include "ui/MenuStampa.h"

namespace quorvel {

StampaStorico::StampaStorico(Services& services, QWidget* parent)
    : m_services(services), m_parent(parent) {
    showMenu = [this] {
        MenuStampa menu(m_services, m_printer, db::DBEngine::instance().workspace(), m_parent);
        menu.run();
    };
}

void StampaStorico::stampa(const QStringList& errors) {
    try {
        writeErrorReport(errors);
    } catch (const Error& e) {
        log::error(QStringLiteral("Stampa dello storico errori: ") + e.message());
        m_services.dialogs->messageBox(
            QStringLiteral("Impossibile scrivere il file di stampa.\n\n") + e.message(),
            QStringLiteral("Stampa"), MsgIcon::Critical, MsgButtons::Ok, MsgAnswer::Ok);
        return;
    }
    showMenu();
}

}  // namespace quorvel
