// What differs between the two stores in the SQL the engine writes: the row
// id, case-insensitive text, the declared types. SQLite: rowid, COLLATE
// NOCASE, the Jet-like declared types. PostgreSQL: a hidden identity column,
// lower() under the "C" collation (ASCII letters folded, then compared byte
// by byte, which is exactly SQLite's NOCASE) or under ICU for a text with
// other letters, and smallint / integer / numeric(19,4) / double precision /
// varchar(n).
#pragma once

#include "db/Engine.h"

#include <QString>

namespace quorvel::db::dialect {

// The server's row id: insertion order and the dynaset's position.
inline constexpr char ServerRowId[] = "quorvel_rowid";

inline QString rowId(bool server) {
    return server ? QStringLiteral("\"quorvel_rowid\"") : QStringLiteral("rowid");
}

// A text expression folded for a case-insensitive comparison on the server;
// nonAscii: letters beyond ASCII take part (È = è).
inline QString folded(const QString& sql, bool nonAscii) {
    return QStringLiteral("lower(CAST(%1 AS text) COLLATE \"%2\")")
        .arg(sql, nonAscii ? QStringLiteral("und-x-icu") : QStringLiteral("C"));
}

// The column type on the server for a field definition.
inline QString serverType(const FieldDef& field) {
    switch (field.type) {
        case FieldType::Int16:
            return QStringLiteral("smallint");
        case FieldType::Int32:
            return QStringLiteral("integer");
        case FieldType::Currency:
            return QStringLiteral("numeric(19,4)");
        case FieldType::Double:
            return QStringLiteral("double precision");
        case FieldType::Text:
            return QStringLiteral("varchar(%1)").arg(field.size > 0 ? field.size : 255);
        case FieldType::Memo:
            return QStringLiteral("text");
    }
    return QStringLiteral("text");
}

}  // namespace quorvel::db::dialect
