// Repair from the error history on the store and the hotel's databases.
#include "transfer/ChargeRepair.h"

#include "db/Engine.h"
#include "platform/Error.h"
#include "platform/Log.h"
#include "transfer/ChargeLine.h"
#include "transfer/ChargePoster.h"
#include "transfer/ChargeStore.h"

#include <QDateTime>
#include <algorithm>
#include <optional>
#include <utility>

namespace quorvel {

namespace {

const QString Gone = QStringLiteral("Riga già riparata o già tolta dallo storico errori");

ChargeRepair::Result refused(const QString& message) {
    return {ChargeRepair::Status::Refused, message, 0, {}};
}

// The journal row of an error line, or a new one for a line that has none.
JournalEntry rowOf(PostingJournal& journal, std::int32_t errorId, const QString& line) {
    if (auto e = journal.byErrorId(errorId))
        return *e;
    JournalEntry e;
    e.line = line;
    e.day = charge::readableDay(line);
    e.amount = charge::amount(line);
    return e;
}

void record(PostingJournal& journal, JournalEntry& e) {
    if (e.id != 0) {
        journal.update(e);
        return;
    }
    std::vector<JournalEntry> one{e};
    journal.add(one);
    e.id = one.front().id;
}

}  // namespace

ChargeRepair::ChargeRepair(const Settings& settings, ChargeStore& store, RepairSeams seams)
    : m_settings(settings), m_store(store), m_seams(std::move(seams)) {}

ChargeRepair::Result ChargeRepair::riprova(std::int32_t errorId) {
    return repair(errorId, {}, Azione::Riprova);
}

ChargeRepair::Result ChargeRepair::assegnaCamera(std::int32_t errorId, const QString& room) {
    PostTarget target;
    target.kind = PostTarget::Kind::Room;
    target.room = charge::trimBlanks(room);
    if (target.room.isEmpty())
        return refused(QStringLiteral("Indicare il numero della camera"));
    return repair(errorId, target, Azione::AssegnaCamera);
}

ChargeRepair::Result ChargeRepair::assegnaEsterno(std::int32_t errorId, const QString& card) {
    const QString typed = charge::trimBlanks(card);
    bool ok = !typed.isEmpty() &&
              std::all_of(typed.begin(), typed.end(), [](QChar c) { return c.isDigit(); });
    PostTarget target;
    target.kind = PostTarget::Kind::External;
    target.card = ok ? typed.toLongLong(&ok) : 0;
    if (!ok || target.card <= 0 || target.card > INT32_MAX)
        return refused(typed.isEmpty()
                           ? QStringLiteral("Indicare il numero della tessera del cliente esterno")
                           : QStringLiteral("Numero di tessera non valido: %1").arg(typed));
    return repair(errorId, target, Azione::AssegnaEsterno);
}

ChargeRepair::Result ChargeRepair::repair(std::int32_t errorId, const PostTarget& target,
                                          Azione action) {
    // Each line read by its number alone: a repair costs the same whatever
    // the history holds.
    const auto listed = [&](std::int32_t id) -> std::optional<ChargeStore::Line> {
        std::vector<ChargeStore::Line> found = m_store.errorLinesBetween(id, id);
        if (found.empty())
            return std::nullopt;
        return std::move(found.front());
    };
    std::optional<ChargeStore::Line> at = listed(errorId);
    if (!at)
        return {Status::Gone, Gone, 0, {}};
    // A "Sconto" line and its charge go together by the link recorded when
    // they were received, never by their places in today's history.
    PostingJournal& journal = m_store.journal();
    std::optional<JournalEntry> chargeRow = journal.byErrorId(at->id);
    if (charge::isDiscount(at->text)) {
        const std::optional<JournalEntry> charge =
            chargeRow && chargeRow->receivedAfter > 0
                ? journal.byPendingId(chargeRow->receivedAfter)
                : std::nullopt;
        std::optional<ChargeStore::Line> chargeAt =
            charge && charge->errorId > 0 ? listed(charge->errorId) : std::nullopt;
        if (!chargeAt)
            return refused(QStringLiteral(
                "Lo sconto non ha il suo addebito nello storico errori: non si può riparare "
                "(si può cancellare)"));
        at = std::move(chargeAt);
        chargeRow = charge;
    }
    const ChargeStore::Line chargeLine = *at;
    std::optional<ChargeStore::Line> discount;
    if (chargeRow) {
        const auto d = journal.discountReceivedAfter(chargeRow->pendingId);
        if (d && d->errorId > 0)
            discount = listed(d->errorId);
    }
    if (m_seams.beforeTransaction)
        m_seams.beforeTransaction();

    auto wrote = [this] {
        if (m_seams.afterWrite)
            m_seams.afterWrite();
    };
    db::Workspace& ws = m_store.workspace();
    ChargePoster poster(m_settings, ws, wrote);
    poster.open();
    PostResult r;
    {
        db::Transaction tx(ws);
        // The removal first: it takes the write lock, and a rival that got
        // there first leaves nothing to remove.
        if (!m_store.removeError(chargeLine.id) || (discount && !m_store.removeError(discount->id)))
            return {Status::Gone, Gone, 0, {}};
        wrote();
        // The amounts the lines were given when received, never read again.
        const ChargePoster::Recorded recorded{
            rowOf(journal, chargeLine.id, chargeLine.text).amount,
            discount ? rowOf(journal, discount->id, discount->text).amount : std::nullopt};
        r = poster.post(chargeLine.text, discount ? &discount->text : nullptr, target, &recorded);
        if (!r.posted()) {
            // The room or card answered holds no account: a bad answer.
            // Anything else is the line's own fault, whatever the target.
            Result failed = refused(r.reasonText);
            failed.reason = r.reason;
            if (action == Azione::Riprova || r.reason != Motivo::NessunConto)
                failed.status = Status::Failed;
            if (action == Azione::Riprova)
                failed.message =
                    QStringLiteral("Addebito ancora non trasferibile: %1").arg(r.reasonText);
            return failed;
        }
        const QString when =
            QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
        JournalEntry e = rowOf(journal, chargeLine.id, chargeLine.text);
        auto settle = [&](JournalEntry& row) {
            row.posRoom = r.posRoom;
            row.room = r.room;
            row.outcome = r.outcome;
            row.database = r.database;
            row.table = r.table;
            row.accountRow = r.accountRow;
            row.client = r.client;
            row.errorId = 0;
            row.reason = Motivo::Nessuno;
            row.reasonText.clear();
            row.action = action;
            row.when = when;
        };
        settle(e);
        e.added = r.added;
        e.quantity = r.quantity;
        record(journal, e);
        if (discount) {
            JournalEntry d = rowOf(journal, discount->id, discount->text);
            settle(d);
            d.added = Currency();
            d.quantity = 0;
            d.discountOfPending = e.pendingId;
            record(journal, d);
        }
        wrote();
        tx.commit();
    }
    wrote();
    const QString where = r.outcome == Esito::Camera
                              ? QStringLiteral("sul conto della camera %1").arg(r.room)
                              : QStringLiteral("sul conto del cliente esterno %1 (tessera %2)")
                                    .arg(r.room)
                                    .arg(r.client);
    log::info(QStringLiteral("Addebito dallo storico errori registrato %1: %2")
                  .arg(where, chargeLine.text));
    std::vector<std::int32_t> ids{chargeLine.id};
    if (discount)
        ids.push_back(discount->id);
    return {Status::Posted,
            QStringLiteral("Addebito registrato %1").arg(where),
            static_cast<int>(ids.size()),
            ids,
            r.outcome,
            Motivo::Nessuno};
}

}  // namespace quorvel
