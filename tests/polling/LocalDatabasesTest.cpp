// The program's own databases: created once with their exact layout, and
// never touched again.
#include "polling/LocalDatabases.h"

#include "db/Engine.h"
#include "platform/Error.h"
#include "support/TempDir.h"

#include <sqlite3.h>
#include <QFileInfo>

using namespace quorvel;

namespace {

class LocalDatabasesTest : public test::TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        ws = std::make_unique<db::Workspace>();
    }
    void TearDown() override {
        ws.reset();
        TempDirTest::TearDown();
    }
    // Rows of a raw query, columns joined by '|'.
    QStringList raw(const QString& file, const QString& sql) {
        sqlite3* conn = nullptr;
        QStringList rows;
        sqlite3_open_v2(path(file).toUtf8().constData(), &conn, SQLITE_OPEN_READWRITE, nullptr);
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(conn, sql.toUtf8().constData(), -1, &stmt, nullptr) == SQLITE_OK) {
            while (sqlite3_step(stmt) == SQLITE_ROW) {
                QStringList cols;
                for (int i = 0; i < sqlite3_column_count(stmt); ++i)
                    cols << QString::fromUtf8(
                        reinterpret_cast<const char*>(sqlite3_column_text(stmt, i)));
                rows << cols.join(u'|');
            }
        } else {
            ADD_FAILURE() << sqlite3_errmsg(conn);
        }
        sqlite3_finalize(stmt);
        sqlite3_close(conn);
        return rows;
    }

    std::unique_ptr<db::Workspace> ws;
};

}  // namespace

TEST_F(LocalDatabasesTest, FirstStartCreatesBothWithTheirFieldsInOrder) {
    CreaClientiCasa(*ws);
    CreaPassaRicevute(*ws);
    EXPECT_EQ(raw("ClientiCasa.mdb", "SELECT type, name FROM sqlite_master"),
              QStringList({"table|ClientiCasa"}));  // no index, no other table
    EXPECT_EQ(raw("ClientiCasa.mdb",
                  "SELECT name, type, \"notnull\", dflt_value IS NULL, pk "
                  "FROM pragma_table_info('ClientiCasa')"),
              QStringList({"NumeroHotel|SMALLINT|0|1|0", "NumeroCamera|TEXT(6)|0|1|0",
                           "NomeCliente|TEXT(100)|0|1|0", "DataArrivo|TEXT(10)|0|1|0",
                           "DataPartenza|TEXT(10)|0|1|0"}));
    EXPECT_EQ(raw("PassaRicevute.mdb", "SELECT type, name FROM sqlite_master"),
              QStringList({"table|PassaRicevute"}));
    EXPECT_EQ(raw("PassaRicevute.mdb", "SELECT name, type FROM pragma_table_info('PassaRicevute')"),
              QStringList({"NumeroHotel|SMALLINT", "CodiceCliente|INTEGER", "DataAddebito|TEXT(8)",
                           "TipoDocumento|TEXT(15)", "NDocumento|SMALLINT", "Importo|CURRENCY",
                           "Annullato|TEXT(1)"}));
    EXPECT_TRUE(raw("ClientiCasa.mdb", "SELECT * FROM ClientiCasa").isEmpty());
    EXPECT_TRUE(raw("PassaRicevute.mdb", "SELECT * FROM PassaRicevute").isEmpty());
}

TEST_F(LocalDatabasesTest, TheEngineRefusesValuesTooLongForTheFields) {
    CreaClientiCasa(*ws);
    auto database = ws->openDatabase("ClientiCasa.mdb");
    auto rs = database->openRecordset("ClientiCasa");
    rs->addNew();
    EXPECT_THROW(rs->setValue("NomeCliente", QString(101, u'x')), Error);
    EXPECT_THROW(rs->setValue("NumeroCamera", "1234567"), Error);
    rs->setValue("NomeCliente", QString(100, u'x'));
    rs->setValue("NumeroCamera", "123456");
    rs->update();
    EXPECT_EQ(raw("ClientiCasa.mdb", "SELECT length(NomeCliente), NumeroCamera FROM ClientiCasa"),
              QStringList({"100|123456"}));
}

TEST_F(LocalDatabasesTest, ExistingFilesAreNeverTouched) {
    CreaClientiCasa(*ws);
    CreaPassaRicevute(*ws);
    raw("ClientiCasa.mdb", "DROP TABLE ClientiCasa");
    const QByteArray passa = readBytes("PassaRicevute.mdb");
    const QDateTime before = QFileInfo(path("ClientiCasa.mdb")).lastModified();
    const QByteArray casa = readBytes("ClientiCasa.mdb");
    CreaClientiCasa(*ws);
    CreaPassaRicevute(*ws);
    EXPECT_EQ(QFileInfo(path("ClientiCasa.mdb")).lastModified(), before);
    EXPECT_EQ(readBytes("ClientiCasa.mdb"), casa);
    EXPECT_EQ(readBytes("PassaRicevute.mdb"), passa);

    // Not even a file that is no database at all.
    writeBytes("Altro.mdb", "x");
    QFile::rename(path("Altro.mdb"), path("PassaRicevute.mdb.tmp"));
    QFile::remove(path("PassaRicevute.mdb"));
    QFile::rename(path("PassaRicevute.mdb.tmp"), path("PassaRicevute.mdb"));
    EXPECT_NO_THROW(CreaPassaRicevute(*ws));
    EXPECT_EQ(readBytes("PassaRicevute.mdb"), QByteArray("x"));
}
