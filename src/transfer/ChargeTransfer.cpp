// The transfer run: one pass over the pending lines, in batches.
//
// Per line: a "Sconto" line alone is dropped; one right after a charge is
// its discount and goes with it; the charge is posted by ChargePoster's
// rules or, when it cannot be, listed in the error history with its
// discount.
#include "transfer/ChargeTransfer.h"

#include "db/Engine.h"
#include "platform/Error.h"
#include "platform/Log.h"
#include "platform/Plural.h"
#include "transfer/ChargeLine.h"
#include "transfer/ChargePoster.h"
#include "transfer/ChargeStore.h"
#include "transfer/PostingJournal.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <algorithm>
#include <map>
#include <unordered_map>
#include <utility>

namespace quorvel {

struct ChargeTransfer::Run {
    // A handled line's journal change, written at the batch's commit once
    // the listed lines have their error ids.
    struct Change {
        std::int32_t pendingId = 0;
        const QString* line = nullptr;
        JournalEntry entry;
        int listedAt = -1;                // index in listed, -1 when not listed
        bool discountOfPrevious = false;  // points at the change before it
    };

    ChargeTransfer& t;
    ChargePoster poster;
    std::vector<ChargeStore::Line> lines;
    // Lines whose account row the database refused, with its reason: the
    // batch is written again with them in the error history.
    std::map<std::int32_t, QString> refused;
    struct LineRefused {
        std::int32_t id;
        QString why;
    };

    // The batch being written.
    std::vector<std::int32_t> handled;
    QStringList listed;
    QStringList logLines;
    std::vector<Change> changes;
    TransferResult result;
    TransferResult batchStart;  // result when the batch began

    explicit Run(ChargeTransfer& transfer)
        : t(transfer),
          poster(transfer.m_settings, transfer.m_store.workspace(), [this] { wrote(); }) {}

