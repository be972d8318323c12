// The pure parts of the polling cycle and the export: archive names, the
// notification-file search, the room-code map, the closing-file parser and
// the columns of "Clienti.txt"; and what a tick makes of the content of the
// POS's files (line ends, encoding, lines too long to keep).
#include "PollingHotel.h"
#include "platform/Error.h"
#include "platform/TextFile.h"
#include "polling/ClosingFile.h"
#include "polling/GuestExport.h"
#include "polling/GuestList.h"
#include "polling/PollingCycle.h"
#include "polling/PollingFiles.h"
#include "support/TempDir.h"
#include "transfer/ChargeLine.h"
#include "transfer/ChargeStore.h"

#include <QDir>
#include <memory>
#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace quorvel {
namespace {

using test::TempDirTest;

TEST(ArchiveName, CutsFourCharactersAndAddsTimeStamp) {
    const QDateTime t(QDate(2025, 3, 7), QTime(9, 5, 3));
    EXPECT_EQ(archiveName(QStringLiteral("C:\\POS\\Documento.txt"), t),
              QStringLiteral("C:\\POS\\Documento_20250307090503.txt"));
    // Whatever the extension, the archive is ".txt"; only four characters go.
    EXPECT_EQ(archiveName(QStringLiteral("Estrazione.mdb"), t),
              QStringLiteral("Estrazione_20250307090503.txt"));
    EXPECT_EQ(archiveName(QStringLiteral("dati.js"), t), QStringLiteral("dat_20250307090503.txt"));
    // Too short to cut: kept whole rather than failing.
    EXPECT_EQ(archiveName(QStringLiteral("abc"), t), QStringLiteral("abc_20250307090503.txt"));
    const QDateTime late(QDate(2025, 12, 31), QTime(23, 59, 59));
    EXPECT_EQ(archiveName(QStringLiteral("Documento.txt"), late),
              QStringLiteral("Documento_20251231235959.txt"));
}

TEST(PollingCycleNote, CodeFormattedAsFourDigits) {
    EXPECT_EQ(PollingCycle::notaIncasso(12, QStringLiteral("Incasso diretto")),
              QStringLiteral("0012-Incasso diretto"));
    EXPECT_EQ(PollingCycle::notaIncasso(0, QStringLiteral("Codice non valido")),
              QStringLiteral("0000-Codice non valido"));
    EXPECT_EQ(PollingCycle::notaIncasso(12345, QStringLiteral("X")), QStringLiteral("12345-X"));
    EXPECT_EQ(PollingCycle::notaIncasso(-7, QStringLiteral("X")), QStringLiteral("-0007-X"));
}

class NotificationFilesTest : public TempDirTest {};

TEST_F(NotificationFilesTest, MatchesPrefixInAnyCaseInNameOrder) {
    for (const char* n : {"CKO205", "cki102", "CKI101", "CKI", "xCKI9", "CK1", "Cki103.txt"})
        writeBytes(QString::fromLatin1(n), "");
    QDir().mkdir(QStringLiteral("CKI999"));  // a folder is not a notification
#ifdef Q_OS_UNIX
    // Nor are the system files of Unix: a FIFO, a device (here through a link).
    ASSERT_EQ(::mkfifo("CKI105", 0600), 0);
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/null"), QStringLiteral("CKI106")));
#endif
    EXPECT_EQ(notificationFiles(dir(), QStringLiteral("CKI")),
              (QStringList{"CKI", "CKI101", "cki102", "Cki103.txt"}));
    EXPECT_EQ(notificationFiles(dir(), QStringLiteral("CKO")), QStringList{"CKO205"});
    QStringList others = noticeFiles(dir(), QStringLiteral("CKI")).others;
    others.sort();
#ifdef Q_OS_UNIX
    EXPECT_EQ(others, (QStringList{"CKI105", "CKI106", "CKI999"}));
#else
    EXPECT_EQ(others, QStringList{"CKI999"});
#endif
}

TEST_F(NotificationFilesTest, ArchiveNamesInUseGetASuffixAndMovesNeverReplace) {
    const QDateTime t(QDate(2025, 3, 7), QTime(9, 5, 3));
    EXPECT_EQ(freeArchiveName(QStringLiteral("Doc.txt"), t),
              QStringLiteral("Doc_20250307090503.txt"));
    writeBytes(QStringLiteral("Doc_20250307090503.txt"), "first");
    EXPECT_EQ(freeArchiveName(QStringLiteral("Doc.txt"), t),
              QStringLiteral("Doc_20250307090503_2.txt"));
    writeBytes(QStringLiteral("Doc_20250307090503_2.txt"), "second");
    EXPECT_EQ(freeArchiveName(QStringLiteral("Doc.txt"), t),
              QStringLiteral("Doc_20250307090503_3.txt"));

    writeBytes(QStringLiteral("a.txt"), "new");
    writeBytes(QStringLiteral("b.txt"), "old");
    EXPECT_THROW(moveFile(QStringLiteral("a.txt"), QStringLiteral("b.txt")), Error);
    EXPECT_EQ(readBytes(QStringLiteral("b.txt")), QByteArray("old"));
    moveFile(QStringLiteral("a.txt"), QStringLiteral("c.txt"));
    EXPECT_FALSE(exists(QStringLiteral("a.txt")));
    EXPECT_EQ(readBytes(QStringLiteral("c.txt")), QByteArray("new"));
    EXPECT_THROW(moveFile(QStringLiteral("missing.txt"), QStringLiteral("d.txt")), Error);
}

TEST(ClosingFileTest, ReadsLabelThenAmountLines) {
    const QStringList lines{
        QStringLiteral("RISTORANTE"),
        QStringLiteral("  Scontrino: 1"),
        QStringLiteral("Totale                 12,50"),
        QStringLiteral(" Scontrino: indented, not a label"),
        QStringLiteral("99,00"),
        QStringLiteral("  SCONTRINO: capitals, not a label"),
        QStringLiteral("77,00"),
        QStringLiteral("  Scontrino: 3"),
        QStringLiteral("-1.234,5"),
    };
    const auto c = parseClosingFile(lines, QStringLiteral("Doc.txt"));
    ASSERT_EQ(c.receipts.size(), 2u);
    EXPECT_EQ(c.receipts[0].amount, Currency::fromCents(1250));
    EXPECT_EQ(c.receipts[0].lineNumber, 3);
    EXPECT_EQ(c.receipts[1].amount, Currency::fromRaw(-12345000));
    EXPECT_EQ(c.receipts[1].lineNumber, 9);
    EXPECT_TRUE(c.problems.isEmpty());

    // A label is never the amount of the label before it, even when it ends
    // in a number: the first is reported, each later one keeps its receipt.
    const auto d = parseClosingFile(
        {QStringLiteral("  Scontrino: 1"), QStringLiteral("  Scontrino:              3,00"),
         QStringLiteral("Totale EUR            4,00"), QStringLiteral("  Scontrino: 3"),
         QStringLiteral("  Scontrino: 4"), QStringLiteral("5")},
        QStringLiteral("Doc.txt"));
    ASSERT_EQ(d.receipts.size(), 2u);
    EXPECT_EQ(d.receipts[0].amount, Currency::fromUnits(4));
    EXPECT_EQ(d.receipts[0].lineNumber, 3);
    EXPECT_EQ(d.receipts[1].amount, Currency::fromUnits(5));
    EXPECT_EQ(d.problems,
              (QStringList{QStringLiteral("Doc.txt, riga 1: scontrino senza riga dell'importo"),
                           QStringLiteral("Doc.txt, riga 4: scontrino senza riga dell'importo")}));
}

// The same closing file and charge lines give the same amounts whatever the
// process's locale; a malformed amount is refused, never guessed.
TEST(ClosingFileTest, AmountsIgnoreTheLocale) {
    const QStringList closing{
        QStringLiteral("  Scontrino:"), QStringLiteral("Contanti EUR            12,50"),
        QStringLiteral("  Scontrino:"), QStringLiteral("Tot:1234567890123,45"),
        QStringLiteral("  Scontrino:"), QStringLiteral("    1.234.567,8"),
        QStringLiteral("  Scontrino:"), QStringLiteral("12.50"),
        QStringLiteral("  Scontrino:"), QStringLiteral("1,2,3,4"),
        QStringLiteral("  Scontrino:"), QStringLiteral("1.23,40"),
        QStringLiteral("  Scontrino:"), QStringLiteral("12.3456"),
        QStringLiteral("  Scontrino:"), QStringLiteral("\u0661\u0662"),
    };
    const QString charge = QStringLiteral(" 101 250307") + QString(45, QLatin1Char(' '));
    const QLocale before;
    for (const char* name : {"C", "C.UTF-8", "it_IT.UTF-8", "en_US.UTF-8"}) {
        SCOPED_TRACE(name);
        QLocale::setDefault(QLocale(QString::fromLatin1(name)));
        const auto c = parseClosingFile(closing, QStringLiteral("Doc.txt"));
        ASSERT_EQ(c.receipts.size(), 3u);
        EXPECT_EQ(c.receipts[0].amount, Currency::fromCents(1250));
        // Only the last 14 characters are read.
        EXPECT_EQ(c.receipts[1].amount, Currency::fromCents(3456789012345));
        EXPECT_EQ(c.receipts[2].amount, Currency::fromCents(123456780));
        ASSERT_EQ(c.problems.size(), 5);
        EXPECT_EQ(c.problems[0], QStringLiteral("Doc.txt, riga 8: importo non valido \"12.50\" "
                                                "(atteso come 1.234,56)"));
        EXPECT_TRUE(c.problems[1].contains(QStringLiteral("\"1,2,3,4\"")));

        EXPECT_EQ(charge::amount(charge + QStringLiteral("  1250")), Currency::fromCents(1250));
        EXPECT_EQ(charge::amount(charge + QStringLiteral("- 1250")), Currency::fromCents(-1250));
        EXPECT_EQ(charge::amount(charge + QStringLiteral(" 12,50")), Currency::fromRaw(1250));
        EXPECT_FALSE(charge::amount(charge + QStringLiteral("1.2345")));
        EXPECT_FALSE(charge::amount(charge + QStringLiteral(" 12.50")));
        EXPECT_FALSE(charge::amount(charge + QStringLiteral("1,2,34")));
        EXPECT_FALSE(charge::amount(charge + QStringLiteral("      ")));
    }
    QLocale::setDefault(before);
}

TEST(ClosingFileTest, BadReceiptsAreSkippedAndNamed) {
    const QStringList lines{
        QStringLiteral("  Scontrino: 1"), QStringLiteral("Totale   dodici"),
        QStringLiteral("  Scontrino: 2"), QStringLiteral("            "),
        QStringLiteral("  Scontrino: 3"), QStringLiteral("5,00"),
        QStringLiteral("  Scontrino: 4"),
    };
    const auto c = parseClosingFile(lines, QStringLiteral("Doc_1.txt"));
    ASSERT_EQ(c.receipts.size(), 1u);
    EXPECT_EQ(c.receipts[0].amount, Currency::fromUnits(5));
    ASSERT_EQ(c.problems.size(), 3);
    EXPECT_TRUE(c.problems[0].startsWith(QStringLiteral("Doc_1.txt, riga 2:")));
    EXPECT_TRUE(c.problems[1].startsWith(QStringLiteral("Doc_1.txt, riga 4:")));
    EXPECT_TRUE(c.problems[2].startsWith(QStringLiteral("Doc_1.txt, riga 7:")));
    EXPECT_TRUE(parseClosingFile({}, {}).receipts.empty());
}

TEST(GuestListTest, DatesAndColumns) {
    EXPECT_EQ(isoDate(QStringLiteral("20250307")), QStringLiteral("2025-03-07"));
    EXPECT_EQ(isoDate(QString()), QStringLiteral("--"));
    EXPECT_EQ(isoDate(QStringLiteral("2025")), QStringLiteral("2025--"));

    const QString longName = QStringLiteral("Bartolomeo Giangiacomo Ferdinando Rossi-Verdi");
    const QString guest = clientiLine({QStringLiteral("101"), longName.left(40),
                                       QStringLiteral("2025-03-01"), QStringLiteral("2025-03-09")});
    EXPECT_EQ(guest.size(), 68);
    EXPECT_EQ(guest, QStringLiteral("101    ") + longName.left(40) +
                         QStringLiteral("2025-03-01 2025-03-09"));
    const QString departure = clientiLine(
        {QStringLiteral("1A"), QStringLiteral(" "), QStringLiteral(" "), QStringLiteral(" ")});
    EXPECT_EQ(departure, QStringLiteral("1A") + QString(48, QLatin1Char(' ')));
    EXPECT_EQ(departure.size(), 50);
    // A name longer than 40 characters in the database is still cut in the list.
    EXPECT_EQ(
        clientiLine({QStringLiteral("7"), longName, QStringLiteral("--"), QStringLiteral("--")})
            .mid(7, 40),
        longName.left(40));

    const QStringList lines =
        clientiLines({{QString(), QStringLiteral("x"), {}, {}},
                      {QStringLiteral("102"), QStringLiteral("Zoë"), QStringLiteral("2025-03-01"),
                       QStringLiteral("2025-03-02")}});
    ASSERT_EQ(lines.size(), 1);
    EXPECT_EQ(encodeCp1252(lines[0]).mid(7, 3), QByteArray("Zo\xEB"));
}

// A tick over POS files written by other programs; the transfer does nothing,
// so the lines taken stay pending for a look.
class PosContentTest : public test::PollingHotel {
protected:
    void SetUp() override {
        PollingHotel::SetUp();
        settings.codiceIncassi = 12;
        addItem(12, QStringLiteral("Incasso diretto"));
        ws = std::make_unique<db::Workspace>();
        store = std::make_unique<ChargeStore>(*ws);
        cycle = std::make_unique<PollingCycle>(settings, services, *store,
                                               [] { return TransferRun{}; });
    }
    void TearDown() override {
        cycle.reset();
        store.reset();
        ws.reset();
        PollingHotel::TearDown();
    }
    // Ticks until the tick has taken the file (a few ticks at most).
    void take(const QString& name) {
        for (int i = 0; i < 3 && exists(name); ++i) ASSERT_TRUE(cycle->tick());
        ASSERT_FALSE(exists(name)) << name.toStdString();
    }

