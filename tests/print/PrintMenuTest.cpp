// The print menu's work: the PrintJob read from the printer databases, the
// engines it runs, the archive copy, opening documents and its failures.
#include "FakeShell.h"
#include "PcLocalGuard.h"
#include "PrinterTables.h"
#include "RecordingPrinter.h"
#include "platform/Settings.h"
#include "print/PrintMenu.h"
#include "support/RecordedConfirmations.h"
#include "support/TempDir.h"

#include <QDir>

namespace quorvel::test {
namespace {

class PrintMenuTest : public TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        PcLocalGuard::set("PCLocal", "3");
        ws = printerHotel(QStringLiteral("A"));
        addCounters(*ws, 2, 70, 50);
        menu = std::make_unique<PrintMenu>(services, printer, *ws, 1);
    }
    void TearDown() override {
        menu.reset();
        ws.reset();
        for (const char* name : {"Cassa", "CASSA_BAR"}) qunsetenv(name);
        TempDirTest::TearDown();
    }
    std::optional<PrintJob> job(const QString& destination, bool compressed = false,
                                std::int16_t hotel = 1) {
        PrintChoice choice;
        choice.destination = destination;
        choice.compressed = compressed;
        choice.hotelCorrente = hotel;
        return buildPrintJob(*ws, choice);
    }
    QStringList sizes() const { return printer.calls.filter(QStringLiteral("size ")); }

    PcLocalGuard env;
    FakeDialogs dialogs;
    FakeClock clock;
    FakeShell shell;
    Services services{&dialogs, &clock, &shell};
    RecordingPrinter printer;
    std::unique_ptr<db::Workspace> ws;
    std::unique_ptr<PrintMenu> menu;
};

TEST_F(PrintMenuTest, PagePrinterJobFromCompressoAndGrassetto) {
    RecordedConfirmations confirmed;
    addDestination(*ws, QStringLiteral("Laser Ufficio"), 1, QStringLiteral("HP Ufficio"));
    writeBytes("FontStp.txt", "  Lucida Console  \r\nseconda riga\r\n");

    auto normal = job(QStringLiteral("Laser Ufficio"));
    ASSERT_TRUE(normal);
    EXPECT_EQ(normal->codes, (std::array<double, 12>{8, 0, 0, 0, 0, 1, 10, 0, 0, 0, 0, 0}));
    EXPECT_TRUE(normal->usesPagePrinter());
    EXPECT_EQ(normal->fontName, "Lucida Console");
    EXPECT_EQ(normal->pageLength, 60);     // LungPagNoComp
    EXPECT_EQ(normal->physicalLines, 66);  // number 8
    EXPECT_EQ(normal->topMargin, 2);       // number 6
    EXPECT_EQ(normal->destination, "HP Ufficio");

    auto compressed = job(QStringLiteral("Laser Ufficio"), true);
    ASSERT_TRUE(compressed);
    EXPECT_EQ(compressed->pageLength, 80);     // LungPagComp
    EXPECT_EQ(compressed->physicalLines, 88);  // number 7

    // Printed: font 10 normal, 8 compressed, after the 8-point set-up line.
    writeBytes("fd3", "riga\r\n");
    PrintChoice choice;
    choice.destination = QStringLiteral("Laser Ufficio");
    EXPECT_TRUE(menu->print(choice));
    EXPECT_EQ(sizes(), (QStringList{"size 8", "size 10"}));
    EXPECT_TRUE(printer.calls.contains("select HP Ufficio"));
    EXPECT_TRUE(printer.calls.contains("line [riga]"));
    // No such printer here: the confirmation says where the pages went.
    EXPECT_EQ(confirmed,
              QStringList{"Stampa inviata alla stampante predefinita (\"HP Ufficio\" non esiste)"});
    printer.names = QStringList{"HP Ufficio"};
    printer.calls.clear();
    choice.compressed = true;
    EXPECT_TRUE(menu->print(choice));
    EXPECT_EQ(sizes(), (QStringList{"size 8", "size 8"}));
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_EQ(confirmed.last(), "Stampa inviata alla stampante \"HP Ufficio\"");
}

