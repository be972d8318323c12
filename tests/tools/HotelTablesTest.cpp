// The hotel tables as created on disk: declared types, indexes, journal mode,
// and refusal to overwrite an existing file.
#include "hotel/HotelSchema.h"
#include "hotel/SqliteFile.h"
#include "platform/Error.h"
#include "support/TempDir.h"
#include "tools/QtPrinters.h"

#include <sqlite3.h>
#include <QDir>
#include <QFileInfo>

namespace quorvel {
namespace {

using db::FieldType;
using hotel::SqliteFile;
using hotel::Statement;

class HotelTablesTest : public test::TempDirTest {};

QStringList column(SqliteFile& file, const QString& sql, int col = 0) {
    Statement query(file, sql);
    QStringList values;
    while (query.next()) values.append(query.text(col));
    return values;
}

TEST_F(HotelTablesTest, EveryTableIsCreatedWithItsDeclaredTypesInOrder) {
    hotel::createHotelDatabases(dir());
    for (const hotel::TableLayout& table : hotel::hotelTables()) {
        SCOPED_TRACE(table.fileName.toStdString() + " " + table.tableName.toStdString());
        SqliteFile file(path(table.fileName), true);
        Statement info(file, QStringLiteral("PRAGMA table_info(\"%1\")").arg(table.tableName));
        size_t i = 0;
        while (info.next()) {
            ASSERT_LT(i, table.fields.size());
            EXPECT_EQ(info.text(1), table.fields[i].name);
            // The collation is a column constraint, outside the type SQLite reports.
            EXPECT_EQ(info.text(2) + (table.fields[i].type == FieldType::Text
                                          ? QStringLiteral(" COLLATE NOCASE")
                                          : QString()),
                      db::declaredType(table.fields[i]));
            const char* collation = nullptr;
            ASSERT_EQ(sqlite3_table_column_metadata(file.handle(), nullptr,
                                                    table.tableName.toUtf8().constData(),
                                                    table.fields[i].name.toUtf8().constData(),
                                                    nullptr, &collation, nullptr, nullptr, nullptr),
                      SQLITE_OK);
            EXPECT_STREQ(collation, table.fields[i].type == FieldType::Text ? "NOCASE" : "BINARY");
            ++i;
        }
        EXPECT_EQ(i, table.fields.size());
        EXPECT_EQ(column(file, QStringLiteral("PRAGMA journal_mode")),
                  QStringList{QStringLiteral("delete")});
        EXPECT_EQ(column(file, QStringLiteral("SELECT count(*) FROM \"%1\"").arg(table.tableName)),
                  QStringList{QStringLiteral("0")});
    }
    // The fields the program reads and writes carry the types it relies on.
    const auto& conto =
        hotel::hotelTable(QStringLiteral("Conto_Cliente.mdb"), QStringLiteral("Conto_Cliente"));
    EXPECT_EQ(conto.field(QStringLiteral("Importo"))->type, FieldType::Currency);
    EXPECT_EQ(conto.field(QString::fromUtf8("Quantità"))->type, FieldType::Double);
    EXPECT_EQ(conto.field(QStringLiteral("Unitario"))->type, FieldType::Double);
    EXPECT_EQ(conto.field(QStringLiteral("VoceAddebito"))->type, FieldType::Int16);
    EXPECT_EQ(conto.field(QStringLiteral("NumeroHotel"))->type, FieldType::Int16);
    EXPECT_EQ(conto.field(QStringLiteral("DataAddebito"))->size, 8);
    const auto& setStampa =
        hotel::hotelTable(QStringLiteral("Stampanti.mdb"), QStringLiteral("SetStampa"));
    EXPECT_EQ(setStampa.field(QStringLiteral("Compresso"))->size, 36);
    EXPECT_EQ(setStampa.field(QStringLiteral("Grassetto"))->size, 36);
    const auto& incassi =
        hotel::hotelTable(QStringLiteral("Fatture.mdb"), QStringLiteral("Incassi"));
    EXPECT_EQ(incassi.field(QStringLiteral("Importo"))->type, FieldType::Currency);
    EXPECT_EQ(incassi.field(QStringLiteral("Orario"))->size, 4);
    EXPECT_THROW(hotel::hotelTable(QStringLiteral("Fatture.mdb"), QStringLiteral("Fatture")),
                 Error);
}

TEST_F(HotelTablesTest, LookupIndexesExistAndServeTheLookups) {
    hotel::createHotelDatabases(dir());
    struct Expected {
        const char *file, *table, *sql, *index;
    };
    const Expected cases[] = {
        {"Scheda_Cliente.mdb", "Scheda_Cliente",
         "SELECT * FROM Scheda_Cliente WHERE NumeroCamera = '101' COLLATE NOCASE",
         "idx_Scheda_Cliente_NumeroCamera"},
        {"ClientiEsterni.mdb", "Scheda_Cliente",
         "SELECT * FROM Scheda_Cliente WHERE NumeroCamera = '901'",
         "idx_Scheda_Cliente_NumeroCamera"},
        {"Conto_Cliente.mdb", "Conto_Cliente",
         "SELECT * FROM Conto_Cliente WHERE CodiceCliente = 1 AND NumeroCamera = '101' AND "
         "DataAddebito = '20250307' AND VoceAddebito = 1",
         "idx_Conto_Cliente_CodiceCliente_NumeroCamera_DataAddebito_VoceAddebito"},
        {"VociFattura.mdb", "VociFattura", "SELECT * FROM VociFattura WHERE Codice = 1",
         "idx_VociFattura_Codice"},
        {"NumeriCamere.mdb", "NumeriCamere",
         "SELECT * FROM NumeriCamere WHERE NumeroCamera = '101'", "idx_NumeriCamere_NumeroCamera"},
        {"TipiCamere.mdb", "TipiCamere", "SELECT * FROM TipiCamere WHERE Sigla = 'DBL'",
         "idx_TipiCamere_Sigla"},
        {"Stampanti.mdb", "Stampanti", "SELECT * FROM Stampanti WHERE Destinazione = 'PDF'",
         "idx_Stampanti_Destinazione"},
        {"Stampanti.mdb", "SetStampa", "SELECT * FROM SetStampa WHERE TipoStampa = 1",
         "idx_SetStampa_TipoStampa"},
    };
    for (const Expected& c : cases) {
        SCOPED_TRACE(c.sql);
        SqliteFile file(path(QString::fromLatin1(c.file)), true);
        EXPECT_TRUE(
            column(file, QStringLiteral("PRAGMA index_list(\"%1\")").arg(QLatin1String(c.table)), 1)
                .contains(QLatin1String(c.index)));
        const QString plan =
            column(file, QStringLiteral("EXPLAIN QUERY PLAN ") + QLatin1String(c.sql), 3)
                .join(QLatin1Char('\n'));
        EXPECT_TRUE(plan.contains(QLatin1String(c.index))) << plan.toStdString();
    }
}

TEST_F(HotelTablesTest, ClientiCasaHasTheProgramsLayoutAndNoIndex) {
    const QString file = path(QStringLiteral("ClientiCasa.mdb"));
    hotel::createDatabaseFile(file, {&hotel::clientiCasaTable()});
    SqliteFile db(file, true);
    EXPECT_EQ(column(db, QStringLiteral("PRAGMA table_info(ClientiCasa)"), 1),
              (QStringList{QStringLiteral("NumeroHotel"), QStringLiteral("NumeroCamera"),
                           QStringLiteral("NomeCliente"), QStringLiteral("DataArrivo"),
                           QStringLiteral("DataPartenza")}));
    EXPECT_EQ(column(db, QStringLiteral("PRAGMA table_info(ClientiCasa)"), 2),
              (QStringList{QStringLiteral("SMALLINT"), QStringLiteral("TEXT(6)"),
                           QStringLiteral("TEXT(100)"), QStringLiteral("TEXT(10)"),
                           QStringLiteral("TEXT(10)")}));
    EXPECT_TRUE(column(db, QStringLiteral("PRAGMA index_list(ClientiCasa)")).isEmpty());
}

TEST_F(HotelTablesTest, AnExistingFileIsNeverOverwritten) {
    writeBytes(QStringLiteral("Conto_Cliente.mdb"), "righe della contabilita");
    EXPECT_THROW(hotel::createHotelDatabases(dir()), Error);
    EXPECT_EQ(readBytes(QStringLiteral("Conto_Cliente.mdb")),
              QByteArray("righe della contabilita"));
    EXPECT_FALSE(exists(QStringLiteral("Scheda_Cliente.mdb")));  // refused before making anything

    // A table that cannot be made leaves no half-made file behind.
    hotel::TableLayout broken{
        QStringLiteral("Rotto.mdb"),
        QStringLiteral("T"),
        {{QStringLiteral("A"), FieldType::Int16, 0}, {QStringLiteral("A"), FieldType::Int16, 0}},
        {}};
    EXPECT_THROW(hotel::createDatabaseFile(path(QStringLiteral("Rotto.mdb")), {&broken}), Error);
    EXPECT_FALSE(exists(QStringLiteral("Rotto.mdb")));
}

}  // namespace
}  // namespace quorvel
