// Routing of database files to the server's schemas.
#include "db/Server.h"

#include "db/HotelTables.h"

#include <QFileInfo>

namespace quorvel::db {

namespace {

std::optional<ServerConfig>& current() {
    static std::optional<ServerConfig> config;
    return config;
}

}  // namespace

std::optional<QString> ServerConfig::schemaFor(const QString& path) const {
    const QFileInfo info(path);
    const QString name = info.fileName();
    if (localFiles.contains(name, Qt::CaseInsensitive))
        return std::nullopt;
    if (info.suffix().compare(QLatin1String("db"), Qt::CaseInsensitive) == 0) {
        if (ownSchema.isEmpty())
            return std::nullopt;
        return ownSchema;
    }
    return info.completeBaseName();
}

QStringList defaultLocalFiles() {
    return {QString::fromLatin1(ClientiCasaMdb), QStringLiteral("PassaRicevute.mdb")};
}

void setDefaultServer(std::optional<ServerConfig> config) {
    current() = std::move(config);
}

const std::optional<ServerConfig>& defaultServer() {
    return current();
}

}  // namespace quorvel::db
