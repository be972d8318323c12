// Tasto_Click: transfer, hide, print and clear the error history.
#include "polling/TransferButtons.h"

#include "platform/Error.h"
#include "platform/Log.h"
#include "platform/Plural.h"
#include "transfer/ChargeLine.h"
#include "transfer/ChargeRepair.h"
#include "transfer/ChargeStore.h"
#include "transfer/PostingJournal.h"

#include <algorithm>
#include <optional>

namespace quorvel {

namespace {

const QString TransferTitle = QStringLiteral("Trasferimento addebiti");

}  // namespace

TransferButtons::TransferButtons(const Settings& settings, Services& services, MainView& view,
                                 ChargeStore& store, const ChargeTransfer::Seams& seams)
    : m_services(services),
      m_view(view),
      m_store(store),
      m_settings(settings),
      m_transfer(settings, store, seams) {}

void TransferButtons::Tasto_Click(std::int16_t index) {
    switch (index) {
        case 0:
            transfer(true);
            break;
        case 1:
            m_view.hideWindow();
            break;
        case 2:
            if (stampa)
                stampa();
            else
                log::info(QStringLiteral("Stampa dello storico errori non disponibile"));
            break;
        case 3:
            cancella();
            break;
        default:
            break;
    }
}

void TransferButtons::refreshLists() {
    m_view.showPending(m_store.pending());
    std::vector<ErrorLineInfo> errors;
    // The reasons in one query: the cost follows the history shown, never
    // one journal look-up per line.
    const auto reasons = m_store.journal().errorReasons();
    for (ChargeStore::Line& l : m_store.errorLines()) {
        const auto it = reasons.find(l.id);
        errors.push_back({l.id, std::move(l.text), it != reasons.end() ? it->second : QString()});
    }
    m_view.showErrorLines(errors);
}

void TransferButtons::ripara(Riparazione what, const std::vector<std::int32_t>& errorIds) {
    if (errorIds.empty())
        return;
    const QString title = what == Riparazione::Riprova ? QStringLiteral("Riprova")
                          : what == Riparazione::AssegnaCamera
                              ? QStringLiteral("Assegna a camera")
                              : QStringLiteral("Assegna a cliente esterno");
    std::optional<QString> answer;
    if (what == Riparazione::AssegnaCamera)
        answer = m_services.dialogs->inputBox(
            QStringLiteral("Numero della camera a cui addebitare:"), title, QString());
    else if (what == Riparazione::AssegnaEsterno)
        answer = m_services.dialogs->inputBox(
            QStringLiteral("Numero della tessera del cliente esterno:"), title, QString());
    if (what != Riparazione::Riprova && !answer)
        return;  // cancelled
    QStringList told;
    bool allPosted = true;
    ChargeRepair repair(m_settings, m_store);
    std::vector<std::int32_t> done;  // a selected "Sconto" line goes with its charge
    for (const std::int32_t id : errorIds) {
        if (std::find(done.begin(), done.end(), id) != done.end())
            continue;
        try {
            const ChargeRepair::Result r = what == Riparazione::Riprova ? repair.riprova(id)
                                           : what == Riparazione::AssegnaCamera
                                               ? repair.assegnaCamera(id, *answer)
                                               : repair.assegnaEsterno(id, *answer);
            allPosted = allPosted && r.status == ChargeRepair::Status::Posted;
            done.insert(done.end(), r.ids.begin(), r.ids.end());
            if (!told.contains(r.message))
                told << r.message;
        } catch (const std::exception& e) {
            allPosted = false;
            const QString why = errorText(e);
            log::error(QStringLiteral("%1: %2").arg(title, why));
            told << QStringLiteral("Riparazione non riuscita: %1").arg(why);
        }
    }
    m_services.dialogs->messageBox(told.join(u'\n'), title,
                                   allPosted ? MsgIcon::Information : MsgIcon::Exclamation,
                                   MsgButtons::Ok, MsgAnswer::Ok);
    try {
        refreshLists();
    } catch (const std::exception& e) {
        log::error(QStringLiteral("Lettura della coda addebiti: %1").arg(errorText(e)));
    }
}

TransferRun TransferButtons::transfer(bool operatorAsked) {
    TransferRun run;
    if (charge::trimBlanks(m_view.transferType()).isEmpty()) {
        m_services.dialogs->messageBox(
            QStringLiteral("E' necessario selezionare il tipo di trasferimento addebiti!"),
            QStringLiteral("Scelta passaggio"), MsgIcon::Exclamation, MsgButtons::Ok,
            MsgAnswer::Ok);
        m_view.focusTransferType();
        run.outcome = TransferRun::Outcome::NoType;
        return run;
    }
    try {
        run.counts = m_transfer.TrasferisciAddebiti();
        const TransferResult& r = run.counts;
        if (r.roomCharges + r.externalCharges + r.listed > 0)
            log::info(QStringLiteral("Trasferimento: %1 in camera, %2 a clienti esterni, %3")
                          .arg(counted(r.roomCharges, QStringLiteral("addebito"),
                                       QStringLiteral("addebiti")))
                          .arg(r.externalCharges)
                          .arg(plural(r.listed, QStringLiteral("%1 non andato a buon fine"),
                                      QStringLiteral("%1 non andati a buon fine"))));
        if (m_failures > 0) {
            const QString text =
                plural(m_failures,
                       QStringLiteral("Trasferimento addebiti ripreso dopo %1 "
                                      "tentativo interrotto (%2)"),
                       QStringLiteral("Trasferimento addebiti ripreso dopo %1 tentativi "
                                      "interrotti (%2)"))
                    .arg(m_failure);
            log::info(text);
            m_services.dialogs->notify(TransferTitle, text);
            m_failures = 0;
            m_failure.clear();
        }
    } catch (const std::exception& e) {
        // The one report of a failed transfer, whoever started it: when the
        // failure starts or its cause changes, not at every cycle; the
        // operator's click is always answered.
        run.outcome = TransferRun::Outcome::Failed;
        const QString why = errorText(e);
        ++m_failures;
        if (why != m_failure || operatorAsked) {
            log::error(QStringLiteral("Trasferimento addebiti interrotto: %1").arg(why));
            m_services.dialogs->notify(
                TransferTitle,
                QStringLiteral("Trasferimento interrotto: %1. Gli addebiti non trasferiti restano "
                               "in attesa e saranno ritentati.")
                    .arg(why));
        }
        m_failure = why;
    }
    try {
        refreshLists();
    } catch (const std::exception& e) {
        log::error(QStringLiteral("Lettura della coda addebiti: %1").arg(errorText(e)));
    }
    return run;
}

void TransferButtons::cancella() {
    const QString title = QStringLiteral("Cancella");
    auto ask = [&](const QString& text) {
        return m_services.dialogs->messageBox(text, title, MsgIcon::Question, MsgButtons::YesNo,
                                              MsgAnswer::No) == MsgAnswer::Yes;
    };
    if (!ask(QStringLiteral("Confermi la cancellazione dello storico errori?")))
        return;
    if (!ask(QStringLiteral("La cancellazione sarà definitiva, confermi?")))
        return;
    try {
        m_store.clearErrors();
        log::info(QStringLiteral("Storico errori cancellato"));
        m_view.showErrorLines({});
    } catch (const std::exception& e) {
        const QString why = errorText(e);
        log::error(QStringLiteral("Cancellazione dello storico errori non riuscita: %1").arg(why));
        m_services.dialogs->notify(title,
                                   QStringLiteral("Cancellazione non riuscita: %1").arg(why));
    }
}

}  // namespace quorvel
