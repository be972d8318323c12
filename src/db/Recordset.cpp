// Dynaset recordsets on a table or a SELECT text.
//
// The recordset keeps no cursor: its position is the current row's
// rowid (on the server: its identity column) and order-key values, and each find is one query
//   SELECT rowid, <fields> FROM T WHERE (select's where) AND (criterion)
//       [AND <after the current row>] ORDER BY <keys>, rowid LIMIT 1
// so rows added or changed meanwhile (by this recordset or anyone) are seen,
// and an index that covers the criterion serves the lookup.
#include "db/DatabaseImpl.h"
#include "db/JetText.h"
#include "db/SqlTranslator.h"

#include "db/Dialect.h"

#include "platform/Error.h"
#include "platform/NumberText.h"

#include <QHash>
#include <algorithm>
#include <cmath>
#include <limits>

namespace quorvel::db {

namespace {

constexpr int MaxPlans = 512;

struct Key {
    int column;  // index into the table's columns
    bool descending;
    QString sql;    // the column with its collation (folded, on the server)
    QString param;  // a value compared with it: ?, folded the same way
};

}  // namespace

struct Recordset::Impl {
    enum class Mode { None, AddNew, Edit };

    // A criterion translated for this recordset, with its find queries.
    struct Plan {
        SqlPiece criterion;
        QString where;                    // prefix, the SELECT's where and the criterion
        QString firstSql;                 // where, then the order
        QHash<quint64, QString> nextSql;  // by which current keys are Null
        Statement* first = nullptr;       // firstSql's statement while generation holds
        quint64 generation = 0;
    };

    // A criterion with its values apart: the literals of the text the
    // values make, and which of them the values are.
    struct Pattern {
        std::shared_ptr<Plan> plan;
        std::vector<jet::Literal> literals;
        std::vector<std::size_t> places;  // literal index of each value
        QString kinds;                    // shape marker of each value
    };

    Impl(Database::Impl& database, QString src) : db(database), source(std::move(src)) {}

    std::shared_ptr<const TableSchema> resolve(const QString& file, const QString& table);
    void open();
    // The criterion's plan, and its parameters in params.
    std::shared_ptr<Plan> plan(const QString& criterion, std::vector<Value>& params);
    // The same for a call on the rows (find, forEach, removeAll): refused on
    // a closed database; a pending AddNew/Edit is dropped, as DAO does.
    std::shared_ptr<Plan> planOnRows(const QString& criterion, std::vector<Value>& params);
    // Binds the SELECT's parameters, then the criterion's.
    void bindCriterion(StatementUse& use, const std::vector<Value>& params) const;
    void find(const QString& criterion, bool next);
    void findValues(const QString& pattern, const std::vector<Value>& values);
    void run(Plan& p, const std::vector<Value>& params, bool next);
    void readRow(const StatementUse& use);
    const QString& findSql(Plan& p, bool next, std::vector<Value>& afterParams);
    QString queryPlan(const QString& criterion);
    QString afterSql(std::vector<Value>& params) const;
    int position(const QString& field) const;
    Value convert(const Column& col, const Value& v) const;
    void reload();

    Database::Impl& db;
    QString source;
    std::shared_ptr<const TableSchema> table;
    std::vector<char> visible;  // per table column: chosen by the SELECT
    std::vector<char> fetched;  // per table column: read (visible, or ordering the rows)
    QString prefix;             // SELECT rowid, ... FROM t WHERE
    SqlPiece base;              // the SELECT's own Where (sql empty when none)
    std::vector<Key> order;
    QString orderSql;
    QString rowId;                                  // rowid, or the server's identity column
    std::vector<std::unique_ptr<Database>> others;  // files named by In 'file'
    QHash<QString, std::shared_ptr<Plan>> shapes;   // by criterionShape
    QHash<QString, std::shared_ptr<Plan>> texts;    // by text, when the shape does not serve
    QHash<QString, Pattern> patterns;               // by criterion with ? markers
    QHash<quint64, QString> updateSql;              // by which fields an UPDATE sets

