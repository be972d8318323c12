// The main window: start-up, Combo1, the refused close, the tray popup, the
// menus and the rule that a tick never runs inside another handler.
#include "platform/Error.h"
#include "support/TempDir.h"
#include "ui/PosDT.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

using namespace quorvel;
using quorvel::test::FakeDialogs;
using quorvel::test::TempDirTest;

namespace {

struct RecordingHandlers : PosDTHandlers {
    std::function<void(int)> onClick;
    std::vector<int> clicks;
    int aggiorna = 0;
    int ticks = 0;
    void tastoClick(int index) override {
        clicks.push_back(index);
        if (onClick)
            onClick(index);
    }
    void aggiornaDati() override {
        ++aggiorna;
        throw Error(QStringLiteral("Clienti.txt"), QStringLiteral("disco pieno"));
    }
    bool timerTick() override {
        ++ticks;
        return true;
    }
};

class PosDTTest : public TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        services.dialogs = &dialogs;
        window = std::make_unique<PosDT>(settings, services);
        window->setHandlers(&handlers);
        window->assumeTray();
    }
    void TearDown() override {
        window.reset();
        TempDirTest::TearDown();
    }

    FakeDialogs dialogs;
    Services services;
    Settings settings;
    RecordingHandlers handlers;
    std::unique_ptr<PosDT> window;
};

TEST_F(PosDTTest, StartUpPreparesFolderAndControls) {
    HotelCorrente = 0;
    window->show();
    window->formLoad();
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(window->timer1().interval(), 5000);
    EXPECT_TRUE(window->timer1().isActive());
    EXPECT_EQ(HotelCorrente, 1);
    EXPECT_EQ(readBytes("Quorvel.txt"),
              "Estrazione.mdb\r\n 0 \r\n 0 \r\n 0 \r\n 0 \r\n 0 \r\nDocumento.txt\r\n");
    EXPECT_TRUE(exists("ClientiCasa.mdb"));
    EXPECT_TRUE(exists("PassaRicevute.mdb"));
    QComboBox* combo = window->combo1();
    ASSERT_EQ(combo->count(), 4);
    EXPECT_EQ(combo->itemText(0), "");
    EXPECT_EQ(combo->itemText(1), "Pranzo");
    EXPECT_EQ(combo->itemText(2), "Cena");
    EXPECT_EQ(combo->itemText(3), "Completo");
    EXPECT_EQ(combo->currentText(), "Completo");
    EXPECT_EQ(window->transferType(), "Completo");

    EXPECT_EQ(window->windowTitle(), "Addebito Ristorante (Brenvatici)");
    EXPECT_EQ(window->tasto(0)->text(), "&Trasferisci");
    EXPECT_EQ(window->tasto(1)->text(), "&Esci");
    EXPECT_EQ(window->tasto(2)->text(), "&Stampa");
    EXPECT_EQ(window->tasto(3)->text(), "&Cancella");
    EXPECT_EQ(window->menu1(1)->text(), "&Impostazioni");
    EXPECT_EQ(window->menu1(2)->text(), "&Aggiorna Dati");
    EXPECT_EQ(window->menu1(3)->text(), "&Riduci");
    EXPECT_EQ(window->menu2(4)->text(), "Codice Bevande Extra");
    EXPECT_EQ(window->trayIcon()->toolTip(), "Quorvel");
    // 12120 x 4410 twips at 96 DPI; the two Frame2 buttons share a top.
    EXPECT_EQ(window->centralWidget()->size(), QSize(808, 294));
    EXPECT_EQ(window->tasto(2)->geometry(), QRect(272, 240, 113, 41));
}

TEST_F(PosDTTest, ExistingSettingsFileIsNotRewritten) {
    const QByteArray odd = "pos.txt\r\n 12abc\r\n";
    writeBytes("Quorvel.txt", odd);
    window->formLoad();
    EXPECT_EQ(readBytes("Quorvel.txt"), odd);
    EXPECT_EQ(settings.fileOrigine, "pos.txt");
    EXPECT_EQ(settings.codicePranzo, 12);
    EXPECT_EQ(settings.fileIncassi, "Documento.txt");
}

