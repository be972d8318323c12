// Exactly once across crashes: a child process runs the transfer and is
// killed with SIGKILL after its k-th write, for every k; a restarted
// transfer must then end with the same accounts and error history as a run
// that was never interrupted, and nothing pending.
#include "HotelFixture.h"
#include "PosLine.h"
#include "transfer/ChargeRepair.h"
#include "transfer/PostingJournal.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <csignal>
#include <map>

namespace quorvel::test {
namespace {

QString charge(const QString& room, const QString& amount, const QString& day = "250131",
               const QString& description = "PRANZO") {
    PosLine p;
    p.room = room;
    p.amount = amount;
    p.day = day;
    p.description = description;
    return p.text();
}

class TransferCrash : public HotelTest, public ::testing::WithParamInterface<int> {
protected:
    // The hotel and its pending lines, kept aside to start every attempt from.
    void SetUp() override {
        HotelTest::SetUp();
        addCard(Guests, 123, "101");
        addCard(Guests, 124, "102");
        addCard(Clients, 900, "E10");
        addItem(50, "Ristorante", 4);
        store->appendChargesFile(
            {{charge("101", "001500"), discountLine("-00200"),
              charge("101", "000700"),  // summed into the same row
              charge("E10", "000300", "250131", "VINO"), charge("999", "000100"),
              discountLine("-00050"), charge("102", "002000", "250201"), QStringLiteral("short"),
              charge("101", "000900", "250202"), discountLine("-00100"), charge("E10", "000450")},
             false},
            "Addebiti.001");
        closeStore();
        QDir().mkdir(QStringLiteral("template"));
        for (const QString& f : QDir().entryList(QDir::Files))
            ASSERT_TRUE(QFile::copy(f, QStringLiteral("template/") + f));
        openStore();
    }

    void restoreTemplate() {
        closeStore();
        for (const QString& f : QDir().entryList(QDir::Files)) QFile::remove(f);
        QDir t(QStringLiteral("template"));
        for (const QString& f : t.entryList(QDir::Files))
            ASSERT_TRUE(QFile::copy(t.filePath(f), f));
        openStore();
    }

    TransferResult runTransfer(const std::function<void()>& hook = {}) {
        ChargeTransfer t(settings, *store, {hook});
        t.setBatchBudget(std::chrono::milliseconds(GetParam()));
        return t.TrasferisciAddebiti();
    }

    struct Outcome {
        std::vector<AccountRow> rooms, externals;
        QStringList errors, pending;
    };
    Outcome outcome() { return {rows(Rooms), rows(Externals), store->errors(), store->pending()}; }

    // The journal and what it describes never apart: each line one row,
    // the posted amounts those of the accounts, the listed and pending rows
    // those of the queue.
    void expectJournalAgrees() {
        JournalQuery all;
        all.limit = 1000;
        const std::vector<JournalEntry> journal = store->journal().find(all);
        EXPECT_EQ(journal.size(), 11u);
        std::map<Esito, Currency> posted;
        std::vector<std::int32_t> listed, pending;
        for (const JournalEntry& e : journal) {
            posted[e.outcome] += e.added;
            if (e.outcome == Esito::Storico)
                listed.push_back(e.errorId);
            if (e.outcome == Esito::InAttesa)
                pending.push_back(e.pendingId);
        }
        auto total = [](const std::vector<AccountRow>& rows) {
            Currency sum;
            for (const AccountRow& r : rows) sum += r.importo;
            return sum;
        };
        EXPECT_EQ(posted[Esito::Camera], total(rows(Rooms)));
        EXPECT_EQ(posted[Esito::Esterno], total(rows(Externals)));
        auto ids = [](const std::vector<ChargeStore::Line>& lines) {
            std::vector<std::int32_t> out;
            for (const auto& l : lines) out.push_back(l.id);
            return out;
        };
        EXPECT_EQ(listed, ids(store->errorLines()));
        EXPECT_EQ(pending, ids(store->pendingLines()));
    }
};

TEST_P(TransferCrash, EveryLineHandledOnceAfterAKillAtAnyWrite) {
    GTEST_FLAG_SET(death_test_style, "fast");
    int writes = 0;
    runTransfer([&] { ++writes; });
    const Outcome expected = outcome();
    ASSERT_TRUE(expected.pending.isEmpty());
    ASSERT_EQ(expected.errors.size(), 3);  // 999 with its "Sconto" line, "short"
    ASSERT_GT(writes, 3);

    for (int k = 1; k <= writes; ++k) {
        SCOPED_TRACE(k);
        restoreTemplate();
        closeStore();  // the child opens its own connection
        EXPECT_EXIT(
            {
                openStore();
                int count = 0;
                runTransfer([&] {
                    if (++count == k)
                        std::raise(SIGKILL);
                });
                std::_Exit(0);
            },
            ::testing::KilledBySignal(SIGKILL), "");
        openStore();
        expectJournalAgrees();
        const std::size_t leftPending = store->pending().size();
        runTransfer();
        expectJournalAgrees();
        const Outcome got = outcome();
        EXPECT_EQ(got.rooms, expected.rooms) << "pending after the kill: " << leftPending;
        EXPECT_EQ(got.externals, expected.externals);
        EXPECT_EQ(got.errors, expected.errors);
        EXPECT_TRUE(got.pending.isEmpty());
    }
}

// A repair killed at any write: the line is either still in the history
// with nothing posted, or posted once and gone from it; a second repair
// finishes the first or finds it done.
TEST_P(TransferCrash, ARepairKilledAtAnyWriteLosesAndDoublesNothing) {
    GTEST_FLAG_SET(death_test_style, "fast");
    runTransfer();
    const std::int32_t lost = store->errorLines().at(0).id;  // room 999 and its "Sconto"
    int writes = 0;
    Currency before;
    for (const AccountRow& r : rows(Rooms)) before += r.importo;
    ASSERT_EQ(
        ChargeRepair(settings, *store, {[&] { ++writes; }, {}}).assegnaCamera(lost, "101").status,
        ChargeRepair::Status::Posted);
    const Outcome expected = outcome();
    ASSERT_EQ(expected.errors, QStringList{"short"});
    for (int k = 1; k <= writes; ++k) {
        SCOPED_TRACE(k);
        restoreTemplate();
        runTransfer();
        closeStore();
        EXPECT_EXIT(
            {
                openStore();
                int count = 0;
                ChargeRepair(settings, *store,
                             {[&] {
                                  if (++count == k)
                                      std::raise(SIGKILL);
                              },
                              {}})
                    .assegnaCamera(lost, "101");
                std::_Exit(0);
            },
            ::testing::KilledBySignal(SIGKILL), "");
        openStore();
        expectJournalAgrees();
        const bool done = store->errorLines().size() == 1;
        Currency sum;
        for (const AccountRow& r : rows(Rooms)) sum += r.importo;
        EXPECT_EQ(sum, done ? before + Currency::fromCents(50) : before);
        EXPECT_EQ(ChargeRepair(settings, *store).assegnaCamera(lost, "101").status,
                  done ? ChargeRepair::Status::Gone : ChargeRepair::Status::Posted);
        EXPECT_EQ(outcome().rooms, expected.rooms);
        EXPECT_EQ(outcome().errors, expected.errors);
        expectJournalAgrees();
    }
}

// 0 ms: every line (with its discount) in a transaction of its own; 60 s:
// the whole run in one transaction.
INSTANTIATE_TEST_SUITE_P(Budgets, TransferCrash, ::testing::Values(0, 60000));

}  // namespace
}  // namespace quorvel::test
