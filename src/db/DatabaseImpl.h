// Inside a Database: its workspace and its attachment there.
#pragma once

#include "db/WorkspaceImpl.h"

namespace quorvel::db {

struct Database::Impl {
    Impl(Workspace& workspace, QString absolutePath)
        : ws(workspace), wsi(workspace.impl()), path(std::move(absolutePath)) {}

    // The attachment of an open database; throws when it has been closed.
    Attachment& attachment() const;
    std::shared_ptr<const TableSchema> schema(const QString& table) const {
        return wsi.schema(attachment(), table);
    }
    void close();

    Workspace& ws;
    Workspace::Impl& wsi;
    QString path;
    bool open = true;
};

}  // namespace quorvel::db
