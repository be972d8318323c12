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
#include <QSaveFile>
#include <QUuid>

namespace quorvel::db {

namespace {

std::optional<ServerConfig>& current() {
    static std::optional<ServerConfig> config;
    return config;
}

QString hashedSchema(const QString& text) {
    return QStringLiteral("quorvel_") +
           QString::fromLatin1(
               QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Sha1).toHex())
               .left(12);
}

// The folder's identity: read, or made once (written whole, then renamed
// into place). Empty, with why set, when neither works.
QString folderIdentity(QString& why) {
    const QString name = QString::fromLatin1(FolderIdentityFile);
    QFile in(name);
    if (QFileInfo::exists(name)) {
        const QString id = QFileInfo(name).isFile() && in.open(QIODevice::ReadOnly)
                               ? QString::fromUtf8(in.read(256)).trimmed()
                               : QString();
        if (id.isEmpty() || id.contains(u'\n'))
            why = QStringLiteral(
                      "%1 non si può leggere o è vuoto: lo schema delle tabelle del "
                      "programma non è noto")
                      .arg(name);
        return id;
    }
    const QString id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    QSaveFile out(name);
    if (!out.open(QIODevice::WriteOnly) || out.write((id + QStringLiteral("\r\n")).toUtf8()) < 0 ||
        !out.commit()) {
        why = QStringLiteral("%1 non si può creare: %2").arg(name, out.errorString());
        return {};
    }
    return id;
}

}  // namespace

QString ownSchemaProblem(const QString& schema) {
    if (schema.toUtf8().size() > 63)
        return QStringLiteral("il nome dello schema %1 supera i 63 byte ammessi dal server")
            .arg(schema);
    const QString folded = schema.toCaseFolded();
    if (folded == QLatin1String("public") || folded == QLatin1String("information_schema") ||
        folded.startsWith(QLatin1String("pg_")))
        return QStringLiteral(
                   "lo schema %1 è del server, non può contenere le tabelle del "
                   "programma")
            .arg(schema);
    QStringList hotel = hotelDatabaseFiles() + defaultLocalFiles();
    for (const QString& file : hotel) {
        if (QFileInfo(file).completeBaseName().toCaseFolded() == folded)
            return QStringLiteral(
                       "lo schema %1 è di un database dell'albergo, non può contenere "
                       "le tabelle del programma")
                .arg(schema);
    }
    return {};
}

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
    QString why;
    if (!schema.isEmpty()) {
        c.ownSchema = schema;
        why = ownSchemaProblem(schema);
    } else {
        c.legacySchema = hashedSchema(QDir::current().canonicalPath());
        const QString id = folderIdentity(why);
        c.ownSchema = id.isEmpty() ? c.legacySchema : hashedSchema(id);
    }
    if (!why.isEmpty()) {
        c.refusal = why;
    } else if (c.conninfo.isEmpty()) {
        c.refusal = QStringLiteral("la prima riga (la stringa di connessione al server) è vuota");
    } else if (maskedConnInfo(c.conninfo).startsWith(u'(')) {
        c.refusal = QStringLiteral("la prima riga non è una stringa di connessione valida");
    } else {
        c.refusal = passwordFileProblem(name, c.conninfo);
    }
    return c;
}

QString passwordFileProblem(const QString& path, const QString& conninfo) {
#ifdef Q_OS_UNIX
    // On Windows the folder's access rights guard the file instead.
    if (connInfoHasPassword(conninfo) &&
        (QFileInfo(path).permissions() & (QFileDevice::ReadGroup | QFileDevice::ReadOther)))
        return QStringLiteral(
                   "contiene una password ed è leggibile da altri utenti: "
                   "renderlo leggibile solo dal proprietario (chmod 600 %1) o "
                   "togliere la password e usare il file delle password di "
                   "PostgreSQL (.pgpass)")
            .arg(QFileInfo(path).fileName());
#else
    Q_UNUSED(path);
    Q_UNUSED(conninfo);
#endif
    return {};
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
