// The built program, run as a process: the command line and a headless tick.
#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QProcess>
#include <QTemporaryDir>

namespace {

struct ProcessResult {
    int status = -1;
    QByteArray out;
};

ProcessResult runProgram(const QString& program, const QStringList& args) {
    QProcess p;
    p.setProgram(program);
    p.setArguments(args);
    p.start();
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished();
        return {};
    }
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            p.readAllStandardOutput() + p.readAllStandardError()};
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
    const ProcessResult version = runQuorvel({QStringLiteral("--version")});
    EXPECT_EQ(version.status, 0);
    EXPECT_TRUE(version.out.startsWith("quorvel ")) << version.out.constData();

    const ProcessResult help = runQuorvel({QStringLiteral("--help")});
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.out.contains("--workdir")) << help.out.constData();
    EXPECT_FALSE(help.out.contains("--screenshots"));

    const ProcessResult missing =
        runQuorvel({QStringLiteral("--headless"), QStringLiteral("--once"),
                    QStringLiteral("--workdir"), QStringLiteral("/nonexistent/quorvel-test")});
    EXPECT_NE(missing.status, 0);
    EXPECT_TRUE(missing.out.contains("cartella di lavoro")) << missing.out.constData();
}

}  // namespace