TEST_F(PrintMenuTest, CharacterPrinterStartBytesAndShortCompresso) {
    RecordedConfirmations confirmed;
    addDestination(*ws, QStringLiteral("Stampante Cassa"), 2, path("cassa.prn"));
    writeBytes("fd3", "uno\r\n");
    PrintChoice choice;
    choice.destination = QStringLiteral("Stampante Cassa");
    choice.compressed = true;
    ASSERT_TRUE(menu->print(choice));
    EXPECT_TRUE(readBytes("cassa.prn").startsWith(QByteArray("\x1b\x0f\0\0\0 \r\nuno\r\n", 13)));
    EXPECT_EQ(confirmed, QStringList{"Stampa inviata a \"" + path("cassa.prn") + "\""});
    choice.compressed = false;
    ASSERT_TRUE(menu->print(choice));
    EXPECT_TRUE(readBytes("cassa.prn").startsWith(QByteArray("\x1b\x12\0\0\0", 5)));
    EXPECT_TRUE(printer.calls.isEmpty());  // the page printer was not used

    // A Compresso of two groups: the rest read as 0.
    addPrintType(*ws, 3, QStringLiteral("027015"), QString());
    addDestination(*ws, QStringLiteral("Corta"), 3, path("corta.prn"));
    auto shortJob = job(QStringLiteral("Corta"));
    ASSERT_TRUE(shortJob);
    EXPECT_EQ(shortJob->codes, (std::array<double, 12>{27, 15}));
    EXPECT_FALSE(shortJob->usesPagePrinter());
    EXPECT_EQ(shortJob->topMargin, 0);
}

TEST_F(PrintMenuTest, EnvironmentVariableAndChosenPrinterOverrideLinea) {
    addDestination(*ws, QStringLiteral("Cassa"), 2, path("linea.prn"));
    EXPECT_EQ(job(QStringLiteral("Cassa"))->destination, path("linea.prn"));

    qputenv("Cassa", path("share.prn").toLocal8Bit());
    EXPECT_EQ(job(QStringLiteral("Cassa"))->destination, path("share.prn"));
    qputenv("Cassa", "");  // set but empty: Linea
    EXPECT_EQ(job(QStringLiteral("Cassa"))->destination, path("linea.prn"));

    // The variable's name is matched without regard to case, as on Windows.
    addDestination(*ws, QStringLiteral("Cassa_Bar"), 2, path("bar.prn"));
    qputenv("CASSA_BAR", path("bar-share.prn").toLocal8Bit());
    EXPECT_EQ(job(QStringLiteral("Cassa_Bar"))->destination, path("bar-share.prn"));

    qputenv("Cassa", path("share.prn").toLocal8Bit());
    writeBytes("fd3", "uno\r\n");
    PrintChoice choice;
    choice.destination = QStringLiteral("Cassa");
    choice.printer = path("scelta.prn");
    ASSERT_TRUE(menu->print(choice));
    EXPECT_TRUE(exists("scelta.prn"));
    EXPECT_FALSE(exists("share.prn"));
    EXPECT_FALSE(exists("linea.prn"));
    choice.printer = QStringLiteral("   ");  // a blank choice is no choice
    ASSERT_TRUE(menu->print(choice));
    EXPECT_TRUE(exists("share.prn"));
}

TEST_F(PrintMenuTest, MissingRowsAndQuotedDestination) {
    // No SetStampa row for the type, no Contatori row for the hotel.
    addDestination(*ws, QStringLiteral("Senza tipo"), 9, path("x.prn"));
    auto j = job(QStringLiteral("Senza tipo"), false, 5);
    ASSERT_TRUE(j);
    EXPECT_EQ(j->codes, (std::array<double, 12>{}));
    EXPECT_EQ(j->pageLength, 60);
    EXPECT_EQ(j->physicalLines, 66);
    EXPECT_EQ(j->topMargin, 0);
    EXPECT_EQ(j->fontName, "Courier New");

    // An unknown destination prints nothing and says nothing.
    PrintChoice choice;
    choice.destination = QStringLiteral("Nessuna");
    EXPECT_FALSE(menu->print(choice));
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_TRUE(printer.calls.isEmpty());

    // An apostrophe in the name neither breaks the criterion nor finds another row.
    addDestination(*ws, QStringLiteral("Sala d'Angolo"), 2, path("sala.prn"));
    j = job(QStringLiteral("Sala d'Angolo"));
    ASSERT_TRUE(j);
    EXPECT_EQ(j->destination, path("sala.prn"));
    EXPECT_FALSE(job(QStringLiteral("x' Or Destinazione <> '")));
}

