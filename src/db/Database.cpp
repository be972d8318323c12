// Databases: one attached file of a workspace; tables created from TableDef.
#include "db/DatabaseImpl.h"

#include "platform/Error.h"

#include <QFileInfo>
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

bool Database::hasTable(const QString& table) const {
    return !m_impl->wsi.storedTableName(m_impl->attachment(), table).isEmpty();
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
        seen.insert(f.name.toCaseFolded());
        columns << quoteIdentifier(f.name) + u' ' + declaredType(f);
    }
    m_impl->wsi.exec(
        QStringLiteral("CREATE TABLE %1.%2 (%3)")
            .arg(att.quotedAlias, quoteIdentifier(def.name()), columns.join(QStringLiteral(", "))),
        m_impl->path);
    m_impl->wsi.forgetSchemas(att);
}

}  // namespace quorvel::db
