// The built program, run as a process: the command line, a headless tick, a
// settings file that cannot be read, the lock, and a stop by SIGTERM.
#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QProcess>
#include <QTemporaryDir>

#include "support/ServerDb.h"
#include "support/TestSmtp.h"
#ifndef _WIN32
#include <sys/stat.h>
#include <csignal>
#endif
#include <QElapsedTimer>

namespace {

struct ProcessResult {
    int status = -1;
    QByteArray out;  // standard output, then standard error
    QByteArray stdOut;
};

// Without a display: no DISPLAY, WAYLAND_DISPLAY or QT_QPA_PLATFORM.
QProcessEnvironment noDisplay() {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QString::fromLatin1(name));
    return env;
}

ProcessResult runProgram(
    const QString& program, const QStringList& args,
    const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment()) {
    QProcess p;
    p.setProgram(program);
    p.setArguments(args);
    p.setProcessEnvironment(env);
    p.start();
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished();
        return {};
    }
    const QByteArray out = p.readAllStandardOutput();
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            out + p.readAllStandardError(), out};
}

ProcessResult runQuorvel(const QStringList& args) {
    return runProgram(QStringLiteral(QUORVEL_BINARY), args);
}

TEST(ProgramTest, HeadlessOnceOnEmptyFolder) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const ProcessResult run = runQuorvel({QStringLiteral("--headless"), QStringLiteral("--workdir"),
                                          dir.path(), QStringLiteral("--once")});
    // Nothing is waiting, so the tick needs no hotel database and succeeds.
    EXPECT_EQ(run.status, 0) << run.out.constData();
    EXPECT_FALSE(run.out.contains("ERRORE")) << run.out.constData();
    const QDir d(dir.path());
    QFile settings(d.filePath(QStringLiteral("Quorvel.txt")));
    ASSERT_TRUE(settings.open(QIODevice::ReadOnly));
    EXPECT_EQ(settings.readAll(),
              "Estrazione.mdb\r\n 0 \r\n 0 \r\n 0 \r\n 0 \r\n 0 \r\nDocumento.txt\r\n");
    EXPECT_TRUE(d.exists(QStringLiteral("ClientiCasa.mdb")));
    EXPECT_TRUE(d.exists(QStringLiteral("PassaRicevute.mdb")));
    EXPECT_TRUE(d.exists(QStringLiteral("Quorvel.log")));

    // A second copy on the same folder refuses to run.
    QLockFile held(d.filePath(QStringLiteral("Quorvel.lock")));
    ASSERT_TRUE(held.tryLock(0));
    const ProcessResult second =
        runQuorvel({QStringLiteral("--headless"), QStringLiteral("--workdir"), dir.path(),
                    QStringLiteral("--once")});
    EXPECT_EQ(second.status, 3) << second.out.constData();
}

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A settings file that cannot be read: nothing is taken, the run fails.
TEST(ProgramTest, UnreadableSettingsTakeNothing) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QDir d(dir.path());
    const QByteArray charge(120, ' ');
    for (const char* name : {"Estrazione.mdb", "Documento.txt"}) {
        QFile f(d.filePath(QString::fromLatin1(name)));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(charge + "\r\n");
    }
    const QString settings = d.filePath(QStringLiteral("Quorvel.txt"));
    ASSERT_TRUE(d.mkdir(QStringLiteral("Quorvel.txt")));
    const QStringList args{QStringLiteral("--headless"), QStringLiteral("--workdir"), dir.path(),
                           QStringLiteral("--once")};
    ProcessResult run = runQuorvel(args);
    EXPECT_EQ(run.status, 1) << run.out.constData();
    EXPECT_TRUE(run.out.contains("Impostazioni non lette")) << run.out.constData();
    EXPECT_TRUE(d.exists(QStringLiteral("Estrazione.mdb")));
    EXPECT_TRUE(d.exists(QStringLiteral("Documento.txt")));
    EXPECT_TRUE(QFileInfo(settings).isDir());  // never replaced by a new file
#ifndef _WIN32
    // A FIFO is never opened, so it cannot hang the start.
    ASSERT_TRUE(d.rmdir(QStringLiteral("Quorvel.txt")));
    ASSERT_EQ(mkfifo(qPrintable(settings), 0600), 0);
    run = runQuorvel(args);
    EXPECT_EQ(run.status, 1) << run.out.constData();
    EXPECT_TRUE(d.exists(QStringLiteral("Estrazione.mdb")));
    ASSERT_TRUE(QFile::remove(settings));
