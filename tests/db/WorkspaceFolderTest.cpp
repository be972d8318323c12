// Where a workspace keeps its main file (and a commit's super-journal), and
// the clean-up of folders left by killed processes.
#include "db/Engine.h"
#include "support/TempDir.h"

#include <QDir>
#include <QFile>

using namespace quorvel;

namespace {

class WorkspaceFolderTest : public test::TempDirTest {
protected:
    QStringList workspaceFolders() const {
        return QDir(dir()).entryList({QString::fromLatin1(db::WorkspaceFolderPrefix) + "*"},
                                     QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot);
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

TEST_F(WorkspaceFolderTest, StaleFoldersGoUnlessASuperJournalRemains) {
    const QString prefix = QString::fromLatin1(db::WorkspaceFolderPrefix);
    ASSERT_TRUE(QDir(dir()).mkdir(prefix + "dead01"));
    writeBytes(prefix + "dead01/workspace.db", QByteArray());
    ASSERT_TRUE(QDir(dir()).mkdir(prefix + "dead02"));
    writeBytes(prefix + "dead02/workspace.db-mj0A1B2C3D", QByteArray("journal"));
    ASSERT_TRUE(QDir(dir()).mkdir(QStringLiteral("other")));

    EXPECT_EQ(db::removeStaleWorkspaceFolders(dir()), 1);
    EXPECT_EQ(workspaceFolders(), QStringList{prefix + "dead02"});
    EXPECT_TRUE(QDir(path(QStringLiteral("other"))).exists());
}

}  // namespace
