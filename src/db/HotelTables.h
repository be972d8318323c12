// The hotel management system's tables as this program relies on them: one
// definition per table (database file, table, fields in order with their
// types and text sizes, and the indexes our look-ups need), plus the layout
// of the program's own guest database for the POS. The same definitions
// create empty hotel databases for tests and the demo; creation goes straight
// through SQLite so it does not depend on the engine's write path.
#pragma once

#include "db/Engine.h"

#include <QString>
#include <QStringList>
#include <vector>

namespace quorvel::db {

// Database file names of the hotel (bare names, resolved against a folder).
inline constexpr char SchedaClienteMdb[] = "Scheda_Cliente.mdb";
inline constexpr char ClientiEsterniMdb[] = "ClientiEsterni.mdb";
inline constexpr char ContoClienteMdb[] = "Conto_Cliente.mdb";
inline constexpr char ContoEsterniMdb[] = "ContoEsterni.mdb";
inline constexpr char VociFatturaMdb[] = "VociFattura.mdb";
inline constexpr char FattureMdb[] = "Fatture.mdb";
inline constexpr char NumeriCamereMdb[] = "NumeriCamere.mdb";
inline constexpr char TipiCamereMdb[] = "TipiCamere.mdb";
inline constexpr char AnagraficaHotelsMdb[] = "AnagraficaHotels.mdb";
inline constexpr char StampantiMdb[] = "Stampanti.mdb";
inline constexpr char ContatoriMdb[] = "Contatori.mdb";
inline constexpr char ClientiCasaMdb[] = "ClientiCasa.mdb";

struct IndexDef {
    QString name;        // unique within its database file
    QStringList fields;  // in key order
};

struct TableLayout {
    QString fileName;   // e.g. "Scheda_Cliente.mdb"
    QString tableName;  // e.g. "Scheda_Cliente"
    std::vector<FieldDef> fields;
    std::vector<IndexDef> indexes;

    // The same table as the engine's create-table call takes it.
    TableDef tableDef() const;
    // nullptr when the table has no such field (names compare case-insensitively).
    const FieldDef* field(const QString& name) const;
};

// Every hotel table, grouped by database file in a fixed order ("Stampanti.mdb"
// holds two tables, Stampanti and SetStampa).
const std::vector<TableLayout>& hotelTables();

// One hotel table by file and table name; throws Error when there is none.
const TableLayout& hotelTable(const QString& fileName, const QString& tableName);

// The hotel's database file names, each once, in the order of hotelTables().
QStringList hotelDatabaseFiles();

// Table ClientiCasa of "ClientiCasa.mdb": no index, no key.
const TableLayout& clientiCasaTable();

// The SQL that creates a table and its indexes; identifiers are quoted and
// column types follow declaredType().
QString createTableSql(const TableLayout& table);
QStringList createIndexSql(const TableLayout& table);

// Creates one database file holding the tables, with no rows, in rollback
// journal mode. Throws Error naming the file when it already exists or cannot
// be written; a half-made file is removed. durable = false skips the flushes
// to disk (test and demo data, made by the dozen).
void createDatabaseFile(const QString& path, const std::vector<const TableLayout*>& tables,
                        bool durable = true);

// Creates every hotel database of hotelTables() in dir (which must exist).
// Throws Error, having written nothing, when any of the files exists.
void createHotelDatabases(const QString& dir, bool durable = true);

}  // namespace quorvel::db
