// The subcommands of quorvel-storico, on the print layer and the store.
#include "storico/StoricoCli.h"

#include "db/Engine.h"
#include "platform/Error.h"
#include "platform/Log.h"
#include "platform/Plural.h"
#include "platform/Seams.h"
#include "polling/FolderStores.h"
#include "print/DelimitedExport.h"
#include "print/ErrorReport.h"
#include "print/MailHandover.h"
#include "print/PrintMenu.h"
#include "print/ReportFiles.h"
#include "transfer/ChargeStore.h"
#include "ui/QtPagePrinter.h"
#include "ui/QtShell.h"

#include <QDir>
#include <algorithm>
#include <optional>

namespace quorvel {

namespace {

const char kUsage[] =
    "Uso: quorvel-storico [--workdir CARTELLA] COMANDO [OPZIONI]\n"
    "\n"
    "Lo storico errori di Quorvel (QuorvelCoda.db della cartella di lavoro):\n"
    "  elenca                     mostra le righe e il numero dell'ultima\n"
    "  report                     scrive il file di stampa fd<PCLocal>\n"
    "  esporta                    scrive fd<PCLocal> e lo esporta in fd<PCLocal>.csv\n"
    "  stampa --destinazione NOME stampa sulla destinazione NOME di Stampanti.mdb\n"
    "  stampa --pdf               stampa sull'ultima destinazione il cui nome contiene PDF\n"
    "         [--stampante DISPOSITIVO] [--compressa] [--orizzontale] [--fronte-retro]\n"
    "  mail                       invia lo storico per e-mail (QuorvelMail.txt;\n"
    "                             senza quel file lo passa a Mailsh.exe come la finestra)\n"
    "  cancella --conferma N      cancella le righe fino alla numero N, quella che\n"
    "                             \"elenca\" indica come ultima; le righe arrivate dopo restano\n"
    "\n"
    "Stato di uscita: 0 riuscito, 1 non riuscito, 2 argomenti errati.\n";

// Without a window, a message box is a line on standard error; any message
// the print layer shows is a failure.
class ConsoleDialogs : public Dialogs {
public:
    explicit ConsoleDialogs(QTextStream& err) : m_err(err) {}
    MsgAnswer messageBox(const QString& text, const QString& title, MsgIcon, MsgButtons,
                         MsgAnswer answer) override {
        m_err << title << ": " << QString(text).replace(QStringLiteral("\n\n"), " ") << '\n';
        failed = true;
        return answer;
    }
    std::optional<QString> inputBox(const QString&, const QString&, const QString&) override {
        return std::nullopt;
    }
    void notify(const QString& title, const QString& text) override {
        m_err << title << ": " << text << '\n';
    }
    bool failed = false;

private:
    QTextStream& m_err;
};

struct BadArguments {
    QString why;
};

struct Options {
    QString command;
    QString destination;
    QString printer;
    bool pdf = false;
    bool compressed = false;
    bool landscape = false;
    bool duplex = false;
    std::optional<std::int32_t> confirmUpTo;
};

Options parse(QStringList args) {
    Options o;
    if (args.isEmpty())
        throw BadArguments{QStringLiteral("manca il comando")};
    o.command = args.takeFirst();
    static const QStringList commands = {"elenca", "report", "esporta",
                                         "stampa", "mail",   "cancella"};
    if (!commands.contains(o.command))
        throw BadArguments{QStringLiteral("comando sconosciuto: %1").arg(o.command)};
    const auto value = [&](const QString& option) {
        if (args.isEmpty() || args.front().startsWith(QStringLiteral("--")))
            throw BadArguments{QStringLiteral("manca il valore di %1").arg(option)};
        return args.takeFirst();
    };
    while (!args.isEmpty()) {
        const QString a = args.takeFirst();
        const bool printing = o.command == QLatin1String("stampa");
        if (printing && a == QLatin1String("--destinazione"))
            o.destination = value(a);
        else if (printing && a == QLatin1String("--stampante"))
            o.printer = value(a);
        else if (printing && a == QLatin1String("--pdf"))
            o.pdf = true;
        else if (printing && a == QLatin1String("--compressa"))
            o.compressed = true;
        else if (printing && a == QLatin1String("--orizzontale"))
            o.landscape = true;
        else if (printing && a == QLatin1String("--fronte-retro"))
            o.duplex = true;
        else if (o.command == QLatin1String("cancella") && a == QLatin1String("--conferma")) {
            const QString n = value(a);
            bool ok = false;
            const int id = n.toInt(&ok);
            if (!ok || id < 0)
                throw BadArguments{
                    QStringLiteral("--conferma vuole il numero dell'ultima riga mostrata da "
                                   "\"elenca\", non \"%1\"")
                        .arg(n)};
            o.confirmUpTo = id;
        } else
            throw BadArguments{QStringLiteral("opzione sconosciuta per %1: %2").arg(o.command, a)};
    }
    if (o.command == QLatin1String("stampa") && o.pdf == !o.destination.isEmpty())
        throw BadArguments{QStringLiteral("stampa vuole --destinazione NOME oppure --pdf")};
    if (o.command == QLatin1String("cancella") && !o.confirmUpTo)
        throw BadArguments{
            QStringLiteral("cancella vuole --conferma N, con N il numero dell'ultima riga "
                           "mostrata da \"elenca\"")};
    return o;
}

class Storico {
public:
    Storico(const Options& o, QTextStream& out, QTextStream& err, Shell* shell)
        : m_o(o), m_out(out), m_err(err), m_dialogs(err), m_shell(shell) {
        m_services.dialogs = &m_dialogs;
        m_services.clock = &m_clock;
        m_services.shell = shell ? shell : &m_qtShell;
    }