#endif
    // Binary garbage is read, and its unusable values are named in the log.
    QFile garbage(settings);
    ASSERT_TRUE(garbage.open(QIODevice::WriteOnly));
    garbage.write(
        QByteArray("\x7f"
                   "ELF\x02\x01\x00\r\n\x01\r\n",
                   12));
    garbage.close();
    run = runQuorvel(args);
    EXPECT_TRUE(run.out.contains("riga 1 (FileOrigine) contiene caratteri di controllo"))
        << run.out.constData();
    EXPECT_TRUE(run.out.contains("riga 2 (CodicePranzo) non \xc3\xa8 un numero"))
        << run.out.constData();
}

// A working folder where the lock file cannot be made is not "already running".
TEST(ProgramTest, UnwritableWorkingFolder) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QString folder = dir.path();
    QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    QFile probe(QDir(folder).filePath(QStringLiteral("probe")));
    if (probe.open(QIODevice::WriteOnly))  // the superuser writes anywhere
        folder = QStringLiteral("/proc");
    const ProcessResult run = runQuorvel({QStringLiteral("--headless"), QStringLiteral("--workdir"),
                                          folder, QStringLiteral("--once")});
    QFile::setPermissions(dir.path(),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    EXPECT_EQ(run.status, 4) << run.out.constData();
    EXPECT_TRUE(run.out.contains("non \xc3\xa8 scrivibile")) << run.out.constData();
    EXPECT_FALSE(run.out.contains("in esecuzione")) << run.out.constData();
}

#ifndef _WIN32
// SIGTERM (a service stop, a shutdown) ends the run cleanly, with a log line.
TEST(ProgramTest, SigtermEndsTheRunWithALogLine) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QProcess p;
    p.setProgram(QStringLiteral(QUORVEL_BINARY));
    p.setArguments({QStringLiteral("--headless"), QStringLiteral("--workdir"), dir.path()});
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start();
    QByteArray out;
    while (!out.contains("Avvio senza finestre completato") && p.waitForReadyRead(30000))
        out += p.readAll();
    ASSERT_TRUE(out.contains("Avvio senza finestre completato")) << out.constData();
    p.terminate();  // SIGTERM
    ASSERT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 0);
    const QByteArray log = readFile(QDir(dir.path()).filePath(QStringLiteral("Quorvel.log")));
    EXPECT_TRUE(log.contains("Arresto richiesto dal sistema (SIGTERM)")) << log.constData();
    EXPECT_TRUE(log.contains("Quorvel termina (stato 0)")) << log.constData();
    EXPECT_FALSE(QDir(dir.path()).exists(QStringLiteral("Quorvel.lock")));

    // Mid-send to a server that never answers: the stop does not wait for it.
    const quorvel::test::SilentPort silent;
    const QString mail = QDir(dir.path()).filePath(QStringLiteral("QuorvelMail.txt"));
    {
        QFile f(mail);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QStringLiteral("server = 127.0.0.1\nporta = %1\nsicurezza = none\n"
                               "mittente = a@b.example\ndestinatari = c@d.example\n"
                               "ora_invio = 00:00\nattesa_massima = 600\n")
                    .arg(silent.port())
                    .toUtf8());
    }
    QFile::setPermissions(mail, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    p.setArguments({QStringLiteral("--headless"), QStringLiteral("--interval"),
                    QStringLiteral("100"), QStringLiteral("--workdir"), dir.path()});
    p.start();
    out.clear();
    while (!out.contains("invio a 127.0.0.1") && p.waitForReadyRead(30000)) out += p.readAll();
    ASSERT_TRUE(out.contains("invio a 127.0.0.1")) << out.constData();
    p.terminate();
    EXPECT_TRUE(p.waitForFinished(5000));  // the send is abandoned, not waited out
    EXPECT_EQ(p.exitCode(), 0);
}
#endif

