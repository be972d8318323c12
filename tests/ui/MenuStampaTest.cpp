// The print menu window: controls, activation, the PDF button, the print
// through the hotel's printer tables, and "&Stampa" of the main window.
#include "platform/Error.h"
#include "polling/TransferButtons.h"
#include "print/FakeShell.h"
#include "print/PcLocalGuard.h"
#include "print/PrinterTables.h"
#include "print/RecordingPrinter.h"
#include "support/TempDir.h"
#include "transfer/ChargeStore.h"
#include "transfer/PostingJournal.h"
#include "ui/MenuStampa.h"
#include "ui/StampaStorico.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QToolButton>

namespace quorvel::test {
namespace {

struct Shown {
    QString text;
    std::int16_t style;
    QString title;
};

class MenuStampaTest : public TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        PcLocalGuard::set("PCLocal", "3");
        ws = printerHotel(QString());
    }
    void TearDown() override {
        ws.reset();
        TempDirTest::TearDown();
    }
    std::unique_ptr<MenuStampa> makeMenu(PagePrinter& pagePrinter) {
        MenuStampaSeams seams;
        seams.messaggio = [this](const QString& text, std::int16_t style, const QString& title) {
            shown.push_back({text, style, title});
            return std::int16_t{0};
        };
        seams.anteprima = [this] { preview(); };
        return std::make_unique<MenuStampa>(services, pagePrinter, *ws, 1, seams);
    }

    PcLocalGuard env;
    FakeDialogs dialogs;
    FakeClock clock;
    FakeShell shell;
    Services services{&dialogs, &clock, &shell};
    RecordingPrinter printer;
    std::unique_ptr<db::Workspace> ws;
    std::vector<Shown> shown;
    int previews = 0;
    std::function<void()> preview = [this] { ++previews; };  // the preview seam's work
};

TEST_F(MenuStampaTest, ControlsLoadAndActivation) {
    addDestination(*ws, QStringLiteral("Laser Ufficio"), 1, QStringLiteral("HP"));
    addDestination(*ws, QStringLiteral("Stampante Cassa"), 2, path("cassa.prn"));
    auto menu = makeMenu(printer);
    EXPECT_EQ(menu->windowTitle(), "Stampe non modificabili");
    EXPECT_EQ(menu->ssFrame1()->title(), "Selezione ");
    EXPECT_EQ(menu->label1(0)->text(), "Stampante ");
    EXPECT_EQ(menu->label1(1)->text(), "Virtuale ");
    EXPECT_EQ(menu->chk()->text(), "Stampa Compressa");
    EXPECT_EQ(menu->chk2()->text(), "Stampa orizzontale");
    EXPECT_EQ(menu->chk3()->text(), "Stampa fronte / retro");
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(menu->tst(i)->width(), menu->tst(i)->height());
        EXPECT_FALSE(menu->tst(i)->icon().isNull());
    }
    // Left to right: print, preview, open copy, spreadsheet, PDF, exit.
    const int order[] = {3, 4, 0, 1, 2, 5};
    for (int k = 0; k + 1 < 6; ++k)
        EXPECT_LT(menu->tst(order[k])->x(), menu->tst(order[k + 1])->x());

    menu->formLoad();
    // Centred on the screen by its outer frame.
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const QRect outer = menu->frameGeometry();
    EXPECT_NE(outer.size(), menu->size());  // the platform tells the frame
    EXPECT_EQ(outer.left(), screen.left() + (screen.width() - outer.width()) / 2);
    EXPECT_EQ(outer.top(), screen.top() + (screen.height() - outer.height()) / 2);
    EXPECT_EQ(menu->combo2()->count(), 1);
    EXPECT_EQ(menu->combo2()->itemText(0), "<nessuna stampante>");
    EXPECT_EQ(menu->combo2()->currentText(), "");  // no choice until the operator makes one

    ASSERT_TRUE(menu->formActivate());
    EXPECT_EQ(menu->combo1()->count(), 2);
    EXPECT_EQ(menu->combo1()->currentText(), "Laser Ufficio");

    // Back from the preview the list is read again and the first one chosen.
    menu->combo1()->setCurrentIndex(1);
    menu->chk()->setChecked(true);
    menu->Tst_Click(4);
    EXPECT_EQ(previews, 1);
    EXPECT_EQ(menu->combo1()->currentText(), "Laser Ufficio");
    EXPECT_TRUE(menu->chk()->isChecked());
    EXPECT_TRUE(dialogs.messages.empty());

    // A failure behind a button is told with its Italian text intact.
    preview = [] { throw Error(QStringLiteral("fd3"), QStringLiteral("è già in uso")); };
    menu->Tst_Click(4);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, QString::fromUtf8("fd3: è già in uso"));
}