    Settings settings;
    std::unique_ptr<db::Workspace> ws;
    std::unique_ptr<ChargeStore> store;
    std::unique_ptr<PollingCycle> cycle;
};

TEST_F(PosContentTest, LfOnlyFilesAreReadLineByLine) {
    writeBytes(QStringLiteral("Estrazione.mdb"), "uno\ndue\n\ntre\r\nquattro\rcinque");
    {
        // Written a minute ago: its last line, without an end, is complete.
        QFile f(path(QStringLiteral("Estrazione.mdb")));
        ASSERT_TRUE(f.open(QIODevice::Append));
        ASSERT_TRUE(f.setFileTime(clock.current.addSecs(-PollingCycle::HeldLineSeconds),
                                  QFileDevice::FileModificationTime));
    }
    take(QStringLiteral("Estrazione.mdb"));
    EXPECT_EQ(store->pending(), (QStringList{"uno", "due", "", "tre", "quattro", "cinque"}));
    EXPECT_TRUE(store->errors().isEmpty());

    writeBytes(
        QStringLiteral("Documento.txt"),
        "  Scontrino: 1\nTotale EUR           12,50\n  Scontrino: 2\nTotale EUR            7,00\n");
    take(QStringLiteral("Documento.txt"));
    const auto rows = incassi();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].importo, Currency::fromCents(1250));
    EXPECT_EQ(rows[1].importo, Currency::fromCents(700));
    EXPECT_TRUE(dialogs.notices.empty());
}

