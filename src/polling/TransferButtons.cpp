// Tasto_Click: transfer, hide, print and clear the error history.
#include "polling/TransferButtons.h"

#include "db/ServerUnreachable.h"
#include "platform/Error.h"
#include "platform/Log.h"
#include "platform/Plural.h"
#include "polling/WorkGuard.h"
#include "transfer/ChargeLine.h"
#include "transfer/ChargeRepair.h"
#include "transfer/ChargeStore.h"
#include "transfer/PostingJournal.h"

#include <QElapsedTimer>

#include <algorithm>
#include <map>
#include <optional>

namespace quorvel {

namespace {

const QString TransferTitle = QStringLiteral("Trasferimento addebiti");
// How often a long repair shows how far it got.
constexpr qint64 ProgressEveryMs = 250;

// The error history as it stood at a mark, read a page at a time: what the
// window shows costs what it shows, not the history.
class StoreHistory : public ErrorHistory {
public:
    StoreHistory(const ChargeStore& store, const ChargeStore::ListsMark& mark)
        : m_store(store), m_lastId(mark.lastError), m_rows(mark.errorRows) {
        // Rows are lines unless a line up to the mark takes several rows: then
        // the lines' numbers are read once and pages go by number.
        if (m_store.longErrorLines(m_lastId).empty())
            m_size = static_cast<int>(mark.errorRows);
        else
            m_size = static_cast<int>((m_ids = m_store.errorIdsAt(m_lastId, 0, -1)).size());
    }
    int size() const override { return m_size; }
    std::vector<ErrorLineInfo> lines(int first, int count) const override {
        std::vector<ChargeStore::Line> page;
        if (!byNumber()) {
            page = m_store.errorRowsAt(m_lastId, first, count);
        } else if (first >= 0 && first < m_size && count > 0) {
            const auto last = static_cast<std::size_t>(std::min(first + count, m_size) - 1);
            page = m_store.errorLinesBetween(m_ids[static_cast<std::size_t>(first)], m_ids[last]);
        }
        std::vector<ErrorLineInfo> out;
        if (page.empty())
            return out;
        // The reasons of this page alone, in one query.
        const auto reasons = m_store.journal().errorReasons(page.front().id, page.back().id);
        out.reserve(page.size());
        for (ChargeStore::Line& l : page) {
            const auto it = reasons.find(l.id);
            out.push_back({l.id, std::move(l.text), it != reasons.end() ? it->second : QString()});
        }
        return out;
    }
    // The lines a selection chose, for a repair: only while the history is
    // as shown. A line removed since (by a tool) moves the rows after it,
    // and a row's number read now could name the line below the one shown.
    std::vector<std::int32_t> ids(int first, int count) const override {
        unchanged();
        std::vector<std::int32_t> out;
        if (!byNumber()) {
            out = m_store.errorIdsAt(m_lastId, first, count);
        } else {
            for (int i = std::max(first, 0); i < std::min(first + count, m_size); ++i)
                out.push_back(m_ids[static_cast<std::size_t>(i)]);
        }
        unchanged();
        return out;
    }

private:
    bool byNumber() const { return !m_ids.empty(); }
    void unchanged() const {
        const ChargeStore::ListsMark now = m_store.listsMark();
        if (now.lastError != m_lastId || now.errorRows != m_rows)
            throw Error(QStringLiteral("Storico errori"),
                        QStringLiteral("è cambiato mentre era mostrato (righe riparate o tolte da "
                                       "un altro programma): la lista si aggiorna, ripetere la "
                                       "scelta"));
    }

