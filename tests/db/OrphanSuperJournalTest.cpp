// A super-journal whose journals are all gone is an orphan: a kill that came
// while a commit over several files was starting leaves one behind, and the
// folder holding it must not be kept for ever.
#include "db/Engine.h"
#include "support/TempDir.h"

#include <QDir>
#include <chrono>
#include <filesystem>

using namespace quorvel;

namespace {

class OrphanSuperJournalTest : public test::TempDirTest {};

TEST_F(OrphanSuperJournalTest, FolderGoesOnlyWhenNoJournalItNamesIsLeft) {
    const QString prefix = QString::fromLatin1(db::WorkspaceFolderPrefix);
    auto superJournal = [&](const QString& folder, const QStringList& journals) {
        ASSERT_TRUE(QDir(dir()).mkdir(prefix + folder));
        QByteArray names;
        for (const QString& j : journals) names += path(j).toUtf8() + '\0';
        writeBytes(prefix + folder + "/workspace.db-mj1C8ED2962", names);
        // Left long ago (a folder without its lock is spared a moment).
        std::filesystem::last_write_time(
            path(prefix + folder).toStdString(),
            std::filesystem::file_time_type::clock::now() - std::chrono::minutes(5));
    };
    writeBytes(QStringLiteral("Conto_Cliente.mdb-journal"), QByteArray(512, 'j'));
    // Its journals were never written or were rolled back since.
    superJournal(QStringLiteral("orphan"), {QStringLiteral("QuorvelCoda.db-journal"),
                                            QStringLiteral("ContoEsterni.mdb-journal")});
    // Written while being cut short: nothing can point at it yet.
    superJournal(QStringLiteral("empty"), {});
    // A hot journal it names is still there: a recovery needs it.
    superJournal(QStringLiteral("needed"), {QStringLiteral("QuorvelCoda.db-journal"),
                                            QStringLiteral("Conto_Cliente.mdb-journal")});

    EXPECT_EQ(db::removeStaleWorkspaceFolders(dir()), 2);
    EXPECT_EQ(QDir(dir()).entryList({prefix + "*"}, QDir::Dirs | QDir::Hidden),
              QStringList{prefix + "needed"});
}

}  // namespace
