// The crash soak's run and its final check.
#include "soak/CrashSoak.h"

#include "db/Engine.h"
#include "db/Server.h"
#include "hotel/HotelGenerator.h"
#include "hotel/ServerCopy.h"
#include "hotel/SqliteFile.h"
#include "platform/Error.h"
#include "platform/Log.h"
#include "platform/TextFile.h"
#include "polling/GuestExport.h"
#include "polling/PollingCycle.h"
#include "soak/JournalCheck.h"
#include "soak/ProtocolPos.h"
#include "soak/ServerSoak.h"
#include "soak/Simulators.h"
#include "transfer/ChargeStore.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>
#include <algorithm>
#include <memory>

namespace quorvel::soak {

namespace {

// Where a workspace keeps its private main file; a killed run leaves it.
constexpr char WorkspacePrefix[] = ".quorvel-ws-";

qint64 maxRowid(const QString& path, const QString& table) {
    hotel::SqliteFile f(path, true);
    hotel::Statement q(f, QStringLiteral("SELECT coalesce(max(rowid), 0) FROM ") + table);
    q.next();
    return q.integer(0);
}

// The configuration the program reads in dir (its own schema is named
// after the folder).
std::optional<db::ServerConfig> folderConfig(const QString& dir) {
    const QString previous = QDir::currentPath();
    if (!QDir::setCurrent(dir))
        throw Error(dir, QStringLiteral("cartella inesistente"));
    auto config = db::readServerConfig();
    QDir::setCurrent(previous);
    return config;
}

// The soak's view of the server: a connection of its own and the schema of
// the program's tables.
struct ServerSide {
    std::unique_ptr<db::PgConnection> conn;
    QString ownSchema;
};

// Every table of the server's database, counted; those that cannot be read.
QStringList unreadableServerTables(db::PgConnection& conn, int* checked) {
    const db::PgResult r = conn.run(
        "SELECT table_schema, table_name FROM information_schema.tables WHERE "
        "table_schema NOT IN ('pg_catalog', 'information_schema') AND table_schema NOT "
        "LIKE 'pg_temp%' ORDER BY 1, 2",
        {}, conn.server());
    QStringList bad;
    for (int i = 0; i < PQntuples(r.get()); ++i) {
        const QString schema = QString::fromUtf8(PQgetvalue(r.get(), i, 0));
        const QString table = QString::fromUtf8(PQgetvalue(r.get(), i, 1));
        ++*checked;
        QString error;
        if (serverRowCount(conn, schema, table, &error) < 0)
            bad << schema + u'.' + table + QStringLiteral(": ") + error;
    }
    return bad;
}

QStringList guestRows(const QString& path) {
    hotel::SqliteFile f(path, true);
    hotel::Statement q(f, QStringLiteral("SELECT NumeroHotel, NumeroCamera, NomeCliente, "
                                         "DataArrivo, DataPartenza FROM ClientiCasa ORDER BY 2, "
                                         "3, 4, 5, 1"));
    QStringList rows;
    while (q.next())
        rows << QStringLiteral("%1|%2|%3|%4|%5")
                    .arg(q.text(0), q.text(1), q.text(2), q.text(3), q.text(4));
    return rows;
}

// Every database of the folder (and of the POS folder in it) that fails
// PRAGMA integrity_check.
QStringList damagedDatabases(const QString& dir, int* checked) {
    QStringList damaged;
    QDirIterator it(dir, {QStringLiteral("*.mdb"), QStringLiteral("*.db")}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (path.contains(QLatin1String(WorkspacePrefix)))
            continue;  // a killed run's private main file, no data of anyone's
        ++*checked;
        try {
            hotel::SqliteFile f(path, true);
            hotel::Statement q(f, QStringLiteral("PRAGMA integrity_check"));
            if (!q.next() || q.text(0) != QLatin1String("ok"))
                damaged << path;
        } catch (const Error& e) {
            damaged << path + QStringLiteral(": ") + e.message();
        }
    }
    return damaged;
}

void copyFolder(const QString& from, const QString& to) {
    QDir().mkpath(to);
    QDirIterator it(from, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString rel = QDir(from).relativeFilePath(path);
        if (rel.contains(QLatin1String(WorkspacePrefix)))
            continue;
        QDir().mkpath(QFileInfo(QDir(to).filePath(rel)).path());
        QFile::copy(path, QDir(to).filePath(rel));
    }
}

// Files still waiting for the program in dir.
QStringList waitingFiles(const QString& dir, const QString& charges, const QString& closing) {
    QStringList left;
    for (const QString& f : {charges, closing}) {
        if (QFile::exists(QDir(dir).filePath(f)))
            left << f;
    }
    left << QDir(dir).entryList({QStringLiteral("CKI*"), QStringLiteral("CKO*")}, QDir::Files);
    return left;
}

int countLogLines(const QString& dir, const QString& text) {
    int n = 0;
    for (const QString& name : {QStringLiteral("Quorvel.log.1"), QStringLiteral("Quorvel.log")}) {
        QFile f(QDir(dir).filePath(name));
        if (!f.open(QIODevice::ReadOnly))
            continue;
        while (!f.atEnd()) n += QString::fromUtf8(f.readLine()).contains(text) ? 1 : 0;
    }
    return n;
}

class ChildRun {
public:
    ChildRun(const QString& program, const QStringList& args) {
        m_p.setProgram(program);
        m_p.setArguments(args);
        m_p.setStandardOutputFile(QProcess::nullDevice());
        m_p.setStandardErrorFile(QProcess::nullDevice());
        m_p.start();
    }
    ~ChildRun() {
        if (m_p.state() != QProcess::NotRunning) {
            m_p.kill();
            m_p.waitForFinished();
        }
    }
    QProcess& process() { return m_p; }

private:
    QProcess m_p;
};

// Runs a helper to its end, its output discarded; its exit status, or -1.
int runQuietly(const QString& program, const QStringList& args) {
    ChildRun run(program, args);
    if (!run.process().waitForFinished(600000) ||
        run.process().exitStatus() != QProcess::NormalExit)
        return -1;
    return run.process().exitCode();
}

struct Runs {
    int kills = 0, ended = 0;
    int midWrite = 0;     // a rollback journal was left: the kill cut a write
    int halfTaken = 0;    // a file was claimed and not yet settled
    int withPending = 0;  // charges waited in the store for the transfer
    int restartsFast = 0, restartsImmediate = 0;  // of the server, mid-run
    QStringList endings;
};

qint64 countRows(const QString& path, const QString& sql) {
    if (!QFile::exists(path))
        return 0;
    hotel::SqliteFile f(path, true);
    hotel::Statement q(f, sql);
    return q.next() ? q.integer(0) : 0;
}

// What the kill interrupted, read from the files it left (read-only: the
// recovery is the program's job).
void noteWhereKilled(const QString& dir, Runs& runs, ServerSide* server) {
    // Journals of files only the program writes (the hotel system's own
    // writes leave journals of the others), and super-journals.
    QDirIterator it(
        dir,
        {QStringLiteral("QuorvelCoda.db-journal"), QStringLiteral("QuorvelPolling.db-journal"),
         QStringLiteral("Fatture.mdb-journal"), QStringLiteral("ContoEsterni.mdb-journal"),
         QStringLiteral("ClientiCasa.mdb-journal"), QStringLiteral("*-mj*")},
        QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    if (it.hasNext()) {
        ++runs.midWrite;
        return;
    }
    if (server) {
        // On the server the program's tables are in its own schema.
        if (serverRowCount(*server->conn, server->ownSchema, QStringLiteral("FilePresi")) > 0)
            ++runs.halfTaken;
        if (serverRowCount(*server->conn, server->ownSchema, QStringLiteral("Pendenti")) > 0)
            ++runs.withPending;
        return;
    }
    try {
        const QDir d(dir);
        if (countRows(d.filePath(QStringLiteral("QuorvelPolling.db")),
                      QStringLiteral("SELECT count(*) FROM FilePresi")) > 0)
            ++runs.halfTaken;
        if (countRows(d.filePath(QStringLiteral("QuorvelCoda.db")),
                      QStringLiteral("SELECT count(*) FROM Pendenti")) > 0)
            ++runs.withPending;
    } catch (const Error&) {
        // a store not created yet, or a table not yet there
    }
}

// Starts the program and kills it, again and again.
Runs killLoop(const CrashOptions& o, const QString& charges, const QString& closing,
              hotel::Random& random, ServerSide* server) {
    Runs runs;
    // The server's restarts, spread evenly over the kills.
    int restart = 1;
    const int restarts = o.restartCommand.isEmpty() || !server ? 0 : o.restarts;
    const QStringList args = {QStringLiteral("--headless"), QStringLiteral("--workdir"), o.dir,
                              QStringLiteral("--interval"), QString::number(o.intervalMs)};
    while (runs.kills < o.kills) {
        ChildRun run(o.program, args);
        QProcess& p = run.process();
        if (!p.waitForStarted(10000))
            throw Error(o.program, QStringLiteral("il programma non parte: ") + p.errorString());
        // Half the kills come at any instant; the other half soon after a POS
        // file appeared, so that many land inside the work it brings.
        int ms = static_cast<int>(random.between(o.minRunMs, o.maxRunMs));
        const int roll = static_cast<int>(random.between(0, 99));
        if (restart <= restarts && runs.kills >= restart * o.kills / (restarts + 1)) {
            // The server goes away while the program works, then it
            // reconnects at a later tick and goes on until its kill.
            if (!p.waitForFinished(ms)) {
                const bool immediate = restart % 2 == 1;
                restartServer(o.restartCommand, immediate);
                ++(immediate ? runs.restartsImmediate : runs.restartsFast);
                ++restart;
            }
            ms = static_cast<int>(random.between(1000, 3000));
        } else if (roll < 5)  // now and then a run outlasts a lock wait (5 s) of its own
            ms = static_cast<int>(random.between(5000, 10000));
        else if (roll < 55 && !p.waitForFinished(o.minRunMs)) {
            QElapsedTimer waited;
            waited.start();
            while (waited.elapsed() < o.maxRunMs && !QFile::exists(charges) &&
                   !QFile::exists(closing))
                QThread::msleep(2);
            ms = static_cast<int>(random.between(1, 2 * o.intervalMs + 60));
        }
        if (p.waitForFinished(ms) || p.state() == QProcess::NotRunning) {
            // The program must never end by itself.
            ++runs.ended;
            if (runs.endings.size() < 5)
                runs.endings << QStringLiteral("uscito da solo con stato %1").arg(p.exitCode());
            continue;
        }
        p.kill();  // SIGKILL
        p.waitForFinished();
        ++runs.kills;
        noteWhereKilled(o.dir, runs, server);
    }
    return runs;
}

// Clean runs of one tick each until nothing is left to take. A one-tick run
// takes a POS file only once it has not changed for PollingCycle::SettleSeconds,
// so each run waits for the files the POS left last to settle.
bool drain(const CrashOptions& o, const QString& charges, const QString& closing) {
    for (int attempt = 0; attempt < 5; ++attempt) {
        // The archives too: a POS that paused may have written into one.
        QStringList names = {charges, closing};
        for (const QString& f : {charges, closing})
            names += QDir(o.dir).entryList({QFileInfo(f).completeBaseName() + QStringLiteral("_*")},
                                           QDir::Files);
        for (const QString& f : std::as_const(names)) {
            const QFileInfo info(QDir(o.dir).filePath(f));
            if (!info.exists())
                continue;
            const qint64 wait = (PollingCycle::SettleSeconds + 1) * 1000 -
                                info.lastModified().msecsTo(QDateTime::currentDateTime());
            if (wait > 0)
                QThread::msleep(static_cast<unsigned long>(wait));
        }
        const int status =
            runQuietly(o.program, {QStringLiteral("--headless"), QStringLiteral("--workdir"), o.dir,
                                   QStringLiteral("--once")});
        if (status == 0 && waitingFiles(o.dir, charges, closing).isEmpty())
            return true;
    }
    return false;
}

}  // namespace

int refreshGuests(const QString& dir) {
    class Quiet : public Dialogs {
    public:
        MsgAnswer messageBox(const QString& text, const QString&, MsgIcon, MsgButtons,
                             MsgAnswer answer) override {
            log::error(text);
            failed = true;
            return answer;
        }
        std::optional<QString> inputBox(const QString&, const QString&, const QString&) override {
            return std::nullopt;
        }
        void notify(const QString&, const QString&) override {}
        bool failed = false;
    } dialogs;
    if (!QDir::setCurrent(dir))
        return 2;
    try {
        db::setDefaultServer(db::readServerConfig());  // as the program does
        GuestExport(dialogs).AggiornaClienti();
    } catch (const std::exception& e) {
        log::error(errorText(e));
        return 1;
    }
    return dialogs.failed ? 1 : 0;
}

int runCrashSoak(const CrashOptions& o, QTextStream& out) {
    QElapsedTimer clock;
    clock.start();
    hotel::HotelSpec spec;
    spec.rooms = 120;
    spec.guests = 90;
    spec.externals = 12;
    spec.seed = o.seed;
    const hotel::HotelSummary hotel = hotel::generateHotel(o.dir, spec);
    // On a server: as `quorvel-hotel create --db`, the files moved there.
    const bool onServer = !o.server.isEmpty();
    ServerSide server;
    if (onServer) {
        hotel::moveHotelToServer(o.dir, o.server);
        server.conn = std::make_unique<db::PgConnection>(o.server);
        const auto config = folderConfig(o.dir);
        if (!config || !config->refusal.isEmpty())
            throw Error(o.dir, QStringLiteral("configurazione del server non valida"));
        server.ownSchema = config->ownSchema;
    }
    const QString mapFile = QDir(o.dir).filePath(QStringLiteral("QuorveloCamere.txt"));
    const QStringList map = QFile::exists(mapFile) ? readTextLines(mapFile) : QStringList();
    // The POS guest database starts as a full refresh leaves it; from then on
    // only the notices keep it current.
    if (runQuietly(o.self, {QStringLiteral("--refresh"), o.dir}) != 0)
        throw Error(o.dir, QStringLiteral("aggiornamento iniziale degli ospiti non riuscito"));

    const QString dir = o.dir;
    auto file = [&dir](const auto& name) { return QDir(dir).filePath(QString(name)); };
    auto baseline = [&](const QString& fileName, const QString& table) {
        return onServer
                   ? serverMaxRowid(*server.conn, QFileInfo(fileName).completeBaseName(), table)
                   : maxRowid(file(fileName), table);
    };
    const QString accounts = QStringLiteral("Conto_Cliente");
    const qint64 roomBase = baseline(QStringLiteral("Conto_Cliente.mdb"), accounts);
    const qint64 extBase = baseline(QStringLiteral("ContoEsterni.mdb"), accounts);
    const qint64 receiptBase = baseline(QStringLiteral("Fatture.mdb"), QStringLiteral("Incassi"));

    Ledger ledger(soakTargets(hotel.data, map), o.seed);
    // The POS on the interface protocol, beside the file POS.
    const quint16 port = freePort();
    writeTextLines(file("QuorvelPOS.txt"),
                   {QStringLiteral("attivo = si"), QStringLiteral("porta = %1").arg(port)});
    ProtocolPos protocolPos(port, ledger.targets().externals, o.seed);
    PosAttacks attacks;
    attacks.lfOnly = o.lfOnly;
    attacks.inPlace = o.inPlace;
    attacks.pauseMs = std::max(2, o.intervalMs / 4);
    attacks.longPauseMs = o.pausedWriter ? o.intervalMs * 4 : 0;
    PosSimulator pos(o.dir, hotel.settings.fileOrigine, hotel.settings.fileIncassi, ledger, o.seed,
                     attacks);
    std::unique_ptr<BusyHotel> busyHotel;
    if (onServer)
        busyHotel = std::make_unique<ServerHotelSystem>(o.server, o.dir, ledger.targets(), roomBase,
                                                        o.seed);
    else
        busyHotel = std::make_unique<HotelSystem>(o.dir, ledger.targets(), roomBase, o.seed);
    BusyHotel& hotelSystem = *busyHotel;
    hotel::Random random(o.seed ^ 0x4B111ULL);

    pos.start();
    protocolPos.start();
    if (o.busyHotel)
        hotelSystem.start();
    Runs runs;
    try {
        runs = killLoop(o, file(hotel.settings.fileOrigine), file(hotel.settings.fileIncassi),
                        random, onServer ? &server : nullptr);
    } catch (...) {
        pos.stop();
        protocolPos.stop();
        hotelSystem.stop();
        throw;
    }
    pos.stop();
    hotelSystem.stop();
    {
        // The protocol POS resends its last posting until a run answers it.
        protocolPos.finish();
        ChildRun run(o.program, {QStringLiteral("--headless"), QStringLiteral("--workdir"), o.dir,
                                 QStringLiteral("--interval"), QString::number(o.intervalMs)});
        QElapsedTimer waited;
        waited.start();
        while (!protocolPos.done() && waited.elapsed() < 60000) QThread::msleep(20);
    }
    protocolPos.stop();
    ledger.addExternals(protocolPos.answered());
    const bool drained = drain(o, hotel.settings.fileOrigine, hotel.settings.fileIncassi);

    Tally tally;
    std::vector<AccountRow> rooms, externals;
    std::vector<qint64> receipts;
    if (onServer) {
        // The soak's own connection may have outlived a restart unused (the
        // kills after it all cut a write): its first query would fail.
        server.conn = std::make_unique<db::PgConnection>(o.server);
        db::PgConnection& c = *server.conn;
        rooms = readServerAccountRows(c, accounts, roomBase, hotelSystem.ownRowids());
        externals = readServerAccountRows(c, QStringLiteral("ContoEsterni"), extBase);
        receipts = readServerReceiptAmounts(c, receiptBase);
        if (const qint64 twice = serverDuplicateGroups(c, accounts, roomBase))
            tally.problem(QStringLiteral("%1 gruppi (ospite, camera, giorno, voce) con due righe "
                                         "non fatturate del programma")
                              .arg(twice));
    } else {
        rooms = readAccountRows(file("Conto_Cliente.mdb"), roomBase, hotelSystem.ownRowids());
        externals = readAccountRows(file("ContoEsterni.mdb"), extBase);
        receipts = readReceiptAmounts(file("Fatture.mdb"), receiptBase);
    }
    ledger.checkRoomAccounts(rooms, tally);
    ledger.checkExternalAccounts(externals, tally);
    ledger.checkReceipts(receipts, tally);
    {
        // The program's store, where the program keeps it.
        const auto config = folderConfig(o.dir);
        auto ws =
            config ? std::make_unique<db::Workspace>(*config) : std::make_unique<db::Workspace>();
        ChargeStore store(*ws, file("QuorvelCoda.db"));
        ledger.checkErrorHistory(store.errors(), tally);
        checkJournal(store, rooms, externals, static_cast<qint64>(receipts.size()), tally);
        const QStringList pending = store.pending();
        tally.lost += pending.size();
        for (const QString& p : pending) tally.problem(QStringLiteral("ancora in attesa: ") + p);
    }
    tally.lines = tally.roomLines + tally.externalLines + tally.errorLines;
    if (o.checkArchives) {
        ledger.checkArchives(PosFile::Charges, readArchives(file(hotel.settings.fileOrigine)),
                             tally);
        ledger.checkArchives(PosFile::Closing, readArchives(file(hotel.settings.fileIncassi)),
                             tally);
    }
    const QStringList hotelRows = hotelSystem.changedRows();
    for (const QString& p : hotelRows) tally.problem(p);

    // The POS guest database against a full refresh of a copy of the folder.
    const QString copy = o.dir + QStringLiteral("-verifica");
    copyFolder(o.dir, copy);
    writeTextLines(QDir(copy).filePath(QStringLiteral("POSDest.txt")),
                   {QDir::toNativeSeparators(QDir(copy).absoluteFilePath(QStringLiteral("pos")) +
                                             QLatin1Char('/'))});
    const bool refreshed = runQuietly(o.self, {QStringLiteral("--refresh"), copy}) == 0;
    const QStringList guestsKept = guestRows(file("pos/ClientiCasa.mdb"));
    const QStringList guestsFresh =
        guestRows(QDir(copy).filePath(QStringLiteral("pos/ClientiCasa.mdb")));
    const bool guestsOk = refreshed && guestsKept == guestsFresh;
    if (!guestsOk)
        tally.problem(QStringLiteral("ClientiCasa: %1 righe, un aggiornamento completo ne dà %2")
                          .arg(guestsKept.size())
                          .arg(guestsFresh.size()));
    // The clean runs clear what killed runs left; nothing may stay for ever.
    const QStringList leftovers =
        QDir(o.dir).entryList({QString::fromLatin1(WorkspacePrefix) + QLatin1Char('*')},
                              QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot);
    if (!leftovers.isEmpty())
        tally.problem(QStringLiteral("cartelle di lavoro rimaste: ") +
                      leftovers.join(QLatin1Char(' ')));
    int checked = 0;
    const QStringList damaged = damagedDatabases(o.dir, &checked);
    for (const QString& d : damaged) tally.problem(QStringLiteral("integrity_check: ") + d);
    // A server has no PRAGMA integrity_check: every table must still read
    // to its end after the restarts.
    int serverTables = 0;
    const QStringList unreadable =
        onServer ? unreadableServerTables(*server.conn, &serverTables) : QStringList();
    for (const QString& t : unreadable) tally.problem(QStringLiteral("tabella illeggibile: ") + t);
    for (const QString& e : runs.endings) tally.problem(QStringLiteral("programma ") + e);
    for (const QString& w : protocolPos.wrong())
        tally.problem(QStringLiteral("risposta della cassa a protocollo diversa: ") + w);
    if (!protocolPos.done())
        tally.problem(QStringLiteral("cassa a protocollo: ultimo addebito senza risposta"));
    if (!drained)
        tally.problem(QStringLiteral("file ancora da prendere dopo le esecuzioni finali: ") +
                      waitingFiles(o.dir, hotel.settings.fileOrigine, hotel.settings.fileIncassi)
                          .join(QLatin1Char(' ')));

    for (const QString& p : std::as_const(tally.problems)) out << "  " << p << "\n";
    const auto& h = hotelSystem.counts();
    QString line = QStringLiteral(
                       "crash-soak: kills=%1 (mid-write=%2 file-half-taken=%3 charges-pending=%4) "
                       "ended-by-itself=%5")
                       .arg(runs.kills)
                       .arg(runs.midWrite)
                       .arg(runs.halfTaken)
                       .arg(runs.withPending)
                       .arg(runs.ended);
    if (onServer && o.restartCommand.isEmpty())
        line += QStringLiteral(" server-restarts=off (no restart command)");
    else if (onServer)
        line += QStringLiteral(" server-restarts=%1 (fast=%2 immediate=%3)")
                    .arg(runs.restartsFast + runs.restartsImmediate)
                    .arg(runs.restartsFast)
                    .arg(runs.restartsImmediate);
    line += QStringLiteral(
                " files=%1 (charges=%2 closing=%3 notices=%4 pos-guest-reads=%5 lf-only=%6 "
                "in-place=%7 paused=%11) archives=%8 (missing=%9 extra=%10)")
                .arg(ledger.chargeFiles() + ledger.closingFiles() + pos.notices())
                .arg(ledger.chargeFiles())
                .arg(ledger.closingFiles())
                .arg(pos.notices())
                .arg(pos.guestReads())
                .arg(ledger.lfOnlyFiles())
                .arg(ledger.inPlaceFiles())
                .arg(o.checkArchives ? QString::number(tally.archives) : QStringLiteral("off"))
                .arg(tally.archivesMissing)
                .arg(tally.archivesExtra)
                .arg(pos.pausedFiles());
    line += QStringLiteral(" protocol-pos: postings=%1 resends=%2 connections=%3 wrong-answers=%4")
                .arg(protocolPos.answered().size())
                .arg(protocolPos.resends())
                .arg(protocolPos.connections())
                .arg(protocolPos.wrong().size());
    line += QStringLiteral(
                " lines=%1 (room=%2 external=%3 error-history=%4) receipts=%5 lost=%6 "
                "doubled=%7 | hotel: long-reads=%8")
                .arg(tally.lines)
                .arg(tally.roomLines)
                .arg(tally.externalLines)
                .arg(tally.errorLines)
                .arg(tally.receipts)
                .arg(tally.lost)
                .arg(tally.doubled)
                .arg(h.longReads);
    if (onServer)
        line += QStringLiteral(" row-locks=%1 (%2 s) table-locks=%3 (%4 s)")
                    .arg(h.rowLocks)
                    .arg(h.rowLockedMs / 1000)
                    .arg(h.exclusiveLocks)
                    .arg(h.lockedMs / 1000);
    else
        line += QStringLiteral(" exclusive-locks=%1 (%2 s)")
                    .arg(h.exclusiveLocks)
                    .arg(h.lockedMs / 1000);
    line += QStringLiteral(
                " invoiced-rows=%1 own-rows=%2 renames=%3 new-cards=%4 departures=%5 "
                "rooms-reused=%6 rows-changed=%7 | lock-failures-logged=%8")
                .arg(h.invoicedRows)
                .arg(h.ownRows)
                .arg(h.renames)
                .arg(h.newCards)
                .arg(h.departures)
                .arg(h.reused)
                .arg(hotelRows.size())
                .arg(countLogLines(o.dir, QStringLiteral("bloccato da un altro programma")));
    if (onServer)
        line +=
            QStringLiteral(" connection-failures-logged=%1")
                .arg(countLogLines(o.dir, QStringLiteral("connessione al server del database")));
    line += QStringLiteral(" guests=%1 integrity=%2/%3 ok")
                .arg(guestsOk ? QStringLiteral("ok") : QStringLiteral("DIFFERENT"))
                .arg(checked - damaged.size())
                .arg(checked);
    if (onServer)
        line += QStringLiteral(" (local files; no PRAGMA on a server) server-tables=%1/%2 readable")
                    .arg(serverTables - unreadable.size())
                    .arg(serverTables);
    line += QStringLiteral(" | %1 s").arg(clock.elapsed() / 1000);
    out << line << Qt::endl;
    const bool ok = tally.lost == 0 && tally.doubled == 0 && tally.problems.isEmpty();
    return ok ? 0 : 1;
}

}  // namespace quorvel::soak
