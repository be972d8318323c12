// Workspaces: the connection, attaching and detaching database files, the
// statement cache and transactions.
#include "db/DatabaseImpl.h"
#include "db/JetText.h"
#include "db/WorkspaceImpl.h"

#include "db/Dialect.h"
#include "db/SchemaClaim.h"
#include "platform/Error.h"
#include "platform/Log.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>
#include <algorithm>
#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace quorvel::db {

namespace {

constexpr int DefaultBusyTimeoutMs = 5000;
constexpr std::size_t MaxCachedStatements = 256;

// Jet's Instr([start,] text, sought): 1-based position, 0 when absent,
// letters compared without regard to case; Null when an argument is Null.
void jetInstr(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    for (int i = 0; i < argc; ++i) {
        if (sqlite3_value_type(argv[i]) == SQLITE_NULL) {
            sqlite3_result_null(ctx);
            return;
        }
    }
    auto textOf = [](sqlite3_value* v) {
        return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_value_text(v)),
                                 sqlite3_value_bytes(v));
    };
    qsizetype start = 0;
    int first = 0;
    if (argc == 3) {
        start = sqlite3_value_int64(argv[0]) - 1;
        first = 1;
        if (start < 0) {
            sqlite3_result_error(ctx, "Instr: posizione iniziale non valida", -1);
            return;
        }
    }
    const QString text = textOf(argv[first]);
    const QString sought = textOf(argv[first + 1]);
    if (start > text.size()) {
        sqlite3_result_int64(ctx, 0);
        return;
    }
    const qsizetype at = text.indexOf(sought, start, Qt::CaseInsensitive);
    sqlite3_result_int64(ctx, at < 0 ? 0 : at + 1);
}

// Case-insensitive for every letter, not only ASCII; used in queries only
// (never in a schema), where the compared text holds non-ASCII letters.
int jetCollate(void*, int n1, const void* s1, int n2, const void* s2) {
    return compareFolded(QString::fromUtf8(static_cast<const char*>(s1), n1),
                         QString::fromUtf8(static_cast<const char*>(s2), n2));
}

QString uriOf(const QString& path, bool create) {
    return QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded) +
           (create ? QStringLiteral("?mode=rwc") : QStringLiteral("?mode=rw"));
}

// A real SQLite file starts with this header; anything else (a Jet file,
// an empty file, random bytes) is refused before SQLite sees it.
bool hasSqliteHeader(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    return f.read(16) == QByteArray("SQLite format 3", 16);
}

}  // namespace

QString absoluteDatabasePath(const QString& fileName) {
    return QDir::cleanPath(QDir::current().absoluteFilePath(fileName));
}

Workspace::Impl::Impl(std::optional<ServerConfig> config)
    : mainDir(QDir::current().filePath(QString::fromLatin1(WorkspaceFolderPrefix) +
                                       QStringLiteral("XXXXXX"))) {
    if (!mainDir.isValid())
        throw Error(mainDir.path(), QStringLiteral("impossibile creare la cartella di lavoro del "
                                                   "database (cartella non scrivibile?)"));
    ownerLock =
        std::make_unique<QLockFile>(mainDir.filePath(QString::fromLatin1(WorkspaceOwnerLock)));
    ownerLock->setStaleLockTime(0);  // only a dead owner makes it stale
    if (!ownerLock->tryLock(0))
        throw Error(mainDir.path(), QStringLiteral("impossibile creare il blocco della cartella "
                                                   "di lavoro del database"));
    const QString mainPath = mainDir.filePath(QStringLiteral("workspace.db"));
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(
        mainPath.toUtf8().constData(), &raw,
        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX,
        nullptr);
    db.reset(raw);
    if (rc != SQLITE_OK)
        throwSqlite(raw, rc, mainPath);
    sqlite3_extended_result_codes(raw, 1);
    sqlite3_busy_timeout(raw, DefaultBusyTimeoutMs);
    sqlite3_create_function_v2(raw, "jet_instr", -1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                               jetInstr, nullptr, nullptr, nullptr);
    sqlite3_create_collation_v2(raw, "JETNOCASE", SQLITE_UTF8, nullptr, jetCollate, nullptr);
    exec(QStringLiteral("PRAGMA main.journal_mode=DELETE"), mainPath);
    server = std::move(config);
}

