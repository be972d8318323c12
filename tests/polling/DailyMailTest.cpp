// The daily mail: once a day after its hour, exactly once across restarts,
// retried (not stormed) while the server is down.
#include "db/Engine.h"
#include "polling/DailyMail.h"
#include "polling/WorkGuard.h"
#include "support/TempDir.h"
#include "support/TestSmtp.h"
#include "transfer/ChargeStore.h"
#include "transfer/PostingJournal.h"

#include <QElapsedTimer>

namespace quorvel::test {
namespace {

class DailyMailTest : public TempDirTest {
protected:
    void at(int day, int h, int m) { clock.current = QDateTime(QDate(2026, 12, day), QTime(h, m)); }
    FakeDialogs dialogs;
    FakeClock clock;
    Services services{&dialogs, &clock, nullptr};
};

TEST_F(DailyMailTest, OncePerDayAcrossRestartsAndRetriedWhileTheServerIsDown) {
    QUORVEL_TEST_SMTP(smtp);
    db::Workspace ws;
    ChargeStore store(ws);
    store.appendErrors({QString::fromUtf8("  12 CAFFÈ 2,50")});
    // One tick starts a due send on the worker, a later one collects it.
    auto cycle = [&](DailyMail& m) {
        const bool collected = m.tick(store);
        m.wait();
        return m.tick(store) || collected;
    };
    // Without the file, or without ora_invio, nothing is ever sent.
    DailyMail mail(services);
    at(8, 23, 0);
    EXPECT_FALSE(cycle(mail));
    writeMailSettings(smtp, {});
    EXPECT_FALSE(cycle(mail));

    // The server is down: one attempt, one notice; no new attempt within the
    // retry interval after its end, and the same failure is not told again.
    const int closed = TestSmtp::closedPort();
    writeMailSettings(smtp, {"ora_invio = 07:30", QStringLiteral("porta = %1").arg(closed)});
    at(8, 7, 29);
    EXPECT_FALSE(cycle(mail));
    EXPECT_TRUE(dialogs.notices.empty());
    at(8, 7, 30);
    EXPECT_FALSE(cycle(mail));
    ASSERT_EQ(dialogs.notices.size(), 1u);
    EXPECT_TRUE(dialogs.notices[0].second.contains("non raggiungibile"));
    at(8, 7, 34);
    EXPECT_FALSE(mail.tick(store));
    EXPECT_FALSE(mail.sending());
    at(8, 7, 35);
    EXPECT_FALSE(cycle(mail));
    EXPECT_EQ(dialogs.notices.size(), 1u);

    // Up again: sent at the next attempt, with the history as body and export.
    writeMailSettings(smtp, {"ora_invio = 07:30", "oggetto = Storico"});
    const int before = smtp.count();
    at(8, 7, 40);
    EXPECT_TRUE(cycle(mail));
    ASSERT_EQ(smtp.count(), before + 1);
    const QByteArray m = smtp.message(before + 1);
    EXPECT_EQ(mailHeader(m, "Subject"), "Storico - 08/12/2026");
    EXPECT_EQ(mailTextPart(m),
              "Storico errori al 08/12/2026 07:40: 1 riga\r\n\r\n"
              "  12 CAFF\xC3\x88 2,50");
    EXPECT_EQ(mailAttachment(m),
              "  12 CAFF\xC8\x80"
              "2.50\r\n");
    at(8, 23, 59);
    EXPECT_FALSE(cycle(mail));

    // A restart the same day sends nothing; the next day sends again, and
    // not while other work holds the guard.
    DailyMail restarted(services);
    EXPECT_FALSE(cycle(restarted));
    at(9, 7, 31);
    {
        WorkGuard busy;
        EXPECT_FALSE(restarted.tick(store));
        EXPECT_FALSE(restarted.sending());
    }
    EXPECT_EQ(smtp.count(), before + 1);
    // The next day's body balances the day before: a file's line that the
    // journal does not account for shows as a difference.
    PostingJournal(store).addReceived({{QStringLiteral("Estrazione_1.txt"),
                                        QStringLiteral("20261208"), 1, Currency::fromCents(250)}});
    EXPECT_TRUE(cycle(restarted));
    EXPECT_FALSE(cycle(restarted));
    EXPECT_EQ(smtp.count(), before + 2);
    const QByteArray next = mailTextPart(smtp.message(before + 2));
    EXPECT_TRUE(next.contains("QUADRATURA ADDEBITI")) << next.constData();
    EXPECT_TRUE(next.contains("DIFFERENZA")) << next.constData();
}

// A server that never answers holds up no tick, and the program's end
// abandons the send at once instead of waiting out the time-out; the day is
// not recorded, so the next start sends it.
TEST_F(DailyMailTest, AStalledServerHoldsNothingUp) {
    QUORVEL_TEST_SMTP(smtp);
    db::Workspace ws;
    ChargeStore store(ws);
    const SilentPort silent;
    writeMailSettings(smtp, {"ora_invio = 07:30", "attesa_massima = 600",
                             QStringLiteral("porta = %1").arg(silent.port())});
    at(8, 7, 30);
    QElapsedTimer elapsed;
    elapsed.start();
    {
        DailyMail mail(services);
        EXPECT_FALSE(mail.tick(store));
        EXPECT_TRUE(mail.sending());
        EXPECT_FALSE(mail.tick(store));  // returns while the worker waits
        EXPECT_TRUE(mail.sending());
    }
    EXPECT_LT(elapsed.elapsed(), 5000);
    EXPECT_TRUE(dialogs.notices.empty());
    writeMailSettings(smtp, {"ora_invio = 07:30"});
    DailyMail next(services);
    next.tick(store);
    next.wait();
    EXPECT_TRUE(next.tick(store));
}

}  // namespace
}  // namespace quorvel::test
