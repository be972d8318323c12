// The subcommands of quorvel-journal, on the store's journal and queues.
#include "journal/JournalCli.h"

#include "db/Engine.h"
#include "platform/Error.h"
#include "platform/Log.h"
#include "platform/Plural.h"
#include "platform/Seams.h"
#include "platform/Settings.h"
#include "polling/FolderStores.h"
#include "transfer/ChargeRepair.h"
#include "transfer/ChargeStore.h"
#include "transfer/PostingJournal.h"
#include "transfer/Reconciliation.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QMap>
#include <algorithm>
#include <optional>

namespace quorvel {

namespace {

const char kUsage[] =
    "Uso: quorvel-journal [--workdir CARTELLA] COMANDO [OPZIONI]\n"
    "\n"
    "Il giornale degli addebiti di Quorvel (QuorvelCoda.db della cartella di lavoro):\n"
    "  cerca [--camera R] [--giorno AAAAMMGG | --dal AAAAMMGG --al AAAAMMGG]\n"
    "        [--importo 12,50] [--testo T] [--csv]\n"
    "                      le righe del giornale che rispondono a tutti i criteri\n"
    "                      (al massimo 1000), col loro numero, esito e motivo\n"
    "  errori [--csv]      lo storico errori: numero della riga, motivo, riga\n"
    "  quadratura [--giorno AAAAMMGG | --dal AAAAMMGG --al AAAAMMGG] [--csv]\n"
    "                      la quadratura dei giorni di addebito (senza giorno: oggi)\n"
    "  riprova N [N ...]   ripassa le righe N dello storico errori alle regole del\n"
    "                      trasferimento (per esempio dopo il check-in dell'ospite)\n"
    "  assegna-camera N CAMERA    addebita la riga N all'ospite in casa della camera\n"
    "  assegna-esterno N SCHEDA   addebita la riga N al cliente esterno della scheda\n"
    "\n"
    "N è il numero della riga dello storico errori che \"errori\" mostra per primo\n"
    "(lo stesso di quorvel-storico); uno sconto va sempre col suo addebito.\n"
    "\n"
    "I giorni si scrivono AAAAMMGG o GG/MM/AAAA; gli importi 12,50 o 12.50.\n"
    "Stato di uscita: 0 riuscito, 1 non riuscito, 2 argomenti errati,\n"
    "3 la quadratura non torna (differenza).\n";

struct BadArguments {
    QString why;
};

struct Options {
    QString command;
    bool csv = false;
    QString room, text;
    QString dayFrom, dayTo;
    std::optional<Currency> amount;
    std::vector<std::int32_t> lines;  // error lines to repair
    QString target;                   // room or card of an assignment
};

std::int32_t lineNumber(const QString& text) {
    bool ok = false;
    const int n = text.toInt(&ok);
    if (!ok || n <= 0)
        throw BadArguments{
            QStringLiteral("\"%1\" non è il numero di una riga dello storico errori").arg(text)};
    return n;
}

// riprova N..., assegna-camera N CAMERA, assegna-esterno N SCHEDA.
void parseRepair(Options& o, QStringList args) {
    if (o.command == QLatin1String("riprova")) {
        if (args.isEmpty())
            throw BadArguments{QStringLiteral("riprova vuole i numeri delle righe (N ...)")};
        for (const QString& a : args) {
            const std::int32_t n = lineNumber(a);
            if (std::find(o.lines.begin(), o.lines.end(), n) != o.lines.end())
                throw BadArguments{QStringLiteral("riga ripetuta: %1").arg(n)};
            o.lines.push_back(n);
        }
        return;
    }
    const bool room = o.command == QLatin1String("assegna-camera");
    if (args.size() != 2)
        throw BadArguments{room ? QStringLiteral("assegna-camera vuole N CAMERA")
                                : QStringLiteral("assegna-esterno vuole N SCHEDA")};
    o.lines.push_back(lineNumber(args[0]));
    o.target = args[1].trimmed();
    if (o.target.isEmpty())
        throw BadArguments{room ? QStringLiteral("manca la camera")
                                : QStringLiteral("manca la scheda")};
}

QString dayOption(const QString& option, const QString& value) {
    const auto day = parseDay(value);
    if (!day)
        throw BadArguments{QStringLiteral("%1 vuole un giorno AAAAMMGG o GG/MM/AAAA, non \"%2\"")
                               .arg(option, value)};
    return *day;
}

std::optional<Currency> amountOption(const QString& value) {
    // A comma is the decimal mark as the operator writes it; without one, a
    // full stop is.
    const QLocale locale(value.contains(QLatin1Char(',')) ? QLocale::Italian : QLocale::C);
    const auto amount = Currency::parse(value, locale);
    if (!amount)
        throw BadArguments{
            QStringLiteral("--importo vuole un importo come 12,50, non \"%1\"").arg(value)};
    return amount;
}

Options parse(QStringList args, const QString& today) {
    Options o;
    if (args.isEmpty())
        throw BadArguments{QStringLiteral("manca il comando")};
    o.command = args.takeFirst();
    static const QStringList repairs = {"riprova", "assegna-camera", "assegna-esterno"};
    if (repairs.contains(o.command)) {
        parseRepair(o, args);
        return o;
    }
    static const QMap<QString, QStringList> allowed = {
        {"cerca", {"--camera", "--giorno", "--dal", "--al", "--importo", "--testo", "--csv"}},
        {"errori", {"--csv"}},
        {"quadratura", {"--giorno", "--dal", "--al", "--csv"}},
    };
    if (!allowed.contains(o.command))
        throw BadArguments{QStringLiteral("comando sconosciuto: %1").arg(o.command)};
    QStringList seen;
    QString day;
    while (!args.isEmpty()) {
        const QString a = args.takeFirst();
        if (!allowed[o.command].contains(a))
            throw BadArguments{QStringLiteral("opzione sconosciuta per %1: %2").arg(o.command, a)};
        if (seen.contains(a))
            throw BadArguments{QStringLiteral("opzione ripetuta: %1").arg(a)};
        seen << a;
        if (a == QLatin1String("--csv")) {
            o.csv = true;
            continue;
        }
        if (args.isEmpty() || (args.front().startsWith(QStringLiteral("--"))))
            throw BadArguments{QStringLiteral("manca il valore di %1").arg(a)};
        const QString v = args.takeFirst();
        if (a == QLatin1String("--camera"))
            o.room = v;
        else if (a == QLatin1String("--testo"))
            o.text = v;
        else if (a == QLatin1String("--importo"))
            o.amount = amountOption(v);
        else if (a == QLatin1String("--giorno"))
            day = dayOption(a, v);
        else if (a == QLatin1String("--dal"))
            o.dayFrom = dayOption(a, v);
        else if (a == QLatin1String("--al"))
            o.dayTo = dayOption(a, v);
    }
    const bool range = seen.contains(QStringLiteral("--dal")) || seen.contains("--al");
    if (!day.isEmpty() && range)
        throw BadArguments{QStringLiteral("--giorno non va insieme a --dal / --al")};
    if (!day.isEmpty())
        o.dayFrom = o.dayTo = day;
    if (o.command == QLatin1String("quadratura")) {
        if (range && (o.dayFrom.isEmpty() || o.dayTo.isEmpty()))
            throw BadArguments{QStringLiteral("quadratura vuole --dal e --al insieme")};
        if (o.dayFrom.isEmpty())
            o.dayFrom = o.dayTo = today;
    }
    if (!o.dayFrom.isEmpty() && !o.dayTo.isEmpty() && o.dayTo < o.dayFrom)
        throw BadArguments{QStringLiteral("--al %1 viene prima di --dal %2")
                               .arg(dayText(o.dayTo), dayText(o.dayFrom))};
    return o;
}

// RFC 4180: a field holding the separator, a quote or a line break is
// quoted (a tab too, which some spreadsheets split on); rows end in CR LF.
QString csvField(QString s) {
    static const QString special = QStringLiteral(";\"\r\n\t");
    if (std::any_of(s.begin(), s.end(), [](QChar c) { return special.contains(c); }))
        s = QLatin1Char('"') + s.replace(QLatin1String("\""), QLatin1String("\"\"")) +
            QLatin1Char('"');
    return s;
}

const char kCsvEnd[] = "\r\n";

QString amountOf(const JournalEntry& e, bool csv) {
    if (!e.amount)
        return QString();
    return csv ? e.amount->format(QLocale(QLocale::Italian), 2, false) : amountText(*e.amount);
}

QString outcomeOf(const JournalEntry& e) {
    static const char* const actions[] = {"", "Riprova", "Assegna a camera",
                                          "Assegna a cliente esterno", "Cancella"};
    QString s = esitoText(e.outcome);
    const int a = static_cast<int>(e.action);
    if (a > 0 && a < 4)
        s += QStringLiteral(" (%1)").arg(QString::fromLatin1(actions[a]));
    return s;
}

class Journal {
public:
    Journal(const Options& o, QTextStream& out, QTextStream& err)
        : m_o(o), m_out(out), m_err(err) {}

