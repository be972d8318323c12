// Workspaces: opening and creating files, refusals that name what failed,
// transactions across files, and waits on another connection's lock.
#include "db/DbFixture.h"
#include "db/WorkspaceImpl.h"

#include "platform/Error.h"
#include "platform/StopSignal.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSysInfo>
#include <climits>
#include <csignal>

using namespace quorvel;
using namespace quorvel::db;

namespace {

class WorkspaceTest : public test::DbBackendTest {
protected:
    void SetUp() override {
        DbBackendTest::SetUp();
        if (!ready())
            return;
        makeTable("A.mdb", "Conto", {"Codice:i32", "Nome:text:20"});
        makeTable("B.mdb", "Incassi", {"Codice:i32", "Importo:cur"});
    }

    static QString errorOf(const std::function<void()>& f) {
        try {
            f();
        } catch (const Error& e) {
            return e.message();
        }
        return QString();
    }
};

}  // namespace

INSTANTIATE_TEST_SUITE_P(Backends, WorkspaceTest,
                         ::testing::Values(test::Backend::Sqlite, test::Backend::Server),
                         test::backendName);

TEST_P(WorkspaceTest, MissingOrForeignFilesTablesAndFieldsAreNamed) {
    EXPECT_TRUE(errorOf([&] { ws().openDatabase("Nessuno.mdb"); }).contains("Nessuno.mdb"));
    EXPECT_FALSE(exists("Nessuno.mdb"));  // never created by a failed open

    QByteArray jet(4096, '\0');
    jet.replace(4, 15, "Standard Jet DB");
    writeBytes("Jet.mdb", jet);
    writeBytes("Vuoto.mdb", QByteArray());
    const QString jetError = errorOf([&] { ws().openDatabase("Jet.mdb"); });
    EXPECT_TRUE(jetError.contains("Jet.mdb")) << jetError.toStdString();
    EXPECT_TRUE(jetError.contains("database")) << jetError.toStdString();
    EXPECT_TRUE(errorOf([&] { ws().openDatabase("Vuoto.mdb"); }).contains("Vuoto.mdb"));
    EXPECT_EQ(readBytes("Jet.mdb"), jet);

    auto a = ws().openDatabase("A.mdb");
    const QString noTable = errorOf([&] { a->openRecordset("Scheda_Cliente"); });
    EXPECT_TRUE(noTable.contains("Scheda_Cliente") && noTable.contains("tabella inesistente"))
        << noTable.toStdString();
    const QString noField = errorOf([&] { a->openRecordset("Conto")->findFirst("Camera = '1'"); });
    EXPECT_TRUE(noField.contains("Camera") && noField.contains("campo inesistente"))
        << noField.toStdString();
    // The file is named as well as the table: two files may hold a table "Conto".
    EXPECT_TRUE(noField.contains("nella tabella Conto del file " + path("A.mdb")))
        << noField.toStdString();
    const QString noFieldByName = errorOf([&] { a->openRecordset("Conto")->value("Camera"); });
    EXPECT_TRUE(noFieldByName.contains("nella tabella Conto del file " + path("A.mdb")))
        << noFieldByName.toStdString();
    const QString badSelect =
        errorOf([&] { a->openRecordset("Select * From Conto Order by Inesistente"); });
    EXPECT_TRUE(badSelect.contains("Inesistente")) << badSelect.toStdString();
    const QString syntax = errorOf([&] { a->openRecordset("Conto")->findFirst("Codice = = 1"); });
    EXPECT_TRUE(syntax.contains("Codice = = 1") && syntax.contains("sintassi"))
        << syntax.toStdString();

    EXPECT_TRUE(errorOf([&] { ws().createDatabase("A.mdb", QString()); }).contains("esiste"));
    a->close();
    EXPECT_THROW(a->openRecordset("Conto"), Error);
}

TEST_P(WorkspaceTest, ManyOpensAndClosesDetachEveryFile) {
    // SQLite attaches at most ten files: closing must give them back.
    for (int i = 0; i < 30; ++i) {
        auto a = ws().openDatabase("A.mdb");
        auto a2 = ws().openDatabase(path("A.mdb"));  // the same file shares its attachment
        auto b = ws().openDatabase("B.mdb");
        a->openRecordset("Conto")->findFirst("Codice = 1");
    }
    SUCCEED();
}

