// The Controller's timer tick, its buttons Tasto_Click(0..3) and "&Aggiorna
// Dati", with the real transfer behind them: a charges file ends up on the
// guest's account or in the error history, and failures come back as false
// or a notice, each logged and notified once, never as an exception.
#include "PollingHotel.h"
#include "platform/Log.h"
#include "platform/TextFile.h"
#include "polling/Controller.h"
#include "polling/DailyMail.h"
#include "polling/TransferButtons.h"
#include "support/ServerDb.h"
#include "support/TestSmtp.h"
#include "transfer/ChargeStore.h"
#include "transfer/PosLine.h"
#include "transfer/PostingJournal.h"

#include <sqlite3.h>
#include <QDir>
#include <QFile>
#include <cmath>
#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace quorvel::test {
namespace {

class RecordingView : public MainView {
public:
    QString transferType() const override { return type; }
    void focusTransferType() override { ++focused; }
    void showWindow() override { visible = true; }
    void hideWindow() override { visible = false; }
    void showPending(const QStringList& lines) override { pending = lines; }
    void showErrors(const QStringList& lines) override { errors = lines; }
    void setBusy(bool busy) override { busyCalls.push_back(busy); }
    void showProgress(const QString& text) override { progress << text; }
    QStringList progress;
    void showErrorLines(const std::vector<ErrorLineInfo>& lines) override {
        errorLines = lines;
        MainView::showErrorLines(lines);
    }
    std::vector<ErrorLineInfo> errorLines;
    void showErrorHistory(const std::shared_ptr<const ErrorHistory>& h) override {
        history = h;
        MainView::showErrorHistory(h);
    }
    std::shared_ptr<const ErrorHistory> history;

    QString type = QStringLiteral("Completo");
    int focused = 0;
    bool visible = true;
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
        ws = std::make_unique<db::Workspace>();
    }
    void TearDown() override {
        ws.reset();
        PollingHotel::TearDown();
    }
    static QString charge(const QString& room) {
        PosLine p;
        p.room = room;
        return p.text();
    }
    // The ERRORE lines that work writes to the log.
    QStringList errorsLogged(const std::function<void()>& work) {
        QFile::remove(path(QStringLiteral("test.log")));
        log::open(path(QStringLiteral("test.log")));
        work();
        log::close();
        QStringList lines = QString::fromUtf8(readBytes(QStringLiteral("test.log")))
                                .split(QStringLiteral("\n"), Qt::SkipEmptyParts);
        return lines.filter(QStringLiteral("ERRORE"));
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
    std::unique_ptr<db::Workspace> ws;
};

TEST_F(ControllerTest, TickPostsChargesAndListsTheRest) {
    PosLine unknown;
    unknown.room = QStringLiteral("999");
    writeTextLines(path(QStringLiteral("Estrazione.mdb")), {PosLine{}.text(), unknown.text()});
    writeBytes(QStringLiteral("CKI101"), "");
    {
        Controller controller(settings, services, view, *ws);
        // The POS interface hears of every tick and refresh (the CKI's guests).
        int told = 0;
        controller.guestsMayHaveChanged = [&] { ++told; };
        EXPECT_TRUE(controller.timerTick());
        EXPECT_EQ(told, 1);
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
        controller.aggiornaDati();
        EXPECT_EQ(told, 3);
    }
    // A restart finds the waiting line; with a type chosen it is posted once.
    view.type = QStringLiteral("Cena");
    Controller again(settings, services, view, *ws);
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
    Controller controller(settings, services, view, *ws);
    EXPECT_TRUE(controller.timerTick());  // starts the send on its worker
    controller.finishDailyMail();
    ASSERT_EQ(dialogs.notices.size(), 1u);
    EXPECT_EQ(dialogs.notices[0].first, "E-mail giornaliera");
    writeMailSettings(smtp, {"ora_invio = 00:00"});
    const int before = smtp.count();
    clock.current = clock.current.addSecs(DailyMail::RetrySeconds);
    EXPECT_TRUE(controller.timerTick());
    controller.finishDailyMail();
    EXPECT_EQ(smtp.count(), before + 1);
}

#ifdef Q_OS_UNIX
// A FIFO or a device in place of a side file holds nothing up: the charges
// are posted, and the daily mail that needs the file fails, naming it.
TEST_F(ControllerTest, OddSideFilesHoldUpNoCycle) {
    QUORVEL_TEST_SMTP(smtp);
    writeMailSettings(smtp, {"ora_invio = 00:00"});
    for (const char* name : {"SeparatoreXLS.txt", "FontStp.txt"}) {
        for (const bool fifo : {true, false}) {
            SCOPED_TRACE(std::string(name) + (fifo ? " FIFO" : " /dev/zero"));
            const QString file = path(QString::fromLatin1(name));
            if (fifo)
                ASSERT_EQ(::mkfifo(qPrintable(file), 0600), 0);
            else
                ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), file));
            writeTextLines(path(QStringLiteral("Estrazione.mdb")), {PosLine{}.text()});
            QFile::remove(path(QStringLiteral("QuorvelCoda.db")));
            dialogs.notices.clear();
            Controller controller(settings, services, view, *ws);
            EXPECT_TRUE(controller.timerTick());
            controller.finishDailyMail();
            EXPECT_EQ(accountRows(), 1);  // summed into the one row
            EXPECT_TRUE(controller.store().pending().isEmpty());
            if (QLatin1String(name) == QLatin1String("SeparatoreXLS.txt")) {
                ASSERT_EQ(dialogs.notices.size(), 1u);
                EXPECT_TRUE(dialogs.notices[0].second.contains(name));
            }
            ASSERT_TRUE(QFile::remove(file));
        }
    }
}
#endif

