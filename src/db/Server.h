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
    // Why the configuration cannot be used (a file others may read that
    // holds a password, a bad first line): every database on the server
    // then fails with this text, so nothing is posted anywhere else.
    QString refusal;
    // The schema an earlier version derived from the folder's path alone:
    // taken over (renamed to ownSchema) when ownSchema does not exist yet.
    QString legacySchema;

    // The schema that holds a file's tables; nullopt for a local file.
    std::optional<QString> schemaFor(const QString& path) const;
    // One line for the log: the server (password masked) and the own schema,
    // or why the configuration is refused.
    QString description() const;
};

// The configuration file of the working folder.
inline constexpr char ServerConfigFile[] = "QuorvelDB.txt";

// The working folder's identity, generated once and kept there: the default
// schema of the program's own tables comes from it, not from the path, so
// two PCs set up alike still get schemas of their own.
inline constexpr char FolderIdentityFile[] = "QuorvelId.txt";

// Why schema cannot hold the program's own tables (too long for the server,
// "public", a system schema or a hotel database's); empty when it can.
QString ownSchemaProblem(const QString& schema);

// Reads ServerConfigFile in the current folder: nullopt when it is missing
// (every database a SQLite file, as without a server). Its first line is a
// libpq connection string, its optional second line the schema of the
// program's own tables, by default "quorvel_" and 12 hex digits of the
// folder's identity (FolderIdentityFile, made when missing), so several
// bridges on one server keep theirs apart. A file that holds a
// password and that others may read is refused (refusal set), as ssh
// refuses such a key; without a password libpq's own password file is used.
std::optional<ServerConfig> readServerConfig();

// Why a file holding conninfo may not be used: it carries a password and
// others may read it. Empty when it may.
QString passwordFileProblem(const QString& path, const QString& conninfo);

// The files that stay local with the program's own configuration: the POS's
// and the working folder's own databases.
QStringList defaultLocalFiles();

// The configuration every Workspace() made afterwards uses; nullopt (the
// default) keeps every database a SQLite file.
void setDefaultServer(std::optional<ServerConfig> config);
const std::optional<ServerConfig>& defaultServer();

}  // namespace quorvel::db
