// Charge lines found by fuzzing the transfer run: each is posted or listed,
// and the run never fails on what a line holds.
#include "HotelFixture.h"
#include "PosLine.h"

#include "platform/Error.h"

#include <gtest/gtest.h>

namespace quorvel::test {
namespace {

using TransferFuzzRegression = HotelTest;

TEST_F(TransferFuzzRegression, PercentSignInTheDayColumnsNeitherBreaksNorBendsTheCriterion) {
    // The day went into the account look-up through chained arg() calls, so
    // "%0" in it was read as a marker: the criterion broke and the whole run
    // failed at every tick, with the line left pending for good.
    addCard(Guests, 101, "101");
    addItem(50, "Ristorante Interno", 4);
    PosLine charge;
    charge.day = QStringLiteral("2%0131");
    charge.amount = QStringLiteral("001000");
    TransferResult r;
    ASSERT_NO_THROW(r = transfer({charge.text(), charge.text()}));
    EXPECT_EQ(r.roomCharges, 2);
    EXPECT_FALSE(store->hasPending());
    // Both charges sum into one row of that very day.
    const auto accounts = rows(Rooms);
    ASSERT_EQ(accounts.size(), 1u);
    EXPECT_EQ(accounts[0].giorno, QStringLiteral("202%0131"));
    EXPECT_EQ(accounts[0].importo, Currency::fromCents(2000));
    EXPECT_EQ(accounts[0].quantita, 2.0);
}

}  // namespace
}  // namespace quorvel::test
