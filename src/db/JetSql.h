// The Jet SQL subset the program writes: criteria (a WHERE expression
// without the word WHERE) and SELECT texts of the form
//   Select * | col, ... From T [In 'file'] [Where expr] [Order by col [Asc|Desc], ...] [;]
// A tokenizer and a recursive-descent parser turn them into a small tree,
// which SqlTranslator then writes as SQLite SQL.
#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>
#include <vector>

namespace quorvel::db::jet {

struct Select;
struct Expr;
using ExprPtr = std::shared_ptr<const Expr>;

struct Expr {
    enum class Kind {
        Field,    // text = field name
        Integer,  // integer
        Decimal,  // text = the digits as written ("12.50")
        Text,     // text = the quoted text, '' already undone
        Null,
        Not,       // args[0]
        Negate,    // args[0]
        And,       // args[0], args[1]
        Or,        // args[0], args[1]
        Compare,   // text = "=", "<>", "<", ">", "<=", ">="; args[0], args[1]
        IsNull,    // args[0]; negated for Is Not Null
        Call,      // text = function name (upper case); args
        InList,    // args[0] In (args[1..]); negated for Not In
        InSelect,  // args[0] In (select); negated for Not In
    };
    Kind kind = Kind::Null;
    QString text;
    std::int64_t integer = 0;
    bool negated = false;
    std::vector<ExprPtr> args;
    std::shared_ptr<const Select> select;
};

struct OrderKey {
    QString field;
    bool descending = false;
};

struct Select {
    QStringList columns;  // empty for *
    QString table;
    QString file;   // In 'file': the table lives in another database
    ExprPtr where;  // null when there is no Where
    std::vector<OrderKey> orderBy;
};

// True when the recordset source is a SELECT text rather than a table name.
bool isSelectText(const QString& source);

// A literal of a criterion, as criterionShape finds it.
struct Literal {
    enum class Kind { Integer, Decimal, Text };
    Kind kind = Kind::Text;
    std::int64_t integer = 0;
    QString text;  // the digits of a Decimal, the content of a Text
};

// The criterion with every literal replaced by a marker of its kind, and
// the literals in order: criteria that differ only in their values share a
// shape, and so one translation. False when the text does not lend itself
// (a sub-query, an unclosed quote or bracket, a number too large).
bool criterionShape(const QString& criterion, QString& shape, std::vector<Literal>& literals);

// Both throw quorvel::Error(text, "errore di sintassi ...") on a bad text.
// Parses are cached by text, so calling again with the same text is cheap.
ExprPtr parseCriterion(const QString& criterion);
std::shared_ptr<const Select> parseSelect(const QString& text);

}  // namespace quorvel::db::jet
