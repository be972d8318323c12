// Where a workspace keeps its main file (and a commit's super-journal), and
// the clean-up of folders left by killed processes.
#include "db/Engine.h"
#include "db/Server.h"
#include "platform/Error.h"
#include "support/TempDir.h"

#include <QDir>
#include <QFile>
#include <chrono>
#include <filesystem>
#ifdef Q_OS_UNIX
#include <sys/wait.h>
#include <unistd.h>
#endif

using namespace quorvel;

namespace {

class WorkspaceFolderTest : public test::TempDirTest {
protected:
    QStringList workspaceFolders() const {
        // Sorted as the expected lists are (QDir's own order follows the locale).
        QStringList names =
            QDir(dir()).entryList({QString::fromLatin1(db::WorkspaceFolderPrefix) + "*"},
                                  QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot);
        names.sort();
        return names;
    }
};

TEST_F(WorkspaceFolderTest, LivesInTheWorkingFolderAndGoesWithTheWorkspace) {
    {
        db::Workspace ws;
        // Beside the databases, not in the system's temp folder: a reboot
        // that empties that folder must not lose a super-journal.
        EXPECT_EQ(workspaceFolders().size(), 1);
        db::TableDef def(QStringLiteral("T"));
        def.appendField(QStringLiteral("N"), db::FieldType::Int32);
        for (const char* name : {"a.mdb", "b.mdb"})
            ws.createDatabase(QString::fromLatin1(name), {})->appendTable(def);
        auto a = ws.openDatabase(QStringLiteral("a.mdb"));
        auto b = ws.openDatabase(QStringLiteral("b.mdb"));
        auto ra = a->openRecordset(QStringLiteral("T"));
        auto rb = b->openRecordset(QStringLiteral("T"));
        db::Transaction t(ws);
        for (auto* rs : {ra.get(), rb.get()}) {
            rs->addNew();
            rs->setValue(QStringLiteral("N"), 1);
            rs->update();
        }
        t.commit();
    }
    EXPECT_TRUE(workspaceFolders().isEmpty());
}

// Any process may clear the folders at any time: one a live workspace holds
// (of this process or another) stays, as does one made an instant ago
// that has no lock yet; a dead owner's goes.
TEST_F(WorkspaceFolderTest, StaleFoldersGoUnlessASuperJournalRemainsOrTheOwnerLives) {
    const QString prefix = QString::fromLatin1(db::WorkspaceFolderPrefix);
    auto old = [&](const QString& name) {
        std::filesystem::last_write_time(
            path(prefix + name).toStdString(),
            std::filesystem::file_time_type::clock::now() - std::chrono::minutes(5));
    };
    ASSERT_TRUE(QDir(dir()).mkdir(prefix + "dead01"));
    writeBytes(prefix + "dead01/workspace.db", QByteArray());
    old("dead01");
    ASSERT_TRUE(QDir(dir()).mkdir(prefix + "dead02"));
    writeBytes(prefix + "dead02/workspace.db-mj0A1B2C3D", QByteArray("journal"));
    old("dead02");
    ASSERT_TRUE(QDir(dir()).mkdir(prefix + "new"));
    ASSERT_TRUE(QDir(dir()).mkdir(QStringLiteral("other")));
    const QStringList before = workspaceFolders();
    auto live = std::make_unique<db::Workspace>();
    QStringList kept = workspaceFolders();
    for (const QString& f : before) kept.removeOne(f);
    ASSERT_EQ(kept.size(), 1);
    kept << prefix + "dead02" << prefix + "new";
    kept.sort();
#ifdef Q_OS_UNIX
    // A workspace whose process was killed: its lock names a dead process.
    const pid_t child = fork();
    if (child == 0) {
        db::Workspace killed;
        _exit(0);
    }
    ASSERT_GT(child, 0);
    ASSERT_EQ(waitpid(child, nullptr, 0), child);
    ASSERT_EQ(workspaceFolders().size(), 5);
#endif

    EXPECT_EQ(db::removeStaleWorkspaceFolders(dir()), workspaceFolders().size() - 3);
    EXPECT_EQ(workspaceFolders(), kept);
    EXPECT_TRUE(QDir(path(QStringLiteral("other"))).exists());
    live.reset();
    EXPECT_EQ(workspaceFolders(), (QStringList{prefix + "dead02", prefix + "new"}));
}

}  // namespace

