// Jet expression tree to SQLite SQL with bound parameters.
#include "db/SqlTranslator.h"

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

enum class Type { Unknown, Text, Number, Currency, Null };

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
        : m_table(table), m_resolver(resolver), m_where(where), m_out(out) {}

    Out expr(const Expr& e);

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
};

Out Translator::expr(const Expr& e) {
    switch (e.kind) {
        case Expr::Kind::Field: {
            const Column& c = column(e.text);
            switch (c.kind) {
                case ColumnKind::Text:
                    return {c.quoted, Type::Text, true, false};
                case ColumnKind::Currency:
                    // Outside a comparison with a literal, money reads in units.
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
            Out o = expr(*e.args[0]);
            return {QStringLiteral("(NOT %1)").arg(o.sql), Type::Number, false, false};
        }
        case Expr::Kind::And:
        case Expr::Kind::Or: {
            Out a = expr(*e.args[0]);
            Out b = expr(*e.args[1]);
            const char* op = e.kind == Expr::Kind::And ? " AND " : " OR ";
            return {u'(' + a.sql + QLatin1String(op) + b.sql + u')', Type::Number, false, false};
        }
        case Expr::Kind::Compare:
            return compare(e);
        case Expr::Kind::IsNull: {
            Out o = expr(*e.args[0]);
            return {QStringLiteral("(%1 IS %2NULL)")
                        .arg(o.sql, e.negated ? QStringLiteral("NOT ") : QString()),
                    Type::Number, false, false};
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
            return {u'(' + a + u' ' + e.text + u' ' + b + u')', Type::Number, false, false};
        }
    }
    Out a = expr(l);
    Out b = expr(r);
    return {u'(' + a.sql + u' ' + e.text + u' ' + b.sql + collation(a, b) + u')', Type::Number,
            false, false};
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
    const QString coll = collation(probe, Out{QString(), Type::Unknown, false, probe.nonAscii});
    return {QStringLiteral("(%1%2 %3IN (%4))")
                .arg(left.sql, coll, e.negated ? QStringLiteral("NOT ") : QString(),
                     items.join(QStringLiteral(", "))),
            Type::Number, false, false};
}

Out Translator::inSelect(const Expr& e) {
    const jet::Select& sub = *e.select;
    Out left = expr(*e.args[0]);
    std::shared_ptr<const TableSchema> inner = m_resolver(sub.file, sub.table);
    const int ci = inner->indexOf(sub.columns.front());
    if (ci < 0) {
        throw Error(
            sub.columns.front(),
            QStringLiteral("campo inesistente nella tabella %1 (%2)").arg(inner->name, m_where));
    }
    const Column& col = inner->columns[static_cast<std::size_t>(ci)];
    QString sql = QStringLiteral("SELECT %1 FROM %2").arg(col.quoted, inner->qualified);
    if (sub.where) {
        Translator t(*inner, m_resolver, m_where, m_out);
        sql += QStringLiteral(" WHERE ") + t.expr(*sub.where).sql;
    }
    const bool text = (left.field && left.type == Type::Text) || col.kind == ColumnKind::Text ||
                      (!left.field && left.type == Type::Text);
    return {QStringLiteral("(%1%2 %3IN (%4))")
                .arg(left.sql, text ? QStringLiteral(" COLLATE NOCASE") : QString(),
                     e.negated ? QStringLiteral("NOT ") : QString(), sql),
            Type::Number, false, false};
}

Out Translator::call(const Expr& e) {
    if (e.text == QLatin1String("INSTR") && (e.args.size() == 2 || e.args.size() == 3)) {
        QStringList args;
        for (const auto& a : e.args) args << expr(*a).sql;
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
    piece.sql = t.expr(expr).sql;
    return piece;
}

}  // namespace quorvel::db
