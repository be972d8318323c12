// Where the databases live when a PostgreSQL server holds the hotel's data:
// the connection string, which files stay SQLite files in their folder (the
// POS side and the local databases), and the schema each other file maps to
// ("Conto_Cliente.mdb" -> schema Conto_Cliente).
#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace quorvel::db {

struct ServerConfig {
    QString conninfo;  // libpq connection string
    // Files (by name, without regard to case) kept as SQLite files.
    QStringList localFiles;
    // Schema of the program's own stores (".db" files); empty: they stay
    // SQLite files in the working folder.
    QString ownSchema;

    // The schema that holds a file's tables; nullopt for a local file.
    std::optional<QString> schemaFor(const QString& path) const;
};

// The files that stay local with the program's own configuration: the POS's
// and the working folder's own databases.
QStringList defaultLocalFiles();

// The configuration every Workspace() made afterwards uses; nullopt (the
// default) keeps every database a SQLite file.
void setDefaultServer(std::optional<ServerConfig> config);
const std::optional<ServerConfig>& defaultServer();

}  // namespace quorvel::db
