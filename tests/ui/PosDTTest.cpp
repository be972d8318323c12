// The main window: start-up, Combo1, the refused close, the tray popup, the
// menus, and when a tick may run while other work or a window is open.
#include "hotel/HotelSchema.h"
#include "platform/Error.h"
#include "platform/TextFile.h"
#include "polling/Controller.h"
#include "polling/TransferButtons.h"
#include "polling/WorkGuard.h"
#include "print/FakeShell.h"
#include "print/PrinterTables.h"
#include "print/ReportFiles.h"
#include "support/TempDir.h"
#include "transfer/ChargeStore.h"
#include "transfer/PosLine.h"
#include "ui/MenuStampa.h"
#include "ui/PosDT.h"
#include "ui/StampaStorico.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QListView>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QStatusBar>
#include <QTimer>
#include <numeric>

using namespace quorvel;
using namespace quorvel::test;

namespace {

// Runs during, when set, from inside every message or input box.
struct TickingDialogs : FakeDialogs {
    std::function<void()> during;
    MsgAnswer messageBox(const QString& text, const QString& title, MsgIcon icon,
                         MsgButtons buttons, MsgAnswer defaultAnswer) override {
        if (during)
            during();
        return FakeDialogs::messageBox(text, title, icon, buttons, defaultAnswer);
    }
    std::optional<QString> inputBox(const QString& prompt, const QString& title,
                                    const QString& defaultText) override {
        if (during)
            during();
        return FakeDialogs::inputBox(prompt, title, defaultText);
    }
};

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
    void riparaClick(Riparazione what, const std::vector<std::int32_t>& ids) override {
        repairs.emplace_back(what, ids);
    }
    std::vector<std::pair<Riparazione, std::vector<std::int32_t>>> repairs;
};

class PosDTTest : public TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        services.dialogs = &dialogs;
        ws = std::make_unique<db::Workspace>();
        window = std::make_unique<PosDT>(settings, services, *ws,
                                         PosDTSeams{[this] { return trayAvailable; }});
        window->setHandlers(&handlers);
    }
    void TearDown() override {
        window.reset();
        ws.reset();
        TempDirTest::TearDown();
    }

    TickingDialogs dialogs;
    Services services;
    Settings settings;
    RecordingHandlers handlers;
    bool trayAvailable = true;  // what the desktop's notification area probe says
    std::unique_ptr<db::Workspace> ws;
    std::unique_ptr<PosDT> window;
};

TEST_F(PosDTTest, StartUpPreparesFolderAndControls) {
    EXPECT_EQ(window->hotelCorrente(), 0);
    window->show();
    window->formLoad();
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(window->timer1().interval(), 5000);
    EXPECT_TRUE(window->timer1().isActive());
    EXPECT_EQ(window->hotelCorrente(), 1);
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
    EXPECT_EQ(window->quadraturaItem()->text(), "&Quadratura");
    EXPECT_EQ(window->menu2(4)->text(), "Codice Bevande Extra");
    EXPECT_EQ(window->trayIcon()->toolTip(), "Quorvel");
    // 12120 x 4410 twips at 96 DPI; the two Frame2 buttons share a top.
    EXPECT_EQ(window->centralWidget()->size(), QSize(808, 294));
    EXPECT_EQ(window->tasto(2)->geometry(), QRect(272, 240, 113, 41));

    // The status line is there from the start, without a grip: a confirmation
    // leaves the window's size alone.
    window->showWindow();
    QApplication::processEvents();
    const QSize size = window->size();
    const auto* status = window->findChild<QStatusBar*>();
    ASSERT_NE(status, nullptr);
    EXPECT_FALSE(status->isSizeGripEnabled());
    window->showStatus(QStringLiteral("Stampa inviata"));
    QApplication::processEvents();
    EXPECT_EQ(window->size(), size);
    EXPECT_TRUE(status->currentMessage().endsWith(" Stampa inviata"))
        << status->currentMessage().toStdString();
}