    bool positioned = false;  // there is a row (possibly deleted since) to search after
    bool hasCurrent = false;
    bool noMatch = false;
    std::int64_t rowid = 0;
    std::int64_t lastAdded = 0;
    std::vector<Value> row;
    // What an error names: the file, or on the server its schema.table.
    QString where() const {
        return table->onServer ? QString(table->qualified).remove(u'"') : db.path;
    }
    QString version;  // the current row's xmin, when the table has one
    Mode mode = Mode::None;
    std::vector<Value> buffer;
    std::vector<char> dirty;
};

std::shared_ptr<const TableSchema> Recordset::Impl::resolve(const QString& file,
                                                            const QString& name) {
    if (file.isEmpty())
        return db.schema(name);
    const QString path = absoluteDatabasePath(file);
    if (path == db.path)
        return db.schema(name);
    for (const auto& other : others) {
        if (other->path() == path)
            return other->m_impl->schema(name);
    }
    others.push_back(db.ws.openDatabase(path));
    return others.back()->m_impl->schema(name);
}

void Recordset::Impl::open() {
    const TableResolver resolver = [this](const QString& f, const QString& t) {
        return resolve(f, t);
    };
    std::shared_ptr<const jet::Select> select;
    if (jet::isSelectText(source)) {
        select = jet::parseSelect(source);
        table = resolver(select->file, select->table);
    } else {
        table = db.schema(source.trimmed());
    }
    const std::size_t n = table->columns.size();
    // Every field while the SELECT is read (a field it leaves out may still
    // be compared or ordered by, as Jet allows); then only the fields listed.
    visible.assign(n, 1);
    std::vector<char> listed(n, 1);
    QStringList cols;
    for (const Column& c : table->columns) cols << c.quoted;
    const bool server = table->onServer;
    rowId = dialect::rowId(server);
    // The row's version comes last, after the fields.
    const QString versionCol = table->rowVersion ? QStringLiteral(", xmin::text") : QString();
    prefix = QStringLiteral("SELECT %1, %2%3 FROM %4 WHERE ")
                 .arg(rowId, cols.join(QStringLiteral(", ")), versionCol, table->qualified);
    if (select) {
        if (!select->columns.isEmpty())
            listed.assign(n, 0);
        for (const QString& c : select->columns) listed[static_cast<std::size_t>(position(c))] = 1;
        if (select->where)
            base = translate(*select->where, *table, resolver, source);
        for (const jet::OrderKey& k : select->orderBy) {
            const int i = position(k.field);
            const Column& c = table->columns[static_cast<std::size_t>(i)];
            const bool text = c.kind == ColumnKind::Text;
            if (!server) {
                order.push_back({i, k.descending,
                                 text ? c.quoted + QStringLiteral(" COLLATE NOCASE") : c.quoted,
                                 QStringLiteral("?")});
                orderSql += order.back().sql +
                            (k.descending ? QStringLiteral(" DESC, ") : QStringLiteral(", "));
            } else {
                // Nulls where SQLite puts them: first ascending, last descending.
                order.push_back(
                    {i, k.descending, text ? dialect::folded(c.quoted, false) : c.quoted,
                     text ? dialect::folded(QStringLiteral("?"), false) : QStringLiteral("?")});
                orderSql += order.back().sql + (k.descending ? QStringLiteral(" DESC NULLS LAST, ")
                                                             : QStringLiteral(" NULLS FIRST, "));
            }
        }
    }
    orderSql = QStringLiteral(" ORDER BY ") + orderSql + rowId + QStringLiteral(" LIMIT 1");
    visible = std::move(listed);
    // Read: the listed fields and those ordering the rows (a find after the
    // current row compares them).
    fetched = visible;
    for (const Key& k : order) fetched[static_cast<std::size_t>(k.column)] = 1;
    if (select && !select->columns.isEmpty()) {
        // The others are not read (they stay Null, in their places): an
        // index that holds the read ones answers without the rows.
        for (std::size_t i = 0; i < n; ++i) {
            if (!fetched[i])
                cols[static_cast<qsizetype>(i)] = QStringLiteral("NULL");
        }
        prefix = QStringLiteral("SELECT %1, %2%3 FROM %4 WHERE ")
                     .arg(rowId, cols.join(QStringLiteral(", ")), versionCol, table->qualified);
    }
}

int Recordset::Impl::position(const QString& field) const {
    const int i = table->indexOf(field);
    if (i < 0 || (!visible.empty() && !visible[static_cast<std::size_t>(i)])) {
        // Two files may hold a table of the same name: the file is named too.
        throw Error(field, QStringLiteral("campo inesistente nella tabella %1 del file %2 (%3)")
                               .arg(table->name, table->file, source));
    }
    return i;
}

std::shared_ptr<Recordset::Impl::Plan> Recordset::Impl::plan(const QString& criterion,
                                                             std::vector<Value>& params) {
    // Criteria that differ only in their values share one translation.
    QString shape;
    std::vector<jet::Literal> literals;
    const bool shaped = jet::criterionShape(criterion, shape, literals);
    if (shaped) {
        auto it = shapes.constFind(shape);
        if (it != shapes.constEnd()) {
            if (auto ps = paramsFromLiterals((*it)->criterion.recipe, literals)) {
                params = std::move(*ps);
                return *it;
            }
        }
    } else {
        auto it = texts.constFind(criterion);
        if (it != texts.constEnd()) {
            params = (*it)->criterion.params;
            return *it;
        }
    }
    auto p = std::make_shared<Plan>();
    const jet::ExprPtr expr = jet::parseCriterion(criterion);
    p->criterion = translate(
        *expr, *table, [this](const QString& f, const QString& t) { return resolve(f, t); },
        criterion);
    p->where = prefix;
    if (!base.sql.isEmpty())
        p->where += base.sql + QStringLiteral(" AND ");
    p->where += p->criterion.sql;
    p->firstSql = p->where + orderSql;
    params = p->criterion.params;
    if (shapes.size() + texts.size() >= MaxPlans) {
        shapes.clear();
        texts.clear();
    }
    // Kept by shape only when the shape gives back exactly these parameters.
    const auto again = shaped ? paramsFromLiterals(p->criterion.recipe, literals) : std::nullopt;
    if (again && *again == params)
        shapes.insert(shape, p);
    else
        texts.insert(criterion, p);
    return p;
}

// Rows after the current one in the recordset's order: the order keys
// compared one by one (SQLite puts Null first when ascending, last when
// descending), then the rowid.
QString Recordset::Impl::afterSql(std::vector<Value>& params) const {
    QString sql;
    QString close;
    for (const Key& k : order) {
        const Value& v = row[static_cast<std::size_t>(k.column)];
        QString greater, equal;
        if (v.isNull()) {
            greater = k.descending
                          ? (table->onServer ? QStringLiteral("FALSE") : QStringLiteral("0"))
                          : k.sql + QStringLiteral(" IS NOT NULL");
            equal = k.sql + QStringLiteral(" IS NULL");
        } else {
            greater = k.descending
                          ? QStringLiteral("(%1 < %2 OR %3 IS NULL)")
                                .arg(k.sql, k.param,
                                     table->columns[static_cast<std::size_t>(k.column)].quoted)
                          : k.sql + QStringLiteral(" > ") + k.param;
            params.push_back(v);
            equal = k.sql + QStringLiteral(" = ") + k.param;
            params.push_back(v);
        }
        sql += QStringLiteral("(%1 OR (%2 AND ").arg(greater, equal);
        close += QStringLiteral("))");
    }
    params.push_back(Value(rowid));
    return sql + rowId + QStringLiteral(" > ?") + close;
}

const QString& Recordset::Impl::findSql(Plan& p, bool next, std::vector<Value>& afterParams) {
    if (!next)
        return p.firstSql;
    quint64 nulls = 0;
    for (std::size_t i = 0; i < order.size() && i < 64; ++i) {
        if (row[static_cast<std::size_t>(order[i].column)].isNull())
            nulls |= quint64{1} << i;
    }
    const QString after = afterSql(afterParams);
    auto it = p.nextSql.constFind(nulls);
    if (it == p.nextSql.constEnd())
        it = p.nextSql.insert(nulls, p.where + QStringLiteral(" AND ") + after + orderSql);
    return *it;
}

std::shared_ptr<Recordset::Impl::Plan> Recordset::Impl::planOnRows(const QString& criterion,
                                                                   std::vector<Value>& params) {
    if (!db.open)
        throw Error(db.path, QStringLiteral("database chiuso"));
    mode = Mode::None;
    return plan(criterion, params);
}

void Recordset::Impl::bindCriterion(StatementUse& use, const std::vector<Value>& params) const {
    use.bindAll(base.params);
    use.bindAll(params, 1 + static_cast<int>(base.params.size()));
}

void Recordset::Impl::find(const QString& criterion, bool next) {
    std::vector<Value> params;
    const std::shared_ptr<Plan> p = planOnRows(criterion, params);
    run(*p, params, next);
}

namespace {

// The shape marker criterionShape gives the literal of a value; 0 when the
// value has no literal of one piece (a negative number, a real, money, Null).
QChar literalKind(const Value& v) {
    if (const auto* i = std::get_if<std::int64_t>(&v.variant()))
        return *i < 0 ? QChar() : (*i <= 922337203685477 ? u'I' : u'J');
    if (const auto* t = std::get_if<QString>(&v.variant()))
        return hasNonAscii(*t) ? u'U' : u'T';
    return QChar();
}

QString literalText(const Value& v) {
    const auto& var = v.variant();
    if (v.isNull())
        return QStringLiteral("Null");
    if (const auto* t = std::get_if<QString>(&var))
        return jetQuoted(*t);
    if (const auto* i = std::get_if<std::int64_t>(&var))
        return QString::number(*i);
    if (const auto* c = std::get_if<Currency>(&var)) {
        const std::int64_t raw = c->raw();
        const quint64 mag = raw < 0 ? 0 - static_cast<quint64>(raw) : static_cast<quint64>(raw);
        return QStringLiteral("%1%2.%3")
            .arg(raw < 0 ? QStringLiteral("-") : QString())
            .arg(mag / Currency::Scale)
            .arg(mag % Currency::Scale, 4, 10, QLatin1Char('0'));
    }
    return QString::number(std::get<double>(var), 'g', 17);
}

}  // namespace

void Recordset::Impl::findValues(const QString& pattern, const std::vector<Value>& values) {
    if (!db.open)
        throw Error(db.path, QStringLiteral("database chiuso"));
    mode = Mode::None;
    QString kinds;
    kinds.reserve(static_cast<qsizetype>(values.size()));
    bool fast = true;
    for (const Value& v : values) {
        const QChar k = literalKind(v);
        fast = fast && !k.isNull();
        kinds += k.isNull() ? u'?' : k;
    }
    if (fast) {
        auto it = patterns.find(pattern);
        if (it != patterns.end() && it->kinds == kinds) {
            std::vector<jet::Literal> literals = it->literals;
            for (std::size_t k = 0; k < values.size(); ++k) {
                jet::Literal& lit = literals[it->places[k]];
                if (const auto* i = std::get_if<std::int64_t>(&values[k].variant())) {
                    lit.kind = jet::Literal::Kind::Integer;
                    lit.integer = *i;
                    lit.text = QString::number(*i);
                } else {
                    lit.kind = jet::Literal::Kind::Text;
                    lit.text = values[k].toString();
                }
            }
            if (auto params = paramsFromLiterals(it->plan->criterion.recipe, literals)) {
                const std::shared_ptr<Plan> p = it->plan;  // run may clear the plans
                run(*p, *params, false);
                return;
            }
        }
    }
    // Writes the values into the text, noting where each one goes.
    QString criterion;
    std::vector<qsizetype> at;
    std::size_t next = 0;
    QChar quote;
    for (const QChar c : pattern) {
        if (!quote.isNull()) {
            if (c == quote || (quote == u'[' && c == u']'))
                quote = QChar();
        } else if (c == u'\'' || c == u'"' || c == u'[') {
            quote = c;
        } else if (c == u'?') {
            if (next >= values.size())
                throw Error(pattern, QStringLiteral("criterio con più segnaposto che valori"));
            at.push_back(criterion.size());
            criterion += literalText(values[next++]);
            continue;
        }
        criterion += c;
    }
    if (next != values.size())
        throw Error(pattern, QStringLiteral("criterio con meno segnaposto che valori"));
    std::vector<Value> params;
    const std::shared_ptr<Plan> p = plan(criterion, params);
    QString shape;
    Pattern pat;
    if (fast && jet::criterionShape(criterion, shape, pat.literals) && shapes.value(shape) == p) {
        std::vector<jet::Literal> before;
        for (const qsizetype offset : at) {
            QString prefixShape;
            jet::criterionShape(criterion.left(offset), prefixShape, before);
            pat.places.push_back(before.size());
        }
        pat.plan = p;
        pat.kinds = kinds;
        if (patterns.size() >= MaxPlans)
            patterns.clear();
        patterns.insert(pattern, std::move(pat));
    }
    run(*p, params, false);
}

void Recordset::Impl::run(Plan& plan, const std::vector<Value>& params, bool next) {
    Plan* p = &plan;
    std::vector<Value> afterParams;
    Statement* stmt;
    if (next && positioned) {
        stmt = &db.statement(findSql(*p, true, afterParams));
    } else if (p->first && p->generation == db.wsi.generation) {
        stmt = p->first;
    } else {
        stmt = &db.statement(p->firstSql);
        p->first = stmt;
        p->generation = db.wsi.generation;
    }
    StatementUse use(*stmt, where());
    bindCriterion(use, params);
    use.bindAll(afterParams,
                1 + static_cast<int>(base.params.size()) + static_cast<int>(params.size()));
    if (!use.step()) {
        noMatch = true;
        return;
    }
    readRow(use);
}

void Recordset::Impl::readRow(const StatementUse& use) {
    noMatch = false;
    positioned = hasCurrent = true;
    rowid = use.integer(0);
    const std::size_t n = table->columns.size();
    row.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        // A field a SELECT's list leaves out is not read (Null).
        row[i] = fetched[i] ? use.value(static_cast<int>(i) + 1, table->columns[i].kind) : Value();
    }
    if (table->rowVersion)
        version = use.text(static_cast<int>(n) + 1);
}

