// Routing of database files to the server's schemas.
#include "db/Server.h"

#include "db/HotelFiles.h"
#include "db/PgConnection.h"
#include "platform/Error.h"
#include "platform/TextFile.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
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

std::optional<ServerConfig> readServerConfig() {
    const QString name = QString::fromLatin1(ServerConfigFile);
    const QFileInfo info(name);
    if (!info.exists())
        return std::nullopt;
    ServerConfig c;
    c.localFiles = defaultLocalFiles();
    const QString folder = QDir::current().canonicalPath();
    c.ownSchema = QStringLiteral("quorvel_") +
                  QString::fromLatin1(
                      QCryptographicHash::hash(folder.toUtf8(), QCryptographicHash::Sha1).toHex())
                      .left(12);
    QByteArray bytes;
    try {
        bytes = readSideFileBytes(name, 64 * 1024).value_or(QByteArray());
    } catch (const Error& e) {
        c.refusal = QStringLiteral(
                        "il file non si può leggere (%1): nessun database è raggiungibile "
                        "finché non è corretto")
                        .arg(e.cause());
        return c;
    }
    const QStringList lines = QString::fromUtf8(bytes).split(u'\n', Qt::KeepEmptyParts);
    c.conninfo = lines.value(0).trimmed();
    const QString schema = lines.value(1).trimmed();
    if (!schema.isEmpty())
        c.ownSchema = schema;
    if (c.conninfo.isEmpty()) {
        c.refusal = QStringLiteral("la prima riga (la stringa di connessione al server) è vuota");
    } else if (maskedConnInfo(c.conninfo).startsWith(u'(')) {
        c.refusal = QStringLiteral("la prima riga non è una stringa di connessione valida");
    }
#ifdef Q_OS_UNIX
    // On Windows the folder's access rights guard the file instead.
    else if (connInfoHasPassword(c.conninfo) &&
             (info.permissions() & (QFileDevice::ReadGroup | QFileDevice::ReadOther))) {
        c.refusal = QStringLiteral(
                        "contiene una password ed è leggibile da altri utenti: "
                        "renderlo leggibile solo dal proprietario (chmod 600 %1) o "
                        "togliere la password e usare il file delle password di "
                        "PostgreSQL (.pgpass)")
                        .arg(name);
    }
#endif
    return c;
}

QString ServerConfig::description() const {
    if (!refusal.isEmpty())
        return QStringLiteral("%1 rifiutato: %2").arg(QLatin1String(ServerConfigFile), refusal);
    return QStringLiteral(
               "Database dell'albergo sul server %1; tabelle del programma nello "
               "schema %2")
        .arg(maskedConnInfo(conninfo),
             ownSchema.isEmpty() ? QStringLiteral("(file locali)") : ownSchema);
}

QStringList defaultLocalFiles() {
    return {QString::fromLatin1(ClientiCasaMdb), QString::fromLatin1(PassaRicevuteMdb)};
}

void setDefaultServer(std::optional<ServerConfig> config) {
    current() = std::move(config);
}

const std::optional<ServerConfig>& defaultServer() {
    return current();
}

}  // namespace quorvel::db