    int run() {
        ChargeStore store(m_ws);
        if (m_o.command == QLatin1String("cerca"))
            return cerca(store);
        if (m_o.command == QLatin1String("errori"))
            return errori(store);
        if (m_o.command == QLatin1String("quadratura"))
            return quadratura(store);
        return repair(store);
    }

private:
    int cerca(ChargeStore& store) {
        JournalQuery q;
        q.room = m_o.room;
        q.dayFrom = m_o.dayFrom;
        q.dayTo = m_o.dayTo;
        q.amount = m_o.amount;
        q.text = m_o.text;
        const std::vector<JournalEntry> found = store.journal().find(q);
        if (m_o.csv)
            m_out << "Numero;Tipo;Giorno;Camera;CameraCassa;Importo;Esito;Motivo;File;NumeroRiga;"
                     "Riga"
                  << kCsvEnd;
        for (const JournalEntry& e : found) {
            if (!e.damage.isEmpty())
                m_err << QStringLiteral("Riga %1 del giornale illeggibile: %2\n")
                             .arg(e.id)
                             .arg(e.damage);
            if (m_o.csv)
                m_out << QStringList{QString::number(e.id),  csvField(e.kind),
                                     dayText(e.day),         csvField(e.room),
                                     csvField(e.posRoom),    amountOf(e, true),
                                     csvField(outcomeOf(e)), csvField(e.reasonText),
                                     csvField(e.archive),    QString::number(e.lineNo),
                                     csvField(e.line)}
                             .join(QLatin1Char(';'))
                      << kCsvEnd;
            else
                m_out << log::escaped(
                             QStringList{QString::number(e.id), dayText(e.day), e.room.trimmed(),
                                         amountOf(e, false),
                                         e.reasonText.isEmpty()
                                             ? outcomeOf(e)
                                             : outcomeOf(e) + QStringLiteral(": ") + e.reasonText,
                                         QStringLiteral("%1 riga %2").arg(e.archive).arg(e.lineNo),
                                         e.line.trimmed()}
                                 .join(QStringLiteral(" | ")))
                      << '\n';
        }
        m_out.flush();
        m_err << (found.empty() ? QStringLiteral("Nessuna riga del giornale trovata.\n")
                                : plural(static_cast<qint64>(found.size()),
                                         QStringLiteral("%1 riga trovata%2.\n"),
                                         QStringLiteral("%1 righe trovate%2.\n"))
                                      .arg(static_cast<int>(found.size()) >= q.limit
                                               ? QStringLiteral(" (solo le prime: restringere la "
                                                                "ricerca)")
                                               : QString()));
        return 0;
    }