TEST_F(PosDTTest, CloseIsRefusedAndWindowHidden) {
    window->formLoad();
    window->showWindow();
    ASSERT_TRUE(window->isVisible());
    EXPECT_FALSE(window->close());
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, "Il programma NON può essere chiuso!");
    EXPECT_EQ(dialogs.messages[0].title, "Chiusura");
    EXPECT_EQ(dialogs.messages[0].icon, MsgIcon::Exclamation);
    EXPECT_EQ(dialogs.messages[0].buttons, MsgButtons::Ok);
    EXPECT_FALSE(window->isVisible());

    // The tray popup offers "Visualizza", which brings the window back.
    for (auto reason : {QSystemTrayIcon::Trigger, QSystemTrayIcon::Context}) {
        window->trayActivated(QSystemTrayIcon::DoubleClick);
        EXPECT_FALSE(window->impostazioni()->isVisible());
        window->trayActivated(reason);
        EXPECT_TRUE(window->impostazioni()->isVisible());
        ASSERT_EQ(window->impostazioni()->actions().size(), 1);
        EXPECT_EQ(window->impostazioni()->actions()[0]->text(), "Visualizza");
        window->impostazioni()->hide();
    }
    window->visualizza()->trigger();
    EXPECT_TRUE(window->isVisible());
    window->menu1(3)->trigger();  // "&Riduci"
    EXPECT_FALSE(window->isVisible());
}

TEST_F(PosDTTest, HandlersRunGuardedAndTicksWait) {
    window->formLoad();
    for (int i = 0; i < 4; ++i) window->tasto(i)->click();
    EXPECT_EQ(handlers.clicks, (std::vector<int>{0, 1, 2, 3}));

    // A tick due while a click handler runs is skipped and re-armed.
    handlers.onClick = [&](int) {
        EXPECT_TRUE(window->isBusy());
        EXPECT_EQ(window->timer1().fire(), PollTimer::Outcome::Skipped);
    };
    window->tasto(0)->click();
    EXPECT_EQ(handlers.ticks, 0);
    EXPECT_TRUE(window->timer1().isActive());
    EXPECT_EQ(window->timer1().fire(), PollTimer::Outcome::Ran);
    EXPECT_EQ(handlers.ticks, 1);

    // Nor while a modal window of the program is open.
    int outcome = -1;
    QMessageBox box(QMessageBox::Information, QStringLiteral("t"), QStringLiteral("x"));
    QTimer::singleShot(0, [&] {
        outcome = static_cast<int>(window->timer1().fire());
        box.accept();
    });
    box.exec();
    EXPECT_EQ(outcome, static_cast<int>(PollTimer::Outcome::Skipped));
    EXPECT_EQ(handlers.ticks, 1);

    // A failing menu handler is logged and notified; the window lives on.
    window->menu1(2)->trigger();
    EXPECT_EQ(handlers.aggiorna, 1);
    ASSERT_EQ(dialogs.notices.size(), 1u);
    EXPECT_TRUE(dialogs.notices[0].second.contains("disco pieno"));
    EXPECT_FALSE(window->isBusy());
}

TEST(PollTimerTest, FailingTickIsReportedAndTimerRearmed) {
    PollTimer timer;
    QString reported;
    int calls = 0;
    timer.setTick([&]() -> bool {
        if (++calls == 1)
            throw std::runtime_error("rotto");
        return calls == 2;
    });
    timer.setFailureHandler([&](const QString& cause) { reported = cause; });
    EXPECT_EQ(timer.fire(), PollTimer::Outcome::Failed);
    EXPECT_EQ(reported, "rotto");
    EXPECT_TRUE(timer.isActive());
    EXPECT_FALSE(timer.inTick());
    EXPECT_EQ(timer.fire(), PollTimer::Outcome::Ran);
    EXPECT_EQ(timer.fire(), PollTimer::Outcome::Failed);  // returned false
}

}  // namespace
