// Exactly once across crashes: a child process runs the transfer and is
// killed with SIGKILL after its k-th write, for every k; a restarted
// transfer must then end with the same accounts and error history as a run
// that was never interrupted, and nothing pending.
#include "HotelFixture.h"
#include "PosLine.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <csignal>

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
        store->appendPending({charge("101", "001500"), discountLine("-00200"),
                              charge("101", "000700"),  // summed into the same row
                              charge("E10", "000300", "250131", "VINO"), charge("999", "000100"),
                              discountLine("-00050"), charge("102", "002000", "250201"),
                              QStringLiteral("short"), charge("101", "000900", "250202"),
                              discountLine("-00100"), charge("E10", "000450")});
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
        const std::size_t leftPending = store->pending().size();
        runTransfer();
        const Outcome got = outcome();
        EXPECT_EQ(got.rooms, expected.rooms) << "pending after the kill: " << leftPending;
        EXPECT_EQ(got.externals, expected.externals);
        EXPECT_EQ(got.errors, expected.errors);
        EXPECT_TRUE(got.pending.isEmpty());
    }
}

// 0 ms: every line (with its discount) in a transaction of its own; 60 s:
// the whole run in one transaction.
INSTANTIATE_TEST_SUITE_P(Budgets, TransferCrash, ::testing::Values(0, 60000));

}  // namespace
}  // namespace quorvel::test
