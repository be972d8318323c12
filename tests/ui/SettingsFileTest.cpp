// The settings file's bytes and readings, and the settings menu's questions.
#include "platform/Error.h"
#include "platform/Settings.h"
#include "support/TempDir.h"
#include "ui/SettingsMenu.h"

#include <QFile>
#ifndef _WIN32
#include <sys/stat.h>
#endif

using namespace quorvel;
using quorvel::test::FakeDialogs;
using quorvel::test::TempDirTest;

namespace {

const QByteArray kNewFile =
    "Estrazione.mdb\r\n 0 \r\n 0 \r\n 0 \r\n 0 \r\n 0 \r\nDocumento.txt\r\n";

class SettingsFileTest : public TempDirTest {};

TEST_F(SettingsFileTest, NewFileBytesAndReadBack) {
    createSettingsFile();
    EXPECT_EQ(readBytes("Quorvel.txt"), kNewFile);
    const Settings s = readSettingsFile();
    EXPECT_EQ(s.fileOrigine, "Estrazione.mdb");
    EXPECT_EQ(s.fileIncassi, "Documento.txt");
    EXPECT_EQ(s.codicePranzo, 0);
    EXPECT_EQ(s.codiceIncassi, 0);

    Settings t;
    t.fileOrigine = QStringLiteral(" C:\\POS\\Estrazione è.txt ");
    t.codiceCena = -3;
    t.codiceGenerico = 32767;
    writeSettingsFile(t);
    EXPECT_EQ(readBytes("Quorvel.txt"),
              QByteArray(" C:\\POS\\Estrazione \xE8.txt \r\n 0 \r\n-3 \r\n 0 \r\n 32767 \r\n 0 \r\n"
                         "Documento.txt\r\n"));
    const Settings back = readSettingsFile();
    EXPECT_EQ(back.fileOrigine, t.fileOrigine);  // blanks kept
    EXPECT_EQ(back.codiceCena, -3);
    EXPECT_EQ(back.codiceGenerico, 32767);
}

TEST_F(SettingsFileTest, CodesAreReadLeniently) {
    writeBytes("Quorvel.txt", "a.mdb\r\n12abc\r\n  7  \r\n\r\n2.5\r\n3.5\r\nb.txt\r\n");
    Settings s = readSettingsFile();
    EXPECT_EQ(s.codicePranzo, 12);
    EXPECT_EQ(s.codiceCena, 7);
    EXPECT_EQ(s.codiceBevande, 0);
    EXPECT_EQ(s.codiceGenerico, 2);
    EXPECT_EQ(s.codiceIncassi, 4);

    writeBytes("Quorvel.txt", "a.mdb\r\nletters\r\n- 1 2\r\n-2.5\r\n1 5\r\n 0 \r\nb.txt");
    QStringList unusable;
    s = readSettingsFile(kSettingsFile, &unusable);
    EXPECT_EQ(unusable,
              QStringList{QString::fromUtf8("riga 2 (CodicePranzo) non è un numero, uso 0")});
    EXPECT_EQ(s.codicePranzo, 0);
    EXPECT_EQ(s.codiceCena, -12);
    EXPECT_EQ(s.codiceBevande, -2);
    EXPECT_EQ(s.codiceGenerico, 15);
    EXPECT_EQ(s.fileIncassi, "b.txt");  // the last line needs no end
}

TEST_F(SettingsFileTest, ShortFileAndOutOfRangeCodesTakeDefaults) {
    const QByteArray shortFile = "pos.txt\r\n 5 \r\n99999\r\n-32768\r\n";
    writeBytes("Quorvel.txt", shortFile);
    const Settings s = readSettingsFile();
    EXPECT_EQ(s.fileOrigine, "pos.txt");
    EXPECT_EQ(s.codicePranzo, 5);
    EXPECT_EQ(s.codiceCena, 0);  // 99999 doesn't fit: default, not wrapped
    EXPECT_EQ(s.codiceBevande, -32768);
    EXPECT_EQ(s.codiceGenerico, 0);
    EXPECT_EQ(s.fileIncassi, "Documento.txt");
    EXPECT_EQ(readBytes("Quorvel.txt"), shortFile);  // reading never rewrites

    writeBytes("Quorvel.txt", "");
    EXPECT_EQ(readSettingsFile().fileOrigine, "Estrazione.mdb");

    // A byte-order mark is no part of FileOrigine; LF-only line ends are named.
    writeBytes("Quorvel.txt", "\xEF\xBB\xBFpos.txt\r\n 5 \r\n");
    EXPECT_EQ(readSettingsFile().fileOrigine, "pos.txt");
    writeBytes("Quorvel.txt", "pos.txt\n 5 \n 6 \n");
    try {
        readSettingsFile();
        ADD_FAILURE() << "LF-only settings read";
    } catch (const Error& e) {
        EXPECT_TRUE(e.cause().startsWith("le righe finiscono con LF invece di CR LF"));
    }
}

TEST_F(SettingsFileTest, UnreadableAndBinaryFiles) {
    // Not a regular file: refused before any open, so a FIFO cannot block.
    ASSERT_TRUE(QDir(dir()).mkdir("Quorvel.txt"));
    EXPECT_THROW(readSettingsFile(), Error);
    EXPECT_THROW(loadSettingsFile(), Error);
    ASSERT_TRUE(QDir(dir()).rmdir("Quorvel.txt"));
#ifndef _WIN32
    ASSERT_EQ(mkfifo(qPrintable(path("Quorvel.txt")), 0600), 0);
    EXPECT_THROW(readSettingsFile(), Error);
    ASSERT_TRUE(QFile::remove(path("Quorvel.txt")));
#endif

    // Binary garbage is read as far as it goes, and every unusable value named.
    writeBytes("Quorvel.txt", QByteArray("\x7f"
                                         "ELF\x02\x01\x00\r\n\x00\x00\r\n 3 \r\n\xff\xfe\r\n"
                                         "\r\n7\r\nDoc\x1b.txt\r\n",
                                         37));
    QStringList unusable;
    const Settings s = readSettingsFile(kSettingsFile, &unusable);
    EXPECT_EQ(
        unusable,
        (QStringList{QString::fromUtf8("riga 1 (FileOrigine) contiene caratteri di controllo"),
                     QString::fromUtf8("riga 7 (FileIncassi) contiene caratteri di controllo"),
                     QString::fromUtf8("riga 2 (CodicePranzo) non è un numero, uso 0"),
                     QString::fromUtf8("riga 4 (CodiceBevande) non è un numero, uso 0")}));
    EXPECT_EQ(s.codiceCena, 3);
    EXPECT_EQ(s.codiceGenerico, 0);  // a blank line is a code never set, not garbage
    EXPECT_EQ(s.codiceIncassi, 7);
    EXPECT_FALSE(s.unreadable);

    // loadSettingsFile creates a missing file first.
    ASSERT_TRUE(QFile::remove(path("Quorvel.txt")));
    EXPECT_EQ(loadSettingsFile().fileOrigine, "Estrazione.mdb");
    EXPECT_EQ(readBytes("Quorvel.txt"), kNewFile);
}

TEST_F(SettingsFileTest, CodeItemCreatesFileAndWritesAnswer) {
    Settings settings;
    FakeDialogs dialogs;
    dialogs.inputs = {QStringLiteral("15")};
    SettingsMenu menu(settings, dialogs);
    menu.menu2Click(2);
    ASSERT_EQ(dialogs.prompts.size(), 1u);
    EXPECT_EQ(dialogs.prompts[0].prompt,
              "Inserire il codice della voce di addebito\r\nprevista per il pranzo");
    EXPECT_EQ(dialogs.prompts[0].title, "Codice Voce");
    EXPECT_EQ(dialogs.prompts[0].defaultText, "0");
    EXPECT_EQ(readBytes("Quorvel.txt"),
              "Estrazione.mdb\r\n 15 \r\n 0 \r\n 0 \r\n 0 \r\n 0 \r\nDocumento.txt\r\n");
    EXPECT_EQ(settings.codicePranzo, 15);

    // 0, letters, a cancel and a number beyond 16 bits are asked again with
    // "0"; -3 is accepted. The other lines stay as the file had them.
    writeBytes("Quorvel.txt", "x.mdb\r\n 15 \r\n 1 \r\n 2 \r\n 3 \r\n 4 \r\n y.txt\r\n");
    dialogs.prompts.clear();
    dialogs.inputs = {QStringLiteral("0"), QStringLiteral("abc"), std::nullopt,
                      QStringLiteral("40000"), QStringLiteral("-3")};
    menu.menu2Click(6);
    ASSERT_EQ(dialogs.prompts.size(), 5u);
    EXPECT_EQ(dialogs.prompts[0].defaultText, "4");
    EXPECT_EQ(dialogs.prompts[0].prompt,
              "Inserire il codice della voce di addebito\r\nprevista per l'incasso diretto");
    for (size_t i = 1; i < 5; ++i) EXPECT_EQ(dialogs.prompts[i].defaultText, "0") << i;
    // Only the number beyond 16 bits needs a word of why, before the prompt.
    for (size_t i = 1; i < 4; ++i) EXPECT_EQ(dialogs.prompts[i].prompt, dialogs.prompts[0].prompt);
    EXPECT_EQ(dialogs.prompts[4].prompt,
              "Il codice deve essere compreso tra -32768 e 32767.\r\n" + dialogs.prompts[0].prompt);
    EXPECT_EQ(readBytes("Quorvel.txt"), "x.mdb\r\n 15 \r\n 1 \r\n 2 \r\n 3 \r\n-3 \r\n y.txt\r\n");
}

TEST_F(SettingsFileTest, FileItemsInsistOnANonBlankName) {
    createSettingsFile();
    Settings settings;
    FakeDialogs dialogs;
    dialogs.inputs = {QStringLiteral("   "), std::nullopt, QStringLiteral("  pos\\charges.txt ")};
    SettingsMenu(settings, dialogs).menu2Click(1);
    ASSERT_EQ(dialogs.prompts.size(), 3u);
    EXPECT_EQ(dialogs.prompts[0].title, "Nome File");
    EXPECT_EQ(dialogs.prompts[0].prompt,
              "Inserire il nome del file per l'importazione\r\ncompleto del percorso");
    EXPECT_EQ(dialogs.prompts[0].defaultText, "Estrazione.mdb");
    EXPECT_EQ(dialogs.prompts[1].defaultText, "   ");
    EXPECT_EQ(dialogs.prompts[2].defaultText, "");
    EXPECT_EQ(dialogs.prompts[2].prompt, dialogs.prompts[0].prompt);  // a blank needs no why
    EXPECT_EQ(readBytes("Quorvel.txt"),
              "  pos\\charges.txt \r\n 0 \r\n 0 \r\n 0 \r\n 0 \r\n 0 \r\nDocumento.txt\r\n");

    // A name the code page can't hold is asked again rather than mangled.
    dialogs.prompts.clear();
    dialogs.inputs = {QStringLiteral("chiusura\u4e2d.txt"), QStringLiteral("chiusura.txt")};
    SettingsMenu(settings, dialogs).menu2Click(7);
    ASSERT_EQ(dialogs.prompts.size(), 2u);
    EXPECT_EQ(dialogs.prompts[0].prompt,
              "Inserire il nome del file della chiusura\r\ncompleto del percorso");
    EXPECT_EQ(dialogs.prompts[1].prompt,
              QString::fromUtf8("Il nome contiene caratteri che il file delle impostazioni non "
                                "può contenere.\r\n") +
                  dialogs.prompts[0].prompt);
    EXPECT_EQ(dialogs.prompts[1].defaultText, QString::fromUtf8("chiusura\u4e2d.txt"));
    EXPECT_EQ(settings.fileIncassi, "chiusura.txt");

    // Never a file of the hotel or the program, nor a folder: asked again.
    dialogs.prompts.clear();
    dialogs.inputs = {QStringLiteral("scheda_cliente.MDB"), QStringLiteral("./Quorvel.log"),
                      QStringLiteral("."), QStringLiteral("Documento.txt")};
    SettingsMenu(settings, dialogs).menu2Click(7);
    ASSERT_EQ(dialogs.prompts.size(), 4u);
    EXPECT_EQ(dialogs.prompts[1].defaultText, "scheda_cliente.MDB");
    EXPECT_EQ(settings.fileIncassi, "Documento.txt");

    // Indices outside 1..7 do nothing.
    dialogs.prompts.clear();
    SettingsMenu(settings, dialogs).menu2Click(0);
    SettingsMenu(settings, dialogs).menu2Click(8);
    EXPECT_TRUE(dialogs.prompts.empty());
}

}  // namespace