    int errori(ChargeStore& store) {
        const auto reasons = store.journal().errorReasons();
        const std::vector<ChargeStore::Line> lines = store.errorLines();
        if (m_o.csv)
            m_out << "Numero;Motivo;Riga" << kCsvEnd;
        for (const ChargeStore::Line& l : lines) {
            const auto e = reasons.find(l.id);
            const QString why = e == reasons.end()    ? QStringLiteral("(non nel giornale)")
                                : e->second.isEmpty() ? esitoText(Esito::Storico)
                                                      : e->second;
            if (m_o.csv)
                m_out << QString::number(l.id) << ';' << csvField(why) << ';' << csvField(l.text)
                      << kCsvEnd;
            else
                m_out << l.id << " | " << log::escaped(why) << " | " << log::escaped(l.text)
                      << '\n';
        }
        m_out.flush();
        m_err << (lines.empty() ? QStringLiteral("Storico errori vuoto.\n")
                                : plural(static_cast<qint64>(lines.size()),
                                         QStringLiteral("%1 riga nello storico errori.\n"),
                                         QStringLiteral("%1 righe nello storico errori.\n")));
        return 0;
    }

    int quadratura(ChargeStore& store) {
        const Reconciliation r = reconcile(store, m_o.dayFrom, m_o.dayTo);
        const QStringList lines =
            m_o.csv ? reconciliationCsv(r) : reconciliationText(r, QDateTime::currentDateTime());
        for (const QString& l : lines)
            m_out << (m_o.csv ? l : log::escaped(l)) << (m_o.csv ? kCsvEnd : "\n");
        return r.total.balanced() ? 0 : 3;
    }

