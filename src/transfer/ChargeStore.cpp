// The store of pending charge lines and error history, on the engine.
#include "transfer/ChargeStore.h"

#include "platform/Error.h"

#include <QFileInfo>

namespace quorvel {

namespace {

const QString Pendenti = QStringLiteral("Pendenti");
const QString Errori = QStringLiteral("Errori");
const QString Contatori = QStringLiteral("Contatori");
const QString Progressivo = QStringLiteral("Progressivo");
const QString Riga = QStringLiteral("Riga");
const QString AnyRow = QStringLiteral("Progressivo > 0");

// Long enough for any line a POS writes; lines are kept whole.
constexpr int LineSize = 65535;

db::TableDef lineTable(const QString& name) {
    db::TableDef def(name);
    def.appendField(Progressivo, db::FieldType::Int32);
    def.appendField(Riga, db::FieldType::Text, LineSize);
    return def;
}

db::TableDef counterTable() {
    db::TableDef def(Contatori);
    def.appendField(QStringLiteral("Tabella"), db::FieldType::Text, 20);
    def.appendField(QStringLiteral("Ultimo"), db::FieldType::Int32);
    return def;
}

// Runs f inside the workspace's open transaction, or in one of its own.
template <class F>
void joinOrRun(db::Workspace& ws, F f) {
    if (ws.inTransaction()) {
        f();
        return;
    }
    db::Transaction tx(ws);
    f();
    tx.commit();
}

QStringList texts(const std::vector<ChargeStore::Line>& lines) {
    QStringList out;
    out.reserve(static_cast<qsizetype>(lines.size()));
    for (const auto& l : lines) out << l.text;
    return out;
}

std::vector<ChargeStore::Line> readLines(db::Database& database, const QString& table) {
    std::vector<ChargeStore::Line> out;
    auto rs =
        database.openRecordset(QStringLiteral("Select * From %1 Order by Progressivo").arg(table));
    for (rs->findFirst(AnyRow); !rs->noMatch(); rs->findNext(AnyRow))
        out.push_back({static_cast<std::int32_t>(rs->integer(Progressivo)), rs->text(Riga)});
    return out;
}

}  // namespace

ChargeStore::ChargeStore(db::Workspace& ws, const QString& fileName) : m_ws(ws) {
    m_db = QFileInfo::exists(fileName)
               ? m_ws.openDatabase(fileName)
               : m_ws.createDatabase(fileName, QStringLiteral(";LANGID=0x0409;CP=1252;COUNTRY=0"));
    // A crash between creating the file and its tables leaves tables missing.
    if (!m_db->hasTable(Pendenti))
        m_db->appendTable(lineTable(Pendenti));
    if (!m_db->hasTable(Errori))
        m_db->appendTable(lineTable(Errori));
    if (!m_db->hasTable(Contatori))
        m_db->appendTable(counterTable());
}

ChargeStore::~ChargeStore() = default;

std::vector<ChargeStore::Line> ChargeStore::pendingLines() const {
    return readLines(*m_db, Pendenti);
}

QStringList ChargeStore::pending() const {
    return texts(pendingLines());
}

QStringList ChargeStore::errors() const {
    return texts(readLines(*m_db, Errori));
}

bool ChargeStore::hasPending() const {
    auto rs = m_db->openRecordset(Pendenti);
    rs->findFirst(AnyRow);
    return !rs->noMatch();
}

std::int32_t ChargeStore::reserve(const QString& table, int count) {
    auto rs = m_db->openRecordset(Contatori);
    rs->findFirst(QStringLiteral("Tabella = '%1'").arg(table));
    std::int64_t last = 0;
    if (rs->noMatch()) {
        rs->addNew();
        rs->setValue(QStringLiteral("Tabella"), table);
    } else {
        last = rs->integer(QStringLiteral("Ultimo"));
        rs->edit();
    }
    if (last + count > INT32_MAX)
        throw Error(m_db->path(), QStringLiteral("numerazione delle righe esaurita"));
    rs->setValue(QStringLiteral("Ultimo"), db::Value(last + count));
    rs->update();
    return static_cast<std::int32_t>(last + 1);
}

void ChargeStore::append(const QString& table, const QStringList& lines) {
    if (lines.isEmpty())
        return;
    joinOrRun(m_ws, [&] {
        std::int32_t id = reserve(table, static_cast<int>(lines.size()));
        auto rs = m_db->openRecordset(table);
        for (const QString& line : lines) {
            rs->addNew();
            rs->setValue(Progressivo, db::Value(std::int64_t{id++}));
            rs->setValue(Riga, line);
            rs->update();
        }
    });
}

void ChargeStore::appendPending(const QStringList& lines) {
    append(Pendenti, lines);
}

void ChargeStore::appendErrors(const QStringList& lines) {
    append(Errori, lines);
}

bool ChargeStore::removePending(std::int32_t id) {
    bool found = false;
    joinOrRun(m_ws, [&] {
        auto rs = m_db->openRecordset(Pendenti);
        rs->findFirst(QStringLiteral("Progressivo = %1").arg(id));
        found = !rs->noMatch();
        if (found)
            rs->remove();
    });
    return found;
}

void ChargeStore::removePending(const std::vector<std::int32_t>& ids) {
    if (ids.empty())
        return;
    joinOrRun(m_ws, [&] {
        auto rs = m_db->openRecordset(Pendenti);
        for (const std::int32_t id : ids) {
            rs->findFirst(QStringLiteral("Progressivo = %1").arg(id));
            if (rs->noMatch())
                throw Error(
                    m_db->path(),
                    QStringLiteral("riga in attesa %1 non trovata: coda modificata da altri")
                        .arg(id));
            rs->remove();
        }
    });
}

void ChargeStore::clearErrors() {
    joinOrRun(m_ws, [&] {
        auto rs = m_db->openRecordset(Errori);
        for (rs->findFirst(AnyRow); !rs->noMatch(); rs->findFirst(AnyRow)) rs->remove();
    });
}

}  // namespace quorvel
