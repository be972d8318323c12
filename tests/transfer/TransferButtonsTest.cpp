// Tasto_Click: the transfer-type guard, hide, print hook, clearing the
// history with two confirmations, and failures that do not escape.
#include "HotelFixture.h"
#include "PosLine.h"
#include "transfer/TransferButtons.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <QFile>

namespace quorvel::test {
namespace {

class FakeView : public MainView {
public:
    QString transferType() const override { return type; }
    void focusTransferType() override { ++focused; }
    void showWindow() override { visible = true; }
    void hideWindow() override { visible = false; }
    void showPending(const QStringList& lines) override { pending = lines; }
    void showErrors(const QStringList& lines) override { errors = lines; }
    void setBusy(bool) override {}

    QString type = QStringLiteral("Completo");
    int focused = 0;
    bool visible = true;
    QStringList pending, errors;
};

class TransferButtonsTest : public HotelTest {
protected:
    void SetUp() override {
        HotelTest::SetUp();
        services.dialogs = &dialogs;
        buttons = std::make_unique<TransferButtons>(settings, services, view, *store);
    }
    void TearDown() override {
        buttons.reset();
        HotelTest::TearDown();
    }
    QString charge(const QString& room) {
        PosLine p;
        p.room = room;
        return p.text();
    }

    FakeDialogs dialogs;
    Services services;
    FakeView view;
    std::unique_ptr<TransferButtons> buttons;
};

TEST_F(TransferButtonsTest, TransferNeedsATransferType) {
    addCard(Guests, 123, "101");
    const QStringList lines{charge("101"), charge("999")};
    store->appendPending(lines);
    view.type = QStringLiteral("   ");
    buttons->Tasto_Click(0);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    const auto& m = dialogs.messages[0];
    EXPECT_EQ(m.text,
              QStringLiteral("E' necessario selezionare il tipo di trasferimento addebiti!"));
    EXPECT_EQ(m.title, QStringLiteral("Scelta passaggio"));
    EXPECT_EQ(m.icon, MsgIcon::Exclamation);
    EXPECT_EQ(m.buttons, MsgButtons::Ok);
    EXPECT_EQ(view.focused, 1);
    EXPECT_EQ(store->pending(), lines);

    view.type = QStringLiteral("Completo");
    buttons->Tasto_Click(0);
    EXPECT_EQ(dialogs.messages.size(), 1u);  // no question asked
    EXPECT_FALSE(store->hasPending());
    EXPECT_EQ(rows(Rooms).size(), 1u);
    EXPECT_TRUE(view.pending.isEmpty());
    EXPECT_EQ(view.errors, QStringList{charge("999")});
}

TEST_F(TransferButtonsTest, CancellaAsksTwiceNoBeingTheDefault) {
    store->appendErrors({QStringLiteral("a"), QStringLiteral("b")});
    for (const auto& script :
         std::vector<std::deque<MsgAnswer>>{{MsgAnswer::No}, {MsgAnswer::Yes, MsgAnswer::No}, {}}) {
        dialogs.answers = script;
        buttons->Tasto_Click(3);
        EXPECT_EQ(store->errors().size(), 2);
    }
    ASSERT_EQ(dialogs.messages.size(), 4u);
    EXPECT_EQ(dialogs.messages[0].text,
              QStringLiteral("Confermi la cancellazione dello storico errori?"));
    EXPECT_EQ(dialogs.messages[2].text,
              QStringLiteral("La cancellazione sarà definitiva, confermi?"));
    for (const auto& m : dialogs.messages) {
        EXPECT_EQ(m.title, QStringLiteral("Cancella"));
        EXPECT_EQ(m.icon, MsgIcon::Question);
        EXPECT_EQ(m.buttons, MsgButtons::YesNo);
        EXPECT_EQ(m.defaultAnswer, MsgAnswer::No);
    }
    view.errors = QStringList{QStringLiteral("a")};
    dialogs.answers = {MsgAnswer::Yes, MsgAnswer::Yes};
    buttons->Tasto_Click(3);
    EXPECT_TRUE(store->errors().isEmpty());
    EXPECT_TRUE(view.errors.isEmpty());
}

TEST_F(TransferButtonsTest, EsciStampaAndOtherIndexes) {
    int printed = 0;
    buttons->stampa = [&] { ++printed; };
    buttons->Tasto_Click(1);
    EXPECT_FALSE(view.visible);
    buttons->Tasto_Click(2);
    EXPECT_EQ(printed, 1);
    buttons->Tasto_Click(4);
    buttons->Tasto_Click(-1);
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(TransferButtonsTest, AFailingTransferIsReportedWithoutABoxAndKeepsTheLines) {
    addCard(Guests, 123, "101");
    const QStringList lines{charge("101")};
    store->appendPending(lines);
    QFile::remove(path(QStringLiteral("Conto_Cliente.mdb")));
    buttons->Tasto_Click(0);
    EXPECT_TRUE(dialogs.messages.empty());
    ASSERT_EQ(dialogs.notices.size(), 1u);
    EXPECT_TRUE(dialogs.notices[0].second.contains(QStringLiteral("Conto_Cliente.mdb")))
        << dialogs.notices[0].second.toStdString();
    EXPECT_EQ(store->pending(), lines);
    EXPECT_EQ(view.pending, lines);
}

TEST_F(TransferButtonsTest, ADatabaseLockedByAnotherProgramDelaysTheTransfer) {
    addCard(Guests, 123, "101");
    const QStringList lines{charge("101"), charge("999")};
    store->appendPending(lines);
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(path(QStringLiteral("Conto_Cliente.mdb")).toUtf8().constData(), &other),
              SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    ws->setBusyTimeout(50);
    buttons->Tasto_Click(0);
    EXPECT_EQ(dialogs.notices.size(), 1u);
    EXPECT_EQ(store->pending(), lines);
    EXPECT_TRUE(store->errors().isEmpty());  // the failed line's batch rolled back too
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);

    buttons->Tasto_Click(0);  // the next run posts everything once
    EXPECT_EQ(dialogs.notices.size(), 1u);
    EXPECT_FALSE(store->hasPending());
    EXPECT_EQ(rows(Rooms).size(), 1u);
    EXPECT_EQ(store->errors(), QStringList{charge("999")});
}

}  // namespace
}  // namespace quorvel::test
