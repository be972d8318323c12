// quorvel-soak: the crash soak (the program killed at random instants
// while a POS and a busy hotel system work beside it) and the resource soak
// (many ticks in this process), each printing one line of figures.
#include "platform/CommandLine.h"
#include "platform/Error.h"
#include "soak/CrashSoak.h"
#include "soak/ResourceSoak.h"
#include "soak/ServerSoak.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <cstdio>
#include <memory>

#ifndef QUORVEL_BINARY
#define QUORVEL_BINARY "quorvel"
#endif

using namespace quorvel;

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    CommandLine parser(
        QStringLiteral("quorvel-soak"), QStringLiteral("quorvel-soak [OPZIONI]"),
        QStringLiteral(
            "Prove di durata di quorvel: arresti improvvisi, gestionale occupato, risorse."));
    auto option = [&parser](const char* name, const char* help, const char* value = nullptr) {
        parser.addOption(QString::fromLatin1(name), QString::fromUtf8(help),
                         value ? QString::fromLatin1(value) : QString());
        return QString::fromLatin1(name);
    };
    const auto kills = option("kills", "Arresti con SIGKILL (predefinito 200).", "N");
    const auto ticks = option("ticks", "Cicli della prova delle risorse (predefinito 20000).", "N");
    const auto seed = option("seed", "Seme dei numeri casuali (predefinito 1).", "N");
    const auto interval =
        option("interval", "Intervallo di controllo del programma in ms (predefinito 50).", "MS");
    const auto program = option("program", "Il programma quorvel da provare.", "FILE");
    const auto dir = option("dir", "Cartella in cui creare gli alberghi di prova.", "DIR");
    const auto quietHotel = option("no-hotel", "Senza il gestionale che lavora accanto.");
    const auto noLf = option("no-lf-only", "La cassa non scrive file con soli LF come fine riga.");
    const auto noInPlace =
        option("no-in-place", "La cassa non scrive file direttamente con il loro nome.");
    const auto noPaused =
        option("no-paused-writer", "La cassa non fa pause più lunghe del ciclo mentre scrive.");
    const auto noArchives = option("no-archive-check", "Senza la verifica degli archivi.");
    const auto keep = option("keep", "Lascia le cartelle di prova anche se tutto va bene.");
    const auto server =
        option("server",
               "Mette l'albergo su un server PostgreSQL (stringa di connessione libpq); la prova "
               "crea e usa un database suo.",
               "CONNINFO");
    const auto testServer = option(
        "test-server",
        "Come --server con il server di prova di scripts/lib/pg-server.sh (QUORVEL_TEST_PG e "
        "QUORVEL_TEST_PG_RESTART); senza, esce con lo stato 77 (prova saltata), in CI con 1.");
    const auto restartCommand =
        option("restart-command",
               "Programma che riavvia il server, con argomento fast o immediate (predefinito "
               "QUORVEL_TEST_PG_RESTART).",
               "FILE");
    const auto restarts =
        option("restarts", "Riavvii del server durante la prova (predefinito 4).", "N");
    const auto refresh = option("refresh", "(interno) Aggiorna Dati nella cartella.", "DIR");
    if (const auto status = parser.handle(argc, argv))
        return *status;

    if (parser.isSet(refresh))
        return soak::refreshGuests(parser.value(refresh));

    auto number = [&parser](const QString& o, qint64 fallback) {
        bool ok = true;
        const qint64 n = parser.isSet(o) ? parser.value(o).toLongLong(&ok) : fallback;
        if (!ok || n < 0) {
            std::fprintf(stderr, "quorvel-soak: valore non valido per --%s\n", qPrintable(o));
            std::exit(2);
        }
        return n;
    };
    QString conninfo = parser.value(server);
    if (parser.isSet(testServer)) {
        conninfo = qEnvironmentVariable("QUORVEL_TEST_PG");
        if (conninfo.isEmpty()) {
            const bool ci = qEnvironmentVariable("CI") == QLatin1String("true");
            std::fprintf(stderr, "quorvel-soak: QUORVEL_TEST_PG non impostato: %s\n",
                         ci ? "il server di prova non è partito" : "prova sul server saltata");
            return ci ? 1 : 77;
        }
    }
    const QString restartWith = parser.isSet(restartCommand)
                                    ? parser.value(restartCommand)
                                    : qEnvironmentVariable("QUORVEL_TEST_PG_RESTART");
    QTemporaryDir scratch(QDir(parser.isSet(dir) ? parser.value(dir) : QDir::tempPath())
                              .filePath(QStringLiteral("quorvel-soak-XXXXXX")));
    if (!scratch.isValid()) {
        std::fprintf(stderr, "quorvel-soak: impossibile creare la cartella di prova\n");
        return 2;
    }
    QTextStream out(stdout);
    int status = 0;
    std::unique_ptr<soak::SoakDatabase> database;
    try {
        soak::CrashOptions crash;
        crash.program =
            parser.isSet(program) ? parser.value(program) : QString::fromUtf8(QUORVEL_BINARY);
        crash.self = QCoreApplication::applicationFilePath();
        crash.dir = scratch.filePath(QStringLiteral("albergo"));
        crash.kills = static_cast<int>(number(kills, 200));
        crash.intervalMs = static_cast<int>(number(interval, 50));
        crash.busyHotel = !parser.isSet(quietHotel);
        crash.lfOnly = !parser.isSet(noLf);
        crash.inPlace = !parser.isSet(noInPlace);
        crash.pausedWriter = !parser.isSet(noPaused);
        crash.checkArchives = !parser.isSet(noArchives);
        crash.seed = static_cast<std::uint64_t>(number(seed, 1));
        if (!conninfo.isEmpty() && crash.kills > 0) {
            database = std::make_unique<soak::SoakDatabase>(conninfo);
            crash.server = database->conninfo();
            crash.restartCommand = restartWith;
            crash.restarts = static_cast<int>(number(restarts, 4));
        }
        if (crash.kills > 0)
            status |= soak::runCrashSoak(crash, out);

        soak::ResourceOptions resources;
        resources.dir = scratch.filePath(QStringLiteral("risorse"));
        resources.ticks = static_cast<int>(number(ticks, 20000));
        resources.seed = crash.seed;
        if (resources.ticks > 0)
            status |= soak::runResourceSoak(resources, out);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "quorvel-soak: %s\n", e.what());
        status = 1;
    }
    if (status != 0 || parser.isSet(keep)) {
        scratch.setAutoRemove(false);
        out << "Cartelle di prova lasciate in " << scratch.path() << Qt::endl;
        if (database) {
            database->keep();
            out << "Database di prova lasciato sul server: " << database->name() << Qt::endl;
        }
    }
    return status;
}