QString Recordset::Impl::queryPlan(const QString& criterion) {
    std::vector<Value> found;
    const std::shared_ptr<Plan> p = plan(criterion, found);
    std::vector<Value> params = base.params;
    params.insert(params.end(), found.begin(), found.end());
    const auto stmt = db.wsi.newStatement(
        db.onServer,
        (db.onServer ? QStringLiteral("EXPLAIN ") : QStringLiteral("EXPLAIN QUERY PLAN ")) +
            p->firstSql);
    StatementUse use(*stmt, where());
    use.bindAll(params);
    QStringList lines;
    while (use.step()) lines << use.text(db.onServer ? 0 : 3);
    return lines.join(u'\n');
}

void Recordset::Impl::reload() {
    Statement& stmt = db.statement(prefix + rowId + QStringLiteral(" = ?"));
    StatementUse use(stmt, where());
    use.bind(1, Value(rowid));
    if (!use.step()) {
        hasCurrent = false;
        throw Error(table->name, QStringLiteral("il record è stato eliminato da un altro utente"));
    }
    for (std::size_t i = 0; i < table->columns.size(); ++i)
        row[i] = use.value(static_cast<int>(i) + 1, table->columns[i].kind);
    if (table->rowVersion)
        version = use.text(static_cast<int>(table->columns.size()) + 1);
}

