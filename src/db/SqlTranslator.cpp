// Jet expression tree to SQLite SQL with bound parameters.
#include "db/SqlTranslator.h"

#include "db/Dialect.h"
#include "db/JetText.h"
#include "platform/Error.h"

#include <limits>

namespace quorvel::db {

using jet::Expr;

std::optional<Currency> exactMoney(const QString& digits) {
    const qsizetype dot = digits.indexOf(u'.');
    const QString whole = dot < 0 ? digits : digits.left(dot);
    QString frac = dot < 0 ? QString() : digits.mid(dot + 1);
    while (frac.size() > 4 && frac.endsWith(u'0')) frac.chop(1);
    if (frac.size() > 4)
        return std::nullopt;
    frac = frac.leftJustified(4, u'0');
    std::int64_t raw = 0;
    for (QChar c : whole + frac) {
        if (!c.isDigit())
            return std::nullopt;
        const int d = c.digitValue();
        if (raw > (std::numeric_limits<std::int64_t>::max() - d) / 10)
            return std::nullopt;
        raw = raw * 10 + d;
    }
    return Currency::fromRaw(raw);
}

std::optional<std::vector<Value>> paramsFromLiterals(const std::vector<ParamFrom>& recipe,
                                                     const std::vector<jet::Literal>& literals) {
    using Kind = jet::Literal::Kind;
    if (recipe.size() != literals.size())
        return std::nullopt;
    std::vector<Value> params;
    params.reserve(recipe.size());
    for (std::size_t i = 0; i < recipe.size(); ++i) {
        const jet::Literal& lit = literals[i];
        const ParamFrom from = recipe[i];
        if (from == ParamFrom::Money || from == ParamFrom::NegatedMoney) {
            if (lit.kind == Kind::Text)
                return std::nullopt;
            std::optional<Currency> m = exactMoney(lit.text);
            if (!m)
                return std::nullopt;
            params.emplace_back(from == ParamFrom::Money ? *m : -*m);
            continue;
        }
        const bool negate = from == ParamFrom::Negated;
        switch (lit.kind) {
            case Kind::Integer:
                params.emplace_back(negate ? -lit.integer : lit.integer);
                break;
            case Kind::Decimal:
                params.emplace_back(negate ? -lit.text.toDouble() : lit.text.toDouble());
                break;
            case Kind::Text:
                if (negate)
                    return std::nullopt;
                params.emplace_back(lit.text);
                break;
        }
    }
    return params;
}

namespace {

enum class Type { Unknown, Text, Number, Currency, Null, Bool };

struct Out {
    QString sql;
    Type type = Type::Unknown;
    bool field = false;
    bool nonAscii = false;  // a text literal with letters beyond ASCII
};

class Translator {
public:
    Translator(const TableSchema& table, const TableResolver& resolver, const QString& where,
               SqlPiece& out)
        : m_table(table),
          m_resolver(resolver),
          m_where(where),
          m_out(out),
          m_server(table.onServer) {}

    Out expr(const Expr& e);
    // A condition: the server takes only a boolean there, Jet any number.
    QString condition(const Expr& e) { return truth(expr(e)); }

private:
    Out param(Value v, Type type, ParamFrom from) {
        m_out.params.push_back(std::move(v));
        m_out.recipe.push_back(from);
        return {QStringLiteral("?"), type, false, false};
    }
    const Column& column(const QString& name) const {
        const int i = m_table.indexOf(name);
        if (i < 0) {
            throw Error(name, QStringLiteral("campo inesistente nella tabella %1 del file %2 (%3)")
                                  .arg(m_table.name, m_table.file, m_where));
        }
        return m_table.columns[static_cast<std::size_t>(i)];
    }
    bool isCurrencyField(const Expr& e) const {
        return e.kind == Expr::Kind::Field && column(e.text).kind == ColumnKind::Currency;
    }
    // A number literal as exact money (a leading minus allowed).
    static std::optional<Currency> moneyLiteral(const Expr& e) {
        if (e.kind == Expr::Kind::Negate) {
            const Expr& inner = *e.args[0];
            if (inner.kind != Expr::Kind::Integer && inner.kind != Expr::Kind::Decimal)
                return std::nullopt;
            auto m = moneyLiteral(inner);
            if (m)
                return -*m;
            return std::nullopt;
        }
        if (e.kind == Expr::Kind::Integer)
            return exactMoney(QString::number(e.integer));
        if (e.kind == Expr::Kind::Decimal)
            return exactMoney(e.text);
        return std::nullopt;
    }
    static ParamFrom moneyFrom(const Expr& e) {
        return e.kind == Expr::Kind::Negate ? ParamFrom::NegatedMoney : ParamFrom::Money;
    }
    Out rawField(const Expr& e) {
        const Column& c = column(e.text);
        return {c.quoted, Type::Currency, true, false};
    }
    QString truth(const Out& o) const {
        return m_server && o.type != Type::Bool ? QStringLiteral("(%1 <> 0)").arg(o.sql) : o.sql;
    }
    // A text comparison of a with b: SQLite gives the collation, the server
    // compares both sides folded.
    QString textCompare(const Out& a, const QString& op, const Out& b) const {
        const QString coll = collation(a, b);
        if (!m_server || coll.isEmpty())
            return u'(' + a.sql + u' ' + op + u' ' + b.sql + coll + u')';
        const bool wide = a.nonAscii || b.nonAscii;
        return u'(' + dialect::folded(a.sql, wide) + u' ' + op + u' ' +
               dialect::folded(b.sql, wide) + u')';
    }
    static QString collation(const Out& a, const Out& b) {
        bool text;
        if (a.field || b.field)
            text = (a.field && a.type == Type::Text) || (b.field && b.type == Type::Text);
        else
            text = a.type == Type::Text || b.type == Type::Text;
        if (!text)
            return {};
        return (a.nonAscii || b.nonAscii) ? QStringLiteral(" COLLATE JETNOCASE")
                                          : QStringLiteral(" COLLATE NOCASE");
    }

