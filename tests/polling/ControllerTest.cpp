// The Controller's timer tick and "&Aggiorna Dati", with the real transfer
// behind Tasto_Click(0): a charges file ends up on the guest's account or in
// the error history, and failures come back as false or a notice, never as
// an exception.
#include "PollingHotel.h"
#include "platform/TextFile.h"
#include "polling/Controller.h"
#include "polling/DailyMail.h"
#include "support/TestSmtp.h"
#include "transfer/ChargeStore.h"
#include "transfer/PosLine.h"

#include <QDir>
#include <QFile>

namespace quorvel::test {
namespace {

class RecordingView : public MainView {
public:
    QString transferType() const override { return type; }
    void focusTransferType() override {}
    void showWindow() override {}
    void hideWindow() override {}
    void showPending(const QStringList& lines) override { pending = lines; }
    void showErrors(const QStringList& lines) override { errors = lines; }
    void setBusy(bool busy) override { busyCalls.push_back(busy); }

    QString type = QStringLiteral("Completo");
    QStringList pending, errors;
    std::vector<bool> busyCalls;
};

class ControllerTest : public PollingHotel {
protected:
    void SetUp() override {
        PollingHotel::SetUp();
        // The POS wrote its files well before the tick: taken at once.
        clock.current = QDateTime::currentDateTime().addSecs(60);
        settings.codiceGenerico = 1;
        addItem(1, QStringLiteral("RISTORANTE"));
        addCard(InHouse, {1, 7, QStringLiteral("101"), 1, QStringLiteral("N"),
                          QStringLiteral("Rossi Mario")});
        addRoom(QStringLiteral("101"));
    }

    std::int64_t accountRows() {
        db::Workspace ws;
        auto d = ws.openDatabase(QStringLiteral("Conto_Cliente.mdb"));
        auto rs = d->openRecordset(QStringLiteral("Conto_Cliente"));
        std::int64_t n = 0;
        const QString all = QStringLiteral("NumeroHotel = 1");
        for (rs->findFirst(all); !rs->noMatch(); rs->findNext(all)) ++n;
        return n;
    }

