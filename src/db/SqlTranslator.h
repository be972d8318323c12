// Writes a parsed Jet expression as SQLite SQL over one table, every literal
// a bound parameter. Text comparisons get COLLATE NOCASE (Jet compares text
// without regard to case) only where a text field or text literal takes
// part, so that an index on a number or a NOCASE text column still serves.
// Money literals compared with a currency field become exact ten-thousandths.
#pragma once

#include "db/Engine.h"
#include "db/JetSql.h"
#include "db/Schema.h"
#include "platform/Currency.h"

#include <functional>
#include <memory>
#include <vector>

namespace quorvel::db {

// How a parameter comes from its literal (the k-th parameter from the k-th
// literal of the criterion).
enum class ParamFrom : std::uint8_t { Plain, Negated, Money, NegatedMoney };

struct SqlPiece {
    QString sql;
    std::vector<Value> params;  // in the order of the '?' in sql
    std::vector<ParamFrom> recipe;
};

// The parameters of another criterion of the same shape; nullopt when a
// literal does not convert as the recipe says.
std::optional<std::vector<Value>> paramsFromLiterals(const std::vector<ParamFrom>& recipe,
                                                     const std::vector<jet::Literal>& literals);

// Finds the table of a sub-query (`In (Select c From T In 'file')`): file is
// empty for the query's own database.
using TableResolver =
    std::function<std::shared_ptr<const TableSchema>(const QString& file, const QString& table)>;

// where: the criterion or SELECT text, quoted by errors (unknown field or function).
SqlPiece translate(const jet::Expr& expr, const TableSchema& table, const TableResolver& resolver,
                   const QString& where);

// A Jet decimal or integer literal as exact money; nullopt when it has more
// than four decimals or does not fit.
std::optional<Currency> exactMoney(const QString& digits);

}  // namespace quorvel::db
