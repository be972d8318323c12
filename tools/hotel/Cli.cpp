// The quorvel-hotel command line: parsing, running a command, its summary.
#include "hotel/Cli.h"

#include "db/PgConnection.h"
#include "db/Server.h"
#include "hotel/HotelGenerator.h"
#include "hotel/PosFiles.h"
#include "hotel/ServerCopy.h"
#include "platform/Error.h"

#include <QFile>
#include <QFileInfo>
#include <QMap>

namespace quorvel::hotel {

namespace {

const char* const usage =
    "Uso:\n"
    "  quorvel-hotel create DIR [--rooms N] [--guests N] [--externals N]\n"
    "                [--account-rows N] [--seed S] [--date YYYYMMDD] [--empty]\n"
    "      Crea in DIR tutti i database dell'hotel con un hotel di prova\n"
    "      (camere, ospiti in casa, clienti esterni, voci, stampanti),\n"
    "      Quorvel.txt, POSDest.txt, la cartella DIR/pos/ con ClientiCasa.mdb\n"
    "      e QuorveloCamere.txt. --empty crea le tabelle senza righe;\n"
    "      --account-rows riempie Conto_Cliente con N righe.\n"
    "      --db \"CONNINFO\" mette i database dell'hotel su un server PostgreSQL\n"
    "      (uno schema per file, con gli stessi indici) e scrive QuorvelDB.txt;\n"
    "      la password non va nella stringa: file delle password di PostgreSQL\n"
    "      (.pgpass, PGPASSFILE) o --db FILE, un file come QuorvelDB.txt\n"
    "      (leggibile solo dal proprietario) con la stringa sulla prima riga.\n"
    "  quorvel-hotel pos-charges FILE --lines N [--seed S] [--hotel DIR] [--date YYYYMMDD]\n"
    "      Scrive un file di addebiti del POS (righe a colonne fisse); con\n"
    "      --hotel usa le camere degli ospiti in casa dell'hotel in DIR.\n"
    "  quorvel-hotel pos-closing FILE --receipts N [--seed S] [--date YYYYMMDD]\n"
    "      Scrive un file di chiusura del POS con N scontrini (importi nel\n"
    "      formato numerico di questo computer).\n"
    "  quorvel-hotel --help\n"
    "Stesso seme, stessi file.\n";

struct UsageError {
    QString text;
};

// Options of one command: name -> value ("" for flags).
struct Arguments {
    QString command, target;
    QMap<QString, QString> options;