    void wrote() const {
        if (t.m_seams.afterWrite)
            t.m_seams.afterWrite();
    }
    void execute();
    std::size_t handleLine(std::size_t i);
    bool lateDiscount(const ChargeStore::Line& discount);
    // Whether the "Sconto" line discount goes with the charge just before it
    // in the queue: by the link recorded at intake. The next line in the
    // queue can be a "Sconto" the POS wrote later, read after another
    // file's charge. A line with no received row (not from a charges file)
    // goes with its neighbour.
    bool receivedAfter(std::int32_t discount, std::int32_t charge) const {
        if (!t.m_seams.journal || !std::binary_search(received.begin(), received.end(), discount))
            return true;
        const auto it = links.find(discount);
        return it != links.end() && it->second == charge;
    }
    // Of the run's lines: those with a received row, and the "Sconto" links.
    std::vector<std::int32_t> received;
    std::unordered_map<std::int32_t, std::int32_t> links;
    void list(const QString& line, const QString& why);
    void journal(std::int32_t pendingId, const QString& line, JournalEntry entry, bool listedNow,
                 bool discountOfPrevious = false);
    void writeJournal(std::int32_t firstError);
    void commitBatch(db::Transaction& tx);
};

void ChargeTransfer::Run::list(const QString& line, const QString& why) {
    listed << line;
    logLines << QStringLiteral("Addebito non trasferito (%1): %2").arg(why, line);
}

void ChargeTransfer::Run::journal(std::int32_t pendingId, const QString& line, JournalEntry entry,
                                  bool listedNow, bool discountOfPrevious) {
    if (!t.m_seams.journal)
        return;
    changes.push_back({pendingId, &line, std::move(entry),
                       listedNow ? static_cast<int>(listed.size()) - 1 : -1, discountOfPrevious});
}

namespace {

JournalEntry outcomeEntry(const PostResult& r) {
    JournalEntry e;
    e.posRoom = r.posRoom;
    e.room = r.room;
    e.outcome = r.outcome;
    e.database = r.database;
    e.table = r.table;
    e.accountRow = r.accountRow;
    e.client = r.client;
    e.added = r.added;
    e.quantity = r.quantity;
    e.reason = r.reason;
    e.reasonText = r.reasonText;
    return e;
}

}  // namespace

// Handles line i (and the "Sconto" line after it); returns the next index.
// A charge that is not posted goes to the history with its "Sconto" line,
// so the history never overstates what is owed.
std::size_t ChargeTransfer::Run::handleLine(std::size_t i) {
    const QString& line = lines[i].text;
    handled.push_back(lines[i].id);
    if (charge::isDiscount(line)) {
        if (lateDiscount(lines[i]))
            return i + 1;
        ++result.dropped;
        logLines << QStringLiteral("Sconto senza addebito ignorato: %1").arg(line);
        JournalEntry e;
        e.outcome = Esito::Scartato;
        e.reasonText = QStringLiteral("Sconto senza addebito prima");
        journal(lines[i].id, line, std::move(e), false);
        return i + 1;
    }
    const ChargeStore::Line* discount = nullptr;
    if (i + 1 < lines.size() && charge::isDiscount(lines[i + 1].text) &&
        receivedAfter(lines[i + 1].id, lines[i].id)) {
        discount = &lines[i + 1];
        handled.push_back(discount->id);
    }
    PostResult r;
    if (const auto known = refused.find(lines[i].id); known != refused.end()) {
        r.reason = Motivo::RifiutatoDalDatabase;
        r.reasonText = QStringLiteral("Rifiutato dal database dell'albergo: ") + known->second;
    } else {
        try {
            r = poster.post(line, discount ? &discount->text : nullptr);
        } catch (const db::ValueRefused& e) {
            throw LineRefused{lines[i].id, e.message()};
        }
    }
    const bool posted = r.posted();
    if (posted) {
        ++(r.outcome == Esito::Camera ? result.roomCharges : result.externalCharges);
        result.discounts += discount ? 1 : 0;
    } else {
        list(line, r.reasonText);
        ++result.listed;
    }
    journal(lines[i].id, line, outcomeEntry(r), !posted);
    if (discount) {
        if (!posted) {
            list(discount->text,
                 QStringLiteral("Sconto di un addebito non trasferito: ") + r.reasonText);
            ++result.listed;
        }
        JournalEntry d = outcomeEntry(r);
        d.added = Currency();
        d.quantity = 0;
        if (!posted) {
            d.reason = Motivo::ScontoDiNonTrasferito;
            d.reasonText = QStringLiteral("Sconto di un addebito non trasferito: ") + r.reasonText;
        }
        journal(discount->id, discount->text, std::move(d), !posted, true);
    }
    return discount ? i + 2 : i + 1;
}

// A "Sconto" line the POS wrote after its charge had been taken (a file
// read again as it grew, or taken in parts): by the link recorded at
// intake it goes where its charge went, to its account row or, with it,
// to the error history. False when it has no charge handled before it.
bool ChargeTransfer::Run::lateDiscount(const ChargeStore::Line& discount) {
    const PostingJournal& book = t.m_store.journal();
    const auto own = book.byPendingId(discount.id);
    auto charged =
        own && own->receivedAfter > 0 ? book.byPendingId(own->receivedAfter) : std::nullopt;
    if (!charged)
        return false;
    // A charge handled in this batch has no outcome row until the commit:
    // its outcome is the batch's.
    if (charged->outcome == Esito::InAttesa) {
        const auto it = std::find_if(changes.rbegin(), changes.rend(), [&](const Change& c) {
            return c.pendingId == charged->pendingId;
        });
        if (it != changes.rend()) {
            const JournalEntry& e = it->entry;
            charged->outcome = e.outcome;
            charged->room = e.room;
            charged->accountRow = e.accountRow;
            charged->client = e.client;
            charged->added = e.added;
            charged->quantity = e.quantity;
            charged->reasonText = e.reasonText;
            charged->database = e.database;
            charged->table = e.table;
        }
    }
    const bool wentToAccount =
        charged->outcome == Esito::Camera || charged->outcome == Esito::Esterno;
    if (!wentToAccount && charged->outcome != Esito::Storico &&
        charged->outcome != Esito::Cancellato)
        return false;
    PostResult r;
    if (const auto known = refused.find(discount.id); known != refused.end()) {
        r.reason = Motivo::RifiutatoDalDatabase;
        r.reasonText = QStringLiteral("Rifiutato dal database dell'albergo: ") + known->second;
    } else if (wentToAccount) {
        try {
            r = poster.postLateDiscount(*charged, discount.text);
        } catch (const db::ValueRefused& e) {
            throw LineRefused{discount.id, e.message()};
        }
    } else {
        r.posRoom = charged->posRoom;
        r.room = charged->room;
        r.reason = Motivo::ScontoDiNonTrasferito;
        r.reasonText = QStringLiteral("Sconto di un addebito non trasferito: ") +
                       (charged->reasonText.isEmpty() ? QStringLiteral("cancellato dallo storico")
                                                      : charged->reasonText);
    }
    const bool posted = r.posted();
    if (posted)
        result.discounts += 1;
    else {
        list(discount.text, r.reasonText);
        ++result.listed;
    }
    JournalEntry e = outcomeEntry(r);
    e.discountOfPending = charged->pendingId;
    journal(discount.id, discount.text, std::move(e), !posted);
    return true;
}

// The batch's outcome rows go in a few statements; a line without a
// received row (appended to the queue by other means than a charges file)
// gets it now.
void ChargeTransfer::Run::writeJournal(std::int32_t firstError) {
    PostingJournal& journal = t.m_store.journal();
    const QString when =
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
    // The run's lines with a received row, read when it began.
    const std::vector<std::int32_t>& withRows = received;
    std::vector<const JournalEntry*> outcomes;
    std::vector<JournalEntry> fresh;
    outcomes.reserve(changes.size());
    std::int32_t previousPending = 0;  // a "Sconto" line's charge
    for (Change& c : changes) {
        JournalEntry& e = c.entry;
        e.errorId = c.listedAt >= 0 ? firstError + c.listedAt : 0;
        e.pendingId = c.pendingId;
        e.when = when;
        if (c.discountOfPrevious)
            e.discountOfPending = previousPending;
        previousPending = c.pendingId;
        if (std::binary_search(withRows.begin(), withRows.end(), c.pendingId)) {
            outcomes.push_back(&e);
            continue;
        }
        e.line = *c.line;
        e.day = charge::readableDay(*c.line);
        e.amount = charge::amount(*c.line);
        e.receivedAfter = e.discountOfPending;
        fresh.push_back(std::move(e));
    }
    journal.add(fresh);
    journal.addOutcomes(outcomes);
}

void ChargeTransfer::Run::commitBatch(db::Transaction& tx) {
    std::int32_t firstError = 0;
    if (!listed.isEmpty()) {
        firstError = t.m_store.appendErrors(listed);
        wrote();
    }
    if (!changes.empty()) {
        writeJournal(firstError);
        wrote();
    }
    t.m_store.removePending(handled);
    wrote();
    tx.commit();
    ++result.batches;
    wrote();
    // The postings go to the log as the batch's counts, its problems line by line.
    for (const QString& l : std::as_const(logLines)) log::info(l);
    log::info(
        QStringLiteral("Addebiti trasferiti: %1, %2 in camera, %3 a clienti esterni, %4")
            .arg(counted(handled.size(), QStringLiteral("riga"), QStringLiteral("righe")))
            .arg(result.roomCharges - batchStart.roomCharges)
            .arg(result.externalCharges - batchStart.externalCharges)
            .arg(plural(result.listed - batchStart.listed, QStringLiteral("%1 non trasferito"),
                        QStringLiteral("%1 non trasferiti"))));
    batchStart = result;
    handled.clear();
    listed.clear();
    logLines.clear();
    changes.clear();
}

void ChargeTransfer::Run::execute() {
    poster.open();
    lines = t.m_store.pendingLines();
    if (t.m_seams.journal && !lines.empty()) {
        // A batch's changes in one block, never moved as it grows.
        changes.reserve(std::min(lines.size(), 2 * static_cast<std::size_t>(t.m_lineCap)));
        const auto [lo, hi] = std::minmax_element(
            lines.begin(), lines.end(),
            [](const ChargeStore::Line& a, const ChargeStore::Line& b) { return a.id < b.id; });
        const PostingJournal& book = t.m_store.journal();
        received = book.pendingWithRows(lo->id, hi->id);
        links = book.discountLinks(lo->id, hi->id);
    }
    std::size_t i = 0;
    while (i < lines.size()) {
        const std::size_t first = i;
        try {
            db::Transaction tx(t.m_store.workspace());
            QElapsedTimer clock;
            clock.start();
            // A charge and its discount count as one line here.
            int batchLines = 0;
            do {
                i = handleLine(i);
            } while (i < lines.size() && ++batchLines < t.m_lineCap &&
                     clock.elapsed() < t.m_budget.count());
            commitBatch(tx);
        } catch (const LineRefused& r) {
            // Rolled back: the batch again, that line to the error history.
            refused.emplace(r.id, r.why);
            result = batchStart;
            handled.clear();
            listed.clear();
            logLines.clear();
            changes.clear();
            i = first;
        }
    }
    poster.close();
}

ChargeTransfer::ChargeTransfer(const Settings& settings, ChargeStore& store, Seams seams)
    : m_settings(settings), m_store(store), m_seams(std::move(seams)) {}

TransferResult ChargeTransfer::TrasferisciAddebiti() {
    TransferResult result;
    {
        Run run(*this);
        run.execute();
        result = run.result;
    }
    // A long run's lines and pages are not needed until the next one.
    m_store.workspace().releaseMemory();
    return result;
}

}  // namespace quorvel
