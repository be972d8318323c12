// quorvel-storico: each command's files byte for byte, the clearing that
// keeps a line added after the listing, bad arguments. quorvel-journal: a
// find, the history with its reasons, a CSV reconciliation, bad arguments.
#include "hotel/HotelSchema.h"
#include "hotel/ServerCopy.h"
#include "journal/JournalCli.h"
#include "print/PcLocalGuard.h"
#include "print/PrinterTables.h"
#include "storico/StoricoCli.h"
#include "support/ServerDb.h"
#include "support/TempDir.h"
#include "support/TestSmtp.h"
#include "transfer/ChargeStore.h"
#include "transfer/ChargeTransfer.h"
#include "transfer/PosLine.h"
#include "transfer/PostingJournal.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>

namespace quorvel::test {
namespace {

// The rows of a CSV text as Python's csv module reads them (';'-separated).
QJsonArray pythonCsv(const QString& text) {
    QProcess python;
    python.start(QStringLiteral("python3"),
                 {QStringLiteral("-c"),
                  QStringLiteral("import csv, io, json, sys\n"
                                 "text = sys.stdin.buffer.read().decode('utf-8')\n"
                                 "rows = csv.reader(io.StringIO(text, newline=''), delimiter=';')\n"
                                 "print(json.dumps(list(rows)))\n")});
    python.write(text.toUtf8());
    python.closeWriteChannel();
    EXPECT_TRUE(python.waitForFinished(30000));
    EXPECT_EQ(python.exitCode(), 0) << python.readAllStandardError().toStdString();
    return QJsonDocument::fromJson(python.readAllStandardOutput()).array();
}

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
    // Only the number of a line in the history: 4 would clear lines nobody listed.
    EXPECT_EQ(run({"cancella", "--conferma", "4"}), 2);
    EXPECT_TRUE(err.contains("la riga 4 non è nello storico errori (l'ultima è la numero 3)"))
        << err.toStdString();
    EXPECT_EQ(store->errors().size(), 3);
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
    EXPECT_TRUE(err.contains("nessun giornale né storico errori")) << err.toStdString();
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
    EXPECT_EQ(out.count("\r\n"), 2) << out.toStdString();
    ASSERT_EQ(journalRun({"errori"}), 0);
    EXPECT_EQ(out, QString::fromUtf8("1 | Nessun ospite in casa né cliente esterno per la camera "
                                     "203 | 12 CAFFÈ 2,50\n2 | nello storico errori | 77 ACQUA "
                                     "1,00\n"));

    // A line feed, a tab, the separator, quotes, ESC and NUL in a line: one
    // field, as Python's csv module reads it back; the text output shows
    // the control bytes escaped as the log does.
    const QString odd = QStringLiteral("12 \"A;B\"\n\tC\x1b") + QChar(0) + QStringLiteral("D");
    const std::int32_t oddId = store->appendErrors({odd});
    ASSERT_EQ(journalRun({"errori", "--csv"}), 0);
    const QJsonArray csv = pythonCsv(out);
    ASSERT_EQ(csv.size(), 4) << out.toStdString();
    EXPECT_EQ(csv[0].toArray().size(), 3);
    EXPECT_EQ(csv[3].toArray()[0].toString(), QString::number(oddId));
    EXPECT_EQ(csv[3].toArray()[2].toString(), odd);
    EXPECT_EQ(csv[1].toArray()[2].toString(), QString::fromUtf8("12 CAFFÈ 2,50"));
    ASSERT_EQ(journalRun({"errori"}), 0);
    EXPECT_TRUE(out.endsWith(QStringLiteral("| 12 \"A;B\"\\x0A\\x09C\\x1B\\x00D\n")))
        << out.toStdString();
    store->database().openRecordset("Errori")->removeAll(
        QStringLiteral("Progressivo = %1").arg(oddId));