TEST_P(WorkspaceTest, TransactionOverTwoFilesRollsBackBothOrCommitsBoth) {
    auto a = ws().openDatabase("A.mdb");
    auto b = ws().openDatabase("B.mdb");
    auto conto = a->openRecordset("Conto");
    auto incassi = b->openRecordset("Incassi");
    {
        Transaction t(ws());
        addRow(*conto, {"Codice", "Nome"}, {1, "uno"});
        addRow(*incassi, {"Codice", "Importo"}, {1, Currency::fromCents(500)});
        conto->findFirst("Codice = 1");
        EXPECT_FALSE(conto->noMatch());  // seen inside the transaction
    }                                    // not committed: rolled back
    EXPECT_FALSE(ws().inTransaction());
    EXPECT_TRUE(raw("A.mdb", "SELECT * FROM Conto").isEmpty());
    EXPECT_TRUE(raw("B.mdb", "SELECT * FROM Incassi").isEmpty());
    conto->findFirst("Codice = 1");
    EXPECT_TRUE(conto->noMatch());

    {
        Transaction t(ws());
        addRow(*conto, {"Codice", "Nome"}, {2, "due"});
        // Nested: the inner level rolls back alone.
        ws().beginTrans();
        addRow(*conto, {"Codice", "Nome"}, {3, "tre"});
        ws().rollback();
        addRow(*incassi, {"Codice", "Importo"}, {2, Currency::fromCents(700)});
        t.commit();
    }
    EXPECT_EQ(raw("A.mdb", "SELECT Codice, Nome FROM Conto"), QStringList({"2|due"}));
    EXPECT_EQ(raw("B.mdb", "SELECT Codice, Importo FROM Incassi"), QStringList({"2|70000"}));
    EXPECT_THROW(ws().commitTrans(), Error);
    EXPECT_THROW(ws().rollback(), Error);
}

TEST_P(WorkspaceTest, ClosingADatabaseInsideATransactionKeepsItsWrites) {
    auto b = ws().openDatabase("B.mdb");
    ws().beginTrans();
    {
        auto a = ws().openDatabase("A.mdb");
        addRow(*a->openRecordset("Conto"), {"Codice"}, {5});
    }  // closed while the transaction is open
    ws().commitTrans();
    EXPECT_EQ(raw("A.mdb", "SELECT Codice FROM Conto"), QStringList({"5"}));
}