TEST_F(MenuStampaTest, NoDestinationClosesTheMenu) {
    addDestination(*ws, QStringLiteral("Dependance"), 1, QStringLiteral("HP"), 2);
    auto menu = makeMenu(printer);
    menu->run();  // returns at once instead of waiting on a modal menu
    EXPECT_TRUE(menu->closedForNoDestination());
    EXPECT_FALSE(menu->isVisible());
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(MenuStampaTest, PdfButtonPrintsOnTheLastPdfDestination) {
    addDestination(*ws, QStringLiteral("Laser Ufficio"), 1, QStringLiteral("HP"));
    addDestination(*ws, QStringLiteral("PDF Ufficio"), 2, path("ufficio.prn"));
    addDestination(*ws, QStringLiteral("Pdf"), 2, path("minuscolo.prn"));
    addDestination(*ws, QStringLiteral("PDF Cassa"), 2, path("cassa.prn"));
    writeBytes("fd3", "storico\r\n");
    auto menu = makeMenu(printer);
    menu->formLoad();
    ASSERT_TRUE(menu->formActivate());
    menu->chk()->setChecked(true);
    menu->Tst_Click(2);
    EXPECT_EQ(menu->combo1()->currentText(), "PDF Cassa");
    EXPECT_EQ(readBytes("cassa.prn"), QByteArray("\x1b\x0f\0\0\0 \r\nstorico\r\n\f", 18));
    EXPECT_FALSE(exists("ufficio.prn"));
    EXPECT_FALSE(exists("minuscolo.prn"));
    EXPECT_TRUE(shown.empty());

    // A printer chosen in Combo2 wins over the destination.
    menu->combo2()->setEditText(path("scelta.prn"));
    menu->Tst_Click(3);
    EXPECT_TRUE(exists("scelta.prn"));
}

TEST_F(MenuStampaTest, PdfButtonWithoutPdfDestination) {
    addDestination(*ws, QStringLiteral("Laser Ufficio"), 2, path("laser.prn"));
    addDestination(*ws, QStringLiteral("Pdf"), 2, path("pdf.prn"));
    writeBytes("fd3", "storico\r\n");
    auto menu = makeMenu(printer);
    menu->formLoad();
    ASSERT_TRUE(menu->formActivate());
    menu->combo1()->setCurrentIndex(1);
    menu->Tst_Click(2);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, "Nessuna stampante PDF impostata!");
    EXPECT_EQ(shown[0].style, 48);
    EXPECT_EQ(shown[0].title, "Stampa");
    EXPECT_FALSE(exists("laser.prn"));
    EXPECT_FALSE(exists("pdf.prn"));
    EXPECT_EQ(menu->combo1()->currentText(), "Laser Ufficio");  // activated again

    menu->Tst_Click(5);
    EXPECT_EQ(menu->result(), QDialog::Accepted);
}

TEST_F(MenuStampaTest, ThreePageHistoryToAPdfDestination) {
    addDestination(*ws, QStringLiteral("PDF Ufficio"), 1, path("storico.pdf"));
    QStringList errors;
    for (int i = 1; i <= 150; ++i)
        errors << QStringLiteral("%1 20250307 1230 CAMERA SCONOSCIUTA  0000042,00")
                      .arg(900 + i % 90, 3, 10, QLatin1Char('0'));
    StampaStorico stampa(services, *ws);
    stampa.showMenu = [&](std::int16_t hotel) {
        MenuStampa menu(services, stampa.printer(), *ws, hotel);
        menu.formLoad();
        ASSERT_TRUE(menu.formActivate());
        menu.Tst_Click(2);
    };
    stampa.stampa(errors, 1);
    EXPECT_TRUE(dialogs.messages.empty());
    // 60 lines a page, 2 of them top margin: 58 + 58 + 34 lines.
    EXPECT_EQ(stampa.printer().pagesPrinted(), 3);
    const QByteArray pdf = readBytes("storico.pdf");
    ASSERT_TRUE(pdf.startsWith("%PDF"));
    const auto pages = pdf.count("/Type /Page\n") + pdf.count("/Type /Page ") +
                       pdf.count("/Type /Page/") + pdf.count("/Type /Page>");
    EXPECT_EQ(pages, 3);
    if (qEnvironmentVariableIsSet("QUORVEL_KEEP_PDF"))
        QFile::copy(path("storico.pdf"), qEnvironmentVariable("QUORVEL_KEEP_PDF"));
}

class FakeView : public MainView {
public:
    QString transferType() const override { return QStringLiteral("Completo"); }
    void focusTransferType() override {}
    void showWindow() override {}
    void hideWindow() override {}
    void showPending(const QStringList&) override {}
    void showErrors(const QStringList&) override {}
    void setBusy(bool) override {}
};