    ASSERT_EQ(journalRun({"quadratura", "--csv"}), 0) << err.toStdString();  // today
    const QString totals =
        "07/03/2025;Totale giorno;Ricevute dalla cassa;3;16,00\r\n"
        "07/03/2025;Totale giorno;Addebitate in camera;1;12,50\r\n"
        "07/03/2025;Totale giorno;di cui riparate dallo storico;0;0,00\r\n"
        "07/03/2025;Totale giorno;Addebitate a clienti esterni;0;0,00\r\n"
        "07/03/2025;Totale giorno;di cui riparate dallo storico;0;0,00\r\n"
        "07/03/2025;Totale giorno;Nello storico errori;2;3,50\r\n"
        "07/03/2025;Totale giorno;Cancellate dallo storico;0;0,00\r\n"
        "07/03/2025;Totale giorno;In attesa;0;0,00\r\n"
        "07/03/2025;Totale giorno;Sconti senza addebito, ignorati;0;0,00\r\n";
    EXPECT_TRUE(out.startsWith("Giorno;File;Voce;Righe;Importo\r\n07/03/2025;" + file +
                               ";Ricevute dalla cassa;3;16,00\r\n"))
        << out.toStdString();
    EXPECT_TRUE(out.endsWith(totals + "07/03/2025;Totale giorno;Quadratura;OK;\r\n"
                                      "07/03/2025;Totale giorno;Incassi importati;0;0,00\r\n"))
        << out.toStdString();
    // An error line cleared behind the program's back: a difference, status 3.
    store->database().openRecordset("Errori")->removeAll(
        QStringLiteral("Progressivo = %1").arg(errors[0].id));
    ASSERT_EQ(journalRun({"quadratura", "--giorno", "20250307", "--csv"}), 3);
    EXPECT_TRUE(out.contains("07/03/2025;Totale giorno;Differenza;1;2,50\r\n"))
        << out.toStdString();

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
    PosLine negative;
    negative.amount = QStringLiteral("-00100");
    ChargeStore hotelStore(hotelWs);
    hotelStore.appendErrors({late.text(), negative.text()});
    EXPECT_EQ(journalRun({"assegna-camera", "1", "555"}), 2);
    EXPECT_TRUE(err.contains("Riga 1: ")) << err.toStdString();
    EXPECT_EQ(journalRun({"riprova", "2", "9"}), 2);
    EXPECT_TRUE(err.contains("la riga 9 non è nello storico errori")) << err.toStdString();
    EXPECT_EQ(journalRun({"riprova", "1"}), 1);                // room 555 has no guest yet
    EXPECT_EQ(journalRun({"assegna-camera", "2", "101"}), 1);  // a line no room can take
    EXPECT_EQ(hotelStore.errorLines().size(), 2u);
    ASSERT_EQ(journalRun({"assegna-camera", "1", "101"}), 0) << err.toStdString();
    EXPECT_EQ(out, "Riga 1: Addebito registrato sul conto della camera 101\n");
    // In the program's log, with the tool and the user.
    const QString logged = QString::fromUtf8(readBytes("albergo/Quorvel.log"));
    EXPECT_EQ(logged.count(QRegularExpression(
                  "INFO  \\[quorvel-journal, utente [^]]+\\] Addebito dallo storico errori "
                  "registrato sul conto della camera 101: ")),
              1)
        << logged.toStdString();
    EXPECT_TRUE(logged.contains("] assegna-camera della riga 2 dello storico errori non riuscito"))
        << logged.toStdString();
    EXPECT_EQ(journalRun({"assegna-camera", "1", "101"}), 2);  // posted already
    EXPECT_EQ(hotelStore.errorLines().size(), 1u);
    EXPECT_EQ(journalRun({"cerca", "--camera", "101"}), 0);
    EXPECT_EQ(out.count("addebitato in camera (Assegna a camera)"), 1) << out.toStdString();
}

// With QuorvelDB.txt the tools read and repair on the server, as the
// program posts there; a local store left from before the switch is never
// opened: every tool says so and exits 1.
TEST_F(StoricoCliTest, ToolsFollowQuorvelDBAndRefuseAStoreLeftBehind) {
    auto journalRun = [&](const QStringList& args) {
        out.clear();
        err.clear();
        QTextStream o(&out), e(&err);
        return runJournal(QStringList{"quorvel-journal"} + args, o, e);
    };
    const QByteArray local = readBytes("QuorvelCoda.db");
    writeBytes("QuorvelDB.txt", "host=" + path("nessun-server").toUtf8() + " dbname=albergo\n");
    QFile::setPermissions(path("QuorvelDB.txt"), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    EXPECT_EQ(journalRun({"assegna-camera", "1", "101"}), 1);
    EXPECT_TRUE(err.contains(QString::fromUtf8("QuorvelCoda.db in ")) &&
                err.contains(QString::fromUtf8(" è rimasto da prima del passaggio al server di "
                                               "QuorvelDB.txt")))
        << err.toStdString();
    EXPECT_EQ(run({"cancella", "--conferma", "2"}), 1);
    EXPECT_TRUE(err.contains("è rimasto da prima del passaggio al server")) << err.toStdString();
    EXPECT_EQ(readBytes("QuorvelCoda.db"), local);
    EXPECT_FALSE(exists("Quorvel.log"));  // refused before anything is written

    if (testServer().isEmpty())
        return;
    ServerDb server;
    const QString hotelDir = path("server");
    QDir().mkdir(hotelDir);
    hotel::createHotelDatabases(hotelDir);
    writeBytes("server/Quorvel.txt",
               "Estrazione.mdb\r\n 0 \r\n 0 \r\n 0 \r\n 1 \r\n 0 \r\nDocumento.txt\r\n");
    QDir::setCurrent(hotelDir);
    auto guest = [](db::Workspace& w, int card, const char* room) {
        addRow(w, db::SchedaClienteMdb, QStringLiteral("Scheda_Cliente"),
               {{QStringLiteral("NumeroHotel"), 1},
                {QStringLiteral("NumeroProgressivo"), card},
                {QStringLiteral("NumeroCamera"), QString::fromLatin1(room)},
                {QStringLiteral("NumeroComponente"), 1},
                {QStringLiteral("Partito"), QStringLiteral("N")}});
    };
    {
        db::Workspace files;
        guest(files, 7, "101");
    }
    hotel::moveHotelToServer(hotelDir, server.conninfo());
    const auto config = db::readServerConfig();
    ASSERT_TRUE(config && config->refusal.isEmpty());
    db::Workspace serverWs(*config);
    {
        ChargeStore serverStore(serverWs);
        PosLine lost;
        lost.room = QStringLiteral("555");
        serverStore.appendChargesFile({{PosLine{}.text(), lost.text()}, false},
                                      QStringLiteral("Estrazione_20250131120000.txt"));
        Settings settings;
        settings.codiceGenerico = 1;
        ChargeTransfer(settings, serverStore).TrasferisciAddebiti();
    }
    EXPECT_FALSE(exists("server/QuorvelCoda.db"));

    ASSERT_EQ(journalRun({"errori"}), 0) << err.toStdString();
    EXPECT_EQ(out.count('\n'), 1);
    EXPECT_TRUE(out.startsWith("1 | Nessun ospite in casa né cliente esterno per la camera 555"))
        << out.toStdString();
    ASSERT_EQ(journalRun({"cerca", "--camera", "101"}), 0) << err.toStdString();
    EXPECT_TRUE(out.contains("| 15,00 | addebitato in camera |")) << out.toStdString();
    EXPECT_EQ(journalRun({"quadratura", "--giorno", "20250131"}), 0) << out.toStdString();
    guest(serverWs, 8, "555");
    ASSERT_EQ(journalRun({"riprova", "1"}), 0) << err.toStdString();
    EXPECT_EQ(
        server.raw("Conto_Cliente", "SELECT NumeroCamera, Importo FROM Conto_Cliente ORDER BY 1"),
        (QStringList{"101|150000", "555|150000"}));
    EXPECT_EQ(journalRun({"quadratura", "--giorno", "20250131"}), 0) << out.toStdString();
    ASSERT_EQ(run({"elenca"}), 0) << err.toStdString();
    EXPECT_EQ(err, "Storico errori vuoto.\n");
    EXPECT_FALSE(exists("server/QuorvelCoda.db"));
}

}  // namespace
}  // namespace quorvel::test
