// What the engine knows of a table: its columns with the engine type each
// declared type stands for (SMALLINT, INTEGER, CURRENCY, DOUBLE, TEXT(n)).
#pragma once

#include <QHash>
#include <QString>
#include <vector>

namespace quorvel::db {

enum class ColumnKind { Int16, Int32, Currency, Double, Text, Other };

struct Column {
    QString name;    // as stored
    QString quoted;  // "name", ready for SQL
    ColumnKind kind = ColumnKind::Other;
    int size = 0;  // characters, for Text; 0 = no limit
};

struct TableSchema {
    QString name;           // as stored
    QString qualified;      // alias."name", ready for SQL
    QString file;           // absolute path, for messages
    bool onServer = false;  // on PostgreSQL: the dialect of the server
    // On the server, a table (not a view): an edit checks the row's version
    // (xmin), which changes with any write to it, not the values read back.
    bool rowVersion = false;
    std::vector<Column> columns;
    QHash<QString, int> byFoldedName;
    QHash<QString, int> byName;  // as stored: most look-ups spell the name so, and skip folding

    // Index of a field, matched without regard to case; -1 when missing.
    int indexOf(const QString& field) const {
        const auto it = byName.constFind(field);
        return it != byName.constEnd() ? *it : byFoldedName.value(field.toCaseFolded(), -1);
    }
};

// The kind and size of a declared type: "SMALLINT", "TEXT(10) COLLATE NOCASE", ...
Column columnFromDeclared(const QString& name, const QString& declared);

// The same for a column of the server, by its type as format_type() writes it.
Column columnFromServer(const QString& name, const QString& type);

// "name" with inner double quotes doubled.
QString quoteIdentifier(const QString& name);

}  // namespace quorvel::db