    int run() {
        ChargeStore store(m_ws);
        const QString& c = m_o.command;
        if (c == QLatin1String("elenca"))
            return elenca(store);
        if (c == QLatin1String("cancella"))
            return cancella(store);
        const QStringList lines = store.errors();
        writeErrorReport(lines);
        if (c == QLatin1String("report")) {
            m_out << plural(lines.size(), QStringLiteral("%1 riga scritta in %2\n"),
                            QStringLiteral("%1 righe scritte in %2\n"))
                         .arg(reportFileName());
            return 0;
        }
        if (c == QLatin1String("mail")) {
            const QString sent = InviaEMail(lines.join(QStringLiteral("\r\n")), *m_services.shell);
            m_out << (sent.isEmpty()
                          ? QStringLiteral("Testo passato a Mailsh.exe in %1").arg(mailFileName())
                          : sent)
                  << '\n';
            return 0;
        }
        // What the print menu does when it opens: the archive copy.
        QtPagePrinter printer;
        PrintMenu menu(m_services, printer, m_ws, 1);  // hotel 1, as the window works for
        menu.load();
        if (c == QLatin1String("esporta")) {
            ConvertiXLS(reportFileName());
            log::info(
                QStringLiteral("Esportazione di %1 in %2").arg(reportFileName(), exportFileName()));
            m_out << plural(lines.size(), QStringLiteral("%1 riga esportata in %2\n"),
                            QStringLiteral("%1 righe esportate in %2\n"))
                         .arg(exportFileName());
            return 0;
        }
        return stampa(menu, printer);
    }

private:
    int elenca(ChargeStore& store) {
        const std::vector<ChargeStore::Line> lines = store.errorLines();
        for (const auto& l : lines) m_out << log::escaped(l.text) << '\n';
        m_out.flush();
        if (lines.empty())
            m_err << "Storico errori vuoto.\n";
        else
            m_err << plural(static_cast<qint64>(lines.size()),
                            QStringLiteral("%1 riga nello storico errori, la numero %2. "
                                           "Per cancellarla: quorvel-storico cancella --conferma "
                                           "%2\n"),
                            QStringLiteral("%1 righe nello storico errori; l'ultima è la numero "
                                           "%2. Per cancellarle: quorvel-storico cancella "
                                           "--conferma %2\n"))
                         .arg(lines.back().id);
        return 0;
    }

