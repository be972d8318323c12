// How the soak's POS puts a file in place: whole (renamed from a temporary
// name) or written in place, byte for byte as the ledger keeps it, and never
// over a file the program has not taken yet.
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

TEST_F(DropTest, FilesAreWrittenAsTheLedgerKeepsThemAndNeverOverOneStillWaiting) {
    const QStringList lines = {QStringLiteral(" 101 caffè"), QString()};
    EXPECT_EQ(posFileBytes(lines, false), QByteArray(" 101 caff\xe8\r\n\r\n"));
    const QByteArray lf = posFileBytes(lines, true);
    EXPECT_EQ(lf, QByteArray(" 101 caff\xe8\n\n"));

    hotel::Random random(5);
    EXPECT_TRUE(writeInPlace(path(QStringLiteral("Estrazione.mdb")), lf, 4, 2, random));
    EXPECT_EQ(readBytes(QStringLiteral("Estrazione.mdb")), lf);
    EXPECT_FALSE(writeInPlace(path(QStringLiteral("Estrazione.mdb")), "altro", 1, 0, random));
    EXPECT_FALSE(
        dropFile(path(QStringLiteral("Estrazione.mdb")), path(QStringLiteral("a.tmp")), "altro"));
    EXPECT_EQ(readBytes(QStringLiteral("Estrazione.mdb")), lf);
    EXPECT_FALSE(exists(QStringLiteral("a.tmp")));
    EXPECT_TRUE(dropFile(path(QStringLiteral("Documento.txt")), path(QStringLiteral("a.tmp")), lf));
    EXPECT_EQ(readBytes(QStringLiteral("Documento.txt")), lf);
}

}  // namespace
}  // namespace quorvel::soak