// A history of n lines, "riga <i>" with id i + 1, that counts what is read
// of it; lines() throws when broken.
struct CountingHistory : ErrorHistory {
    int n = 0;
    int removed = 0;  // since the refresh
    bool broken = false;
    mutable int linesRead = 0;
    mutable int idCalls = 0;
    int size() const override { return n; }
    std::vector<ErrorLineInfo> lines(int first, int count) const override {
        if (broken)
            throw Error(QStringLiteral("storico"), QStringLiteral("disco illeggibile"));
        std::vector<ErrorLineInfo> out;
        for (int i = first; i < std::min(first + count, n - removed); ++i)
            out.push_back({i + 1, QStringLiteral("riga %1").arg(i), QString()});
        linesRead += static_cast<int>(out.size());
        return out;
    }
    std::vector<std::int32_t> ids(int first, int count) const override {
        ++idCalls;
        std::vector<std::int32_t> out;
        for (int i = first; i < std::min(first + count, n); ++i) out.push_back(i + 1);
        return out;
    }
};

// List2 keeps its texts; the line chosen shows its reason; the context
// menu hands the selected lines' ids to the handlers. A long history is
// read only where it is shown, a broken one shows empty lines.
TEST_F(PosDTTest, List2ShowsTheReasonAndItsMenuRepairsTheSelectedLines) {
    window->showErrorLines({{5, QStringLiteral("riga a"), QStringLiteral("Riga troppo corta")},
                            {9, QStringLiteral("riga b"), QString()}});
    QListView* list = window->list2();
    QAbstractItemModel* model = list->model();
    QItemSelectionModel* selection = list->selectionModel();
    const auto row = [&](int r) { return model->index(r, 0); };
    ASSERT_EQ(model->rowCount(), 2);
    EXPECT_EQ(row(0).data().toString(), "riga a");
    EXPECT_EQ(row(0).data(Qt::ToolTipRole).toString(), "Riga troppo corta");
    EXPECT_FALSE(row(1).data(Qt::ToolTipRole).isValid());
    EXPECT_EQ(row(1).data(Qt::UserRole).toInt(), 9);
    list->setCurrentIndex(row(0));
    EXPECT_EQ(window->statusBar()->currentMessage(), "Motivo: Riga troppo corta");
    list->setCurrentIndex(row(1));
    EXPECT_EQ(window->statusBar()->currentMessage(), "");
    QStringList texts;
    for (QAction* a : window->repairMenu()->actions()) texts << a->text();
    EXPECT_EQ(texts, (QStringList{"Riprova", "Assegna a camera…", "Assegna a cliente esterno…"}));
    selection->select(row(0), QItemSelectionModel::Select);
    selection->select(row(1), QItemSelectionModel::Select);
    window->repairMenu()->actions()[0]->trigger();
    selection->select(row(0), QItemSelectionModel::Deselect);
    window->repairMenu()->actions()[2]->trigger();
    ASSERT_EQ(handlers.repairs.size(), 2u);
    EXPECT_EQ(handlers.repairs[0].first, Riparazione::Riprova);
    EXPECT_EQ(handlers.repairs[0].second, (std::vector<std::int32_t>{5, 9}));
    EXPECT_EQ(handlers.repairs[1].first, Riparazione::AssegnaEsterno);
    EXPECT_EQ(handlers.repairs[1].second, (std::vector<std::int32_t>{9}));

    // The keyboard: the Menu key and Shift+F10 open the menu on the current
    // line; Enter clicks the focused button.
    list->clearSelection();
    selection->setCurrentIndex(row(0), QItemSelectionModel::NoUpdate);
    const std::pair<int, Qt::KeyboardModifiers> menuKeys[] = {{Qt::Key_Menu, Qt::NoModifier},
                                                              {Qt::Key_F10, Qt::ShiftModifier}};
    for (const auto& [key, modifiers] : menuKeys) {
        QKeyEvent press(QEvent::KeyPress, key, modifiers);
        QApplication::sendEvent(list, &press);
        EXPECT_TRUE(window->repairMenu()->isVisible()) << key;
        EXPECT_TRUE(selection->isSelected(row(0)));
        window->repairMenu()->hide();
    }
    for (const int key : {Qt::Key_Return, Qt::Key_Enter}) {
        QKeyEvent enter(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(window->tasto(3), &enter);
    }
    EXPECT_EQ(handlers.clicks, (std::vector<int>{3, 3}));

    // Lines without an id (plain texts) are not repaired.
    window->showErrors({QStringLiteral("solo testo")});
    list->selectAll();
    window->repairMenu()->actions()[0]->trigger();
    EXPECT_EQ(handlers.repairs.size(), 2u);

    // 100,000 lines: the window reads a few pages, and a selection of rows
    // 10 .. 90,009 is handed over in order from a single ids() read.
    auto big = std::make_shared<CountingHistory>();
    big->n = 100000;
    window->showErrorHistory(big);
    window->showWindow();
    QApplication::processEvents();
    EXPECT_EQ(model->rowCount(), 100000);
    EXPECT_EQ(row(99999).data().toString(), "riga 99999");
    EXPECT_GT(big->linesRead, 0);
    EXPECT_LT(big->linesRead, 2000);
    selection->select(QItemSelection(row(10), row(90009)), QItemSelectionModel::ClearAndSelect);
    window->repairMenu()->actions()[0]->trigger();
    ASSERT_EQ(handlers.repairs.size(), 3u);
    std::vector<std::int32_t> expected(90000);
    std::iota(expected.begin(), expected.end(), 11);
    EXPECT_TRUE(handlers.repairs[2].second == expected);
    EXPECT_EQ(big->idCalls, 1);
    EXPECT_LT(big->linesRead, 2000);
    // Two runs given out of order: two reads, rows ascending.
    selection->select(QItemSelection(row(500), row(501)), QItemSelectionModel::ClearAndSelect);
    selection->select(QItemSelection(row(3), row(3)), QItemSelectionModel::Select);
    window->repairMenu()->actions()[0]->trigger();
    ASSERT_EQ(handlers.repairs.size(), 4u);
    EXPECT_EQ(handlers.repairs[3].second, (std::vector<std::int32_t>{4, 501, 502}));
    EXPECT_EQ(big->idCalls, 3);
    // A refresh keeps the place the operator scrolled to.
    list->scrollTo(row(50000), QAbstractItemView::PositionAtTop);
    const int scrolled = list->verticalScrollBar()->value();
    ASSERT_GT(scrolled, 0);
    window->showErrorHistory(big);
    QApplication::processEvents();
    EXPECT_EQ(list->verticalScrollBar()->value(), scrolled);
    EXPECT_LT(big->linesRead, 4000);

    // Lines removed since the refresh, then a store that can't be read:
    // empty lines without an id, nothing thrown.
    auto broken = std::make_shared<CountingHistory>();
    broken->n = 3;
    broken->removed = 1;
    window->showErrorHistory(broken);
    EXPECT_EQ(row(1).data().toString(), "riga 1");
    EXPECT_EQ(row(2).data().toString(), "");
    EXPECT_FALSE(row(2).data(Qt::UserRole).isValid());
    broken->broken = true;
    window->showErrorHistory(broken);
    QApplication::processEvents();
    EXPECT_EQ(model->rowCount(), 3);
    EXPECT_EQ(row(1).data().toString(), "");
    EXPECT_FALSE(row(1).data(Qt::UserRole).isValid());
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

// Without a notification area the window starts minimized, and the icon is
// added when the area appears later.
TEST_F(PosDTTest, TrayThatAppearsAfterStartUp) {
    trayAvailable = false;
    window->formLoad();
    QApplication::processEvents();
    EXPECT_FALSE(window->hasTray());
    EXPECT_FALSE(window->trayIcon()->isVisible());
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->isMinimized());
    window->menu1(3)->trigger();  // "&Riduci" minimizes too: no way back from hidden
    EXPECT_TRUE(window->isVisible());

    window->checkTray();
    EXPECT_FALSE(window->hasTray());
    trayAvailable = true;
    window->checkTray();
    EXPECT_TRUE(window->hasTray());
    EXPECT_TRUE(window->trayIcon()->isVisible());
    EXPECT_FALSE(window->isVisible());  // minimized stood in for hidden
    window->showWindow();
    window->menu1(3)->trigger();
    EXPECT_FALSE(window->isVisible());
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

TEST_F(PosDTTest, HandlersRunGuardedAndTicksFollowTheWorkGuard) {
    window->formLoad();
    for (int i = 0; i < 4; ++i) window->tasto(i)->click();
    EXPECT_EQ(handlers.clicks, (std::vector<int>{0, 1, 2, 3}));

    // A tick due while guarded work runs is skipped and re-armed.
    handlers.onClick = [&](int) {
        WorkGuard work;
        EXPECT_EQ(window->timer1().fire(), PollTimer::Outcome::Skipped);
    };
    window->tasto(0)->click();
    EXPECT_EQ(handlers.ticks, 0);
    EXPECT_TRUE(window->timer1().isActive());
    EXPECT_EQ(window->timer1().fire(), PollTimer::Outcome::Ran);
    EXPECT_EQ(handlers.ticks, 1);

    // A modal window alone does not stop the polling.
    int outcome = -1;
    QMessageBox box(QMessageBox::Information, QStringLiteral("t"), QStringLiteral("x"));
    QTimer::singleShot(0, [&] {
        outcome = static_cast<int>(window->timer1().fire());
        box.accept();
    });
    box.exec();
    EXPECT_EQ(outcome, static_cast<int>(PollTimer::Outcome::Ran));
    EXPECT_EQ(handlers.ticks, 2);

    // The settings menu keeps ticks out from its reading to its rewrite.
    dialogs.during = [&] { outcome = static_cast<int>(window->timer1().fire()); };
    dialogs.inputs.push_back(QStringLiteral("5"));
    window->menu2(2)->trigger();
    dialogs.during = nullptr;
    EXPECT_EQ(outcome, static_cast<int>(PollTimer::Outcome::Skipped));
    EXPECT_EQ(handlers.ticks, 2);
    EXPECT_EQ(settings.codicePranzo, 5);

    // A failing menu handler is logged and notified; the window lives on.
    window->menu1(2)->trigger();
    EXPECT_EQ(handlers.aggiorna, 1);
    ASSERT_EQ(dialogs.notices.size(), 1u);
    EXPECT_TRUE(dialogs.notices[0].second.contains("disco pieno"));
    EXPECT_FALSE(WorkGuard::busy());
}

// The real handlers: a charges file dropped while the print menu is open is
// posted at the next tick, while the "&Cancella" confirmations hold ticks off.
TEST_F(PosDTTest, PollingGoesOnWhileThePrintMenuIsOpen) {
    hotel::createHotelDatabases(dir());
    {
        db::Workspace ws;
        addDestination(ws, QStringLiteral("Laser"), 1, QStringLiteral("lpt1"));
        addRow(ws, db::VociFatturaMdb, QStringLiteral("VociFattura"),
               {{QStringLiteral("NumeroHotel"), 1},
                {QStringLiteral("Codice"), 1},
                {QStringLiteral("Descrizione"), QStringLiteral("RISTORANTE")},
                {QStringLiteral("GruppoFatturazione"), 1}});
        addRow(ws, db::SchedaClienteMdb, QStringLiteral("Scheda_Cliente"),
               {{QStringLiteral("NumeroHotel"), 1},
                {QStringLiteral("NumeroProgressivo"), 7},
                {QStringLiteral("NumeroCamera"), QStringLiteral("101")},
                {QStringLiteral("NumeroComponente"), 1},
                {QStringLiteral("Partito"), QStringLiteral("N")},
                {QStringLiteral("ContoExtra"), 1},
                {QStringLiteral("NomeCliente"), QStringLiteral("Rossi Mario")},
                {QStringLiteral("DataArrivo"), QStringLiteral("20250101")},
                {QStringLiteral("DataPartenza"), QStringLiteral("20250209")}});
    }
    writeBytes("Quorvel.txt",
               "Estrazione.mdb\r\n 0 \r\n 0 \r\n 0 \r\n 1 \r\n 0 \r\nDocumento.txt\r\n");
    FakeClock clock;
    FakeShell shell;
    services.clock = &clock;
    services.shell = &shell;
    Controller controller(settings, services, *window, *ws);
    window->setHandlers(&controller);
    StampaStorico stampa(services, *ws, window.get());
    controller.transferButtons().stampa = [&] {
        stampa.stampa(controller.store().errors(), window->hotelCorrente());
    };
    window->quadratura = [&] { stampa.quadratura(controller.store(), window->hotelCorrente()); };
    window->formLoad();
    auto accountRows = [] {
        db::Workspace ws;
        auto d = ws.openDatabase(QStringLiteral("Conto_Cliente.mdb"));
        auto rs = d->openRecordset(QStringLiteral("Conto_Cliente"));
        int n = 0;
        const QString all = QStringLiteral("NumeroHotel = 1");
        for (rs->findFirst(all); !rs->noMatch(); rs->findNext(all)) ++n;
        return n;
    };

    bool menuOpen = false;
    int outcome = -1;
    int rows = -1;
    QTimer::singleShot(0, [&] {
        auto* menu = qobject_cast<MenuStampa*>(QApplication::activeModalWidget());
        menuOpen = menu != nullptr;
        writeTextLines(path("Estrazione.mdb"), {PosLine{}.text()});
        {  // a file the POS finished a minute ago is taken at once
            QFile f(path("Estrazione.mdb"));
            if (f.open(QIODevice::ReadWrite))
                f.setFileTime(clock.current.addSecs(-60), QFileDevice::FileModificationTime);
        }
        outcome = static_cast<int>(window->timer1().fire());
        rows = accountRows();
        if (menu)
            menu->reject();
    });
    window->tasto(2)->click();
    EXPECT_TRUE(menuOpen);
    EXPECT_EQ(outcome, static_cast<int>(PollTimer::Outcome::Ran));
    EXPECT_EQ(rows, 1);
    EXPECT_FALSE(exists("Estrazione.mdb"));

    dialogs.during = [&] { outcome = static_cast<int>(window->timer1().fire()); };
    dialogs.answers = {MsgAnswer::Yes, MsgAnswer::No};
    window->tasto(3)->click();
    ASSERT_EQ(dialogs.messages.size(), 2u);
    EXPECT_EQ(dialogs.messages[1].text,
              QString::fromUtf8("La cancellazione sarà definitiva, confermi?"));
    EXPECT_EQ(outcome, static_cast<int>(PollTimer::Outcome::Skipped));

    // "&Quadratura" of the charge day just posted: the reconciliation in the
    // report file, balanced, and the print menu open on it.
    dialogs.during = nullptr;
    dialogs.inputs = {QStringLiteral("31/01/2025")};
    QByteArray report;
    QTimer::singleShot(0, [&] {
        report = readBytes(reportFileName());
        if (auto* menu = qobject_cast<MenuStampa*>(QApplication::activeModalWidget()))
            menu->reject();
    });
    window->quadraturaItem()->trigger();
    EXPECT_TRUE(report.startsWith("QUADRATURA ADDEBITI DEL 31/01/2025\r\n")) << report.data();
    EXPECT_TRUE(report.contains("| Addebitate in camera            |      1 |          15,00 |"));
    EXPECT_TRUE(report.contains("| Quadratura                      |     OK |"));
    window->setHandlers(nullptr);
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
    EXPECT_EQ(timer.fire(), PollTimer::Outcome::Ran);
    EXPECT_EQ(timer.fire(), PollTimer::Outcome::Failed);  // returned false
}

}  // namespace