    Settings settings;
    RecordingView view;
};

TEST_F(ControllerTest, TickPostsChargesAndListsTheRest) {
    PosLine unknown;
    unknown.room = QStringLiteral("999");
    writeTextLines(path(QStringLiteral("Estrazione.mdb")), {PosLine{}.text(), unknown.text()});
    writeBytes(QStringLiteral("CKI101"), "");
    {
        Controller controller(settings, services, view);
        EXPECT_TRUE(controller.timerTick());
        EXPECT_EQ(accountRows(), 1);
        EXPECT_EQ(controller.store().errors(), QStringList{unknown.text()});
        EXPECT_TRUE(controller.store().pending().isEmpty());
        EXPECT_EQ(view.errors, QStringList{unknown.text()});
        EXPECT_TRUE(view.pending.isEmpty());
        EXPECT_EQ(guestRows().size(), 1u);
        EXPECT_FALSE(exists(QStringLiteral("CKI101")));

        // No transfer type: the lines wait in List1 and the operator is told.
        view.type = QStringLiteral("   ");
        writeTextLines(path(QStringLiteral("Estrazione.mdb")), {PosLine{}.text()});
        EXPECT_TRUE(controller.timerTick());
        EXPECT_EQ(view.pending, QStringList{PosLine{}.text()});
        ASSERT_EQ(dialogs.messages.size(), 1u);
        EXPECT_EQ(dialogs.messages[0].title, QStringLiteral("Scelta passaggio"));
    }
    // A restart finds the waiting line; with a type chosen it is posted once.
    view.type = QStringLiteral("Cena");
    Controller again(settings, services, view);
    EXPECT_TRUE(again.timerTick());
    EXPECT_TRUE(again.store().pending().isEmpty());
    EXPECT_EQ(accountRows(), 1);  // same guest, day and item: summed into one row
    EXPECT_TRUE(again.timerTick());
    EXPECT_EQ(accountRows(), 1);
}

TEST_F(ControllerTest, TheTickEndsWithTheDailyMailWhoseFailureIsNotTheTicks) {
    QUORVEL_TEST_SMTP(smtp);
    writeMailSettings(
        smtp, {"ora_invio = 00:00", QStringLiteral("porta = %1").arg(TestSmtp::closedPort())});
    Controller controller(settings, services, view);
    EXPECT_TRUE(controller.timerTick());
    ASSERT_EQ(dialogs.notices.size(), 1u);
    EXPECT_EQ(dialogs.notices[0].first, "E-mail giornaliera");
    writeMailSettings(smtp, {"ora_invio = 00:00"});
    const int before = smtp.count();
    clock.current = clock.current.addSecs(DailyMail::RetrySeconds);
    EXPECT_TRUE(controller.timerTick());
    EXPECT_EQ(smtp.count(), before + 1);
}

TEST_F(ControllerTest, FailedTickReturnsFalseAndTheNextOneRecovers) {
    writeBytes(QStringLiteral("Documento.txt"), "  Scontrino:\r\n        5.00\r\n");
    ASSERT_TRUE(QFile::rename(path(QStringLiteral("VociFattura.mdb")), path(QStringLiteral("V"))));
    Controller controller(settings, services, view);
    EXPECT_FALSE(controller.timerTick());
    EXPECT_EQ(dialogs.notices.size(), 1u);
    EXPECT_TRUE(exists(QStringLiteral("Documento.txt")));
    ASSERT_TRUE(QFile::rename(path(QStringLiteral("V")), path(QStringLiteral("VociFattura.mdb"))));
    EXPECT_TRUE(controller.timerTick());
    ASSERT_EQ(incassi().size(), 1u);
    EXPECT_EQ(incassi()[0].nota, QStringLiteral("0000-Codice non valido"));
}

TEST_F(ControllerTest, ATransferFailingInsideTheTickMakesTheTickFail) {
    writeTextLines(path(QStringLiteral("Estrazione.mdb")), {PosLine{}.text()});
    ASSERT_TRUE(
        QFile::rename(path(QStringLiteral("Conto_Cliente.mdb")), path(QStringLiteral("C"))));
    Controller controller(settings, services, view);
    EXPECT_FALSE(controller.timerTick());
    EXPECT_EQ(controller.store().pending().size(), 1);  // kept for the next run
    ASSERT_TRUE(
        QFile::rename(path(QStringLiteral("C")), path(QStringLiteral("Conto_Cliente.mdb"))));
    EXPECT_TRUE(controller.timerTick());
    EXPECT_TRUE(controller.store().pending().isEmpty());
    EXPECT_EQ(accountRows(), 1);
}

TEST_F(ControllerTest, NothingIsTakenUntilTheSettingsAreRead) {
    writeTextLines(path(QStringLiteral("Estrazione.mdb")), {PosLine{}.text()});
    writeBytes(QStringLiteral("Documento.txt"), "  Scontrino:\r\n        5.00\r\n");
    ASSERT_TRUE(QDir(dir()).mkdir(QStringLiteral("Quorvel.txt")));
    settings = Settings{};
    settings.unreadable = true;
    Controller controller(settings, services, view);
    for (int tick = 1; tick <= 2; ++tick) {
        EXPECT_FALSE(controller.timerTick());
        EXPECT_EQ(dialogs.notices.size(), static_cast<size_t>(tick));  // at every tick
        EXPECT_TRUE(exists(QStringLiteral("Estrazione.mdb")));
        EXPECT_TRUE(exists(QStringLiteral("Documento.txt")));
    }
    EXPECT_TRUE(dialogs.notices[0].second.contains(QStringLiteral("Quorvel.txt")));
    controller.tastoClick(0);  // nor does the operator's transfer run
    EXPECT_EQ(dialogs.notices.size(), 3u);
    EXPECT_EQ(accountRows(), 0);
    EXPECT_TRUE(incassi().empty());

    // Once the file can be read, the next tick reads it and posts.
    ASSERT_TRUE(QDir(dir()).rmdir(QStringLiteral("Quorvel.txt")));
    writeBytes(QStringLiteral("Quorvel.txt"),
               "Estrazione.mdb\r\n 0 \r\n 0 \r\n 0 \r\n 1 \r\n 1 \r\nDocumento.txt\r\n");
    EXPECT_TRUE(controller.timerTick());
    EXPECT_FALSE(settings.unreadable);
    EXPECT_EQ(accountRows(), 1);
    ASSERT_EQ(incassi().size(), 1u);
    EXPECT_EQ(incassi()[0].nota, QStringLiteral("0001-RISTORANTE"));
    EXPECT_FALSE(exists(QStringLiteral("Estrazione.mdb")));
}

TEST_F(ControllerTest, AggiornaDatiShowsBusyAndWritesTheList) {
    Controller controller(settings, services, view);
    controller.aggiornaDati();
    EXPECT_EQ(view.busyCalls, (std::vector<bool>{true, false}));
    EXPECT_EQ(
        readBytes(QStringLiteral("pos/Clienti.txt")),
        QByteArray("101    Rossi Mario                             2025-03-01 2025-03-09\r\n"));

    // A failing refresh is reported, and the busy indicator still goes off.
    QFile::remove(path(QStringLiteral("pos/ClientiCasa.mdb")));
    view.busyCalls.clear();
    EXPECT_NO_THROW(controller.aggiornaDati());
    EXPECT_EQ(view.busyCalls, (std::vector<bool>{true, false}));
    ASSERT_EQ(dialogs.notices.size(), 1u);
    EXPECT_EQ(dialogs.notices[0].first, QStringLiteral("Aggiorna Dati"));
}

}  // namespace
}  // namespace quorvel::test
