// quorvel-storico: each command's files byte for byte, the clearing that
// keeps a line added after the listing, bad arguments.
#include "print/PcLocalGuard.h"
#include "print/PrinterTables.h"
#include "storico/StoricoCli.h"
#include "support/TempDir.h"
#include "support/TestSmtp.h"
#include "transfer/ChargeStore.h"

#include <QDir>

namespace quorvel::test {
namespace {

class StoricoCliTest : public TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        PcLocalGuard::set("PCLocal", "3");
        ws = printerHotel(QString());
        store = std::make_unique<ChargeStore>(*ws);
        store->appendErrors({QString::fromUtf8("12 CAFFÈ 2,50"), QStringLiteral("77 ACQUA 1,00")});
    }
    void TearDown() override {
        store.reset();
        ws.reset();
        TempDirTest::TearDown();
    }
    int run(const QStringList& args) {
        out.clear();
        err.clear();
        QTextStream o(&out), e(&err);
        return runStorico(QStringList{"quorvel-storico"} + args, o, e);
    }
    PcLocalGuard env;
    std::unique_ptr<db::Workspace> ws;
    std::unique_ptr<ChargeStore> store;
    QString out, err;
};

TEST_F(StoricoCliTest, CommandsWriteTheWindowsFiles) {
    ASSERT_EQ(run({"elenca"}), 0) << err.toStdString();
    EXPECT_EQ(out, QString::fromUtf8("12 CAFFÈ 2,50\n77 ACQUA 1,00\n"));
    EXPECT_TRUE(err.contains("l'ultima è la numero 2")) << err.toStdString();

    const QByteArray report = "12 CAFF\xC8 2,50\r\n77 ACQUA 1,00\r\n";
    ASSERT_EQ(run({"report"}), 0) << err.toStdString();
    EXPECT_EQ(readBytes("fd3"), report);
    ASSERT_EQ(run({"esporta"}), 0) << err.toStdString();
    EXPECT_EQ(readBytes("fd3.csv"),
              "12 CAFF\xC8\x80"
              "2.50\r\n77 ACQUA\x80"
              "1.00\r\n");
    EXPECT_EQ(QDir("doc").entryList({"fd3*.doc"}, QDir::Files).size(), 1);

    addDestination(*ws, QStringLiteral("Cassa"), 2, path("cassa.prn"));
    addDestination(*ws, QStringLiteral("PDF Ufficio"), 1, path("storico.pdf"));
    ASSERT_EQ(run({"stampa", "--destinazione", "Cassa", "--compressa"}), 0) << err.toStdString();
    EXPECT_EQ(readBytes("cassa.prn"),
              QByteArray("\x1b\x0f\0\0\0 \r\n12 CAFF\xE8 2,50\r\n77 ACQUA 1,00\r\n\f", 39));
    ASSERT_EQ(run({"stampa", "--pdf"}), 0) << err.toStdString();
    EXPECT_TRUE(readBytes("storico.pdf").startsWith("%PDF")) << out.toStdString();
    EXPECT_TRUE(out.contains("Stampato su PDF Ufficio")) << out.toStdString();
}

TEST_F(StoricoCliTest, ClearingKeepsLinesAddedAfterTheListingAndBadArgumentsAreRefused) {
    ASSERT_EQ(run({"elenca"}), 0);
    store->appendErrors({QStringLiteral("arrivata dopo")});
    ASSERT_EQ(run({"cancella", "--conferma", "2"}), 0) << err.toStdString();
    EXPECT_EQ(out, "2 righe cancellate; 1 righe arrivate dopo l'elenco restano\n");
    EXPECT_EQ(store->errors(), QStringList{"arrivata dopo"});

    addDestination(*ws, QStringLiteral("Cassa"), 2, path("cassa.prn"));
    const std::pair<QStringList, const char*> bad[] = {
        {{}, "manca il comando"},
        {{"boh"}, "comando sconosciuto: boh"},
        {{"cancella"}, "cancella vuole --conferma N"},
        {{"cancella", "--conferma", "tutto"}, "non \"tutto\""},
        {{"stampa"}, "--destinazione NOME oppure --pdf"},
        {{"stampa", "--destinazione"}, "manca il valore di --destinazione"},
        {{"elenca", "--pdf"}, "opzione sconosciuta per elenca: --pdf"},
        {{"stampa", "--destinazione", "Nessuna"}, "destinazione sconosciuta: Nessuna"},
        {{"--workdir", path("manca"), "elenca"}, "cartella non trovata"},
    };
    for (const auto& [args, why] : bad) {
        EXPECT_EQ(run(args), 2) << args.join(' ').toStdString();
        EXPECT_TRUE(err.contains(QString::fromUtf8(why))) << err.toStdString();
    }
    EXPECT_EQ(store->errors(), QStringList{"arrivata dopo"});
    // A folder that is not the program's: no store is made there.
    QDir().mkdir("altro");
    EXPECT_EQ(run({"--workdir", path("altro"), "elenca"}), 1);
    EXPECT_TRUE(err.contains("nessuno storico errori"));
    EXPECT_FALSE(QFile::exists(path("altro/QuorvelCoda.db")));
}

TEST_F(StoricoCliTest, MailSendsTheHistory) {
    QUORVEL_TEST_SMTP(smtp);
    writeMailSettings(smtp, {});
    const int before = smtp.count();
    ASSERT_EQ(run({"mail"}), 0) << err.toStdString();
    EXPECT_EQ(out, "E-mail inviata a ricevimento@hotel.example.\n");
    ASSERT_EQ(smtp.count(), before + 1);
    EXPECT_EQ(mailTextPart(smtp.message(before + 1)), "12 CAFF\xC3\x88 2,50\r\n77 ACQUA 1,00");
    EXPECT_EQ(readBytes("e-mail3.txt"), "OGGETTO\r\n12 CAFF\xC8 2,50\r\n77 ACQUA 1,00\r\n");
}

}  // namespace
}  // namespace quorvel::test