Workspace::Impl::~Impl() {
    statements.clear();
    if (depth > 0)
        sqlite3_exec(db.get(), "ROLLBACK", nullptr, nullptr, nullptr);
    // A server transaction still open ends with the connection: rolled back.
}

PgConnection& Workspace::Impl::connection() {
    if (!server)
        throw Error(QStringLiteral("server"), QStringLiteral("nessun server configurato"));
    if (!server->refusal.isEmpty())
        throw Error(QString::fromLatin1(ServerConfigFile), server->refusal);
    if (!pg) {
        // The claim is made again at every connection: it ends with one.
        pg = std::make_unique<PgConnection>(server->conninfo, [this](PgConnection& c) {
            if (claimsOwnSchema)
                db::claimOwnSchema(c, *server);
        });
        pg->setLockTimeout(busyTimeoutMs);
    } else if (!pg->ok() && !pg->inTransaction()) {
        pg->reconnect();
    }
    if (depth > 0 && !pgJoined) {
        // The first server file of a transaction already open: the server
        // starts it now, at the same depth.
        pg->exec(QStringLiteral("BEGIN"), QStringLiteral("BeginTrans"));
        pg->setInTransaction(true);
        // The nested levels have the savepoint names beginTrans gave them.
        for (int i = 1; i < depth; ++i)
            pg->exec(QStringLiteral("SAVEPOINT s%1").arg(i), QStringLiteral("BeginTrans"));
        pgJoined = true;
    }
    return *pg;
}

Statement& Workspace::Impl::serverStatement(const QString& sql) {
    // Keyed apart from SQLite's: the same text never means both.
    const QString key = u'\x01' + sql;
    auto it = statements.find(key);
    if (it != statements.end())
        return *it->second;
    if (statements.size() >= MaxCachedStatements) {
        statements.clear();
        ++generation;
    }
    auto stmt = std::make_unique<Statement>(connection(), sql);
    return *statements.emplace(key, std::move(stmt)).first->second;
}

std::unique_ptr<Statement> Workspace::Impl::newStatement(bool onServer, const QString& sql) {
    if (onServer)
        return std::make_unique<Statement>(connection(), sql);
    return std::make_unique<Statement>(db.get(), sql);
}

Attachment& Workspace::Impl::attachServer(const QString& path, const QString& schema, bool create) {
    auto it = attachments.find(path);
    // The program's own stores share one schema, made by whichever comes first.
    const bool own = schema == server->ownSchema;
    if (it != attachments.end()) {
        if (create && !own)
            throw Error(
                path, QStringLiteral("il database esiste già sul server (schema %1)").arg(schema));
        ++it->second.refs;
        return it->second;
    }
    PgConnection& conn = connection();
    if (own && !server->legacySchema.isEmpty())
        adoptLegacySchema(conn, *server);
    // The schema as stored: the same name, else one that differs in case only.
    QString stored;
    {
        Statement& stmt = serverStatement(QStringLiteral(
            "SELECT nspname FROM pg_namespace WHERE lower(nspname) = lower(?) ORDER BY "
            "nspname <> ?"));
        StatementUse use(stmt, path);
        use.bind(1, Value(schema));
        use.bind(2, Value(schema));
        if (use.step())
            stored = use.text(0);
    }
    if (own)
        create = stored.isEmpty();
    if (create) {
        if (!stored.isEmpty())
            throw Error(
                path, QStringLiteral("il database esiste già sul server (schema %1)").arg(stored));
        conn.exec(QStringLiteral("CREATE SCHEMA ") + quoteIdentifier(schema), path);
        stored = schema;
    } else if (stored.isEmpty()) {
        throw Error(path, QStringLiteral("database inesistente sul server %1 (schema %2)")
                              .arg(conn.server(), schema));
    }
    Attachment att;
    att.path = path;
    att.alias = stored;
    att.quotedAlias = quoteIdentifier(stored);
    att.server = true;
    att.refs = 1;
    return attachments.emplace(path, std::move(att)).first->second;
}

Statement& Workspace::Impl::statement(const QString& sql) {
    auto it = statements.find(sql);
    if (it != statements.end())
        return *it->second;
    if (statements.size() >= MaxCachedStatements) {
        statements.clear();  // none is running between engine calls
        ++generation;
    }
    auto stmt = std::make_unique<Statement>(db.get(), sql);
    return *statements.emplace(sql, std::move(stmt)).first->second;
}