// A value made fit for a field of the table, or an Error naming the field.
Value Recordset::Impl::convert(const Column& col, const Value& v) const {
    if (v.isNull())
        return v;
    const auto& var = v.variant();
    const bool isText = std::holds_alternative<QString>(var);
    auto mismatch = [&] {
        return Error(col.name, QStringLiteral("tipo non corrispondente: \"%1\"").arg(v.toString()));
    };
    auto number = [&]() -> double {
        if (!isText)
            return v.toDouble();
        bool ok = false;
        const double d = QLocale::c().toDouble(std::get<QString>(var).trimmed(), &ok);
        if (!ok)
            throw mismatch();
        return d;
    };
    switch (col.kind) {
        case ColumnKind::Int16:
        case ColumnKind::Int32: {
            std::int64_t i;
            if (std::holds_alternative<std::int64_t>(var)) {
                i = std::get<std::int64_t>(var);
            } else if (std::holds_alternative<Currency>(var)) {
                i = v.toInt();
            } else {
                const double d = std::nearbyint(number());
                if (!std::isfinite(d) || std::fabs(d) > 9.0e18)
                    throw ValueRefused(col.name, QStringLiteral("valore fuori intervallo"));
                i = static_cast<std::int64_t>(d);
            }
            const std::int64_t lo = col.kind == ColumnKind::Int16 ? -32768 : -2147483648LL;
            const std::int64_t hi = col.kind == ColumnKind::Int16 ? 32767 : 2147483647LL;
            if (i < lo || i > hi) {
                throw ValueRefused(col.name,
                                   QStringLiteral("valore fuori intervallo: %1 (da %2 a %3)")
                                       .arg(i)
                                       .arg(lo)
                                       .arg(hi));
            }
            return Value(i);
        }
        case ColumnKind::Currency: {
            if (std::holds_alternative<Currency>(var))
                return v;
            if (std::holds_alternative<std::int64_t>(var))
                return Value(Currency::fromUnits(std::get<std::int64_t>(var)));
            if (isText) {
                auto c = Currency::parse(std::get<QString>(var), QLocale::c());
                if (!c)
                    throw mismatch();
                return Value(*c);
            }
            const double scaled = std::nearbyint(std::get<double>(var) * Currency::Scale);
            if (!std::isfinite(scaled) || std::fabs(scaled) >= 9.2e18)
                throw ValueRefused(col.name, QStringLiteral("valore fuori intervallo"));
            return Value(Currency::fromRaw(static_cast<std::int64_t>(scaled)));
        }
        case ColumnKind::Double:
            return Value(number());
        case ColumnKind::Text: {
            QString s = v.toString();
            // No more UTF-16 units than the size: no more characters either.
            if (col.size > 0 && s.size() > col.size) {
                const qsizetype chars = s.toUcs4().size();
                if (chars > col.size) {
                    throw ValueRefused(
                        col.name, QStringLiteral("testo troppo lungo: %1 caratteri, al massimo %2")
                                      .arg(chars)
                                      .arg(col.size));
                }
            }
            return Value(s);
        }
        case ColumnKind::Other:
            break;
    }
    return v;
}