    // The window's repair: ChargeRepair's one transaction per line, so a
    // tick of the running program or another operator cannot post it twice.
    int repair(ChargeStore& store) {
        std::vector<std::int32_t> history;
        for (const ChargeStore::Line& l : store.errorLines()) history.push_back(l.id);
        for (const std::int32_t n : m_o.lines)
            if (std::find(history.begin(), history.end(), n) == history.end()) {
                m_err << QStringLiteral(
                             "quorvel-journal: la riga %1 non è nello storico errori "
                             "(i numeri li mostra \"quorvel-journal errori\")\n")
                             .arg(n);
                return 2;
            }
        const Settings settings = readSettingsFile();
        ChargeRepair repair(settings, store);
        int status = 0;
        for (const std::int32_t n : m_o.lines) {
            const ChargeRepair::Result r = m_o.command == QLatin1String("riprova")
                                               ? repair.riprova(n)
                                           : m_o.command == QLatin1String("assegna-camera")
                                               ? repair.assegnaCamera(n, m_o.target)
                                               : repair.assegnaEsterno(n, m_o.target);
            if (r.status == ChargeRepair::Status::Posted) {
                m_out << QStringLiteral("Riga %1: %2\n").arg(n).arg(r.message);
                continue;
            }
            m_err << QStringLiteral("Riga %1: %2\n").arg(n).arg(r.message);
            log::info(QStringLiteral("%1 della riga %2 dello storico errori non riuscito: %3")
                          .arg(m_o.command)
                          .arg(n)
                          .arg(r.message));
            // A bad answer (no guest in the room, unknown card) is a wrong argument.
            status = std::max(status, r.status == ChargeRepair::Status::Refused ? 2 : 1);
        }
        return status;
    }

    const Options& m_o;
    QTextStream& m_out;
    QTextStream& m_err;
    db::Workspace m_ws;
};

}  // namespace

int runJournal(const QStringList& argv, QTextStream& out, QTextStream& err, const Clock* clock) {
    QStringList args = argv.mid(1);
    if (args.contains(QStringLiteral("--help")) || args.contains(QStringLiteral("-h"))) {
        out << QString::fromUtf8(kUsage);
        return 0;
    }
    if (!args.isEmpty() && args.front() == QLatin1String("--workdir")) {
        if (args.size() < 2) {
            err << "quorvel-journal: manca il valore di --workdir\n";
            return 2;
        }
        const QString dir = args[1];
        args = args.mid(2);
        if (!QDir::setCurrent(dir)) {
            err << QStringLiteral("quorvel-journal: cartella non trovata: %1\n").arg(dir);
            return 2;
        }
    }
    const SystemClock system;
    const QString today =
        (clock ? clock : &system)->now().date().toString(QStringLiteral("yyyyMMdd"));
    Options options;
    try {
        options = parse(args, today);
    } catch (const BadArguments& bad) {
        err << QStringLiteral("quorvel-journal: %1\n\n").arg(bad.why) << QString::fromUtf8(kUsage);
        return 2;
    }
    std::optional<ToolSession> session;
    try {
        session.emplace(QStringLiteral("quorvel-journal"), true);
        return Journal(options, out, err).run();
    } catch (const std::exception& e) {
        const QString why = errorText(e);
        if (session)
            log::error(QStringLiteral("%1: %2").arg(options.command, why));
        err << QStringLiteral("quorvel-journal %1: %2\n").arg(options.command, why);
        return 1;
    }
}

}  // namespace quorvel