    int cancella(ChargeStore& store) {
        // N must be a line of the history: the last one "elenca" showed. A
        // bigger number would clear lines nobody listed.
        const std::int32_t upTo = *m_o.confirmUpTo;
        const std::vector<ChargeStore::Line> before = store.errorLines();
        if (std::none_of(before.begin(), before.end(),
                         [upTo](const ChargeStore::Line& l) { return l.id == upTo; })) {
            m_err << QStringLiteral(
                         "quorvel-storico: la riga %1 non è nello storico errori%2; "
                         "nulla è stato cancellato (quorvel-storico elenca)\n")
                         .arg(upTo)
                         .arg(before.empty() ? QStringLiteral(", che è vuoto")
                                             : QStringLiteral(" (l'ultima è la numero %1)")
                                                   .arg(before.back().id));
            return 2;
        }
        const int removed = store.clearErrorsUpTo(upTo);
        const int left = static_cast<int>(store.errorLines().size());
        log::info(QStringLiteral("Storico errori cancellato fino alla riga %1 (%2)")
                      .arg(upTo)
                      .arg(counted(removed, QStringLiteral("riga"), QStringLiteral("righe"))));
        m_out << plural(removed, QStringLiteral("%1 riga cancellata"),
                        QStringLiteral("%1 righe cancellate"));
        if (left > 0)
            m_out << plural(left, QStringLiteral("; %1 riga arrivata dopo l'elenco resta"),
                            QStringLiteral("; %1 righe arrivate dopo l'elenco restano"));
        m_out << '\n';
        return 0;
    }

    int stampa(PrintMenu& menu, QtPagePrinter& printer) {
        const QStringList destinations = menu.activate();
        if (m_dialogs.failed)
            return 1;
        if (destinations.isEmpty()) {
            m_err << "Nessuna destinazione di stampa per l'albergo 1 in Stampanti.mdb\n";
            return 1;
        }
        PrintChoice choice;
        if (m_o.pdf) {
            const int at = lastPdfDestination(destinations);
            if (at < 0) {
                m_err << "Stampa: Nessuna stampante PDF impostata!\n";
                return 1;
            }
            choice.destination = destinations[at];
        } else if (!destinations.contains(m_o.destination)) {
            m_err << QStringLiteral("destinazione sconosciuta: %1 (destinazioni: %2)\n")
                         .arg(m_o.destination, destinations.join(QStringLiteral(", ")));
            return 2;
        } else {
            choice.destination = m_o.destination;
        }
        choice.printer = m_o.printer;
        choice.compressed = m_o.compressed;
        choice.landscape = m_o.landscape;
        choice.duplex = m_o.duplex;
        if (!menu.print(choice) || m_dialogs.failed)
            return 1;
        m_out << QStringLiteral("Stampato su %1").arg(choice.destination);
        if (!printer.outputName().isEmpty() && printer.pagesPrinted() > 0)
            m_out << QStringLiteral(" (%1, %2)")
                         .arg(printer.outputName(),
                              counted(printer.pagesPrinted(), QStringLiteral("pagina"),
                                      QStringLiteral("pagine")));
        m_out << '\n';
        return 0;
    }

    const Options& m_o;
    QTextStream& m_out;
    QTextStream& m_err;
    ConsoleDialogs m_dialogs;
    SystemClock m_clock;
    QtShell m_qtShell;
    Shell* m_shell;
    Services m_services;
    db::Workspace m_ws;
};

}  // namespace

int runStorico(const QStringList& argv, QTextStream& out, QTextStream& err, Shell* shell) {
    QStringList args = argv.mid(1);
    if (args.contains(QStringLiteral("--help")) || args.contains(QStringLiteral("-h"))) {
        out << kUsage;
        return 0;
    }
    if (args.size() >= 2 && args.front() == QLatin1String("--workdir")) {
        const QString dir = args[1];
        args = args.mid(2);
        if (!QDir::setCurrent(dir)) {
            err << QStringLiteral("quorvel-storico: cartella non trovata: %1\n").arg(dir);
            return 2;
        }
    }
    Options options;
    try {
        options = parse(args);
    } catch (const BadArguments& bad) {
        err << QStringLiteral("quorvel-storico: %1\n\n").arg(bad.why) << kUsage;
        return 2;
    }
    // As the program: QuorvelDB.txt may put the databases on a server.
    std::optional<ToolSession> session;
    try {
        session.emplace(QStringLiteral("quorvel-storico"), true);
        return Storico(options, out, err, shell).run();
    } catch (const std::exception& e) {
        const QString why = errorText(e);
        if (session)
            log::error(QStringLiteral("%1: %2").arg(options.command, why));
        err << QStringLiteral("quorvel-storico %1: %2\n").arg(options.command, why);
        return 1;
    }
}

}  // namespace quorvel