void Workspace::Impl::exec(const QString& sql, const QString& where) {
    Statement stmt(db.get(), sql);
    StatementUse use(stmt, where);
    while (use.step()) {
    }
}

Attachment& Workspace::Impl::attach(const QString& path, bool create) {
    if (server) {
        if (const auto schema = server->schemaFor(path))
            return attachServer(path, *schema, create);
    }
    const bool exists = QFileInfo::exists(path);
    if (create && exists)
        throw Error(path, QStringLiteral("il file esiste già"));
    auto it = attachments.find(path);
    if (it != attachments.end()) {
        ++it->second.refs;
        return it->second;
    }
    if (!create && !exists)
        throw Error(path, QStringLiteral("file inesistente"));
    if (!create && !QFileInfo(path).isFile())
        throw Error(path, QStringLiteral("non è un file"));
    if (!create && !hasSqliteHeader(path))
        throw Error(path, QStringLiteral("il file non è un database riconosciuto"));

    Attachment att;
    att.path = path;
    att.alias = QStringLiteral("a%1").arg(++nextAlias);
    att.quotedAlias = quoteIdentifier(att.alias);
    {
        Statement stmt(db.get(), QStringLiteral("ATTACH ?1 AS ") + att.quotedAlias);
        StatementUse use(stmt, path);
        use.bind(1, Value(uriOf(path, create)));
        use.step();
    }
    try {
        // Reading the schema now refuses a damaged file at open time.
        exec(QStringLiteral("SELECT count(*) FROM %1.sqlite_master").arg(att.quotedAlias), path);
        {
            // A file kept in WAL mode by another program cannot join an atomic commit.
            Statement mode(db.get(),
                           QStringLiteral("PRAGMA %1.journal_mode=DELETE").arg(att.quotedAlias));
            StatementUse use(mode, path);
            if (use.step() && use.text(0).compare(QLatin1String("delete"), Qt::CaseInsensitive))
                log::error(QStringLiteral("%1: journal in modalità %2, le transazioni su più file "
                                          "non sono atomiche")
                               .arg(path, use.text(0)));
        }
        // A transfer batch touches the queue, the journal and the accounts:
        // more than SQLite's default 2 MB of pages per file.
        exec(QStringLiteral("PRAGMA %1.cache_size=-16384").arg(att.quotedAlias), path);
        if (create) {
            // Writes the header, so the new file is a database even while empty.
            exec(QStringLiteral("PRAGMA %1.application_id=1364611148").arg(att.quotedAlias), path);
        }
    } catch (...) {
        sqlite3_exec(db.get(), ("DETACH " + att.quotedAlias.toUtf8()).constData(), nullptr, nullptr,
                     nullptr);
        throw;
    }
    att.refs = 1;
    return attachments.emplace(path, std::move(att)).first->second;
}

void Workspace::Impl::release(const QString& path) {
    auto it = attachments.find(path);
    if (it == attachments.end())
        return;
    if (--it->second.refs <= 0 && depth == 0)
        detachUnused();
}

void Workspace::Impl::detachUnused() {
    for (auto it = attachments.begin(); it != attachments.end();) {
        if (it->second.refs > 0) {
            ++it;
            continue;
        }
        // Statements on the file go first: a detached alias is never reused
        // (a schema may be, but only for the same file).
        const QString prefix = it->second.quotedAlias + u'.';
        for (auto s = statements.begin(); s != statements.end();) {
            if (s->first.contains(prefix)) {
                s = statements.erase(s);
                ++generation;
            } else {
                ++s;
            }
        }
        if (it->second.server) {
            it = attachments.erase(it);
            continue;
        }
        const QByteArray sql = "DETACH " + it->second.quotedAlias.toUtf8();
        const int rc = sqlite3_exec(db.get(), sql.constData(), nullptr, nullptr, nullptr);
        if (rc != SQLITE_OK) {
            log::error(QStringLiteral("%1: chiusura del database non riuscita: %2")
                           .arg(it->second.path, QString::fromUtf8(sqlite3_errmsg(db.get()))));
        }
        it = attachments.erase(it);
    }
}