// --- Recordset ---

Recordset::Recordset(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}
Recordset::~Recordset() = default;

void Recordset::findFirst(const QString& criterion) {
    m_impl->find(criterion, false);
}
void Recordset::findNext(const QString& criterion) {
    m_impl->find(criterion, true);
}
void Recordset::findFirst(const QString& criterion, const std::vector<Value>& values) {
    m_impl->findValues(criterion, values);
}

void Recordset::forEach(const QString& criterion, const std::function<void()>& visit) {
    forEach(criterion, 0, -1, visit);
}

void Recordset::forEach(const QString& criterion, std::int64_t skip, std::int64_t limit,
                        const std::function<void()>& visit) {
    Impl& d = *m_impl;
    std::vector<Value> params;
    const std::shared_ptr<Impl::Plan> p = d.planOnRows(criterion, params);
    QString sql = p->firstSql;
    sql.chop(QStringLiteral(" LIMIT 1").size());
    if (limit >= 0)
        sql += QStringLiteral(" LIMIT %1").arg(limit);
    // SQLite takes an OFFSET only after a LIMIT (-1: none); the server
    // refuses a negative one.
    if (skip > 0)
        sql += (limit >= 0 || d.db.onServer ? QStringLiteral(" OFFSET %1")
                                            : QStringLiteral(" LIMIT -1 OFFSET %1"))
                   .arg(skip);
    // Its own statement, not a cached one: visit cannot finalize it.
    const auto stmt = d.db.wsi.newStatement(d.db.onServer, sql);
    StatementUse use(*stmt, d.where());
    d.bindCriterion(use, params);
    d.noMatch = true;
    while (use.step()) {
        d.readRow(use);
        visit();
    }
}

