// How the soak's POS puts a file in place: whole (renamed from a temporary
// name) and never over a file the program has not taken yet.
#include "soak/Simulators.h"
#include "support/TempDir.h"

#include <QDir>

namespace quorvel::soak {
namespace {

class DropTest : public test::TempDirTest {};

TEST_F(DropTest, NoticeGoesInPlaceWholeAndNeverOverOneStillWaiting) {
    EXPECT_TRUE(dropNotice(dir(), QStringLiteral("CKI101"), QStringLiteral("avviso.tmp")));
    EXPECT_TRUE(exists(QStringLiteral("CKI101")));
    EXPECT_FALSE(exists(QStringLiteral("avviso.tmp")));

    // The program has not taken it yet: the waiting file stands for the new
    // event too, and is left exactly as it is.
    writeBytes(QStringLiteral("CKI101"), QByteArray("in attesa"));
    EXPECT_FALSE(dropNotice(dir(), QStringLiteral("CKI101"), QStringLiteral("avviso.tmp")));
    EXPECT_EQ(readBytes(QStringLiteral("CKI101")), QByteArray("in attesa"));
    EXPECT_FALSE(exists(QStringLiteral("avviso.tmp")));
    // Nothing but the notice matches the program's notice search.
    EXPECT_EQ(QDir(dir()).entryList({QStringLiteral("CK*")}, QDir::Files),
              QStringList{QStringLiteral("CKI101")});
}

}  // namespace
}  // namespace quorvel::soak