QString Workspace::Impl::storedTableName(Attachment& att, const QString& table) {
    if (att.server) {
        Statement& stmt = serverStatement(QStringLiteral(
            "SELECT c.relname FROM pg_class c JOIN pg_namespace n ON n.oid = c.relnamespace "
            "WHERE n.nspname = ? AND c.relkind IN ('r', 'v', 'p', 'f')"));
        StatementUse use(stmt, att.path);
        use.bind(1, Value(att.alias));
        const QString folded = table.toCaseFolded();
        QString found;
        while (use.step()) {
            const QString name = use.text(0);
            if (name == table)
                return name;
            if (found.isEmpty() && name.toCaseFolded() == folded)
                found = name;
        }
        return found;
    }
    Statement& stmt = statement(
        QStringLiteral("SELECT name FROM %1.sqlite_master WHERE type IN ('table','view') AND "
                       "name = ?1 COLLATE NOCASE")
            .arg(att.quotedAlias));
    StatementUse use(stmt, att.path);
    use.bind(1, Value(table));
    return use.step() ? use.text(0) : QString();
}

std::shared_ptr<const TableSchema> Workspace::Impl::schema(Attachment& att, const QString& table) {
    const QString key = table.toCaseFolded();
    auto it = att.schemas.find(key);
    if (it != att.schemas.end())
        return it->second;
    const QString stored = storedTableName(att, table);
    if (stored.isEmpty()) {
        throw Error(table, QStringLiteral("tabella inesistente nel database %1")
                               .arg(QFileInfo(att.path).fileName()));
    }
    if (att.server) {
        auto s = serverSchema(att, stored);
        att.schemas[key] = s;
        return s;
    }
    auto s = std::make_shared<TableSchema>();
    s->name = stored;
    s->qualified = att.quotedAlias + u'.' + quoteIdentifier(stored);
    s->file = att.path;
    {
        Statement& stmt =
            statement(QStringLiteral("SELECT name, type FROM pragma_table_info(?1, ?2)"));
        StatementUse use(stmt, att.path);
        use.bind(1, Value(stored));
        use.bind(2, Value(att.alias));
        while (use.step()) {
            s->columns.push_back(columnFromDeclared(use.text(0), use.text(1)));
            s->byFoldedName.insert(s->columns.back().name.toCaseFolded(),
                                   static_cast<int>(s->columns.size() - 1));
            s->byName.insert(s->columns.back().name, static_cast<int>(s->columns.size() - 1));
        }
    }
    att.schemas[key] = s;
    return s;
}

std::shared_ptr<const TableSchema> Workspace::Impl::serverSchema(Attachment& att,
                                                                 const QString& stored) {
    auto s = std::make_shared<TableSchema>();
    s->name = stored;
    s->qualified = att.quotedAlias + u'.' + quoteIdentifier(stored);
    s->file = att.path;
    s->onServer = true;
    Statement& stmt = serverStatement(QStringLiteral(
        "SELECT a.attname, format_type(a.atttypid, a.atttypmod), c.relkind::text FROM "
        "pg_attribute a "
        "JOIN pg_class c ON c.oid = a.attrelid JOIN pg_namespace n ON n.oid = c.relnamespace "
        "WHERE n.nspname = ? AND c.relname = ? AND a.attnum > 0 AND NOT a.attisdropped "
        "ORDER BY a.attnum"));
    StatementUse use(stmt, att.path);
    use.bind(1, Value(att.alias));
    use.bind(2, Value(stored));
    bool rowId = false;
    while (use.step()) {
        const QString name = use.text(0);
        s->rowVersion = use.text(2) == QLatin1String("r") || use.text(2) == QLatin1String("p");
        if (name == QLatin1String(dialect::ServerRowId)) {
            rowId = true;  // the row's identity, not a field
            continue;
        }
        s->columns.push_back(columnFromServer(name, use.text(1)));
        s->byFoldedName.insert(name.toCaseFolded(), static_cast<int>(s->columns.size() - 1));
        s->byName.insert(name, static_cast<int>(s->columns.size() - 1));
    }
    if (!rowId) {
        throw Error(stored,
                    QStringLiteral("la tabella del database %1 sul server non ha la "
                                   "colonna %2 (l'identità delle righe)")
                        .arg(QFileInfo(att.path).fileName(), QLatin1String(dialect::ServerRowId)));
    }
    return s;
}

