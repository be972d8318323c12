// Databases: one attached file of a workspace; tables created from TableDef.
#include "db/DatabaseImpl.h"

#include "db/Dialect.h"

#include "platform/Error.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>

namespace quorvel::db {

Attachment& Database::Impl::attachment() const {
    auto it = open ? wsi.attachments.find(path) : wsi.attachments.end();
    if (it == wsi.attachments.end())
        throw Error(path, QStringLiteral("database chiuso"));
    return it->second;
}

void Database::Impl::close() {
    if (!open)
        return;
    open = false;
    wsi.release(path);
}

Database::Database(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}

Database::~Database() {
    try {
        m_impl->close();
    } catch (...) {
    }
}

void Database::close() {
    m_impl->close();
}

const QString& Database::path() const {
    return m_impl->path;
}

Workspace& Database::workspace() const {
    return m_impl->ws;
}

void Database::lockForWrite(const QString& key) {
    m_impl->attachment();  // throws when closed
    // A transaction-level advisory lock: held to the commit or rollback,
    // waited for under lock_timeout, seen by the server's deadlock check.
    if (!m_impl->onServer || !m_impl->wsi.inTransaction())
        return;
    Statement& stmt =
        m_impl->statement(QStringLiteral("SELECT pg_advisory_xact_lock(hashtextextended(?, 1))"));
    StatementUse use(stmt, m_impl->path);
    use.bind(1, Value(QFileInfo(m_impl->path).fileName() + u'\x1f' + key));
    use.step();
}

bool Database::hasTable(const QString& table) const {
    return !m_impl->wsi.storedTableName(m_impl->attachment(), table).isEmpty();
}

void Database::createIndex(const QString& table, const QStringList& fields) {
    createIndex(table, fields, false);
}

void Database::createIndexOfSet(const QString& table, const QStringList& fields) {
    createIndex(table, fields, true);
}

void Database::dropTable(const QString& table) {
    const std::shared_ptr<const TableSchema> schema = m_impl->schema(table);
    Attachment& att = m_impl->attachment();
    const QString sql = QStringLiteral("DROP TABLE %1").arg(schema->qualified);
    if (att.server)
        m_impl->wsi.serverExec(sql, m_impl->path);
    else
        m_impl->wsi.exec(sql, m_impl->path);
    m_impl->wsi.forgetSchemas(att);
}

void Database::createView(const QString& name, const QString& select, const QString& rowSource) {
    if (hasTable(name))
        return;
    Attachment& att = m_impl->attachment();
    // {Table}: on the server qualified by the folder's schema; SQLite's view
    // resolves a bare name in its own file first.
    QString body = select;
    static const QRegularExpression tableRef(QStringLiteral("\\{(\\w+)\\}"));
    QRegularExpressionMatch m;
    while ((m = tableRef.match(body)).hasMatch()) {
        const QString t = quoteIdentifier(m.captured(1));
        body.replace(m.capturedStart(), m.capturedLength(),
                     att.server ? att.quotedAlias + u'.' + t : t);
    }
    if (att.server) {
        if (!body.startsWith(QLatin1String("SELECT ")))
            throw Error(name, QStringLiteral("vista senza SELECT"));
        body.insert(7, QStringLiteral("%1.%2, ").arg(rowSource, dialect::rowId(true)));
        m_impl->wsi.serverExec(QStringLiteral("CREATE VIEW %1.%2 AS %3")
                                   .arg(att.quotedAlias, quoteIdentifier(name), body),
                               m_impl->path);
    } else {
        m_impl->wsi.exec(QStringLiteral("CREATE VIEW %1.%2 AS %3")
                             .arg(att.quotedAlias, quoteIdentifier(name), body),
                         m_impl->path);
    }
    m_impl->wsi.forgetSchemas(att);
}

void Database::createIndex(const QString& table, const QStringList& fields, bool ofSet) {
    const std::shared_ptr<const TableSchema> schema = m_impl->schema(table);
    const Attachment& att = m_impl->attachment();
    QStringList keys;
    QString name = schema->name + (ofSet ? QStringLiteral("_set") : QString());
    QString where;
    for (const QString& f : fields) {
        const int i = schema->indexOf(f);
        if (i < 0)
            throw Error(f, QStringLiteral("campo inesistente nella tabella %1").arg(schema->name));
        const Column& c = schema->columns[static_cast<std::size_t>(i)];
        name += u'_' + c.name;
        if (ofSet && where.isEmpty())
            where = QStringLiteral(" WHERE %1 IS NOT NULL").arg(c.quoted);
        // SQLite: a text column's declared NOCASE collation is the index's.
        keys << (att.server && c.kind == ColumnKind::Text
                     ? u'(' + dialect::folded(c.quoted, false) + u')'
                     : c.quoted);
    }
    if (att.server) {
        // The server's IF NOT EXISTS takes the table's SHARE lock before it
        // looks: at every open it would wait for the table's writers and hold
        // them up. The catalog says first.
        Statement& exists = m_impl->wsi.serverStatement(
            QStringLiteral("SELECT 1 FROM pg_class c JOIN pg_namespace n ON n.oid = c.relnamespace "
                           "WHERE n.nspname = ? AND c.relname = ? AND c.relkind = 'i'"));
        StatementUse use(exists, m_impl->path);
        use.bind(1, Value(att.alias));
        use.bind(2, Value(name));
        if (use.step())
            return;
        m_impl->wsi.serverExec(QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON %2 (%3)%4")
                                   .arg(quoteIdentifier(name), schema->qualified,
                                        keys.join(QStringLiteral(", ")), where),
                               m_impl->path);
        return;
    }
    m_impl->wsi.exec(QStringLiteral("CREATE INDEX IF NOT EXISTS %1.%2 ON %3 (%4)%5")
                         .arg(att.quotedAlias, quoteIdentifier(name), quoteIdentifier(schema->name),
                              keys.join(QStringLiteral(", ")), where),
                     m_impl->path);
}

void Database::appendTable(const TableDef& def) {
    Attachment& att = m_impl->attachment();
    if (def.name().trimmed().isEmpty())
        throw Error(m_impl->path, QStringLiteral("nome di tabella vuoto"));
    if (def.fields().empty())
        throw Error(def.name(), QStringLiteral("la tabella non ha campi"));
    if (hasTable(def.name()))
        throw Error(
            def.name(),
            QStringLiteral("tabella già esistente in %1").arg(QFileInfo(m_impl->path).fileName()));
    QStringList columns;
    QSet<QString> seen;
    for (const FieldDef& f : def.fields()) {
        if (f.name.trimmed().isEmpty())
            throw Error(def.name(), QStringLiteral("nome di campo vuoto"));
        if (seen.contains(f.name.toCaseFolded()))
            throw Error(f.name, QStringLiteral("campo ripetuto nella tabella %1").arg(def.name()));
        if (f.type == FieldType::Text && (f.size < 0 || f.size > 255))
            throw Error(f.name, QStringLiteral("dimensione del testo non valida (%1)").arg(f.size));
        if (att.server &&
            f.name.compare(QLatin1String(dialect::ServerRowId), Qt::CaseInsensitive) == 0)
            throw Error(f.name, QStringLiteral("nome di campo riservato sul server"));
        seen.insert(f.name.toCaseFolded());
        columns << quoteIdentifier(f.name) + u' ' +
                       (att.server ? dialect::serverType(f) : declaredType(f));
    }
    if (att.server) {
        m_impl->wsi.serverExec(QStringLiteral("CREATE TABLE %1.%2 (%3 bigint GENERATED BY DEFAULT "
                                              "AS IDENTITY PRIMARY KEY, %4)")
                                   .arg(att.quotedAlias, quoteIdentifier(def.name()),
                                        dialect::rowId(true), columns.join(QStringLiteral(", "))),
                               m_impl->path);
        m_impl->wsi.forgetSchemas(att);
        return;
    }
    m_impl->wsi.exec(
        QStringLiteral("CREATE TABLE %1.%2 (%3)")
            .arg(att.quotedAlias, quoteIdentifier(def.name()), columns.join(QStringLiteral(", "))),
        m_impl->path);
    m_impl->wsi.forgetSchemas(att);
}

}  // namespace quorvel::db
