// The working folder's databases: QuorvelDB.txt, stores left behind, the
// tools' common start.
#include "polling/FolderStores.h"

#include "db/Engine.h"
#include "platform/Error.h"
#include "platform/Log.h"
#include "polling/InboxJournal.h"
#include "transfer/ChargeStore.h"

#include <QDir>
#include <QFileInfo>
#include <limits>

namespace quorvel {

namespace {

const QStringList& ownStores() {
    static const QStringList names = {QString::fromLatin1(ChargeStore::FileName),
                                      QString::fromLatin1(InboxJournal::FileName)};
    return names;
}

}  // namespace

FolderStores resolveFolderStores() {
    FolderStores f;
    f.server = db::readServerConfig();
    db::setDefaultServer(f.server);
    if (f.server)
        for (const QString& name : ownStores())
            if (f.server->schemaFor(QDir::current().absoluteFilePath(name)) &&
                QFileInfo::exists(name))
                f.leftBehind << name;
    return f;
}

QString FolderStores::toolRefusal() const {
    if (server && !server->refusal.isEmpty())
        return server->description();
    if (!leftBehind.isEmpty())
        return QStringLiteral(
                   "%1 in %2 è rimasto da prima del passaggio al server di %3: il programma non "
                   "lo usa più e nessuno strumento lo apre. Controllarne le righe (storico errori, "
                   "in attesa) con una copia della cartella senza %3, poi spostarlo fuori dalla "
                   "cartella di lavoro")
            .arg(leftBehind.join(QStringLiteral(", ")), QDir::currentPath(),
                 QLatin1String(db::ServerConfigFile));
    return QString();
}

void FolderStores::log() const {
    if (server)
        (server->refusal.isEmpty() ? log::info : log::error)(server->description());
    if (!leftBehind.isEmpty())
        log::error(QStringLiteral("%1: file locale rimasto da prima del passaggio al server, non "
                                  "più usato (le sue righe non vengono trasferite)")
                       .arg(leftBehind.join(QStringLiteral(", "))));
}

ToolSession::ToolSession(const QString& toolName, bool needsStore) : m_before(db::defaultServer()) {
    try {
        m_stores = resolveFolderStores();
        const QString refusal = m_stores.toolRefusal();
        if (!refusal.isEmpty())
            throw Error(QString(), refusal);
        // Never create an empty store in a folder that is not the program's.
        const QString store = QString::fromLatin1(ChargeStore::FileName);
        if (needsStore && !m_stores.server && !QFileInfo::exists(store))
            throw Error(store, QStringLiteral("nessun giornale né storico errori in %1 (non è "
                                              "la cartella di lavoro di Quorvel?)")
                                   .arg(QDir::currentPath()));
    } catch (...) {
        db::setDefaultServer(m_before);
        throw;
    }
    // Never rotated by a tool: the running program keeps its file open.
    log::open(QStringLiteral("Quorvel.log"), std::numeric_limits<qint64>::max());
    log::setSource(QStringLiteral("%1, utente %2").arg(toolName, log::userName()));
    db::removeStaleWorkspaceFolders(QDir::currentPath());
}

ToolSession::~ToolSession() {
    log::close();
    log::setSource(QString());
    db::setDefaultServer(m_before);  // a caller running several tools in one process
}

}  // namespace quorvel
