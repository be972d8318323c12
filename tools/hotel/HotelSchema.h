// The hotel management system's tables as the test and demo hotels hold
// them: one definition per table (database file, table, fields in order
// with their types and text sizes, and the indexes the program's look-ups
// need). Creation goes straight through SQLite so it does not depend on the
// engine's write path.
#pragma once

#include "db/Engine.h"
#include "db/HotelFiles.h"

#include <QString>
#include <QStringList>
#include <vector>

namespace quorvel::hotel {

using db::FieldDef;
using db::FieldType;

struct IndexDef {
    QString name;        // unique within its database file
    QStringList fields;  // in key order
};

struct TableLayout {
    QString fileName;   // e.g. "Scheda_Cliente.mdb"
    QString tableName;  // e.g. "Scheda_Cliente"
    std::vector<FieldDef> fields;
    std::vector<IndexDef> indexes;

    // nullptr when the table has no such field (names compare case-insensitively).
    const FieldDef* field(const QString& name) const;
};

// Every hotel table, grouped by database file in a fixed order ("Stampanti.mdb"
// holds two tables, Stampanti and SetStampa).
const std::vector<TableLayout>& hotelTables();

// One hotel table by file and table name; throws Error when there is none.
const TableLayout& hotelTable(const QString& fileName, const QString& tableName);

// The program's table ClientiCasa of "ClientiCasa.mdb" (the POS's copy).
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

// Creates every hotel database of hotelTables(), one file for each of
// db::hotelDatabaseFiles(), in dir (which must exist).
// Throws Error, having written nothing, when any of the files exists.
void createHotelDatabases(const QString& dir, bool durable = true);

}  // namespace quorvel::hotel
