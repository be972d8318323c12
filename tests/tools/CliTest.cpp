// The quorvel-hotel command line: summaries on success, clear errors and a
// non-zero status on bad arguments, nothing written over an existing hotel.
#include "hotel/Cli.h"
#include "support/TempDir.h"
#include "tools/QtPrinters.h"

namespace quorvel {
namespace {

class CliTest : public test::TempDirTest {
protected:
    int run(const QStringList& args) {
        m_out.clear();
        m_err.clear();
        QTextStream out(&m_out), err(&m_err);
        return hotel::runCli(QStringList{QStringLiteral("quorvel-hotel")} + args, out, err);
    }
    QString m_out, m_err;
};

TEST_F(CliTest, CommandsWriteTheirFilesAndPrintOneLine) {
    ASSERT_EQ(run({QStringLiteral("create"), QStringLiteral("h"), QStringLiteral("--rooms"),
                   QStringLiteral("12"), QStringLiteral("--guests"), QStringLiteral("10"),
                   QStringLiteral("--account-rows"), QStringLiteral("50"), QStringLiteral("--seed"),
                   QStringLiteral("3")}),
              0)
        << m_err.toStdString();
    EXPECT_EQ(m_out.count(QLatin1Char('\n')), 1);
    EXPECT_TRUE(m_out.contains(QLatin1String("12 camere")));
    EXPECT_TRUE(m_out.contains(QLatin1String("50 righe di conto")));
    EXPECT_TRUE(exists(QStringLiteral("h/Conto_Cliente.mdb")));

    ASSERT_EQ(run({QStringLiteral("pos-charges"), QStringLiteral("Estrazione.mdb"),
                   QStringLiteral("--lines"), QStringLiteral("25"), QStringLiteral("--hotel"),
                   QStringLiteral("h")}),
              0)
        << m_err.toStdString();
    EXPECT_TRUE(m_out.contains(QLatin1String("25 righe")));
    EXPECT_EQ(readBytes(QStringLiteral("Estrazione.mdb")).count("\r\n"), 25);

    ASSERT_EQ(run({QStringLiteral("pos-closing"), QStringLiteral("Documento.txt"),
                   QStringLiteral("--receipts"), QStringLiteral("4")}),
              0);
    EXPECT_TRUE(m_out.contains(QLatin1String("4 scontrini")));
    EXPECT_EQ(readBytes(QStringLiteral("Documento.txt")).count("  Scontrino:"), 4);

    EXPECT_EQ(run({QStringLiteral("--help")}), 0);
    EXPECT_TRUE(m_out.contains(QLatin1String("pos-closing")));
}

TEST_F(CliTest, BadArgumentsAreRefusedWithAReason) {
    struct Case {
        QStringList args;
        int status;
        const char* reason;
    };
    const Case cases[] = {
        {{}, 2, "Uso:"},
        {{QStringLiteral("crea"), QStringLiteral("h")}, 2, "comando sconosciuto: crea"},
        {{QStringLiteral("create")}, 2, "manca la cartella"},
        {{QStringLiteral("create"), QStringLiteral("h"), QStringLiteral("--rooms"),
          QStringLiteral("molte")},
         2,
         "valore non valido per --rooms: 'molte'"},
        {{QStringLiteral("create"), QStringLiteral("h"), QStringLiteral("--guests"),
          QStringLiteral("-3")},
         2,
         "--guests"},
        {{QStringLiteral("create"), QStringLiteral("h"), QStringLiteral("--seed")},
         2,
         "manca il valore di --seed"},
        {{QStringLiteral("create"), QStringLiteral("h"), QStringLiteral("--colore"),
          QStringLiteral("blu")},
         2,
         "opzione sconosciuta per create: --colore"},
        {{QStringLiteral("create"), QStringLiteral("h"), QStringLiteral("k")},
         2,
         "argomento in più: k"},
        {{QStringLiteral("create"), QStringLiteral("h"), QStringLiteral("--date"),
          QStringLiteral("20250231")},
         2,
         "data non valida"},
        {{QStringLiteral("pos-charges"), QStringLiteral("e.txt")}, 2, "manca --lines"},
        {{QStringLiteral("pos-closing"), QStringLiteral("d.txt"), QStringLiteral("--lines"),
          QStringLiteral("3")},
         2,
         "opzione sconosciuta"},
        {{QStringLiteral("pos-charges"), QStringLiteral("e.txt"), QStringLiteral("--lines"),
          QStringLiteral("3"), QStringLiteral("--hotel"), QStringLiteral("nessuno")},
         1,
         "Scheda_Cliente.mdb: file non trovato"},
        // The password never on a command line, and never echoed back.
        {{QStringLiteral("create"), QStringLiteral("h"), QStringLiteral("--db"),
          QStringLiteral("host=x password=segreta")},
         1,
         "la password non va sulla riga di comando"},
        {{QStringLiteral("create"), QStringLiteral("h"), QStringLiteral("--db"),
          QStringLiteral("host='aperta password=segreta")},
         1,
         "la password non va sulla riga di comando"},
        {{QStringLiteral("create"), QStringLiteral("h"), QStringLiteral("--db"),
          QStringLiteral("nessun-file")},
         1,
         "non leggibile"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(QLatin1Char(' ')).toStdString());
        EXPECT_EQ(run(c.args), c.status);
        EXPECT_TRUE(m_err.contains(QString::fromUtf8(c.reason))) << m_err.toStdString();
        EXPECT_TRUE(m_out.isEmpty());
        EXPECT_FALSE(m_err.contains(QLatin1String("segreta")));
    }
    EXPECT_FALSE(exists(QStringLiteral("h")));
    EXPECT_FALSE(exists(QStringLiteral("e.txt")));

    // A second create over a hotel fails and names the file it would overwrite.
    ASSERT_EQ(run({QStringLiteral("create"), QStringLiteral("h"), QStringLiteral("--empty")}), 0);
    EXPECT_EQ(run({QStringLiteral("create"), QStringLiteral("h")}), 1);
    EXPECT_TRUE(m_err.contains(QString::fromUtf8("il file esiste già"))) << m_err.toStdString();
}

}  // namespace
}  // namespace quorvel