void Workspace::Impl::commitServer(const QString& where) {
    PgResult r = pg->run(QByteArrayLiteral("COMMIT"), {}, where);
    pg->setInTransaction(false);
    pgJoined = false;
    // A transaction the server had already aborted "commits" as a rollback.
    if (qstrcmp(PQcmdStatus(r.get()), "ROLLBACK") == 0)
        throw Error(where, QStringLiteral("transazione annullata dal server"));
}

void Workspace::Impl::endServerTransaction() {
    if (!pgJoined)
        return;
    pgJoined = false;
    pg->setInTransaction(false);
    if (!pg->ok())
        return;  // the server has rolled back with the connection
    try {
        pg->exec(QStringLiteral("ROLLBACK"), QStringLiteral("Rollback"));
    } catch (const Error& e) {
        log::error(e.message());
    }
}

// --- Workspace ---

Workspace::Workspace() : m_impl(std::make_unique<Impl>(defaultServer())) {}
Workspace::Workspace(const ServerConfig& server) : m_impl(std::make_unique<Impl>(server)) {}
Workspace::~Workspace() = default;

std::unique_ptr<Database> Workspace::openDatabase(const QString& fileName) {
    const QString path = absoluteDatabasePath(fileName);
    Attachment& att = m_impl->attach(path, false);
    return std::unique_ptr<Database>(
        new Database(std::make_unique<Database::Impl>(*this, att.path, att.server)));
}

std::unique_ptr<Database> Workspace::createDatabase(const QString& fileName, const QString&, int) {
    const QString path = absoluteDatabasePath(fileName);
    Attachment& att = m_impl->attach(path, true);
    return std::unique_ptr<Database>(
        new Database(std::make_unique<Database::Impl>(*this, att.path, att.server)));
}

void Workspace::beginTrans() {
    if (m_impl->depth == 0) {
        // The commit writes its super-journal in the workspace's folder; put
        // the folder back if someone removed it meanwhile.
        if (!QFileInfo::exists(m_impl->mainDir.path()))
            QDir().mkpath(m_impl->mainDir.path());
        if (m_impl->pg) {
            // Connects again first when the server went away since.
            PgConnection& pg = m_impl->connection();
            pg.exec(QStringLiteral("BEGIN"), QStringLiteral("BeginTrans"));
            pg.setInTransaction(true);
            m_impl->pgJoined = true;
        }
        try {
            m_impl->exec(QStringLiteral("BEGIN"), QStringLiteral("BeginTrans"));
        } catch (...) {
            m_impl->endServerTransaction();
            throw;
        }
    } else {
        const QString sp = QStringLiteral("SAVEPOINT s%1").arg(m_impl->depth);
        if (m_impl->pgJoined)
            m_impl->pg->exec(sp, QStringLiteral("BeginTrans"));
        m_impl->exec(sp, QStringLiteral("BeginTrans"));
    }
    ++m_impl->depth;
}

void Workspace::commitTrans() {
    if (m_impl->depth == 0)
        throw Error(QStringLiteral("CommitTrans"), QStringLiteral("nessuna transazione aperta"));
    if (m_impl->depth == 1) {
        // A failed COMMIT (a locked file) leaves the transaction open for a rollback.
        QStringList files;
        for (const auto& [path, att] : m_impl->attachments) files << QFileInfo(path).fileName();
        const QString where =
            QStringLiteral("CommitTrans (%1)").arg(files.join(QStringLiteral(", ")));
        // The server first: when it refuses, the files are still open to a rollback.
        if (m_impl->pgJoined)
            m_impl->commitServer(where);
        m_impl->exec(QStringLiteral("COMMIT"), where);
        m_impl->depth = 0;
        m_impl->detachUnused();
    } else {
        const QString sp = QStringLiteral("RELEASE s%1").arg(m_impl->depth - 1);
        if (m_impl->pgJoined)
            m_impl->pg->exec(sp, QStringLiteral("CommitTrans"));
        m_impl->exec(sp, QStringLiteral("CommitTrans"));
        --m_impl->depth;
    }
}

