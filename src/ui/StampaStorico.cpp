// The error-history report and the print menu behind "&Stampa".
#include "ui/StampaStorico.h"

#include "platform/Error.h"
#include "platform/Log.h"
#include "platform/Plural.h"
#include "platform/TextFile.h"
#include "print/ErrorReport.h"
#include "print/ReportFiles.h"
#include "transfer/Reconciliation.h"
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
    report(QString(), errors, hotelCorrente);
}

void StampaStorico::quadratura(ChargeStore& store, std::int16_t hotelCorrente) {
    const QString title = QStringLiteral("Quadratura");
    const QString today = m_services.clock->now().date().toString(QStringLiteral("yyyyMMdd"));
    // A bad day asks again, with what was typed, until a day or Annulla.
    QString shown = dayText(today);
    std::optional<std::pair<QString, QString>> days;
    while (!days) {
        const std::optional<QString> typed = m_services.dialogs->inputBox(
            QStringLiteral("Giorno degli addebiti da quadrare (GG/MM/AAAA o AAAAMMGG;\n"
                           "per un periodo: dal-al, per esempio 01/03/2025-07/03/2025)"),
            title, shown);
        if (!typed)
            return;
        days = parseDayRange(*typed);
        if (!days)
            m_services.dialogs->messageBox(
                QStringLiteral("\"%1\" non è un giorno valido: scrivere per esempio %2.")
                    .arg(typed->trimmed(), dayText(today)),
                title, MsgIcon::Exclamation, MsgButtons::Ok, MsgAnswer::Ok);
        shown = typed->trimmed();
    }
    const Reconciliation r = reconcile(store, days->first, days->second);
    report(QStringLiteral("Quadratura"), reconciliationText(r, m_services.clock->now()),
           hotelCorrente);
}

void StampaStorico::report(const QString& what, const QStringList& lines,
                           std::int16_t hotelCorrente) {
    try {
        if (what.isEmpty()) {
            writeErrorReport(lines);
        } else {
            writeTextLines(reportFileName(), lines);
            log::info(
                QStringLiteral("%1 scritta in %2 (%3)")
                    .arg(what, reportFileName(),
                         counted(lines.size(), QStringLiteral("riga"), QStringLiteral("righe"))));
        }
    } catch (const Error& e) {
        const QString why = errorText(e);
        log::error(QStringLiteral("Stampa %1: ")
                       .arg(what.isEmpty() ? QStringLiteral("dello storico errori")
                                           : QStringLiteral("della ") + what.toLower()) +
                   why);
        m_services.dialogs->messageBox(
            QStringLiteral("Impossibile scrivere il file di stampa.\n\n") + why,
            QStringLiteral("Stampa"), MsgIcon::Critical, MsgButtons::Ok, MsgAnswer::Ok);
        return;
    }
    showMenu(hotelCorrente);
}

}  // namespace quorvel