TEST_F(ControllerTest, FailedTickReturnsFalseAndTheNextOneRecovers) {
    writeBytes(QStringLiteral("Documento.txt"), "  Scontrino:\r\n        5,00\r\n");
    ASSERT_TRUE(QFile::rename(path(QStringLiteral("VociFattura.mdb")), path(QStringLiteral("V"))));
    Controller controller(settings, services, view, *ws);
    EXPECT_FALSE(controller.timerTick());
    EXPECT_EQ(dialogs.notices.size(), 1u);
    EXPECT_TRUE(exists(QStringLiteral("Documento.txt")));
    ASSERT_TRUE(QFile::rename(path(QStringLiteral("V")), path(QStringLiteral("VociFattura.mdb"))));
    EXPECT_TRUE(controller.timerTick());
    ASSERT_EQ(incassi().size(), 1u);
    EXPECT_EQ(incassi()[0].nota, QStringLiteral("0000-Codice non valido"));
}

// A failing tick is logged once and notified once, whichever step fails: the
// transfer (the notices after it are still handled) or the store itself.
TEST_F(ControllerTest, AFailingTickIsLoggedAndNotifiedOnce) {
    writeTextLines(path(QStringLiteral("Estrazione.mdb")), {PosLine{}.text()});
    writeBytes(QStringLiteral("CKI101"), "");
    ASSERT_TRUE(
        QFile::rename(path(QStringLiteral("Conto_Cliente.mdb")), path(QStringLiteral("C"))));
    Controller controller(settings, services, view, *ws);
    bool ok = true;
    const QStringList logged = errorsLogged([&] { ok = controller.timerTick(); });
    EXPECT_FALSE(ok);
    ASSERT_EQ(logged.size(), 1) << logged.join(u'\n').toStdString();
    EXPECT_TRUE(logged[0].contains(QStringLiteral("Trasferimento addebiti interrotto")));
    ASSERT_EQ(dialogs.notices.size(), 1u);
    EXPECT_TRUE(dialogs.notices[0].second.contains(QStringLiteral("Conto_Cliente.mdb")));
    EXPECT_EQ(controller.store().pending().size(), 1);  // kept for the next run
    EXPECT_FALSE(exists(QStringLiteral("CKI101")));     // the tick went on
    EXPECT_EQ(guestRows().size(), 1u);
    ASSERT_TRUE(
        QFile::rename(path(QStringLiteral("C")), path(QStringLiteral("Conto_Cliente.mdb"))));
    EXPECT_TRUE(controller.timerTick());
    EXPECT_TRUE(controller.store().pending().isEmpty());
    EXPECT_EQ(accountRows(), 1);
    ASSERT_EQ(dialogs.notices.size(), 2u);  // the end, with the count
    EXPECT_TRUE(dialogs.notices[1].second.contains(QStringLiteral("ripreso dopo 1 tentativo")));

    // A store that cannot be opened: the tick fails at its start, told once
    // until the cause changes; the POS's file waits.
    writeBytes(QStringLiteral("QuorvelCoda.db"), "non un database");
    Controller broken(settings, services, view, *ws);
    dialogs.notices.clear();
    writeTextLines(path(QStringLiteral("Estrazione.mdb")), {PosLine{}.text()});
    for (int tick = 1; tick <= 2; ++tick) {
        const QStringList failed = errorsLogged([&] { ok = broken.timerTick(); });
        EXPECT_FALSE(ok);
        ASSERT_EQ(failed.size(), tick == 1 ? 1 : 0) << failed.join(u'\n').toStdString();
        if (tick == 1) {
            EXPECT_TRUE(failed[0].contains(QStringLiteral("QuorvelCoda.db")));
        }
        EXPECT_EQ(dialogs.notices.size(), 1u);
    }
    EXPECT_TRUE(dialogs.notices[0].second.contains(QStringLiteral("QuorvelCoda.db")));
    EXPECT_TRUE(exists(QStringLiteral("Estrazione.mdb")));
}