std::int64_t Recordset::count(const QString& criterion) {
    Impl& d = *m_impl;
    if (!d.db.open)
        throw Error(d.db.path, QStringLiteral("database chiuso"));
    std::vector<Value> params;
    QString sql = QStringLiteral("SELECT COUNT(*) FROM %1").arg(d.table->qualified);
    QStringList where;
    if (!d.base.sql.isEmpty())
        where << d.base.sql;
    if (!criterion.trimmed().isEmpty())
        where << d.planOnRows(criterion, params)->criterion.sql;
    if (!where.isEmpty())
        sql += QStringLiteral(" WHERE ") + where.join(QStringLiteral(" AND "));
    Statement& stmt = d.db.statement(sql);
    StatementUse use(stmt, d.where());
    d.bindCriterion(use, params);
    return use.step() ? use.integer(0) : 0;
}

std::int64_t Recordset::removeAll(const QString& criterion) {
    Impl& d = *m_impl;
    std::vector<Value> params;
    const std::shared_ptr<Impl::Plan> p = d.planOnRows(criterion, params);
    QString sql = QStringLiteral("DELETE FROM %1 WHERE ").arg(d.table->qualified);
    if (!d.base.sql.isEmpty())
        sql += d.base.sql + QStringLiteral(" AND ");
    sql += p->criterion.sql;
    Statement& stmt = d.db.statement(sql);
    StatementUse use(stmt, d.where());
    d.bindCriterion(use, params);
    use.step();
    d.hasCurrent = false;  // the current row may be among them
    return use.changes();
}
void Recordset::addAll(const QStringList& fields, std::vector<Value> values) {
    Impl& d = *m_impl;
    const auto width = static_cast<std::size_t>(fields.size());
    if (width == 0 || values.size() % width != 0)
        throw Error(d.source, QStringLiteral("righe da aggiungere con un numero di valori errato"));
    if (!d.db.open)
        throw Error(d.db.path, QStringLiteral("database chiuso"));
    std::vector<const Column*> columns;
    QStringList names;
    for (const QString& f : fields) {
        columns.push_back(&d.table->columns[static_cast<std::size_t>(d.position(f))]);
        names << columns.back()->quoted;
    }
    for (std::size_t i = 0; i < values.size(); ++i)
        values[i] = d.convert(*columns[i % width], values[i]);
    d.mode = Impl::Mode::None;
    // Under both stores' limits on parameters per statement; a full chunk's
    // statement is written once and kept.
    const std::size_t perStatement = std::max<std::size_t>(1, 4000 / width);
    const std::size_t rows = values.size() / width;
    const QString head = QStringLiteral("INSERT INTO %1 (%2) VALUES ")
                             .arg(d.table->qualified, names.join(QStringLiteral(", ")));
    const QString one = QStringLiteral("(?") +
                        QStringLiteral(", ?").repeated(static_cast<qsizetype>(width) - 1) +
                        QStringLiteral(")");
    auto sqlFor = [&](std::size_t n) {
        QString sql = head;
        sql.reserve(head.size() + static_cast<qsizetype>(n) * (one.size() + 2));
        sql += one;
        for (std::size_t k = 1; k < n; ++k) sql += QStringLiteral(", ") + one;
        return sql;
    };
    QString full;
    for (std::size_t first = 0; first < rows; first += perStatement) {
        const std::size_t n = std::min(perStatement, rows - first);
        if (n == perStatement && full.isEmpty())
            full = sqlFor(n);
        // SQLite's texts in UTF-8 once per string (a batch repeats its file
        // names and its time), kept while the statement holds them.
        std::vector<QByteArray> utf8(d.table->onServer ? 0 : n * width);
        Statement& stmt = d.db.statement(n == perStatement ? full : sqlFor(n));
        StatementUse use(stmt, d.where());
        for (std::size_t i = 0; i < n * width; ++i) {
            const Value& v = values[first * width + i];
            const auto* text = std::get_if<QString>(&v.variant());
            if (!text || d.table->onServer) {
                use.bind(static_cast<int>(i) + 1, v);
                continue;
            }
            const auto* above =
                i >= width ? std::get_if<QString>(&values[first * width + i - width].variant())
                           : nullptr;
            utf8[i] =
                above && above->constData() == text->constData() && above->size() == text->size()
                    ? utf8[i - width]
                    : text->toUtf8();
            use.bindUtf8(static_cast<int>(i) + 1, utf8[i]);
        }
        use.step();
    }
}

