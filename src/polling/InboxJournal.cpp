// The claims of files being consumed.
#include "polling/InboxJournal.h"

#include "db/JetText.h"

#include <QFile>

namespace quorvel {

namespace {

const QString kTable = QStringLiteral("FilePresi");

db::TableDef tableDef() {
    db::TableDef def(kTable);
    def.appendField(QStringLiteral("Tipo"), db::FieldType::Text, 10);
    def.appendField(QStringLiteral("Origine"), db::FieldType::Text, 255);
    def.appendField(QStringLiteral("Archivio"), db::FieldType::Text, 255);
    return def;
}

QString claimCriterion(const InboxJournal::Claim& c) {
    return QStringLiteral("Tipo = ") + db::jetQuoted(c.kind) + QStringLiteral(" and Archivio = ") +
           db::jetQuoted(c.archive);
}

}  // namespace

InboxJournal::InboxJournal(db::Workspace& ws, const QString& fileName) : m_ws(ws) {
    if (QFile::exists(fileName))
        m_db = ws.openDatabase(fileName);
    else
        m_db = ws.createDatabase(fileName, QStringLiteral(";LANGID=0x0409;CP=1252;COUNTRY=0"));
    if (!m_db->hasTable(kTable))
        m_db->appendTable(tableDef());
}

InboxJournal::~InboxJournal() = default;

std::vector<InboxJournal::Claim> InboxJournal::claims(const QString& kind) const {
    std::vector<Claim> out;
    auto rs = m_db->openRecordset(kTable);
    const QString criterion = QStringLiteral("Tipo = ") + db::jetQuoted(kind);
    for (rs->findFirst(criterion); !rs->noMatch(); rs->findNext(criterion))
        out.push_back({rs->text(QStringLiteral("Tipo")), rs->text(QStringLiteral("Origine")),
                       rs->text(QStringLiteral("Archivio"))});
    return out;
}

std::optional<InboxJournal::Claim> InboxJournal::firstClaim(const QString& kind) const {
    auto all = claims(kind);
    if (all.empty())
        return std::nullopt;
    return all.front();
}

void InboxJournal::add(const Claim& claim) {
    auto rs = m_db->openRecordset(kTable);
    rs->addNew();
    rs->setValue(QStringLiteral("Tipo"), claim.kind);
    rs->setValue(QStringLiteral("Origine"), claim.source);
    rs->setValue(QStringLiteral("Archivio"), claim.archive);
    rs->update();
}

void InboxJournal::settle(const Claim& claim) {
    auto rs = m_db->openRecordset(kTable);
    rs->findFirst(claimCriterion(claim));
    if (!rs->noMatch())
        rs->remove();
}

}  // namespace quorvel