// "QuorvelDB.txt" chooses the server: missing, nothing changes; its password
// is never shown and a file others may read that holds one is refused; the
// program's own tables get a schema per working folder.
TEST_F(WorkspaceFolderTest, ServerConfigFileChoosesTheStoreAndGuardsItsPassword) {
    EXPECT_FALSE(db::readServerConfig());
    auto write = [&](const QByteArray& text, QFileDevice::Permissions perms) {
        writeBytes("QuorvelDB.txt", text);
        QFile::setPermissions(path("QuorvelDB.txt"), perms);
        return *db::readServerConfig();
    };
    const auto owner = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    const auto everyone = owner | QFileDevice::ReadGroup | QFileDevice::ReadOther;

    db::ServerConfig c = write("host=db.albergo dbname=hotel user=ponte\r\n", everyone);
    EXPECT_TRUE(c.refusal.isEmpty()) << c.refusal.toStdString();  // no password: libpq's file
    EXPECT_EQ(c.conninfo, "host=db.albergo dbname=hotel user=ponte");
    EXPECT_TRUE(c.ownSchema.startsWith("quorvel_") && c.ownSchema.size() == 20);
    EXPECT_EQ(c.schemaFor(path("Conto_Cliente.mdb")), "Conto_Cliente");
    EXPECT_EQ(c.schemaFor(path("QuorvelCoda.db")), c.ownSchema);
    EXPECT_FALSE(c.schemaFor("/pos/ClientiCasa.mdb"));  // the POS side stays a file
    EXPECT_FALSE(c.schemaFor(path("PassaRicevute.mdb")));
    {
        // Another working folder, another schema.
        QTemporaryDir other;
        const QString here = QDir::currentPath();
        QDir::setCurrent(other.path());
        QFile::copy(path("QuorvelDB.txt"), "QuorvelDB.txt");
        EXPECT_NE(db::readServerConfig()->ownSchema, c.ownSchema);
        QDir::setCurrent(here);
    }
    // From the folder's identity, kept in it: the same at every read, and
    // not the path's (two PCs set up alike); the path's is the one taken over.
    EXPECT_EQ(db::readServerConfig()->ownSchema, c.ownSchema);
    EXPECT_NE(c.ownSchema, c.legacySchema);
    EXPECT_TRUE(c.legacySchema.startsWith("quorvel_") && c.legacySchema.size() == 20);
    EXPECT_EQ(readBytes("QuorvelId.txt").size(), 38);  // a UUID and CR LF
    EXPECT_EQ(write("host=x user=ponte\nbar_terrazza\n", owner).ownSchema, "bar_terrazza");
    for (const QByteArray& bad : {QByteArray("public"), QByteArray("Conto_Cliente"),
                                  QByteArray("pg_mio"), QByteArray(64, 'q')})
        EXPECT_FALSE(write("host=x user=ponte\n" + bad + "\n", owner).refusal.isEmpty())
            << bad.constData();

    c = write("host=x user=ponte password='segreta 1'\n", everyone);
    EXPECT_TRUE(c.refusal.contains("chmod 600")) << c.refusal.toStdString();
    EXPECT_FALSE(c.description().contains("segreta"));
    // Refused: a server database fails with the reason, a local one still opens.
    db::Workspace ws(c);
    try {
        ws.openDatabase("Conto_Cliente.mdb");
        ADD_FAILURE() << "opened despite the refusal";
    } catch (const Error& e) {
        EXPECT_TRUE(e.message().startsWith("QuorvelDB.txt: contiene una password")) << e.what();
    }
    EXPECT_NO_THROW(ws.createDatabase("ClientiCasa.mdb", QString()));

    c = write("host=x user=ponte password='segreta 1'\n", owner);
    EXPECT_TRUE(c.refusal.isEmpty());
    EXPECT_TRUE(c.description().contains("password=***")) << c.description().toStdString();
    EXPECT_FALSE(c.description().contains("segreta"));
    EXPECT_FALSE(write("\n", owner).refusal.isEmpty());
    c = write("host='non chiusa password=segreta\n", owner);  // not a connection string
    EXPECT_FALSE(c.refusal.isEmpty());
    EXPECT_FALSE(c.description().contains("segreta"));
}