    const ChargeStore& m_store;
    std::int32_t m_lastId;
    std::int64_t m_rows;
    int m_size = 0;
    std::vector<std::int32_t> m_ids;  // read only when a line takes several rows
};

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
    const ChargeStore::ListsMark mark = m_store.listsMark();
    QStringList texts;
    for (const ChargeStore::Line& l : m_store.pendingLines()) texts << l.text;
    m_view.showPending(texts);
    auto history = std::make_shared<StoreHistory>(m_store, mark);
    m_shownLines = history->size();
    m_view.showErrorHistory(history);
    m_shown = mark;
    m_everShown = true;
}

bool TransferButtons::refreshIfChanged() {
    if (m_everShown && m_store.listsMark() == m_shown)
        return false;
    refreshLists();
    return true;
}

namespace {

// What a repair of several lines came to, told in a few lines however many
// there were; each line's own result goes to the details.
class RepairTally {
public:
    void add(std::int32_t id, const ChargeRepair::Result& r) {
        ++m_calls;
        m_last = r.message;
        m_details << QStringLiteral("Riga %1: %2").arg(id).arg(r.message);
        switch (r.status) {
            case ChargeRepair::Status::Posted:
                ++(r.outcome == Esito::Esterno ? m_external : m_room);
                break;
            case ChargeRepair::Status::Gone:
                ++m_gone;
                break;
            case ChargeRepair::Status::Failed:
            case ChargeRepair::Status::Refused:
                notPosted(static_cast<int>(r.reason), r.message);
                break;
        }
    }
    void addFailure(std::int32_t id, const QString& why) {
        ++m_calls;
        m_last = QStringLiteral("Riparazione non riuscita: %1").arg(why);
        m_details << QStringLiteral("Riga %1: %2").arg(id).arg(m_last);
        notPosted(-1, m_last);
    }
    bool allPosted() const { return m_notPosted == 0 && m_gone == 0; }
    int calls() const { return m_calls; }
    QString details() const { return m_details.join(u'\n'); }

    // The counts, a line each.
    QStringList counts() const {
        QStringList s{QStringLiteral("Addebiti riparati: %1 di %2")
                          .arg(m_room + m_external)
                          .arg(m_room + m_external + m_notPosted + m_gone)};
        if (m_room > 0)
            s << QStringLiteral("addebitati in camera: %1").arg(m_room);
        if (m_external > 0)
            s << QStringLiteral("addebitati a clienti esterni: %1").arg(m_external);
        if (m_notPosted > 0) {
            // The commonest reason, in the words of its first line.
            auto top = std::max_element(
                m_reasons.begin(), m_reasons.end(),
                [](const auto& a, const auto& b) { return a.second.count < b.second.count; });
            s << QStringLiteral("non addebitati, restano nello storico: %1").arg(m_notPosted)
              << QStringLiteral("motivo più frequente (%1): %2")
                     .arg(top->second.count)
                     .arg(top->second.text);
        }
        if (m_gone > 0)
            s << QStringLiteral("già riparati o già tolti dallo storico: %1").arg(m_gone);
        return s;
    }
    // One line's own message; for several, the counts.
    QString summary() const {
        if (m_calls == 1)
            return m_last;
        return counts().join(u'\n') +
               QStringLiteral("\n\nL'esito di ogni riga: \"Dettagli\" e Quorvel.log.");
    }

private:
    struct Reason {
        int count = 0;
        QString text;
    };
    void notPosted(int reason, const QString& text) {
        ++m_notPosted;
        Reason& r = m_reasons[reason];
        if (r.count++ == 0)
            r.text = text;
    }

