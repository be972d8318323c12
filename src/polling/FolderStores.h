// Where the working folder's databases are, decided the same way by the
// program and by every tool (one rule, so the two can never drift apart):
// "QuorvelDB.txt" puts the hotel's databases and the program's own stores
// on a PostgreSQL server; without it every database is a SQLite file in the
// folder. A tool then checks that it may work here (ToolSession).
#pragma once

#include "db/Server.h"

#include <QString>
#include <QStringList>
#include <optional>

namespace quorvel {

struct FolderStores {
    std::optional<db::ServerConfig> server;  // nullopt: SQLite files here
    // The program's own stores still in the folder as files while the
    // server holds them: left from before the switch, never opened again.
    QStringList leftBehind;

    // Why nothing may be done here: QuorvelDB.txt refused, or a store left
    // behind (a tool that used it would work on data the program abandoned).
    QString toolRefusal() const;
    // The program's start-up lines: where the databases are, what is left.
    void log() const;
};

// Reads QuorvelDB.txt of the current folder and makes it the configuration
// of every db::Workspace made afterwards.
FolderStores resolveFolderStores();

// The start of every tool in its working folder, undone when the session
// ends: the stores resolved as the program resolves them; then, once the
// tool may work here, its lines go to the program's "Quorvel.log", each
// naming the tool and the user, and the workspace folders that killed runs
// left are removed.
class ToolSession {
public:
    // Throws Error when the tool may not work here: QuorvelDB.txt refused, a
    // store left behind, or (needsStore) no store at all, as in a folder that
    // is not the program's (nothing is created there).
    ToolSession(const QString& toolName, bool needsStore);
    ~ToolSession();
    ToolSession(const ToolSession&) = delete;
    ToolSession& operator=(const ToolSession&) = delete;

    const FolderStores& stores() const { return m_stores; }

private:
    std::optional<db::ServerConfig> m_before;
    FolderStores m_stores;
};

}  // namespace quorvel