#ifndef _WIN32
// A server backend that stops answering (SIGSTOP), caught while it waits on
// a lock of the test's so that the program's statement is surely sent: with
// a statement time-out of 2 s the cycle fails with the time-out message;
// with one of 60 s, SIGTERM ends the program within 5 s all the same.
TEST(ProgramTest, AStoppedServerBackendTimesOutAndSigtermStillEndsTheRun) {
    using namespace quorvel;
    if (test::testServer().isEmpty())
        return;
    const test::ServerDb server;
    db::PgConnection admin(server.conninfo());
    std::vector<int> stopped;
    struct Resume {
        std::vector<int>& pids;
        ~Resume() {
            for (const int pid : pids) ::kill(pid, SIGCONT);
        }
    } resume{stopped};
    // The first row's first value of a query, polled until it is not empty.
    const auto polled = [&](const QByteArray& sql) {
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < 20000) {
            const db::PgResult r = admin.run(sql, {}, QString());
            if (PQntuples(r.get()) > 0 && !PQgetisnull(r.get(), 0, 0))
                return QByteArray(PQgetvalue(r.get(), 0, 0));
        }
        return QByteArray();
    };
    // Holds the program's next look at its claims on a lock, stops the
    // backend that waits for it, then lets the lock go.
    const auto stopBackend = [&](const QString& schema) {
        const QString table = schema + QStringLiteral(".\"FilePresi\"");
        polled("SELECT to_regclass('" + table.toUtf8() + "')::text");
        admin.exec(QStringLiteral("BEGIN; LOCK TABLE %1 IN ACCESS EXCLUSIVE MODE").arg(table),
                   QString());
        const int pid = polled(
                            "SELECT pid FROM pg_stat_activity WHERE datname = current_database() "
                            "AND wait_event_type = 'Lock' AND pid <> pg_backend_pid()")
                            .toInt();
        if (pid > 0 && ::kill(pid, SIGSTOP) == 0)
            stopped.push_back(pid);
        admin.exec(QStringLiteral("ROLLBACK"), QString());
        return pid;
    };
    for (const bool sigterm : {false, true}) {
        SCOPED_TRACE(sigterm ? "SIGTERM" : "time-out");
        const QString schema =
            sigterm ? QStringLiteral("quorvel_term") : QStringLiteral("quorvel_fermo");
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        const QString conf = QDir(dir.path()).filePath(QStringLiteral("QuorvelDB.txt"));
        {
            QFile f(conf);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write((server.conninfo() + QStringLiteral(" options='-c statement_timeout=%1'\n%2\n")
                                             .arg(sigterm ? 60000 : 2000)
                                             .arg(schema))
                        .toUtf8());
        }
        QFile::setPermissions(conf, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        QProcess p;
        p.setProgram(QStringLiteral(QUORVEL_BINARY));
        p.setArguments({QStringLiteral("--headless"), QStringLiteral("--interval"),
                        QStringLiteral("100"), QStringLiteral("--workdir"), dir.path()});
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start();
        QByteArray out;
        const auto waitFor = [&](const char* text) {
            while (!out.contains(text) && p.waitForReadyRead(30000)) out += p.readAll();
            return out.contains(text);
        };
        ASSERT_TRUE(waitFor("Avvio senza finestre completato")) << out.constData();
        ASSERT_GT(stopBackend(schema), 0);
        QElapsedTimer clock;
        clock.start();
        if (!sigterm) {
            ASSERT_TRUE(waitFor("il server del database non risponde da")) << out.constData();
            EXPECT_LT(clock.elapsed(), 10000);
            EXPECT_TRUE(out.contains("Ciclo di lettura interrotto")) << out.constData();
            clock.restart();
        }
        p.terminate();  // SIGTERM
        EXPECT_TRUE(p.waitForFinished(5000)) << out.constData();
        EXPECT_LT(clock.elapsed(), 5000);
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(p.exitCode(), 0);
        if (p.state() != QProcess::NotRunning) {
            p.kill();
            p.waitForFinished();
        }
        const QByteArray log = readFile(QDir(dir.path()).filePath(QStringLiteral("Quorvel.log")));
        EXPECT_TRUE(log.contains("Arresto richiesto dal sistema (SIGTERM)")) << log.constData();
    }
}
#endif

#ifdef QUORVEL_HOTEL_TOOL
TEST(ProgramTest, HeadlessOnceOnGeneratedHotel) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const ProcessResult made =
        runProgram(QStringLiteral(QUORVEL_HOTEL_TOOL),
                   {QStringLiteral("create"), dir.path(), QStringLiteral("--rooms"),
                    QStringLiteral("5"), QStringLiteral("--guests"), QStringLiteral("5")});
    ASSERT_EQ(made.status, 0) << made.out.constData();
    const ProcessResult run = runQuorvel({QStringLiteral("--headless"), QStringLiteral("--workdir"),
                                          dir.path(), QStringLiteral("--once")});
    EXPECT_EQ(run.status, 0) << run.out.constData();
    EXPECT_TRUE(QDir(dir.path()).exists(QStringLiteral("PassaRicevute.mdb")));
}
#endif

