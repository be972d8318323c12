// quorvel-storico: each command's files byte for byte, the clearing that
// keeps a line added after the listing, bad arguments. quorvel-journal: a
// find, the history with its reasons, a CSV reconciliation, bad arguments.
#include "hotel/HotelSchema.h"
#include "journal/JournalCli.h"
#include "print/PcLocalGuard.h"
#include "print/PrinterTables.h"
#include "storico/StoricoCli.h"
#include "support/TempDir.h"
#include "support/TestSmtp.h"
#include "transfer/ChargeStore.h"
#include "transfer/PosLine.h"
#include "transfer/PostingJournal.h"

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
    EXPECT_TRUE(out.contains(", 1 pagina)")) << out.toStdString();
}

TEST_F(StoricoCliTest, ClearingKeepsLinesAddedAfterTheListingAndBadArgumentsAreRefused) {
    ASSERT_EQ(run({"elenca"}), 0);
    store->appendErrors({QStringLiteral("arrivata dopo")});
    ASSERT_EQ(run({"cancella", "--conferma", "2"}), 0) << err.toStdString();
    EXPECT_EQ(out, "2 righe cancellate; 1 riga arrivata dopo l'elenco resta\n");
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

TEST_F(StoricoCliTest, JournalFindsChargesListsReasonsAndReconciles) {
    const QString file = QStringLiteral("Estrazione_20250307090503.txt");
    const auto errors = store->errorLines();
    std::vector<JournalEntry> rows(3);
    for (int i = 0; i < 3; ++i) {
        rows[i].archive = file;
        rows[i].lineNo = i + 1;
        rows[i].day = QStringLiteral("20250307");
        rows[i].room = rows[i].posRoom = QStringLiteral("203");
    }
    rows[0].line = QStringLiteral(" 203 250307 PRANZO");
    rows[0].amount = Currency::fromCents(1250);
    rows[0].outcome = Esito::Camera;
    rows[1].amount = Currency::fromCents(250);
    rows[1].outcome = Esito::Storico;
    rows[1].errorId = errors[0].id;
    rows[1].reasonText =
        QStringLiteral("Nessun ospite in casa né cliente esterno per la camera 203");
    rows[2].amount = Currency::fromCents(100);
    rows[2].outcome = Esito::Storico;
    rows[2].errorId = errors[1].id;
    rows[2].room = QStringLiteral("77");
    PostingJournal& journal = store->journal();
    journal.add(rows);
    journal.addReceived({{file, QStringLiteral("20250307"), 3, Currency::fromCents(1600)}});
    auto journalRun = [&](const QStringList& args) {
        out.clear();
        err.clear();
        QTextStream o(&out), e(&err);
        FakeClock clock;  // 7 March 2025
        return runJournal(QStringList{"quorvel-journal"} + args, o, e, &clock);
    };

    ASSERT_EQ(journalRun({"cerca", "--camera", "203", "--importo", "12,50"}), 0)
        << err.toStdString();
    EXPECT_EQ(out, "1 | 07/03/2025 | 203 | 12,50 | addebitato in camera | " + file +
                       " riga 1 | 203 250307 PRANZO\n");
    ASSERT_EQ(journalRun({"cerca", "--giorno", "07/03/2025", "--testo", "pranzo", "--csv"}), 0);
    EXPECT_EQ(out.count('\n'), 2) << out.toStdString();
    ASSERT_EQ(journalRun({"errori"}), 0);
    EXPECT_EQ(out, QString::fromUtf8("1 | Nessun ospite in casa né cliente esterno per la camera "
                                     "203 | 12 CAFFÈ 2,50\n2 | nello storico errori | 77 ACQUA "
                                     "1,00\n"));

    ASSERT_EQ(journalRun({"quadratura", "--csv"}), 0) << err.toStdString();  // today
    const QString totals =
        "07/03/2025;Totale giorno;Ricevute dalla cassa;3;16,00\n"
        "07/03/2025;Totale giorno;Addebitate in camera;1;12,50\n"
        "07/03/2025;Totale giorno;di cui riparate dallo storico;0;0,00\n"
        "07/03/2025;Totale giorno;Addebitate a clienti esterni;0;0,00\n"
        "07/03/2025;Totale giorno;di cui riparate dallo storico;0;0,00\n"
        "07/03/2025;Totale giorno;Nello storico errori;2;3,50\n"
        "07/03/2025;Totale giorno;Cancellate dallo storico;0;0,00\n"
        "07/03/2025;Totale giorno;In attesa;0;0,00\n"
        "07/03/2025;Totale giorno;Sconti senza addebito, ignorati;0;0,00\n";
    EXPECT_TRUE(out.startsWith("Giorno;File;Voce;Righe;Importo\n07/03/2025;" + file +
                               ";Ricevute dalla cassa;3;16,00\n"))
        << out.toStdString();
    EXPECT_TRUE(out.endsWith(totals + "07/03/2025;Totale giorno;Quadratura;OK;\n"
                                      "07/03/2025;Totale giorno;Incassi importati;0;0,00\n"))
        << out.toStdString();
    // An error line cleared behind the program's back: a difference, status 3.
    store->database().openRecordset("Errori")->removeAll(
        QStringLiteral("Progressivo = %1").arg(errors[0].id));
    ASSERT_EQ(journalRun({"quadratura", "--giorno", "20250307", "--csv"}), 3);
    EXPECT_TRUE(out.contains("07/03/2025;Totale giorno;Differenza;1;2,50\n")) << out.toStdString();

    const QByteArray before = readBytes("QuorvelCoda.db");
    const std::pair<QStringList, const char*> bad[] = {
        {{}, "manca il comando"},
        {{"trova"}, "comando sconosciuto: trova"},
        {{"cerca", "--importo", "dodici"}, "non \"dodici\""},
        {{"cerca", "--giorno", "20250231"}, "--giorno vuole un giorno"},
        {{"cerca", "--camera"}, "manca il valore di --camera"},
        {{"cerca", "--csv", "--csv"}, "opzione ripetuta: --csv"},
        {{"errori", "--giorno", "20250307"}, "opzione sconosciuta per errori: --giorno"},
        {{"quadratura", "--giorno", "20250307", "--al", "20250308"}, "non va insieme"},
        {{"quadratura", "--dal", "20250307"}, "--dal e --al insieme"},
        {{"quadratura", "--dal", "20250308", "--al", "20250307"}, "viene prima di --dal"},
        {{"--workdir", path("manca"), "errori"}, "cartella non trovata"},
    };
    for (const auto& [args, why] : bad) {
        EXPECT_EQ(journalRun(args), 2) << args.join(' ').toStdString();
        EXPECT_TRUE(err.contains(QString::fromUtf8(why))) << err.toStdString();
    }
    EXPECT_EQ(readBytes("QuorvelCoda.db"), before);

    // Repairs, in a hotel of their own: a bad answer changes nothing; a
    // line posts once.
    QDir().mkdir(path("albergo"));
    hotel::createHotelDatabases(path("albergo"));
    QDir::setCurrent(path("albergo"));
    writeBytes("albergo/Quorvel.txt",
               "Estrazione.mdb\r\n 0 \r\n 0 \r\n 0 \r\n 1 \r\n 0 \r\nDocumento.txt\r\n");
    db::Workspace hotelWs;
    addRow(hotelWs, db::SchedaClienteMdb, QStringLiteral("Scheda_Cliente"),
           {{QStringLiteral("NumeroHotel"), 1},
            {QStringLiteral("NumeroProgressivo"), 7},
            {QStringLiteral("NumeroCamera"), QStringLiteral("101")},
            {QStringLiteral("NumeroComponente"), 1},
            {QStringLiteral("Partito"), QStringLiteral("N")}});
    PosLine late;
    late.room = QStringLiteral("555");
    ChargeStore hotelStore(hotelWs);
    hotelStore.appendErrors({late.text(), PosLine{}.text()});
    EXPECT_EQ(journalRun({"assegna-camera", "1", "555"}), 2);
    EXPECT_TRUE(err.contains("Riga 1: ")) << err.toStdString();
    EXPECT_EQ(journalRun({"riprova", "2", "9"}), 2);
    EXPECT_TRUE(err.contains("la riga 9 non è nello storico errori")) << err.toStdString();
    EXPECT_EQ(journalRun({"riprova", "1"}), 1);  // room 555 has no guest yet
    EXPECT_EQ(hotelStore.errorLines().size(), 2u);
    ASSERT_EQ(journalRun({"assegna-camera", "1", "101"}), 0) << err.toStdString();
    EXPECT_EQ(out, "Riga 1: Addebito registrato sul conto della camera 101\n");
    EXPECT_EQ(journalRun({"assegna-camera", "1", "101"}), 2);  // posted already
    ASSERT_EQ(journalRun({"riprova", "2"}), 0) << err.toStdString();
    EXPECT_TRUE(hotelStore.errorLines().empty());
    EXPECT_EQ(journalRun({"cerca", "--camera", "101"}), 0);
    EXPECT_EQ(out.count("addebitato in camera (Assegna a camera)"), 1) << out.toStdString();
    EXPECT_EQ(out.count("addebitato in camera (Riprova)"), 1) << out.toStdString();
}

}  // namespace
}  // namespace quorvel::test