TEST_F(PrintMenuTest, ActivationListsHotelOneAndReadsTheAssistanceCode) {
    addDestination(*ws, QStringLiteral("Laser Ufficio"), 1, QStringLiteral("HP"));
    addDestination(*ws, QStringLiteral("Dependance"), 1, QStringLiteral("HP2"), 2);
    addDestination(*ws, QStringLiteral("PDF Ufficio"), 1, QStringLiteral("a.pdf"));
    addHotel(*ws, 2, QStringLiteral("KU"));
    EXPECT_EQ(menu->activate(), (QStringList{"Laser Ufficio", "PDF Ufficio"}));
    EXPECT_EQ(menu->assistanceCode(), "A");

    EXPECT_EQ(lastPdfDestination({"PDF Ufficio", "Laser", "PDF Cassa", "Pdf"}), 2);
    EXPECT_EQ(lastPdfDestination({"Pdf", "pdf cassa"}), -1);
}

TEST_F(PrintMenuTest, DatabaseFailuresAreShownAndLogged) {
    ws.reset();
    menu.reset();
    ASSERT_TRUE(QFile::remove(path("Stampanti.mdb")));
    ASSERT_TRUE(QFile::remove(path("Contatori.mdb")));
    ws = std::make_unique<db::Workspace>();
    menu = std::make_unique<PrintMenu>(services, printer, *ws, 1);

    EXPECT_TRUE(menu->activate().isEmpty());
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_TRUE(dialogs.messages[0].text.contains("destinazioni di stampa"));
    EXPECT_TRUE(dialogs.messages[0].text.contains("Stampanti.mdb"));
    EXPECT_EQ(dialogs.messages[0].title, "Stampa");

    PrintChoice choice;
    choice.destination = QStringLiteral("Laser");
    EXPECT_FALSE(menu->print(choice));
    ASSERT_EQ(dialogs.messages.size(), 2u);
    EXPECT_TRUE(dialogs.messages[1].text.contains("Contatori.mdb"));
}

TEST_F(PrintMenuTest, LoadMakesTheArchiveCopyAndListsPrinters) {
    menu = std::make_unique<PrintMenu>(services, printer, *ws, 0);
    writeBytes("fd3", "storico\r\n");
    clock.current = QDateTime(QDate(2024, 3, 15), QTime(9, 30, 12));
    EXPECT_EQ(menu->load(), QStringList{"<nessuna stampante>"});
    EXPECT_EQ(menu->hotelCorrente(), 1);
    EXPECT_EQ(menu->archivePath(), QDir::toNativeSeparators("doc/fd3202403150930.doc"));
    EXPECT_EQ(readBytes("doc/fd3202403150930.doc"), "storico\r\n");

    // Within the same minute the copy is replaced.
    writeBytes("fd3", "nuovo\r\n");
    menu->load();
    EXPECT_EQ(readBytes("doc/fd3202403150930.doc"), "nuovo\r\n");

    printer.names = {QStringLiteral("HP Ufficio"), QStringLiteral("Epson")};
    EXPECT_EQ(menu->load(), printer.names);
}

TEST_F(PrintMenuTest, OpeningTheArchiveCopyAndTheExport) {
    writeBytes("fd3", "\xb3 12 \xb3 1.234,56 \xb3\r\n");
    menu->load();
    ASSERT_TRUE(menu->openArchive());
    ASSERT_EQ(shell.opened.size(), 1u);
    EXPECT_EQ(shell.opened[0].first, QDir(dir()).absoluteFilePath(menu->archivePath()));
    EXPECT_EQ(shell.opened[0].second, "dat");

    ASSERT_TRUE(menu->exportAndOpen());
    EXPECT_EQ(readBytes("fd3.csv"),
              ", 12 ,\x80"
              "1234.56 ,\r\n");
    ASSERT_EQ(shell.opened.size(), 2u);
    EXPECT_EQ(shell.opened[1].first, path("fd3.csv"));
    EXPECT_EQ(shell.opened[1].second, ".\\");
    EXPECT_TRUE(dialogs.messages.empty());

    // The shell fails: the operator is told.
    shell.result = false;
    EXPECT_FALSE(menu->openArchive());
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_TRUE(dialogs.messages[0].text.contains("copia di archivio"));

    // No report at load: no copy, and the shell is not asked to open it.
    QFile::remove(path("fd3"));
    clock.current = clock.current.addSecs(3600);
    menu->load();
    shell.opened.clear();
    EXPECT_FALSE(menu->openArchive());
    EXPECT_TRUE(shell.opened.empty());
    EXPECT_EQ(dialogs.messages.size(), 2u);
}

}  // namespace
}  // namespace quorvel::test
