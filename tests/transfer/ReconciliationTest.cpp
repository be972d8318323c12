// The day's reconciliation: each outcome in its place, sums exact, and a
// journal or queue row removed behind the program's back as a difference.
#include "HotelFixture.h"
#include "PosLine.h"
#include "transfer/ChargeRepair.h"
#include "transfer/PostingJournal.h"
#include "transfer/Reconciliation.h"

#include <gtest/gtest.h>

namespace quorvel::test {
namespace {

using ReconciliationTest = HotelTest;

Currency eur(std::int64_t cents) {
    return Currency::fromCents(cents);
}

TEST_F(ReconciliationTest, EveryOutcomeCountsOnceAndARemovedRowShowsAsDifference) {
    PostingJournal& journal = store->journal();
    store->appendPending({QStringLiteral("in attesa")});
    store->appendErrors({QStringLiteral("nello storico")});
    const std::int32_t pendingId = store->pendingLines().front().id;
    const std::int32_t errorId = store->errorLines().front().id;

    const QString file = QStringLiteral("Estrazione_20250307090503.txt");
    const QString day = QStringLiteral("20250307");
    auto line = [&](int no, std::optional<Currency> amount, Esito outcome) {
        JournalEntry e;
        e.archive = file;
        e.lineNo = no;
        e.day = day;
        e.amount = amount;
        e.outcome = outcome;
        return e;
    };
    std::vector<JournalEntry> rows{
        line(1, eur(1500), Esito::Camera),   line(2, eur(-150), Esito::Camera),
        line(3, eur(800), Esito::Esterno),   line(4, eur(1250), Esito::Storico),
        line(5, eur(300), Esito::InAttesa),  line(6, eur(200), Esito::Cancellato),
        line(7, eur(-50), Esito::Scartato),  line(8, std::nullopt, Esito::Storico),
        line(9, eur(999999), Esito::Camera),  // another day: outside
    };
    rows[2].action = Azione::AssegnaEsterno;
    rows[3].errorId = errorId;
    rows[4].pendingId = pendingId;
    rows[7].errorId = errorId;  // a line of no number, in the history (same queue row)
    rows[8].day = QStringLiteral("20250308");
    JournalEntry receipt;
    receipt.kind = QStringLiteral("I");
    receipt.day = day;
    receipt.amount = eur(4500);
    receipt.outcome = Esito::Incasso;
    rows.push_back(receipt);
    journal.add(rows);
    journal.addReceived({{file, day, 8, eur(1500 - 150 + 800 + 1250 + 300 + 200 - 50)},
                         {file, QStringLiteral("20250308"), 1, eur(999999)}});

    Reconciliation r = reconcile(*store, day, day);
    ASSERT_EQ(r.days.size(), 1u);
    ASSERT_EQ(r.days[0].files.size(), 1u);
    const ReconciliationRow& f = r.days[0].files[0];
    EXPECT_EQ(f.archive, file);
    EXPECT_EQ(f.room, (LineCount{2, eur(1350)}));
    EXPECT_EQ(f.external, (LineCount{1, eur(800)}));
    EXPECT_EQ(f.repairedExternal, (LineCount{1, eur(800)}));
    EXPECT_EQ(f.repairedRoom, LineCount{});
    EXPECT_EQ(f.error, (LineCount{2, eur(1250)}));
    EXPECT_EQ(f.pending, (LineCount{1, eur(300)}));
    EXPECT_EQ(f.cleared, (LineCount{1, eur(200)}));
    EXPECT_EQ(f.dropped, (LineCount{1, eur(-50)}));
    EXPECT_TRUE(f.balanced()) << f.difference().lines;
    EXPECT_EQ(r.days[0].receipts, (LineCount{1, eur(4500)}));
    EXPECT_TRUE(r.total.balanced());

    const QStringList csv = reconciliationCsv(r);
    EXPECT_EQ(csv.front(), "Giorno;File;Voce;Righe;Importo");
    EXPECT_TRUE(csv.contains("07/03/2025;" + file + ";Addebitate in camera;2;13,50"));
    EXPECT_TRUE(csv.contains("07/03/2025;Totale giorno;Quadratura;OK;"));
    EXPECT_TRUE(csv.contains("07/03/2025;Totale giorno;Incassi importati;1;45,00"));
    // A two-day range has both days and a period total.
    r = reconcile(*store, day, QStringLiteral("20250308"));
    ASSERT_EQ(r.days.size(), 2u);
    EXPECT_EQ(r.total.room, (LineCount{3, eur(1350 + 999999)}));
    EXPECT_TRUE(reconciliationCsv(r).contains(
        ";Totale periodo;Addebitate in camera;3;10013,49"));  // no thousands mark

    // Behind the program's back: the pending line, then the error line, then
    // a journal row.
    store->removePending(pendingId);
    auto check = [&](int lines, std::int64_t cents, int vanished) {
        const ReconciliationRow t = reconcile(*store, day, day).total;
        EXPECT_EQ(t.difference(), (LineCount{lines, eur(cents)}));
        EXPECT_EQ(t.vanished.lines, vanished);
        EXPECT_FALSE(t.balanced());
    };
    check(1, 300, 1);
    store->database()
        .openRecordset(QStringLiteral("Errori"))
        ->removeAll(QStringLiteral("Progressivo > 0"));
    check(3, 300 + 1250, 3);
    const QStringList text = reconciliationText(reconcile(*store, day, day), QDateTime());
    EXPECT_TRUE(text.contains("| DIFFERENZA                      |      3 |          15,50 |"))
        << text.join('\n').toStdString();
    EXPECT_TRUE(text.contains("|   sparite da Pendenti o Errori  |      3 |          15,50 |"));
    store->database()
        .openRecordset(QStringLiteral("RigheRicevute"))
        ->removeAll(QStringLiteral("NumeroRiga = 1"));
    check(4, 300 + 1250 + 1500, 3);

    EXPECT_EQ(parseDay(" 07/03/2025 "), QStringLiteral("20250307"));
    EXPECT_EQ(parseDayRange("20250301-07/03/2025"),
              (std::pair<QString, QString>{"20250301", "20250307"}));
    for (const char* bad : {"20250230", "2025037", "7/3/25", "", "20250307-20250301", "a-b-c"})
        EXPECT_FALSE(parseDayRange(QString::fromLatin1(bad))) << bad;
}

TEST_F(ReconciliationTest, BalancesAfterIntakeTransferRepairAndClearing) {
    addCard(Guests, 123, "101");
    addCard(Clients, 500, "301");
    auto charge = [](const char* room, const char* amount) {
        PosLine l;
        l.room = QString::fromLatin1(room);
        l.amount = QString::fromLatin1(amount);
        return l.text();
    };
    const QString day = QStringLiteral("20250131");
    store->appendChargesFile(
        {{discountLine("-00050"), charge("101", "001500"), discountLine("-00150"),
          charge("301", "000800"), charge("999", "001250"), charge("998", "000200"),
          QStringLiteral("corta")},
         false},
        QStringLiteral("Estrazione_1.txt"));
    ChargeTransfer(settings, *store).TrasferisciAddebiti();
    store->appendChargesFile({{charge("101", "000300")}, false},
                             QStringLiteral("Estrazione_2.txt"));
    // The 12,50 of room 999 repaired to room 101; the 2,00 of room 998 cleared.
    const auto errors = store->errorLines();
    ASSERT_EQ(errors.size(), 3u);  // 999, 998 and the short line
    EXPECT_EQ(ChargeRepair(settings, *store).assegnaCamera(errors[0].id, "101").status,
              ChargeRepair::Status::Posted);
    store->clearErrorsUpTo(errors[1].id);

    Reconciliation r = reconcile(*store, day, day);
    ASSERT_EQ(r.days.size(), 1u);
    ASSERT_EQ(r.days[0].files.size(), 2u);
    const ReconciliationRow& first = r.days[0].files[0];
    EXPECT_EQ(first.received, (LineCount{6, eur(-50 + 1500 - 150 + 800 + 1250 + 200)}));
    EXPECT_EQ(first.room, (LineCount{3, eur(1500 - 150 + 1250)}));
    EXPECT_EQ(first.repairedRoom, (LineCount{1, eur(1250)}));
    EXPECT_EQ(first.repairedExternal, LineCount{});
    // Each "di cui" row stands under its own and counts only its repairs.
    const QStringList text = reconciliationText(r, QDateTime());
    const auto at = text.indexOf("| Addebitate a clienti esterni    |      1 |           8,00 |");
    ASSERT_GT(at, 1) << text.join('\n').toStdString();
    EXPECT_EQ(text[at - 1], "|   di cui riparate dallo storico |      1 |          12,50 |");
    EXPECT_EQ(text[at + 1], "|   di cui riparate dallo storico |      0 |           0,00 |");
    EXPECT_EQ(first.external, (LineCount{1, eur(800)}));
    EXPECT_EQ(first.cleared, (LineCount{1, eur(200)}));
    EXPECT_EQ(first.dropped, (LineCount{1, eur(-50)}));
    EXPECT_EQ(r.days[0].files[1].pending, (LineCount{1, eur(300)}));
    EXPECT_TRUE(r.total.balanced()) << r.total.difference().lines;

    // Behind the program's back: a pending line, then a journal row.
    store->removePending(store->pendingLines().front().id);
    EXPECT_EQ(reconcile(*store, day, day).total.difference(), (LineCount{1, eur(300)}));
    store->database()
        .openRecordset(QStringLiteral("RigheRicevute"))
        ->removeAll(QStringLiteral("Importo = 8"));
    EXPECT_EQ(reconcile(*store, day, day).total.difference(), (LineCount{2, eur(1100)}));
}

}  // namespace
}  // namespace quorvel::test