TEST(ProgramTest, CommandLine) {
    const ProcessResult version =
        runProgram(QStringLiteral(QUORVEL_BINARY), {QStringLiteral("--version")}, noDisplay());
    EXPECT_EQ(version.status, 0);
    EXPECT_TRUE(version.stdOut.startsWith("quorvel ")) << version.out.constData();

    const ProcessResult help =
        runProgram(QStringLiteral(QUORVEL_BINARY), {QStringLiteral("--help")}, noDisplay());
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.stdOut.startsWith("Uso:\n  quorvel [--workdir")) << help.out.constData();
    EXPECT_TRUE(help.stdOut.contains("Opzioni:")) << help.out.constData();
    EXPECT_FALSE(help.out.contains("Usage")) << help.out.constData();
    EXPECT_FALSE(help.out.contains("--screenshots"));

    // Every wrong command line: exit 2, an Italian message naming the fault,
    // without a display and before any file is made in the working folder.
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("un-file"));
    QFile(file).open(QIODevice::WriteOnly);
    const std::pair<QStringList, const char*> bad[] = {
        {{"--bogus"}, "opzione sconosciuta: --bogus"},
        {{"--headless", "-x"}, "opzione sconosciuta: -x"},
        {{"--headless", "--interval"}, "manca il valore dell'opzione --interval (MS)"},
        {{"--headless", "--interval", "0"}, "valore non valido per --interval: \"0\""},
        {{"--headless", "--interval=5x"}, "valore non valido per --interval: \"5x\""},
        {{"--interval", "50"}, "--interval vale solo con --headless"},
        {{"--headless", "avanti"}, "argomento in più: avanti"},
        {{"--headless", "--once", "--once"}, "opzione ripetuta: --once"},
        {{"--headless=1"}, "l'opzione --headless non vuole un valore"},
        {{"--headless", "--workdir", file}, "cartella di lavoro non valida (è un file)"},
        {{"--workdir", dir.path()}, "nessuno schermo"},
    };
    for (const auto& [args, why] : bad) {
        const ProcessResult r = runProgram(QStringLiteral(QUORVEL_BINARY), args, noDisplay());
        EXPECT_EQ(r.status, 2) << args.join(' ').toStdString() << ": " << r.out.constData();
        EXPECT_TRUE(r.out.startsWith(QByteArray("quorvel: ") + why)) << r.out.constData();
        EXPECT_TRUE(r.out.contains("quorvel --help")) << r.out.constData();
        EXPECT_TRUE(r.stdOut.isEmpty());
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
              QStringList{"un-file"});
    // "--" ends the options; --name=value is the same as --name value.
    const ProcessResult dashes =
        runProgram(QStringLiteral(QUORVEL_BINARY),
                   {QStringLiteral("--headless"), QStringLiteral("--"), QStringLiteral("--once")},
                   noDisplay());
    EXPECT_TRUE(dashes.out.contains("argomento in più: --once")) << dashes.out.constData();
    const ProcessResult equals = runProgram(QStringLiteral(QUORVEL_BINARY),
                                            {QStringLiteral("--headless"), QStringLiteral("--once"),
                                             QStringLiteral("--workdir=") + dir.path()},
                                            noDisplay());
    EXPECT_EQ(equals.status, 0) << equals.out.constData();

    // Every tool answers --help on standard output, in Italian, without a display.
    for (const char* tool : {"quorvel-aggiorna", "quorvel-screenshots", "quorvel-storico",
                             "quorvel-journal", "quorvel-hotel", "quorvel-soak"}) {
        const QString program = QStringLiteral(QUORVEL_TOOL_DIR "/") + QString::fromLatin1(tool);
        if (!QFileInfo::exists(program))
            continue;
        const ProcessResult r = runProgram(program, {QStringLiteral("--help")}, noDisplay());
        EXPECT_EQ(r.status, 0) << tool << ": " << r.out.constData();
        EXPECT_TRUE(r.stdOut.startsWith("Uso")) << tool << ": " << r.out.constData();
        EXPECT_FALSE(r.out.contains("Usage")) << tool;
    }

    const ProcessResult missing =
        runQuorvel({QStringLiteral("--headless"), QStringLiteral("--once"),
                    QStringLiteral("--workdir"), QStringLiteral("/nonexistent/quorvel-test")});
    EXPECT_NE(missing.status, 0);
    EXPECT_TRUE(missing.out.contains("cartella di lavoro")) << missing.out.constData();
}

}  // namespace
