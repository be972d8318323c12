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

const QString kWatches = QStringLiteral("FileSeguiti");

db::TableDef watchDef() {
    db::TableDef def(kWatches);
    def.appendField(QStringLiteral("Tipo"), db::FieldType::Text, 10);
    def.appendField(QStringLiteral("Archivio"), db::FieldType::Text, 255);
    def.appendField(QStringLiteral("Byte"), db::FieldType::Double);
    def.appendField(QStringLiteral("Righe"), db::FieldType::Int32);
    def.appendField(QStringLiteral("Cresciuto"), db::FieldType::Text, 19);
    return def;
}

const QString kWhen = QStringLiteral("yyyy-MM-ddTHH:mm:ss");

QString watchCriterion(const QString& kind, const QString& archive) {
    return QStringLiteral("Tipo = ") + db::jetQuoted(kind) + QStringLiteral(" and Archivio = ") +
           db::jetQuoted(archive);
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
    if (!m_db->hasTable(kWatches))
        m_db->appendTable(watchDef());
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

std::vector<InboxJournal::Watch> InboxJournal::watches(const QString& kind) const {
    std::vector<Watch> out;
    auto rs = m_db->openRecordset(kWatches);
    rs->forEach(QStringLiteral("Tipo = ") + db::jetQuoted(kind), [&] {
        out.push_back({rs->text(QStringLiteral("Tipo")), rs->text(QStringLiteral("Archivio")),
                       static_cast<qint64>(rs->value(QStringLiteral("Byte")).toDouble()),
                       static_cast<std::int32_t>(rs->integer(QStringLiteral("Righe"))),
                       QDateTime::fromString(rs->text(QStringLiteral("Cresciuto")), kWhen)});
    });
    return out;
}

std::optional<InboxJournal::Watch> InboxJournal::watch(const QString& kind,
                                                       const QString& archive) const {
    for (Watch& w : watches(kind))
        if (w.archive == archive)
            return std::move(w);
    return std::nullopt;
}

void InboxJournal::setWatch(const Watch& w) {
    auto rs = m_db->openRecordset(kWatches);
    rs->findFirst(watchCriterion(w.kind, w.archive));
    if (rs->noMatch()) {
        rs->addNew();
        rs->setValue(QStringLiteral("Tipo"), w.kind);
        rs->setValue(QStringLiteral("Archivio"), w.archive);
    } else {
        rs->edit();
    }
    rs->setValue(QStringLiteral("Byte"), db::Value(static_cast<double>(w.bytes)));
    rs->setValue(QStringLiteral("Righe"), db::Value(std::int64_t{w.lines}));
    rs->setValue(QStringLiteral("Cresciuto"), w.grew.toString(kWhen));
    rs->update();
}

void InboxJournal::dropWatch(const QString& kind, const QString& archive) {
    auto rs = m_db->openRecordset(kWatches);
    rs->removeAll(watchCriterion(kind, archive));
}

}  // namespace quorvel