    qint64 number(const QString& name, qint64 fallback, qint64 max) const {
        if (!options.contains(name))
            return fallback;
        bool ok = false;
        const qint64 value = options.value(name).toLongLong(&ok);
        if (!ok || value < 0 || value > max)
            throw UsageError{QStringLiteral("valore non valido per --%1: '%2' (0..%3)")
                                 .arg(name, options.value(name))
                                 .arg(max)};
        return value;
    }
    std::uint64_t seed() const {
        if (!options.contains(QStringLiteral("seed")))
            return 1;
        bool ok = false;
        const std::uint64_t value = options.value(QStringLiteral("seed")).toULongLong(&ok);
        if (!ok)
            throw UsageError{
                QStringLiteral("seme non valido: '%1'").arg(options.value(QStringLiteral("seed")))};
        return value;
    }
    QDate date(const QDate& fallback) const {
        if (!options.contains(QStringLiteral("date")))
            return fallback;
        const QDate d =
            QDate::fromString(options.value(QStringLiteral("date")), QStringLiteral("yyyyMMdd"));
        if (!d.isValid())
            throw UsageError{QStringLiteral("data non valida (YYYYMMDD): '%1'")
                                 .arg(options.value(QStringLiteral("date")))};
        return d;
    }
};

Arguments parse(const QStringList& args, const QStringList& valued, const QStringList& flags) {
    Arguments a;
    a.command = args.at(1);
    for (qsizetype i = 2; i < args.size(); ++i) {
        const QString& arg = args.at(i);
        if (arg.startsWith(QStringLiteral("--"))) {
            const QString name = arg.mid(2);
            if (flags.contains(name)) {
                a.options.insert(name, QString());
            } else if (valued.contains(name)) {
                if (i + 1 >= args.size())
                    throw UsageError{QStringLiteral("manca il valore di %1").arg(arg)};
                a.options.insert(name, args.at(++i));
            } else {
                throw UsageError{
                    QStringLiteral("opzione sconosciuta per %1: %2").arg(a.command, arg)};
            }
        } else if (a.target.isEmpty()) {
            a.target = arg;
        } else {
            throw UsageError{QStringLiteral("argomento in più: %1").arg(arg)};
        }
    }
    if (a.target.isEmpty())
        throw UsageError{QStringLiteral("%1: manca %2")
                             .arg(a.command, a.command == QLatin1String("create")
                                                 ? QStringLiteral("la cartella")
                                                 : QStringLiteral("il file"))};
    return a;
}

// The connection string of --db: the value itself, or with no "=" in it the
// first line of the file it names. A password is refused on the command line
// (every user sees it with ps) and in a file others may read.
QString serverArgument(const QString& value) {
    QString conninfo = value;
    if (!value.contains(u'=')) {
        QFile f(value);
        if (!QFileInfo(value).isFile() || !f.open(QIODevice::ReadOnly))
            throw Error(value, QStringLiteral("file della stringa di connessione non leggibile"));
        conninfo = QString::fromUtf8(f.readLine(64 * 1024)).trimmed();
        const QString problem = db::passwordFileProblem(value, conninfo);
        if (!problem.isEmpty())
            throw Error(value, problem);
    } else if (db::connInfoHasPassword(conninfo)) {
        throw Error(QStringLiteral("--db"),
                    QStringLiteral("la password non va sulla riga di comando (ogni utente la "
                                   "vede con ps): usare il file delle password di PostgreSQL "
                                   "(.pgpass, PGPASSFILE) o --db FILE"));
    }
    if (db::maskedConnInfo(conninfo).startsWith(u'('))
        throw Error(QStringLiteral("--db"),
                    QStringLiteral("stringa di connessione non valida (non mostrata: può "
                                   "contenere una password)"));
    return conninfo;
}

QString runCreate(const QStringList& args) {
    const Arguments a =
        parse(args,
              {QStringLiteral("rooms"), QStringLiteral("guests"), QStringLiteral("externals"),
               QStringLiteral("account-rows"), QStringLiteral("seed"), QStringLiteral("date"),
               QStringLiteral("db")},
              {QStringLiteral("empty")});
    // Checked before anything is made: the password never on a command line.
    const QString conninfo = a.options.contains(QStringLiteral("db"))
                                 ? serverArgument(a.options.value(QStringLiteral("db")))
                                 : QString();
    HotelSpec spec;
    spec.rooms = static_cast<int>(a.number(QStringLiteral("rooms"), spec.rooms, 9000));
    spec.guests = static_cast<int>(a.number(QStringLiteral("guests"), spec.guests, 30000));
    spec.externals = static_cast<int>(a.number(QStringLiteral("externals"), spec.externals, 30000));
    spec.accountRows = a.number(QStringLiteral("account-rows"), 0, 100000000);
    spec.seed = a.seed();
    spec.today = a.date(spec.today);
    spec.empty = a.options.contains(QStringLiteral("empty"));
    const HotelSummary s = generateHotel(a.target, spec);
    if (a.options.contains(QStringLiteral("db"))) {
        const qint64 rows = moveHotelToServer(a.target, conninfo);
        return QStringLiteral("Hotel creato sul server (%1 righe); %2 in %3")
            .arg(rows)
            .arg(QString::fromLatin1(db::ServerConfigFile), a.target);
    }
    return QStringLiteral(
               "Hotel creato in %1: %2 camere, %3 schede ospiti (%4 camere occupate), "
               "%5 clienti esterni, %6 voci, %7 righe di conto, %8 file")
        .arg(a.target)
        .arg(s.data.rooms.size())
        .arg(s.data.guests.size())
        .arg(s.data.inHouseRooms().size())
        .arg(s.data.externals.size())
        .arg(s.data.items.size())
        .arg(s.accountRows)
        .arg(s.files.size());
}

QString runPosCharges(const QStringList& args) {
    const Arguments a = parse(args,
                              {QStringLiteral("lines"), QStringLiteral("seed"),
                               QStringLiteral("hotel"), QStringLiteral("date")},
                              {});
    if (!a.options.contains(QStringLiteral("lines")))
        throw UsageError{QStringLiteral("pos-charges: manca --lines N")};
    PosChargesSpec spec;
    spec.lines = static_cast<int>(a.number(QStringLiteral("lines"), 0, 10000000));
    spec.seed = a.seed();
    spec.hotelDir = a.options.value(QStringLiteral("hotel"));
    spec.day = a.date(spec.day);
    const PosChargesSummary s = writePosCharges(a.target, spec);
    return QStringLiteral(
               "File addebiti %1: %2 righe, %3 addebiti (%4 camere in casa, %5 esterni, "
               "%6 sconosciuti), %7 sconti")
        .arg(a.target)
        .arg(s.lines)
        .arg(s.charges)
        .arg(s.inHouse)
        .arg(s.external)
        .arg(s.unknown)
        .arg(s.discounts);
}

QString runPosClosing(const QStringList& args) {
    const Arguments a = parse(
        args, {QStringLiteral("receipts"), QStringLiteral("seed"), QStringLiteral("date")}, {});
    if (!a.options.contains(QStringLiteral("receipts")))
        throw UsageError{QStringLiteral("pos-closing: manca --receipts N")};
    PosClosingSpec spec;
    spec.receipts = static_cast<int>(a.number(QStringLiteral("receipts"), 0, 10000000));
    spec.seed = a.seed();
    spec.day = a.date(spec.day);
    const PosClosingSummary s = writePosClosing(a.target, spec);
    return QStringLiteral("File di chiusura %1: %2 scontrini, totale %3")
        .arg(a.target)
        .arg(s.amounts.size())
        .arg(s.total.format(spec.locale));
}

}  // namespace

int runCli(const QStringList& args, QTextStream& out, QTextStream& err) {
    if (args.size() < 2 || args.at(1) == QLatin1String("--help") ||
        args.at(1) == QLatin1String("-h") || args.at(1) == QLatin1String("help")) {
        (args.size() < 2 ? err : out) << usage;
        return args.size() < 2 ? 2 : 0;
    }
    try {
        const QString& command = args.at(1);
        QString summary;
        if (command == QLatin1String("create"))
            summary = runCreate(args);
        else if (command == QLatin1String("pos-charges"))
            summary = runPosCharges(args);
        else if (command == QLatin1String("pos-closing"))
            summary = runPosClosing(args);
        else
            throw UsageError{QStringLiteral("comando sconosciuto: %1").arg(command)};
        out << summary << Qt::endl;
        return 0;
    } catch (const UsageError& e) {
        err << "quorvel-hotel: " << e.text << Qt::endl << usage;
        return 2;
    } catch (const Error& e) {
        err << "quorvel-hotel: " << e.message() << Qt::endl;
        return 1;
    }
}

}  // namespace quorvel::hotel