    int m_calls = 0, m_room = 0, m_external = 0, m_notPosted = 0, m_gone = 0;
    std::map<int, Reason> m_reasons;
    QString m_last;
    QStringList m_details;
};

}  // namespace

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
    RepairTally tally;
    ChargeRepair repair(m_settings, m_store);
    std::vector<std::int32_t> done;  // a selected "Sconto" line goes with its charge
    QElapsedTimer sinceProgress;
    sinceProgress.start();
    std::size_t handled = 0;
    for (const std::int32_t id : errorIds) {
        ++handled;
        if (std::find(done.begin(), done.end(), id) != done.end())
            continue;
        try {
            const ChargeRepair::Result r = what == Riparazione::Riprova ? repair.riprova(id)
                                           : what == Riparazione::AssegnaCamera
                                               ? repair.assegnaCamera(id, *answer)
                                               : repair.assegnaEsterno(id, *answer);
            done.insert(done.end(), r.ids.begin(), r.ids.end());
            tally.add(id, r);
        } catch (const std::exception& e) {
            const QString why = errorText(e);
            log::error(QStringLiteral("%1: %2").arg(title, why));
            tally.addFailure(id, why);
        }
        // Each line is committed on its own: between two, the window shows
        // how far it got and a tick that is due may run.
        if (sinceProgress.elapsed() >= ProgressEveryMs && handled < errorIds.size()) {
            WorkGuard::Pause pause;
            m_view.showProgress(QStringLiteral("%1: %2 di %3 righe...")
                                    .arg(title)
                                    .arg(handled)
                                    .arg(errorIds.size()));
            sinceProgress.restart();
        }
    }
    m_view.showProgress(QString());
    const MsgIcon icon = tally.allPosted() ? MsgIcon::Information : MsgIcon::Exclamation;
    if (tally.calls() > 1) {
        log::info(QStringLiteral("%1 di %2 righe dello storico errori: %3")
                      .arg(title)
                      .arg(errorIds.size())
                      .arg(tally.counts().join(QStringLiteral("; "))));
        m_services.dialogs->messageBoxWithDetails(tally.summary(), tally.details(), title, icon);
    } else {
        m_services.dialogs->messageBox(tally.summary(), title, icon, MsgButtons::Ok, MsgAnswer::Ok);
    }
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
    bool lostServer = false;
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
        const QString text = m_failing.ended(
            QStringLiteral("Trasferimento addebiti ripreso dopo %1 tentativo interrotto (%2)"),
            QStringLiteral("Trasferimento addebiti ripreso dopo %1 tentativi interrotti (%2)"));
        if (!text.isEmpty()) {
            log::info(text);
            m_services.dialogs->notify(TransferTitle, text);
        }
    } catch (const std::exception& e) {
        // The one report of a failed transfer, whoever started it: when the
        // failure starts or its cause changes, not at every cycle; the
        // operator's click is always answered.
        run.outcome = TransferRun::Outcome::Failed;
        lostServer = dynamic_cast<const db::ServerUnreachable*>(&e) != nullptr;
        const QString why = errorText(e);
        if (m_failing.failed(why) || operatorAsked) {
            log::error(QStringLiteral("Trasferimento addebiti interrotto: %1").arg(why));
            m_services.dialogs->notify(
                TransferTitle,
                QStringLiteral("Trasferimento interrotto: %1. Gli addebiti non trasferiti restano "
                               "in attesa e saranno ritentati.")
                    .arg(why));
        }
    }
    try {
        refreshLists();
    } catch (const std::exception& e) {
        // A server the transfer has just lost and reported is not told twice.
        if (!(lostServer && dynamic_cast<const db::ServerUnreachable*>(&e)))
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
        // Exactly the lines shown when the operator confirmed (no tick of
        // this process ran since, WorkGuard): those numbered up to the last
        // shown. A line a tool added meanwhile took a higher number (numbers
        // are given out inside the adding transaction) and stays.
        const int removed = m_everShown ? m_store.clearErrorsUpTo(m_shown.lastError) : 0;
        const qint64 shown = m_everShown ? m_shownLines : 0;
        log::info(
            QStringLiteral("Storico errori cancellato: %1 di %2")
                .arg(counted(removed, QStringLiteral("riga"), QStringLiteral("righe")),
                     plural(shown, QStringLiteral("%1 mostrata"), QStringLiteral("%1 mostrate"))));
        refreshLists();
    } catch (const std::exception& e) {
        const QString why = errorText(e);
        log::error(QStringLiteral("Cancellazione dello storico errori non riuscita: %1").arg(why));
        m_services.dialogs->notify(title,
                                   QStringLiteral("Cancellazione non riuscita: %1").arg(why));
    }
}

}  // namespace quorvel