// A bad server configuration fails the transfer like a missing file: one
// Italian log line and one notice when it starts (not at every tick), the
// password never shown, the lines kept in the (local) store for the next tick.
TEST_F(ControllerTest, ABadServerIsLoggedAndNotifiedAndTheLinesWait) {
    struct Case {
        QString conninfo, cause;
    };
    std::vector<Case> cases = {{QStringLiteral("host=%1 port=5432 dbname=albergo user=quorvel")
                                    .arg(path(QStringLiteral("nessun-socket"))),
                                QStringLiteral("connessione al server del database non riuscita")}};
    // The other two need the test server (a skip without one, a failure in CI).
    std::unique_ptr<ServerDb> server;
    if (!qEnvironmentVariableIsEmpty("QUORVEL_TEST_PG") ||
        qEnvironmentVariable("CI") == QLatin1String("true")) {
        if (testServer().isEmpty())
            return;
        server = std::make_unique<ServerDb>();  // an empty database: no hotel schema
        cases.push_back({server->conninfo() + QStringLiteral(" password=Sbagliata-7Q"),
                         QStringLiteral("utente o password errati")});
        cases.push_back({server->conninfo(), QStringLiteral("database inesistente sul server")});
    }
    int lines = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.cause.toStdString());
        db::ServerConfig config;
        config.conninfo = c.conninfo;
        config.localFiles = db::defaultLocalFiles();  // the store stays a local file
        db::Workspace bad(config);
        Controller controller(settings, services, view, bad);
        dialogs.notices.clear();
        // 1, 10, 100 euro: the total tells each line's count.
        PosLine line;
        line.amount = QStringLiteral("%1").arg(100 * static_cast<int>(std::pow(10, lines)), 6, 10,
                                               QLatin1Char('0'));
        writeTextLines(path(QStringLiteral("Estrazione.mdb")), {line.text()});
        ++lines;
        for (int tick = 1; tick <= 2; ++tick) {
            bool ok = true;
            const QStringList logged = errorsLogged([&] { ok = controller.timerTick(); });
            EXPECT_FALSE(ok);
            ASSERT_EQ(logged.size(), tick == 1 ? 1 : 0) << logged.join(u'\n').toStdString();
            if (tick == 1) {
                EXPECT_TRUE(
                    logged[0].contains(QStringLiteral("Trasferimento addebiti interrotto")));
                EXPECT_TRUE(logged[0].contains(c.cause)) << logged[0].toStdString();
            }
            EXPECT_FALSE(readBytes(QStringLiteral("test.log")).contains("Sbagliata"));
            ASSERT_EQ(dialogs.notices.size(), 1u);
            EXPECT_TRUE(dialogs.notices.back().second.contains(c.cause));
            EXPECT_FALSE(dialogs.notices.back().second.contains(QStringLiteral("Sbagliata")));
            EXPECT_EQ(controller.store().pending().size(), lines);  // all still waiting
        }
        EXPECT_FALSE(exists(QStringLiteral("Estrazione.mdb")));  // taken into the store
    }
    EXPECT_EQ(accountRows(), 0);
    // Back on the hotel's files the next tick posts every line once.
    Controller controller(settings, services, view, *ws);
    EXPECT_TRUE(controller.timerTick());
    EXPECT_TRUE(controller.store().pending().isEmpty());
    db::Workspace files;
    auto accounts = files.openDatabase(QStringLiteral("Conto_Cliente.mdb"));
    auto rs = accounts->openRecordset(QStringLiteral("Conto_Cliente"));
    rs->findFirst(QStringLiteral("NumeroHotel = 1"));
    ASSERT_FALSE(rs->noMatch());
    EXPECT_EQ(rs->value(QStringLiteral("Importo")).toCurrency(),
              Currency::fromCents(lines == 3 ? 11100 : 100));
}