    Out compare(const Expr& e);
    Out inList(const Expr& e);
    Out inSelect(const Expr& e);
    Out call(const Expr& e);

    const TableSchema& m_table;
    const TableResolver& m_resolver;
    const QString& m_where;
    SqlPiece& m_out;
    bool m_server;
};

Out Translator::expr(const Expr& e) {
    switch (e.kind) {
        case Expr::Kind::Field: {
            const Column& c = column(e.text);
            switch (c.kind) {
                case ColumnKind::Text:
                    return {c.quoted, Type::Text, true, false};
                case ColumnKind::Currency:
                    // Outside a comparison with a literal, money reads in units
                    // (the server's numeric is in units already).
                    if (m_server)
                        return {c.quoted, Type::Number, true, false};
                    return {QStringLiteral("(%1 / 10000.0)").arg(c.quoted), Type::Number, true,
                            false};
                case ColumnKind::Other:
                    return {c.quoted, Type::Unknown, true, false};
                default:
                    return {c.quoted, Type::Number, true, false};
            }
        }
        case Expr::Kind::Integer:
            return param(Value(e.integer), Type::Number, ParamFrom::Plain);
        case Expr::Kind::Decimal:
            return param(Value(e.text.toDouble()), Type::Number, ParamFrom::Plain);
        case Expr::Kind::Text: {
            Out o = param(Value(e.text), Type::Text, ParamFrom::Plain);
            o.nonAscii = hasNonAscii(e.text);
            return o;
        }
        case Expr::Kind::Null:
            return {QStringLiteral("NULL"), Type::Null, false, false};
        case Expr::Kind::Negate: {
            const Expr& inner = *e.args[0];
            if (inner.kind == Expr::Kind::Integer)
                return param(Value(-inner.integer), Type::Number, ParamFrom::Negated);
            if (inner.kind == Expr::Kind::Decimal)
                return param(Value(-inner.text.toDouble()), Type::Number, ParamFrom::Negated);
            Out o = expr(inner);
            return {QStringLiteral("(-%1)").arg(o.sql), Type::Number, false, false};
        }
        case Expr::Kind::Not: {
            const QString o = condition(*e.args[0]);
            return {QStringLiteral("(NOT %1)").arg(o), Type::Bool, false, false};
        }
        case Expr::Kind::And:
        case Expr::Kind::Or: {
            const QString a = condition(*e.args[0]);
            const QString b = condition(*e.args[1]);
            const char* op = e.kind == Expr::Kind::And ? " AND " : " OR ";
            return {u'(' + a + QLatin1String(op) + b + u')', Type::Bool, false, false};
        }
        case Expr::Kind::Compare:
            return compare(e);
        case Expr::Kind::IsNull: {
            Out o = expr(*e.args[0]);
            return {QStringLiteral("(%1 IS %2NULL)")
                        .arg(o.sql, e.negated ? QStringLiteral("NOT ") : QString()),
                    Type::Bool, false, false};
        }
        case Expr::Kind::InList:
            return inList(e);
        case Expr::Kind::InSelect:
            return inSelect(e);
        case Expr::Kind::Call:
            return call(e);
    }
    return {QStringLiteral("NULL"), Type::Null, false, false};
}

Out Translator::compare(const Expr& e) {
    const Expr& l = *e.args[0];
    const Expr& r = *e.args[1];
    const bool lc = isCurrencyField(l);
    const bool rc = isCurrencyField(r);
    if (lc || rc) {
        // Money against a literal or against money: exact ten-thousandths.
        const Expr& other = lc ? r : l;
        std::optional<Currency> lit = moneyLiteral(other);
        if (lit || (lc && rc)) {
            QString a, b;
            if (lc)
                a = rawField(l).sql;
            else
                a = param(Value(*lit), Type::Currency, moneyFrom(other)).sql;
            if (rc)
                b = rawField(r).sql;
            else
                b = param(Value(*lit), Type::Currency, moneyFrom(other)).sql;
            return {u'(' + a + u' ' + e.text + u' ' + b + u')', Type::Bool, false, false};
        }
    }
    Out a = expr(l);
    Out b = expr(r);
    return {textCompare(a, e.text, b), Type::Bool, false, false};
}

Out Translator::inList(const Expr& e) {
    const Expr& x = *e.args[0];
    QString sql;
    Out left;
    const bool money = isCurrencyField(x);
    if (money)
        left = rawField(x);
    else
        left = expr(x);
    QStringList items;
    Out probe = left;
    for (std::size_t i = 1; i < e.args.size(); ++i) {
        std::optional<Currency> lit = money ? moneyLiteral(*e.args[i]) : std::nullopt;
        if (money && !lit) {
            throw Error(m_where, QStringLiteral("elenco In con un valore non numerico per il "
                                                "campo %1")
                                     .arg(x.text));
        }
        Out item =
            lit ? param(Value(*lit), Type::Currency, moneyFrom(*e.args[i])) : expr(*e.args[i]);
        if (item.type == Type::Text && !probe.field)
            probe.type = Type::Text;
        probe.nonAscii = probe.nonAscii || item.nonAscii;
        items << item.sql;
    }
    QString coll = collation(probe, Out{QString(), Type::Unknown, false, probe.nonAscii});
    QString leftSql = left.sql;
    if (m_server && !coll.isEmpty()) {
        leftSql = dialect::folded(left.sql, probe.nonAscii);
        for (QString& item : items) item = dialect::folded(item, probe.nonAscii);
        coll.clear();
    }
    return {QStringLiteral("(%1%2 %3IN (%4))")
                .arg(leftSql, coll, e.negated ? QStringLiteral("NOT ") : QString(),
                     items.join(QStringLiteral(", "))),
            Type::Bool, false, false};
}

Out Translator::inSelect(const Expr& e) {
    const jet::Select& sub = *e.select;
    Out left = expr(*e.args[0]);
    std::shared_ptr<const TableSchema> inner = m_resolver(sub.file, sub.table);
    if (inner->onServer != m_server) {
        throw Error(m_where, QStringLiteral("la sottoquery su %1 e la tabella %2 stanno in archivi "
                                            "diversi (file e server)")
                                 .arg(inner->name, m_table.name));
    }
    const int ci = inner->indexOf(sub.columns.front());
    if (ci < 0) {
        throw Error(
            sub.columns.front(),
            QStringLiteral("campo inesistente nella tabella %1 (%2)").arg(inner->name, m_where));
    }
    const Column& col = inner->columns[static_cast<std::size_t>(ci)];
    const bool text = (left.field && left.type == Type::Text) || col.kind == ColumnKind::Text ||
                      (!left.field && left.type == Type::Text);
    const bool fold = m_server && text;
    QString sql =
        QStringLiteral("SELECT %1 FROM %2")
            .arg(fold ? dialect::folded(col.quoted, false) : col.quoted, inner->qualified);
    if (sub.where) {
        Translator t(*inner, m_resolver, m_where, m_out);
        sql += QStringLiteral(" WHERE ") + t.condition(*sub.where);
    }
    return {QStringLiteral("(%1%2 %3IN (%4))")
                .arg(fold ? dialect::folded(left.sql, false) : left.sql,
                     text && !m_server ? QStringLiteral(" COLLATE NOCASE") : QString(),
                     e.negated ? QStringLiteral("NOT ") : QString(), sql),
            Type::Bool, false, false};
}

Out Translator::call(const Expr& e) {
    if (e.text == QLatin1String("INSTR") && (e.args.size() == 2 || e.args.size() == 3)) {
        QStringList args;
        for (const auto& a : e.args) args << expr(*a).sql;
        if (m_server) {
            // The server's function takes typed arguments: a start and two texts.
            const qsizetype texts = args.size() - 2;
            for (qsizetype i = 0; i < args.size(); ++i)
                args[i] = QStringLiteral("CAST(%1 AS %2)")
                              .arg(args[i],
                                   i < texts ? QStringLiteral("bigint") : QStringLiteral("text"));
            return {QStringLiteral("pg_temp.jet_instr(%1)").arg(args.join(QStringLiteral(", "))),
                    Type::Number, false, false};
        }
        return {QStringLiteral("jet_instr(%1)").arg(args.join(QStringLiteral(", "))), Type::Number,
                false, false};
    }
    throw Error(m_where, QStringLiteral("funzione non supportata: %1").arg(e.text));
}

}  // namespace

SqlPiece translate(const jet::Expr& expr, const TableSchema& table, const TableResolver& resolver,
                   const QString& where) {
    SqlPiece piece;
    Translator t(table, resolver, where, piece);
    piece.sql = t.condition(expr);
    return piece;
}

}  // namespace quorvel::db