TEST_F(MenuStampaTest, StampaButtonWritesTheHistoryThenShowsTheMenu) {
    ChargeStore store(*ws);
    Settings settings;
    FakeView view;
    TransferButtons buttons(settings, services, view, store);
    StampaStorico stampa(services, *ws);
    QList<QByteArray> seen;
    stampa.showMenu = [&](std::int16_t hotel) {
        EXPECT_EQ(hotel, 1);
        seen << readBytes("fd3");
    };
    buttons.stampa = [&] { stampa.stampa(store.errors(), 1); };

    writeBytes("fd3", "resto di una stampa precedente\r\n");
    buttons.Tasto_Click(2);  // empty history: an empty report, the menu opens
    ASSERT_EQ(seen.size(), 1);
    EXPECT_EQ(seen[0], "");

    store.appendErrors({QStringLiteral("999 20250306 2010 CENA            0000042,00"),
                        QString::fromUtf8("998 20250306 2015 CAFFÈ           0000001,20")});
    buttons.Tasto_Click(2);
    store.appendErrors({QStringLiteral("997 20250307 1300 PRANZO          0000030,00")});
    buttons.Tasto_Click(2);
    ASSERT_EQ(seen.size(), 3);
    EXPECT_EQ(seen[2],
              "999 20250306 2010 CENA            0000042,00\r\n"
              "998 20250306 2015 CAFF\xc8           0000001,20\r\n"
              "997 20250307 1300 PRANZO          0000030,00\r\n");
    EXPECT_EQ(store.errors().size(), 3);  // the history itself is unchanged

    // A report that cannot be written: told, and no menu.
    QFile::remove(path("fd3"));
    QDir().mkdir(path("fd3"));
    buttons.Tasto_Click(2);
    EXPECT_EQ(seen.size(), 3);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_TRUE(dialogs.messages[0].text.contains("file di stampa"));
}

TEST_F(MenuStampaTest, QuadraturaWritesTheDaysReconciliationThenShowsTheMenu) {
    ChargeStore store(*ws);
    const QString file = QStringLiteral("Estrazione_20250307090503.txt");
    std::vector<JournalEntry> rows(2);
    for (JournalEntry& e : rows) {
        e.archive = file;
        e.day = QStringLiteral("20250307");
    }
    rows[0].amount = Currency::fromCents(125050);
    rows[0].outcome = Esito::Camera;
    rows[1].amount = Currency::fromCents(250);
    rows[1].outcome = Esito::Storico;
    rows[1].errorId = store.appendErrors({QStringLiteral("999 CENA")});
    store.journal().add(rows);
    store.journal().addReceived(
        {{file, QStringLiteral("20250307"), 2, Currency::fromCents(125300)}});
    StampaStorico stampa(services, *ws);
    QList<QByteArray> seen;
    stampa.showMenu = [&](std::int16_t hotel) {
        EXPECT_EQ(hotel, 1);
        seen << readBytes("fd3");
    };

    dialogs.inputs = {std::nullopt, QStringLiteral("31/02/2025"), std::nullopt,
                      QStringLiteral("31/02/2025"), QStringLiteral("07/03/2025")};
    stampa.quadratura(store, 1);  // cancelled
    stampa.quadratura(store, 1);  // no date: told, asked again with it, cancelled
    EXPECT_TRUE(seen.isEmpty());
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text,
              "\"31/02/2025\" non è un giorno valido: scrivere per esempio 07/03/2025.");
    EXPECT_EQ(dialogs.prompts.at(2).defaultText, "31/02/2025");
    stampa.quadratura(store, 1);  // a bad day, then a good one: the menu
    ASSERT_EQ(dialogs.prompts.size(), 5u);
    EXPECT_EQ(dialogs.prompts[0].defaultText, "07/03/2025");  // today
    EXPECT_EQ(dialogs.prompts[0].title, "Quadratura");
    ASSERT_EQ(seen.size(), 1);
    const QByteArray frame = "+---------------------------------+--------+----------------+\r\n";
    const QByteArray table =
        frame + "| Voce                            |  Righe |        Importo |\r\n" + frame +
        "| Ricevute dalla cassa            |      2 |       1.253,00 |\r\n"
        "| Addebitate in camera            |      1 |       1.250,50 |\r\n"
        "|   di cui riparate dallo storico |      0 |           0,00 |\r\n"
        "| Addebitate a clienti esterni    |      0 |           0,00 |\r\n"
        "|   di cui riparate dallo storico |      0 |           0,00 |\r\n"
        "| Nello storico errori            |      1 |           2,50 |\r\n"
        "| Cancellate dallo storico        |      0 |           0,00 |\r\n"
        "| In attesa                       |      0 |           0,00 |\r\n"
        "| Sconti senza addebito, ignorati |      0 |           0,00 |\r\n"
        "| Quadratura                      |     OK |                |\r\n";
    EXPECT_EQ(seen[0],
              "QUADRATURA ADDEBITI DEL 07/03/2025\r\n"
              "Stampata il 07/03/2025 alle 09:05\r\n\r\n"
              "Giorno 07/03/2025 - file Estrazione_20250307090503.txt\r\n" +
                  table + frame + "\r\nTOTALE DEL GIORNO 07/03/2025\r\n" + table +
                  "| Incassi importati               |      0 |           0,00 |\r\n" + frame +
                  "\r\nQuadratura: ricevute = in camera + clienti esterni + storico "
                  "errori +\r\ncancellate + in attesa + sconti ignorati. Una riga "
                  "\"Sconto\" conta\r\ndove \xe8 andato il suo addebito, con il suo "
                  "importo (negativo).\r\n");
}

}  // namespace
}  // namespace quorvel::test
