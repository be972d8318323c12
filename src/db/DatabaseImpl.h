// Inside a Database: its workspace and its attachment there.
#pragma once

#include "db/WorkspaceImpl.h"

namespace quorvel::db {

struct Database::Impl {
    Impl(Workspace& workspace, QString absolutePath, bool server)
        : ws(workspace), wsi(workspace.impl()), path(std::move(absolutePath)), onServer(server) {}

    // The attachment of an open database; throws when it has been closed.
    Attachment& attachment() const;
    std::shared_ptr<const TableSchema> schema(const QString& table) const {
        return wsi.schema(attachment(), table);
    }
    void close();
    // The statement on this database's store (its file or the server).
    Statement& statement(const QString& sql) const {
        return onServer ? wsi.serverStatement(sql) : wsi.statement(sql);
    }

    Workspace& ws;
    Workspace::Impl& wsi;
    QString path;
    bool onServer;
    bool open = true;
};

}  // namespace quorvel::db
