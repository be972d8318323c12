// A notice an earlier run took but did not finish happened before any notice
// file now waiting: it is finished first, so a departure cut short by a kill
// cannot undo the arrival of the room's next guest.
#include "polling/InboxJournal.h"
#include "polling/PollingCycle.h"
#include "polling/PollingHotel.h"
#include "transfer/ChargeStore.h"

namespace quorvel {
namespace {

using test::InHouse;

class NoticeClaimOrderTest : public test::PollingHotel {};

TEST_F(NoticeClaimOrderTest, DepartureCutShortIsFinishedBeforeALaterArrival) {
    // The guest of 205 left; the program took "CKO205" and was killed before
    // it updated the room. Then the next guest arrived and "CKI205" came.
    addCard(InHouse,
            {1, 3, QStringLiteral("205"), 1, QStringLiteral("S"), QStringLiteral("Blu Ugo")});
    addCard(InHouse,
            {1, 4, QStringLiteral("205"), 1, QStringLiteral("N"), QStringLiteral("Verdi Ines")});
    addGuestRow({QStringLiteral("205"), QStringLiteral("Blu Ugo"), QStringLiteral("2025-03-01"),
                 QStringLiteral("2025-03-09")});
    {
        db::Workspace ws;
        InboxJournal(ws).add({QString::fromLatin1(InboxJournal::CheckOut), QStringLiteral("CKO205"),
                              QStringLiteral("205")});
    }
    writeBytes(QStringLiteral("CKI205"), "");

    Settings settings;
    db::Workspace ws;
    ChargeStore store(ws);
    PollingCycle cycle(settings, services, store, [] { return TransferRun{}; });
    ASSERT_TRUE(cycle.tick());
    const std::vector<GuestRow> arrived{{QStringLiteral("205"), QStringLiteral("Verdi Ines"),
                                         QStringLiteral("2025-03-01"),
                                         QStringLiteral("2025-03-09")}};
    EXPECT_EQ(guestRows(), arrived);
    EXPECT_FALSE(exists(QStringLiteral("CKI205")));
    EXPECT_TRUE(InboxJournal(ws).claims(QString::fromLatin1(InboxJournal::CheckOut)).empty());
}

}  // namespace
}  // namespace quorvel