TEST_P(WorkspaceTest, AnotherConnectionsLockMakesAWriteFailAfterTheTimeout) {
    if (onServer())
        GTEST_SKIP() << "SQLite files only";
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(path("A.mdb").toUtf8().constData(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);

    Workspace second;  // like another process of ours
    second.setBusyTimeout(50);
    QString message;
    try {
        auto a = second.openDatabase("A.mdb");
        addRow(*a->openRecordset("Conto"), {"Codice"}, {1});
    } catch (const Error& e) {
        message = e.message();
    }
    EXPECT_TRUE(message.contains("A.mdb") && message.contains("bloccato")) << message.toStdString();

    sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    auto a = second.openDatabase("A.mdb");
    addRow(*a->openRecordset("Conto"), {"Codice"}, {1});
    EXPECT_EQ(raw("A.mdb", "SELECT Codice FROM Conto"), QStringList({"1"}));
}

TEST_P(WorkspaceTest, CreatedFilesHoldTheDeclaredTypesAndOpenWithAnyTool) {
    if (onServer())
        GTEST_SKIP() << "SQLite files only";
    EXPECT_EQ(raw("B.mdb", "SELECT name, type FROM pragma_table_info('Incassi')"),
              QStringList({"Codice|INTEGER", "Importo|CURRENCY"}));
    EXPECT_EQ(raw("A.mdb", "SELECT sql FROM sqlite_master"),
              QStringList({"CREATE TABLE \"Conto\" (\"Codice\" INTEGER, \"Nome\" TEXT(20) COLLATE "
                           "NOCASE)"}));
    auto fresh = ws().createDatabase("Nuovo.mdb", ";LANGID=0x0409;CP=1252;COUNTRY=0", 16);
    fresh->close();
    EXPECT_TRUE(readBytes("Nuovo.mdb").startsWith(QByteArray("SQLite format 3", 16)));
    EXPECT_FALSE(ws().openDatabase("Nuovo.mdb")->hasTable("Conto"));
}

TEST_P(WorkspaceTest, ACommitBlockedByAReaderFailsNamingTheFilesAndRollsBack) {
    if (onServer())
        GTEST_SKIP() << "SQLite files only";
    Workspace second;
    second.setBusyTimeout(50);
    auto a = second.openDatabase("A.mdb");
    auto b = second.openDatabase("B.mdb");
    Transaction t(second);
    addRow(*a->openRecordset("Conto"), {"Codice"}, {1});
    addRow(*b->openRecordset("Incassi"), {"Codice"}, {1});

    sqlite3* reader = nullptr;
    ASSERT_EQ(sqlite3_open(path("B.mdb").toUtf8().constData(), &reader), SQLITE_OK);
    sqlite3_exec(reader, "BEGIN; SELECT count(*) FROM Incassi;", nullptr, nullptr, nullptr);
    try {
        t.commit();
        ADD_FAILURE() << "committed over a reader's lock";
    } catch (const Error& e) {
        EXPECT_TRUE(e.message().contains("B.mdb")) << e.message().toStdString();
    }
    sqlite3_exec(reader, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(reader);
    EXPECT_TRUE(second.inTransaction());
    second.rollback();
    EXPECT_TRUE(raw("A.mdb", "SELECT * FROM Conto").isEmpty());
    EXPECT_TRUE(raw("B.mdb", "SELECT * FROM Incassi").isEmpty());
}

TEST_P(WorkspaceTest, AWriterThatDiedMidTransactionIsRolledBackOnOpen) {
    if (onServer())
        GTEST_SKIP() << "SQLite files only";
    {
        auto a = ws().openDatabase("A.mdb");
        addRow(*a->openRecordset("Conto"), {"Codice", "Nome"}, {1, "prima"});
    }
    // A writer whose changes reach the file before its commit (a tiny cache
    // spills them), frozen by copying the file and its journal as they stand.
    sqlite3* writer = nullptr;
    ASSERT_EQ(sqlite3_open(path("A.mdb").toUtf8().constData(), &writer), SQLITE_OK);
    sqlite3_exec(writer,
                 "PRAGMA cache_size=1; BEGIN; UPDATE Conto SET Nome = 'dopo'; "
                 "WITH RECURSIVE n(i) AS (SELECT 2 UNION ALL SELECT i + 1 FROM n WHERE i < 3000) "
                 "INSERT INTO Conto SELECT i, printf('%.20d', i) FROM n;",
                 nullptr, nullptr, nullptr);
    ASSERT_TRUE(exists("A.mdb-journal"));
    QFile::copy(path("A.mdb"), path("Crash.mdb"));
    QFile::copy(path("A.mdb-journal"), path("Crash.mdb-journal"));
    sqlite3_exec(writer, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(writer);
    ASSERT_NE(readBytes("Crash.mdb"), readBytes("A.mdb"));  // the crash image holds the spill

    auto crashed = ws().openDatabase("Crash.mdb");
    auto rs = crashed->openRecordset("Conto");
    rs->findFirst("Codice > 0");
    ASSERT_FALSE(rs->noMatch());
    EXPECT_EQ(rs->text("Nome"), "prima");
    rs->findNext("Codice > 0");
    EXPECT_TRUE(rs->noMatch());
    crashed->close();
    EXPECT_FALSE(exists("Crash.mdb-journal"));
    EXPECT_EQ(raw("Crash.mdb", "PRAGMA integrity_check"), QStringList({"ok"}));
}

// On the server: a lost connection, another bridge's lock or change, a table
// the engine cannot use, a server it cannot reach; each named, nothing half
// written, and the workspace usable again afterwards.
TEST_P(WorkspaceTest, ServerFailuresAreNamedAndLeaveNothingHalfWritten) {
    if (!onServer())
        GTEST_SKIP() << "server only";
    auto a = ws().openDatabase("A.mdb");
    auto conto = a->openRecordset("Conto");
    addRow(*conto, {"Codice", "Nome"}, {1, "uno"});
    const QString others =
        "SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE datname = "
        "current_database() AND pid <> pg_backend_pid()";
    {
        Transaction t(ws());
        addRow(*conto, {"Codice", "Nome"}, {2, "due"});
        server().exec(others);
        const QString lost = errorOf([&] { addRow(*conto, {"Codice", "Nome"}, {3, "tre"}); });
        EXPECT_TRUE(lost.contains("connessione al server del database interrotta"))
            << lost.toStdString();
    }
    // Outside a transaction the engine connects again by itself.
    EXPECT_EQ(raw("A.mdb", "SELECT Codice FROM Conto"), QStringList({"1"}));
    conto->findFirst("Codice = 1");
    EXPECT_FALSE(conto->noMatch());
    server().exec(others);
    {
        Transaction t(ws());  // begins on a connection made again
        addRow(*conto, {"Codice", "Nome"}, {4, "quattro"});
        t.commit();
    }
    EXPECT_EQ(raw("A.mdb", "SELECT Codice FROM Conto"), QStringList({"1", "4"}));

    // Another bridge changed the row since it was read: refused, not overwritten.
    conto->findFirst("Codice = 1");
    server().exec("UPDATE \"A\".\"Conto\" SET \"Nome\" = 'altro' WHERE \"Codice\" = 1");
    conto->edit();
    conto->setValue("Nome", "mio");
    EXPECT_TRUE(errorOf([&] { conto->update(); }).contains("modificato o eliminato"));
    EXPECT_EQ(raw("A.mdb", "SELECT Nome FROM Conto WHERE Codice = 1"), QStringList({"altro"}));
    // Another bridge holds the row: the wait is bounded and named.
    ws().setBusyTimeout(100);
    conto->findFirst("Codice = 1");
    server().exec("BEGIN; UPDATE \"A\".\"Conto\" SET \"Nome\" = 'bloccato' WHERE \"Codice\" = 1");
    conto->edit();
    conto->setValue("Nome", "mio");
    EXPECT_TRUE(errorOf([&] { conto->update(); }).contains("database bloccato"));
    server().exec("ROLLBACK");

    // Row statements are prepared once and run again by name; the hotel
    // system widening a column under a kept one does not fail the reading;
    // beyond the cap the server's statements are dropped, not piled up.
    PgConnection& pg = ws().impl().connection();
    conto->findFirst("Codice = ?", {4});
    const int prepared = pg.preparedCount();
    for (int i = 0; i < 20; ++i) conto->findFirst("Codice = ?", {i});
    EXPECT_EQ(pg.preparedCount(), prepared);
    server().exec("ALTER TABLE \"A\".\"Conto\" ALTER COLUMN \"Nome\" TYPE varchar(40)");
    conto->findFirst("Codice = ?", {4});
    ASSERT_FALSE(conto->noMatch());
    EXPECT_EQ(conto->text("Nome"), "quattro");
    QString in = "Codice In (0";
    for (int i = 1; i <= PgConnection::MaxPrepared + 20; ++i) {
        in += QStringLiteral(", %1").arg(i);
        conto->findFirst(in + ")");
        ASSERT_FALSE(conto->noMatch()) << i;
    }
    // The session's own list: what the connection counts, no more.
    PgResult held = pg.run("SELECT count(*) FROM pg_prepared_statements", {}, "test");
    EXPECT_EQ(QByteArray(PQgetvalue(held.get(), 0, 0)).toInt(), pg.preparedCount());
    EXPECT_LE(pg.preparedCount(), PgConnection::MaxPrepared);

    // A table without the row identity, a schema that is not there.
    server().exec("CREATE TABLE \"A\".\"Estranea\" (\"Codice\" integer)");
    const QString foreign = errorOf([&] { a->openRecordset("Estranea"); });
    EXPECT_TRUE(foreign.contains("Estranea") && foreign.contains("quorvel_rowid"))
        << foreign.toStdString();
    const QString missing = errorOf([&] { ws().openDatabase("Nessuno.mdb"); });
    EXPECT_TRUE(missing.contains("Nessuno.mdb") && missing.contains("schema Nessuno"))
        << missing.toStdString();

    // A transaction begun before the first server file: the server joins it at its depth.
    {
        Workspace late(server().config());
        Transaction outer(late);
        Transaction inner(late);
        auto b = late.openDatabase("B.mdb");
        addRow(*b->openRecordset("Incassi"), {"Codice"}, {9});
        inner.commit();
        outer.commit();
    }
    EXPECT_EQ(raw("B.mdb", "SELECT Codice FROM Incassi"), QStringList({"9"}));

    // A server that cannot be reached or refuses the password: the password never shown.
    ServerConfig bad = server().config();
    bad.conninfo = server().conninfo() + " password=segretissima user=nessuno";
    Workspace refused(bad);
    const QString denied = errorOf([&] { refused.openDatabase("A.mdb"); });
    EXPECT_TRUE(denied.contains("rifiutato") && denied.contains("password=***"))
        << denied.toStdString();
    EXPECT_FALSE(denied.contains("segretissima"));
    bad.conninfo = "host=/nessuna/cartella password=segretissima";
    Workspace unreachable(bad);
    const QString down = errorOf([&] { unreachable.openDatabase("A.mdb"); });
    EXPECT_TRUE(down.contains("non riuscita")) << down.toStdString();
    EXPECT_FALSE(down.contains("segretissima"));
}

// The server's own tables and a stuck server: an edit checks the row's
// version, not values that read back otherwise (char(n), real, float text);
// a value beyond the money range is refused, never read as 0; a NUL never
// reaches the server cut short; a backend that stops answering is given up
// within its bound, at once on a stop request; one bridge per own schema.
TEST_P(WorkspaceTest, ServerChecksRowVersionsBoundsWaitsAndClaimsItsSchema) {
    if (!onServer())
        GTEST_SKIP() << "server only";
    server().exec(
        "CREATE TABLE \"A\".\"Tipi\" (quorvel_rowid bigint GENERATED BY DEFAULT AS IDENTITY "
        "PRIMARY KEY, \"Camera\" char(10), \"Unitario\" real, \"Quantita\" double precision, "
        "\"Importo\" numeric(19,4), \"Largo\" numeric(30,4)); INSERT INTO \"A\".\"Tipi\" "
        "(\"Camera\", \"Unitario\", \"Quantita\", \"Importo\", \"Largo\") VALUES ('102', 1.1, "
        "0.1, 1.5, 1), ('103', 2.2, 0.3, 2, 1e25)");
    auto a = ws().openDatabase("A.mdb");
    PgConnection& pg = ws().impl().connection();
    pg.exec("SET extra_float_digits = 0", "test");
    auto tipi = a->openRecordset("Tipi");
    for (int round = 0; round < 2; ++round) {  // twice: the second edit checks the new version
        tipi->findFirst("Camera = '102'");
        ASSERT_FALSE(tipi->noMatch());
        tipi->edit();
        tipi->setValue("Importo", tipi->money("Importo") + Currency::fromUnits(1));
        tipi->setValue("Quantita", tipi->real("Quantita") + 0.1);
        EXPECT_NO_THROW(tipi->update());
    }
    EXPECT_EQ(server().raw("A", "SELECT Importo FROM Tipi WHERE Camera = '102'"),
              QStringList({"35000"}));
    try {
        tipi->findFirst("Camera = '103'");
        ADD_FAILURE() << "1e25 read as money";
    } catch (const ValueRefused& e) {
        EXPECT_TRUE(e.message().contains("non rappresentabile")) << e.what();
    }
    const QString nul = errorOf([&] {
        addRow(*a->openRecordset("Conto"), {"Codice", "Nome"}, {7, QString("PIZZA") + QChar(0)});
    });
    EXPECT_TRUE(nul.contains("NUL")) << nul.toStdString();
    EXPECT_TRUE(raw("A.mdb", "SELECT Codice FROM Conto WHERE Codice = 7").isEmpty());

    // A stopped backend: cancelled after its statement time-out, the
    // connection closed within a second more; a stop request ends the wait.
    ServerConfig quick = server().config();
    quick.conninfo += " options='-c statement_timeout=300'";
    Workspace stuck(quick);
    auto s = stuck.openDatabase("A.mdb");
    auto conto = s->openRecordset("Conto");
    for (const bool stop : {false, true}) {
        const int pid = stuck.impl().connection().backendPid();
        ASSERT_EQ(::kill(pid, SIGSTOP), 0);
        setStopRequested(stop);
        QElapsedTimer clock;
        clock.start();
        const QString why = errorOf([&] { conto->findFirst("Codice = 99"); });
        const qint64 took = clock.elapsed();
        setStopRequested(false);
        ::kill(pid, SIGCONT);
        EXPECT_TRUE(why.contains(stop ? "arresto richiesto" : "non risponde")) << why.toStdString();
        EXPECT_LT(took, stop ? 1000 : 5000);
        EXPECT_NO_THROW(conto->findFirst("Codice = 1"));  // connects again
    }
    // An index that exists is not created again: the server's IF NOT EXISTS
    // would wait for an open writer (past this workspace's 300 ms).
    a->createIndex("Conto", {"Codice"});
    server().exec("BEGIN; INSERT INTO \"A\".\"Conto\" (\"Codice\") VALUES (8)");
    EXPECT_NO_THROW(s->createIndex("Conto", {"Codice"}));
    server().exec("ROLLBACK");

    // Two bridges on one own schema: the second refused, naming the first,
    // until the first ends; a schema from the path alone is taken over.
    server().exec(
        "CREATE SCHEMA quorvel_vecchio; CREATE TABLE quorvel_vecchio.\"Pendenti\" "
        "(quorvel_rowid bigint GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY, "
        "\"Riga\" varchar(255)); INSERT INTO quorvel_vecchio.\"Pendenti\" (\"Riga\") "
        "VALUES ('in attesa')");
    ServerConfig own = server().config("quorvel_ponte");
    own.legacySchema = "quorvel_vecchio";
    auto first = std::make_unique<Workspace>(own);
    first->claimOwnSchema();
    auto queue = first->openDatabase("QuorvelCoda.db");
    EXPECT_EQ(server().raw("quorvel_ponte", "SELECT Riga FROM Pendenti"),
              QStringList({"in attesa"}));
    Workspace second(own);
    second.claimOwnSchema();
    const QString taken = errorOf([&] { second.openDatabase("QuorvelCoda.db"); });
    EXPECT_TRUE(
        taken.contains("già in uso da un altro ponte") &&
        taken.contains(QStringLiteral("processo %1").arg(QCoreApplication::applicationPid())))
        << taken.toStdString();
    queue.reset();
    first.reset();
    EXPECT_NO_THROW(second.openDatabase("QuorvelCoda.db"));

    // A session still holding the schema for a bridge of this machine and
    // folder whose process is gone (a power cut the server has not noticed)
    // is ended and the schema taken; one of a live process is not.
    PgConnection gone(server().conninfo());
    const int gonePid = gone.backendPid();
    const QString row = QStringLiteral(
                            "CREATE TABLE %1.\"Ponte\" (quorvel_rowid bigint GENERATED BY "
                            "DEFAULT AS IDENTITY PRIMARY KEY, \"Macchina\" varchar(255), "
                            "\"Cartella\" varchar(1024), \"Processo\" bigint, \"Dal\" "
                            "varchar(19)); INSERT INTO %1.\"Ponte\" (\"Macchina\", "
                            "\"Cartella\", \"Processo\") VALUES ('%2', '%3', %4)")
                            .arg(QStringLiteral("%1"), QSysInfo::machineHostName(),
                                 QDir::currentPath(), QStringLiteral("%2"));
    for (const qint64 pid : {qint64{1}, qint64{INT_MAX}}) {
        const QString schema = QStringLiteral("quorvel_perso_") + (pid == 1 ? "vivo" : "morto");
        gone.exec(QStringLiteral("SELECT pg_advisory_lock(hashtextextended('quorvel-schema:%1', "
                                 "0)); CREATE SCHEMA %1; ")
                          .arg(schema) +
                      row.arg(schema).arg(pid),
                  QString());
        Workspace after(server().config(schema));
        after.claimOwnSchema();
        const QString why = errorOf([&] { after.openDatabase("QuorvelCoda.db"); });
        EXPECT_EQ(why.isEmpty(), pid != 1) << why.toStdString();
    }
    const PgResult left =
        PgConnection(server().conninfo())
            .run("SELECT count(*) FROM pg_stat_activity WHERE pid = " + QByteArray::number(gonePid),
                 {}, QString());
    EXPECT_STREQ(PQgetvalue(left.get(), 0, 0), "0");
}