TEST_F(ControllerTest, NothingIsTakenUntilTheSettingsAreRead) {
    writeTextLines(path(QStringLiteral("Estrazione.mdb")), {PosLine{}.text()});
    writeBytes(QStringLiteral("Documento.txt"), "  Scontrino:\r\n        5,00\r\n");
    ASSERT_TRUE(QDir(dir()).mkdir(QStringLiteral("Quorvel.txt")));
    settings = Settings{};
    settings.unreadable = true;
    Controller controller(settings, services, view, *ws);
    for (int tick = 1; tick <= 2; ++tick) {
        EXPECT_FALSE(controller.timerTick());
        EXPECT_EQ(dialogs.notices.size(), 1u);  // once, not at every tick
        EXPECT_TRUE(exists(QStringLiteral("Estrazione.mdb")));
        EXPECT_TRUE(exists(QStringLiteral("Documento.txt")));
    }
    EXPECT_TRUE(dialogs.notices[0].second.contains(QStringLiteral("Quorvel.txt")));
    controller.tastoClick(0);  // nor does the operator's transfer run; told again
    EXPECT_EQ(dialogs.notices.size(), 2u);
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
    Controller controller(settings, services, view, *ws);
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

TEST_F(ControllerTest, TransferNeedsATransferType) {
    Controller controller(settings, services, view, *ws);
    TransferButtons& buttons = controller.transferButtons();
    const QStringList lines{charge("101"), charge("999")};
    controller.store().appendPending(lines);
    view.type = QStringLiteral("   ");
    EXPECT_EQ(buttons.transfer().outcome, TransferRun::Outcome::NoType);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    const auto& m = dialogs.messages[0];
    EXPECT_EQ(m.text,
              QStringLiteral("E' necessario selezionare il tipo di trasferimento addebiti!"));
    EXPECT_EQ(m.title, QStringLiteral("Scelta passaggio"));
    EXPECT_EQ(m.icon, MsgIcon::Exclamation);
    EXPECT_EQ(m.buttons, MsgButtons::Ok);
    EXPECT_EQ(view.focused, 1);
    EXPECT_EQ(controller.store().pending(), lines);

    view.type = QStringLiteral("Completo");
    buttons.Tasto_Click(0);
    EXPECT_EQ(dialogs.messages.size(), 1u);  // no question asked
    EXPECT_FALSE(controller.store().hasPending());
    EXPECT_EQ(accountRows(), 1);
    EXPECT_TRUE(view.pending.isEmpty());
    EXPECT_EQ(view.errors, QStringList{charge("999")});
}

TEST_F(ControllerTest, CancellaAsksTwiceNoBeingTheDefaultAndClearsWhatWasShown) {
    Controller controller(settings, services, view, *ws);
    ChargeStore& store = controller.store();
    store.appendErrors({QStringLiteral("a"), QStringLiteral("b")});
    EXPECT_TRUE(controller.transferButtons().refreshIfChanged());
    EXPECT_FALSE(controller.transferButtons().refreshIfChanged());
    // The window reads pages of the history as it stood: a page past the end
    // is cut short, and a line added since is not in it; a selection's
    // lines are told only while the history is as shown.
    ASSERT_EQ(view.history->size(), 2);
    EXPECT_EQ(view.history->ids(1, 9).size(), 1u);
    store.appendErrors({QStringLiteral("c")});
    const auto b = view.history->lines(1, 5);
    ASSERT_EQ(b.size(), 1u);
    EXPECT_EQ(b[0].text, QStringLiteral("b"));
    EXPECT_THROW(view.history->ids(0, 9), Error);
    EXPECT_TRUE(controller.transferButtons().refreshIfChanged());
    EXPECT_EQ(view.history->ids(0, 9),
              (std::vector<std::int32_t>{b[0].id - 1, b[0].id, b[0].id + 1}));
    ASSERT_TRUE(store.removeError(b[0].id + 1));
    EXPECT_TRUE(controller.transferButtons().refreshIfChanged());
    EXPECT_FALSE(controller.transferButtons().refreshIfChanged());
    for (const auto& script :
         std::vector<std::deque<MsgAnswer>>{{MsgAnswer::No}, {MsgAnswer::Yes, MsgAnswer::No}, {}}) {
        dialogs.answers = script;
        controller.transferButtons().Tasto_Click(3);
        EXPECT_EQ(store.errors().size(), 2);
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
    // A line listed straight at intake (nothing pending, so no transfer)
    // and a line removed by a tool are shown after the tick.
    const std::int32_t early = store.errorLines()[1].id;
    ASSERT_TRUE(store.removeError(early));
    writeBytes(QStringLiteral("Estrazione.mdb"), QByteArray(5000, 'x') + "\r\n");
    ASSERT_TRUE(controller.timerTick());
    ASSERT_EQ(view.errors.size(), 2);
    EXPECT_EQ(view.errors[0], QStringLiteral("a"));
    // A line kept in several rows: pages go by line, not by row, each line
    // whole with its reason.
    ASSERT_EQ(view.history->size(), 2);
    const auto cut = view.history->lines(1, 1);
    ASSERT_EQ(cut.size(), 1u);
    EXPECT_EQ(cut[0].text, QString(4000, u'x'));
    EXPECT_TRUE(cut[0].reason.contains(QStringLiteral("4000"))) << cut[0].reason.toStdString();
    EXPECT_EQ(view.history->ids(1, 1), std::vector<std::int32_t>{cut[0].id});
    EXPECT_EQ(view.history->lines(0, 1)[0].text, QStringLiteral("a"));
    // A line that arrives after the listing (from a tool: a higher number)
    // was not shown and stays.
    {
        db::Workspace tool;
        ChargeStore(tool).appendErrors({QStringLiteral("arrivata dopo")});
    }
    dialogs.answers = {MsgAnswer::Yes, MsgAnswer::Yes};
    controller.transferButtons().Tasto_Click(3);
    const QStringList kept{QStringLiteral("arrivata dopo")};
    EXPECT_EQ(store.errors(), kept);
    EXPECT_EQ(view.errors, kept);
    JournalQuery cleared;
    cleared.outcome = Esito::Cancellato;
    ASSERT_EQ(store.journal().find(cleared).size(), 1u);  // the over-long line
    EXPECT_EQ(store.journal().find(cleared)[0].action, Azione::Cancella);
    // A tool's clearing meanwhile: the next tick shows it.
    {
        db::Workspace tool;
        ChargeStore(tool).clearErrorsUpTo(INT32_MAX);
    }
    ASSERT_TRUE(controller.timerTick());
    EXPECT_TRUE(view.errors.isEmpty());
}

// List2's repair menu: the answer asked through the dialogs, a bad one
// told and nothing changed, a good one posted and the lists shown again.
TEST_F(ControllerTest, TheRepairMenuAsksPostsAndShowsTheListsAgain) {
    Controller controller(settings, services, view, *ws);
    ChargeStore& store = controller.store();
    PosLine discount;
    discount.room = QStringLiteral("999");
    discount.description = QStringLiteral("Sconto");
    discount.amount = QStringLiteral("-00100");
    store.appendPending({charge("999"), discount.text()});
    controller.transferButtons().transfer();
    ASSERT_EQ(view.errorLines.size(), 2u);
    EXPECT_EQ(view.errorLines[0].reason,
              QStringLiteral("Nessun ospite in casa né cliente esterno per la camera 999"));
    const std::vector<std::int32_t> ids{view.errorLines[0].id};
    dialogs.inputs = {std::nullopt};  // cancelled: nothing asked further
    controller.riparaClick(Riparazione::AssegnaCamera, ids);
    EXPECT_TRUE(dialogs.messages.empty());
    dialogs.inputs = {QStringLiteral("555")};
    controller.riparaClick(Riparazione::AssegnaCamera, ids);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, QStringLiteral("Nessun ospite in casa nella camera 555"));
    EXPECT_EQ(dialogs.messages[0].icon, MsgIcon::Exclamation);
    EXPECT_EQ(store.errors().size(), 2);
    // The charge and its "Sconto" line both selected: posted together, told once.
    dialogs.inputs = {QStringLiteral("101")};
    controller.riparaClick(Riparazione::AssegnaCamera, {ids[0], view.errorLines[1].id});
    ASSERT_EQ(dialogs.prompts.size(), 3u);
    EXPECT_EQ(dialogs.prompts[2].prompt, QStringLiteral("Numero della camera a cui addebitare:"));
    EXPECT_EQ(dialogs.messages.back().text,
              QStringLiteral("Addebito registrato sul conto della camera 101"));
    EXPECT_EQ(dialogs.messages.back().icon, MsgIcon::Information);
    EXPECT_EQ(accountRows(), 1);
    EXPECT_TRUE(view.errors.isEmpty());
    controller.riparaClick(Riparazione::Riprova, ids);  // already repaired
    EXPECT_EQ(dialogs.messages.back().text,
              QStringLiteral("Riga già riparata o già tolta dallo storico errori"));
    EXPECT_EQ(accountRows(), 1);

    // Many lines: a few lines of counts with the commonest reason, each
    // line's result under "Dettagli", the progress shown meanwhile.
    QStringList many;
    for (int i = 0; i < 30; ++i) many << charge(i % 3 == 0 ? "888" : "999");
    store.appendPending(many);
    controller.transferButtons().transfer();
    ASSERT_EQ(view.errorLines.size(), 30u);
    addCard(InHouse,
            {1, 8, QStringLiteral("888"), 1, QStringLiteral("N"), QStringLiteral("Verdi")});
    std::vector<std::int32_t> all;
    for (const ErrorLineInfo& l : view.errorLines) all.push_back(l.id);
    all.push_back(ids[0]);  // gone meanwhile
    controller.riparaClick(Riparazione::Riprova, all);
    const auto& box = dialogs.messages.back();
    EXPECT_EQ(box.text,
              QStringLiteral("Addebiti riparati: 10 di 31\naddebitati in camera: 10\n"
                             "non addebitati, restano nello storico: 20\nmotivo più frequente "
                             "(20): Addebito ancora non trasferibile: Nessun ospite in casa né "
                             "cliente esterno per la camera 999\ngià riparati o già tolti dallo "
                             "storico: 1\n\nL'esito di ogni riga: \"Dettagli\" e Quorvel.log."));
    EXPECT_EQ(box.icon, MsgIcon::Exclamation);
    EXPECT_EQ(box.details.count(u'\n'), 30);
    EXPECT_TRUE(box.details.startsWith(
        QStringLiteral("Riga %1: Addebito registrato sul conto della camera 888\n").arg(all[0])));
    EXPECT_EQ(view.errorLines.size(), 20u);
    EXPECT_EQ(accountRows(), 2);                 // the ten summed into the guest's row
    EXPECT_EQ(view.progress.back(), QString());  // cleared at the end
}

TEST_F(ControllerTest, EsciStampaAndOtherIndexes) {
    Controller controller(settings, services, view, *ws);
    TransferButtons& buttons = controller.transferButtons();
    int printed = 0;
    buttons.stampa = [&] { ++printed; };
    buttons.Tasto_Click(1);
    EXPECT_FALSE(view.visible);
    buttons.Tasto_Click(2);
    EXPECT_EQ(printed, 1);
    buttons.Tasto_Click(4);
    buttons.Tasto_Click(-1);
    EXPECT_TRUE(dialogs.messages.empty());
}

// A failing transfer is told without a box and keeps its lines; a database
// locked by another program only delays it, and the next run posts once.
TEST_F(ControllerTest, AFailingTransferIsReportedWithoutABoxAndKeepsTheLines) {
    Controller controller(settings, services, view, *ws);
    TransferButtons& buttons = controller.transferButtons();
    ChargeStore& store = controller.store();
    const QStringList one{charge("101")};
    store.appendPending(one);
    ASSERT_TRUE(
        QFile::rename(path(QStringLiteral("Conto_Cliente.mdb")), path(QStringLiteral("C"))));
    EXPECT_EQ(buttons.transfer().outcome, TransferRun::Outcome::Failed);
    EXPECT_TRUE(dialogs.messages.empty());
    ASSERT_EQ(dialogs.notices.size(), 1u);
    EXPECT_TRUE(dialogs.notices[0].second.contains(QStringLiteral("Conto_Cliente.mdb")))
        << dialogs.notices[0].second.toStdString();
    EXPECT_EQ(store.pending(), one);
    EXPECT_EQ(view.pending, one);
    ASSERT_TRUE(
        QFile::rename(path(QStringLiteral("C")), path(QStringLiteral("Conto_Cliente.mdb"))));

    const QStringList lines{charge("101"), charge("999")};
    store.appendPending({charge("999")});
    dialogs.notices.clear();
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(path(QStringLiteral("Conto_Cliente.mdb")).toUtf8().constData(), &other),
              SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    ws->setBusyTimeout(50);
    buttons.Tasto_Click(0);
    EXPECT_EQ(dialogs.notices.size(), 1u);
    EXPECT_EQ(store.pending(), lines);
    EXPECT_TRUE(store.errors().isEmpty());  // the failed line's batch rolled back too
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);

    buttons.Tasto_Click(0);  // the next run posts everything once, and says so
    ASSERT_EQ(dialogs.notices.size(), 2u);
    EXPECT_TRUE(dialogs.notices[1].second.contains(QStringLiteral("ripreso dopo 2 tentativi")));
    EXPECT_FALSE(store.hasPending());
    EXPECT_EQ(accountRows(), 1);
    EXPECT_EQ(store.errors(), QStringList{charge("999")});
}

}  // namespace
}  // namespace quorvel::test