TEST_F(PosContentTest, ALineTooLongForTheStoreBlocksNothing) {
    // An LF-only file of 8.4 MB, or one line of 8.4 million characters.
    const QByteArray giant(8'400'000, 'x');
    writeBytes(QStringLiteral("Estrazione.mdb"), "uno\r\n" + giant + "\r\ndue\r\n");
    take(QStringLiteral("Estrazione.mdb"));
    EXPECT_EQ(store->pending(), (QStringList{"uno", "due"}));
    EXPECT_EQ(store->errors(), QStringList{QString(ChargeStore::MaxLineLength, QLatin1Char('x'))});
    ASSERT_EQ(dialogs.notices.size(), 1u);
    EXPECT_EQ(dialogs.notices[0].first, QStringLiteral("Addebiti"));
    // The next file and the notices after it are taken as usual.
    writeBytes(QStringLiteral("Estrazione.mdb"), "tre\r\n");
    writeBytes(QStringLiteral("CKI101"), "");
    take(QStringLiteral("Estrazione.mdb"));
    EXPECT_EQ(store->pending(), (QStringList{"uno", "due", "tre"}));
    EXPECT_FALSE(exists(QStringLiteral("CKI101")));
}

TEST_F(PosContentTest, Utf8FilesAreListedNotPosted) {
    // "CAFFè" in UTF-8 is one byte longer: read as Windows-1252 the amount
    // 000150 in columns 57 to 62 would shift by one column.
    const QByteArray line = " 101 250307                CAFF\xC3\xA8                001     000150";
    writeBytes(QStringLiteral("Estrazione.mdb"), line + "\r\n" + line + "\r\n");
    take(QStringLiteral("Estrazione.mdb"));
    EXPECT_TRUE(store->pending().isEmpty());
    const QString text = QString::fromUtf8(line);
    EXPECT_EQ(store->errors(), (QStringList{text, text}));
    ASSERT_EQ(dialogs.notices.size(), 1u);
    EXPECT_EQ(dialogs.notices[0].first, QStringLiteral("Addebiti"));
    EXPECT_TRUE(dialogs.notices[0].second.contains(QStringLiteral("UTF-8")));

    // The same line in Windows-1252 ("è" one byte) is posted as usual.
    writeBytes(QStringLiteral("Estrazione.mdb"),
               " 101 250307                CAFF\xE8                001     000150\r\n");
    take(QStringLiteral("Estrazione.mdb"));
    EXPECT_EQ(store->pending(),
              QStringList{decodeCp1252(
                  " 101 250307                CAFF\xE8                001     000150")});

    // A closing file in UTF-8: none of its receipts is imported; told.
    writeBytes(QStringLiteral("Documento.txt"),
               "  Scontrino: 1 caff\xC3\xA8\r\nTotale EUR            1,50\r\n");
    take(QStringLiteral("Documento.txt"));
    EXPECT_TRUE(incassi().empty());
    ASSERT_EQ(dialogs.notices.size(), 2u);
    EXPECT_EQ(dialogs.notices[1].first, QStringLiteral("Incassi"));
    const auto c = parseClosingText(
        PosText{{QStringLiteral("  Scontrino: 1"), QStringLiteral("Totale EUR            1,50")},
                true},
        QStringLiteral("Doc.txt"));
    EXPECT_TRUE(c.receipts.empty());
    EXPECT_EQ(c.problems, QStringList{QStringLiteral(
                              "Doc.txt, riga 2: file in UTF-8 invece di Windows-1252 (importo "
                              "\"1,50\")")});
}

}  // namespace
}  // namespace quorvel