void Workspace::rollback() {
    if (m_impl->depth == 0)
        throw Error(QStringLiteral("Rollback"), QStringLiteral("nessuna transazione aperta"));
    if (m_impl->depth == 1) {
        m_impl->depth = 0;
        m_impl->endServerTransaction();
        // SQLite may already have rolled back by itself after an I/O error.
        if (!sqlite3_get_autocommit(m_impl->db.get()))
            m_impl->exec(QStringLiteral("ROLLBACK"), QStringLiteral("Rollback"));
        m_impl->detachUnused();
    } else {
        const QString sp = QStringLiteral("s%1").arg(m_impl->depth - 1);
        --m_impl->depth;
        if (m_impl->pgJoined) {
            m_impl->pg->exec(QStringLiteral("ROLLBACK TO ") + sp, QStringLiteral("Rollback"));
            m_impl->pg->exec(QStringLiteral("RELEASE ") + sp, QStringLiteral("Rollback"));
        }
        m_impl->exec(QStringLiteral("ROLLBACK TO ") + sp, QStringLiteral("Rollback"));
        m_impl->exec(QStringLiteral("RELEASE ") + sp, QStringLiteral("Rollback"));
    }
}

bool Workspace::inTransaction() const {
    return m_impl->depth > 0;
}

void Workspace::releaseMemory() {
    sqlite3_db_release_memory(m_impl->db.get());
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}

void Workspace::setBusyTimeout(int milliseconds) {
    sqlite3_busy_timeout(m_impl->db.get(), milliseconds);
    m_impl->busyTimeoutMs = milliseconds;
    if (m_impl->pg && m_impl->pg->ok())
        m_impl->pg->setLockTimeout(milliseconds);
}

void Workspace::claimOwnSchema() {
    if (!m_impl->server || m_impl->server->ownSchema.isEmpty() || m_impl->claimsOwnSchema)
        return;
    m_impl->claimsOwnSchema = true;
    if (m_impl->pg && m_impl->pg->ok())
        db::claimOwnSchema(*m_impl->pg, *m_impl->server);
}

bool Workspace::onServer(const QString& fileName) const {
    return m_impl->server && m_impl->server->schemaFor(absoluteDatabasePath(fileName));
}

namespace {

// How old a workspace folder without its lock must be before it counts as
// left behind (a workspace makes its folder, then at once its lock).
constexpr qint64 UnlockedFolderGraceSeconds = 2;

// A super-journal is needed while a journal it names still exists. One whose
// journals are all gone (the kill came before they named it, or they were
// rolled back since) is an orphan that SQLite never removes. A file that is
// not a list of absolute paths is kept, to be safe.
bool superJournalNeeded(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return true;
    for (const QByteArray& name : f.readAll().split('\0')) {
        const QString journal = QString::fromUtf8(name);
        if (!journal.isEmpty() && (!QDir::isAbsolutePath(journal) || QFileInfo::exists(journal)))
            return true;
    }
    return false;
}

}  // namespace

int removeStaleWorkspaceFolders(const QString& dir) {
    int removed = 0;
    const QDir folder(dir);
    const QStringList names =
        folder.entryList({QString::fromLatin1(WorkspaceFolderPrefix) + QLatin1Char('*')},
                         QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot);
    for (const QString& name : names) {
        QDir ws(folder.filePath(name));
        // A live workspace (of this or another process) holds its lock. A
        // folder without one is either from a killed run or being made this
        // instant: only an old one goes.
        QLockFile owner(ws.filePath(QString::fromLatin1(WorkspaceOwnerLock)));
        owner.setStaleLockTime(0);
        if (QFileInfo::exists(owner.fileName())) {
            if (!owner.tryLock(0))
                continue;
            owner.unlock();  // its owner is dead: the folder goes
        } else if (QFileInfo(ws.path()).lastModified().secsTo(QDateTime::currentDateTime()) <
                   UnlockedFolderGraceSeconds) {
            continue;
        }
        // A super-journal may still be needed to roll back a hot journal.
        const QStringList supers =
            ws.entryList({QStringLiteral("*-mj*")}, QDir::Files | QDir::Hidden);
        if (std::any_of(supers.begin(), supers.end(),
                        [&ws](const QString& s) { return superJournalNeeded(ws.filePath(s)); }))
            continue;
        if (ws.removeRecursively())
            ++removed;
    }
    return removed;
}

}  // namespace quorvel::db