bool Recordset::noMatch() const {
    return m_impl->noMatch;
}
QString Recordset::queryPlan(const QString& criterion) {
    return m_impl->queryPlan(criterion);
}

Value Recordset::value(const QString& field) const {
    const auto i = static_cast<std::size_t>(m_impl->position(field));
    if (m_impl->mode != Impl::Mode::None)
        return m_impl->buffer[i];
    if (!m_impl->hasCurrent)
        throw Error(field, QStringLiteral("nessun record corrente (%1)").arg(m_impl->source));
    return m_impl->row[i];
}

void Recordset::setValue(const QString& field, const Value& value) {
    const auto i = static_cast<std::size_t>(m_impl->position(field));
    if (m_impl->mode == Impl::Mode::None) {
        throw Error(field, QStringLiteral("assegnazione di un campo senza AddNew o Edit (%1)")
                               .arg(m_impl->source));
    }
    m_impl->buffer[i] = m_impl->convert(m_impl->table->columns[i], value);
    m_impl->dirty[i] = 1;
}

void Recordset::addNew() {
    const std::size_t n = m_impl->table->columns.size();
    m_impl->buffer.assign(n, Value());
    m_impl->dirty.assign(n, 0);
    m_impl->mode = Impl::Mode::AddNew;
}

void Recordset::edit() {
    if (!m_impl->hasCurrent)
        throw Error(m_impl->source, QStringLiteral("nessun record corrente da modificare"));
    m_impl->buffer = m_impl->row;
    m_impl->dirty.assign(m_impl->row.size(), 0);
    m_impl->mode = Impl::Mode::Edit;
}

void Recordset::update() {
    Impl& d = *m_impl;
    if (d.mode == Impl::Mode::None)
        throw Error(d.source, QStringLiteral("Update senza AddNew o Edit"));
    if (!d.db.open)
        throw Error(d.db.path, QStringLiteral("database chiuso"));
    QStringList names;
    std::vector<Value> params;
    params.reserve(d.buffer.size() + 1);
    quint64 mask = 0;
    bool plainKinds = true;  // every value set reads back as it was set
    for (std::size_t i = 0; i < d.buffer.size(); ++i) {
        if (d.dirty[i]) {
            params.push_back(d.buffer[i]);
            mask |= i < 63 ? quint64{1} << i : quint64{1} << 63;
            plainKinds = plainKinds && d.table->columns[i].kind != ColumnKind::Other;
        }
    }
    const Impl::Mode mode = d.mode;
    d.mode = Impl::Mode::None;
    // The SQL for this set of fields, written once (a table wider than 63
    // columns shares the last bit, so it is written every time).
    const quint64 key = mask | (mode == Impl::Mode::Edit ? quint64{1} << 62 : 0);
    const bool cacheable = d.buffer.size() < 62;
    auto cached = cacheable ? d.updateSql.constFind(key) : d.updateSql.constEnd();
    QString sql;
    if (cached != d.updateSql.constEnd()) {
        sql = *cached;
        if (mode == Impl::Mode::Edit) {
            if (params.empty())
                return;
            params.push_back(Value(d.rowid));
        }
    } else {
        for (std::size_t i = 0; i < d.buffer.size(); ++i) {
            if (d.dirty[i])
                names << d.table->columns[i].quoted;
        }
    }
    if (!sql.isEmpty()) {
    } else if (mode == Impl::Mode::AddNew) {
        if (names.isEmpty()) {
            sql = QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(d.table->qualified);
        } else {
            sql = QStringLiteral("INSERT INTO %1 (%2) VALUES (?%3)")
                      .arg(d.table->qualified, names.join(QStringLiteral(", ")),
                           QStringLiteral(", ?").repeated(names.size() - 1));
        }
        // SQLite's connection tells the new rowid; the server hands it back.
        if (d.table->onServer)
            sql += QStringLiteral(" RETURNING ") + d.rowId;
    } else {
        if (names.isEmpty())
            return;
        sql = QStringLiteral("UPDATE %1 SET %2 = ? WHERE %3 = ?")
                  .arg(d.table->qualified, names.join(QStringLiteral(" = ?, ")), d.rowId);
        if (d.table->rowVersion) {
            // Jet's optimistic locking: the row changes only while it is the
            // version that was read, so two bridges summing into one row
            // never lose an update (the second finds the row changed and
            // fails). The server's own version, not the values: a char(n),
            // real or float text that reads back otherwise is no change.
            sql += QStringLiteral(" AND xmin = CAST(? AS xid) RETURNING xmin::text");
        } else if (d.table->onServer) {
            // A view: over the values read (a SELECT's list leaves the others Null).
            for (std::size_t i = 0; i < d.table->columns.size(); ++i) {
                const Column& c = d.table->columns[i];
                if (c.kind != ColumnKind::Other && d.fetched[i])
                    sql += QStringLiteral(" AND %1 IS NOT DISTINCT FROM ?").arg(c.quoted);
            }
        }
        params.push_back(Value(d.rowid));
    }
    if (mode == Impl::Mode::Edit && d.table->rowVersion) {
        params.push_back(Value(d.version));
    } else if (mode == Impl::Mode::Edit && d.table->onServer) {
        for (std::size_t i = 0; i < d.table->columns.size(); ++i) {
            if (d.table->columns[i].kind != ColumnKind::Other && d.fetched[i])
                params.push_back(d.row[i]);
        }
    }
    if (cacheable && cached == d.updateSql.constEnd())
        d.updateSql.insert(key, sql);
    std::int64_t changed = 0;
    {
        Statement& stmt = d.db.statement(sql);
        StatementUse use(stmt, d.where());
        use.bindAll(params);
        const bool returned = use.step();
        changed = use.changes();
        if (mode == Impl::Mode::Edit && returned && d.table->rowVersion)
            d.version = use.text(0);
        if (mode == Impl::Mode::AddNew)
            d.lastAdded = returned ? use.integer(0)
                                   : sqlite3_last_insert_rowid(sqlite3_db_handle(stmt.get()));
    }
    if (mode == Impl::Mode::Edit) {
        if (changed == 0) {
            d.hasCurrent = false;
            if (d.table->onServer)
                throw Error(d.table->name, QStringLiteral("il record è stato modificato o "
                                                          "eliminato da un altro utente"));
            throw Error(d.table->name,
                        QStringLiteral("il record è stato eliminato da un altro utente"));
        }
        // The row now holds what was set; only a field of no known type
        // may read back otherwise.
        if (plainKinds)
            d.row = d.buffer;
        else
            d.reload();
    }
}

void Recordset::remove() {
    Impl& d = *m_impl;
    d.mode = Impl::Mode::None;
    if (!d.hasCurrent)
        throw Error(d.source, QStringLiteral("nessun record corrente da eliminare"));
    if (!d.db.open)
        throw Error(d.db.path, QStringLiteral("database chiuso"));
    Statement& stmt = d.db.statement(
        QStringLiteral("DELETE FROM %1 WHERE %2 = ?").arg(d.table->qualified, d.rowId));
    StatementUse use(stmt, d.where());
    use.bind(1, Value(d.rowid));
    use.step();
    d.hasCurrent = false;  // the position stays, so a find next goes on after it
}

std::int64_t Recordset::rowId() const {
    if (!m_impl->hasCurrent)
        throw Error(m_impl->source, QStringLiteral("nessun record corrente"));
    return m_impl->rowid;
}

std::int64_t Recordset::lastAddedId() const {
    return m_impl->lastAdded;
}

QStringList Recordset::fieldNames() const {
    QStringList names;
    for (std::size_t i = 0; i < m_impl->table->columns.size(); ++i) {
        if (m_impl->visible[i])
            names << m_impl->table->columns[i].name;
    }
    return names;
}

// --- Database::openRecordset (needs the recordset's insides) ---

std::unique_ptr<Recordset> Database::openRecordset(const QString& source) {
    m_impl->attachment();  // throws when closed
    auto impl = std::make_unique<Recordset::Impl>(*m_impl, source);
    impl->open();
    return std::unique_ptr<Recordset>(new Recordset(std::move(impl)));
}

}  // namespace quorvel::db
