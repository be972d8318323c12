// Reading "QuorvelMail.txt" and its password file.
#include "print/MailSettings.h"

#include "platform/Error.h"
#include "platform/TextFile.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace quorvel {

namespace {

// A file holding a password may be read by its owner only. Windows keeps
// access in ACLs that Qt's permission bits do not show; there the folder's
// own rights protect it.
void refuseIfShared(const QString& path) {
#ifndef Q_OS_WIN
    const QFileDevice::Permissions shared = QFileDevice::ReadGroup | QFileDevice::ReadOther |
                                            QFileDevice::WriteGroup | QFileDevice::WriteOther;
    if (QFileInfo(path).permissions() & shared)
        throw Error(path, QStringLiteral("il file contiene una password ed è leggibile o "
                                         "scrivibile da altri utenti: file ignorato. Renderlo "
                                         "privato (chmod 600 %1)")
                              .arg(path));
#else
    Q_UNUSED(path);
#endif
}

QByteArray readWhole(const QString& path) {
    auto bytes = readSideFileBytes(path);
    if (!bytes)
        throw Error(path, QStringLiteral("file non trovato"));
    return *bytes;
}

bool plausibleAddress(const QString& a) {
    static const QRegularExpression re(QStringLiteral("^[^\\s<>@,;\"]+@[^\\s<>@,;\"]+$"));
    return re.match(a).hasMatch();
}

}  // namespace

int MailSettings::effectivePort() const {
    if (port != 0)
        return port;
    switch (security) {
        case Security::Ssl:
            return 465;
        case Security::None:
            return 25;
        case Security::StartTls:
            break;
    }
    return 587;
}

std::optional<MailSettings> readMailSettings(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists())
        return std::nullopt;
    if (!info.isFile())
        throw Error(path, QStringLiteral("non è un file normale (cartella, FIFO o dispositivo)"));
    refuseIfShared(path);
    const auto lines = readKeyValueFile(path);
    if (!lines)
        throw Error(path, QStringLiteral("file non trovato"));
    MailSettings s;
    QString passwordFile;
    bool passwordGiven = false;
    for (const KeyValueLine& line : *lines) {
        const auto bad = [&](const QString& why) { return keyValueError(path, line, why); };
        const QString& key = line.key;
        const QString& value = line.value;
        if (key == QLatin1String("server")) {
            s.server = value;
        } else if (key == QLatin1String("porta")) {
            bool ok = false;
            s.port = value.toInt(&ok);
            if (!ok || s.port < 1 || s.port > 65535)
                throw bad(QStringLiteral("porta \"%1\" non valida (1-65535)").arg(value));
        } else if (key == QLatin1String("sicurezza")) {
            const QString v = value.toLower();
            if (v == QLatin1String("starttls"))
                s.security = MailSettings::Security::StartTls;
            else if (v == QLatin1String("ssl"))
                s.security = MailSettings::Security::Ssl;
            else if (v == QLatin1String("none"))
                s.security = MailSettings::Security::None;
            else
                throw bad(QStringLiteral("sicurezza \"%1\" non valida (starttls, ssl o none)")
                              .arg(value));
        } else if (key == QLatin1String("utente")) {
            s.user = value;
        } else if (key == QLatin1String("password")) {
            s.password = value;  // never quoted in a message
            passwordGiven = true;
        } else if (key == QLatin1String("file_password")) {
            passwordFile = value;
        } else if (key == QLatin1String("mittente")) {
            s.sender = value;
        } else if (key == QLatin1String("destinatari")) {
            for (const QString& a : value.split(QLatin1Char(','), Qt::SkipEmptyParts))
                if (!a.trimmed().isEmpty())
                    s.recipients << a.trimmed();
        } else if (key == QLatin1String("oggetto")) {
            s.subject = value;
        } else if (key == QLatin1String("ora_invio")) {
            const QTime t = QTime::fromString(value, QStringLiteral("H:mm"));
            if (!t.isValid())
                throw bad(QStringLiteral("ora_invio \"%1\" non valida (hh:mm)").arg(value));
            s.dailyTime = t;
        } else if (key == QLatin1String("file_ca")) {
            s.caFile = value;
        } else if (key == QLatin1String("attesa_massima")) {
            bool ok = false;
            s.timeoutSeconds = value.toInt(&ok);
            if (!ok || s.timeoutSeconds < 1 || s.timeoutSeconds > 600)
                throw bad(
                    QStringLiteral("attesa_massima \"%1\" non valida (1-600 secondi)").arg(value));
        } else {
            throw bad(QStringLiteral("chiave \"%1\" sconosciuta").arg(key));
        }
    }
    if (passwordGiven && !passwordFile.isEmpty())
        throw Error(path, QStringLiteral("password e file_password insieme: indicarne uno solo"));
    if (!passwordFile.isEmpty()) {
        if (!QFileInfo::exists(passwordFile))
            throw Error(passwordFile, QStringLiteral("file della password non trovato"));
        const QByteArray secret = readWhole(passwordFile);  // a FIFO or device is refused here
        refuseIfShared(passwordFile);
        s.password = QString::fromUtf8(secret).section(
            QRegularExpression(QStringLiteral("\r\n|\r|\n")), 0, 0);
    }
    if (s.server.isEmpty())
        throw Error(path, QStringLiteral("manca il server di posta (server = ...)"));
    if (!plausibleAddress(s.sender))
        throw Error(path, QStringLiteral("mittente mancante o non valido"));
    if (s.recipients.isEmpty())
        throw Error(path, QStringLiteral("nessun destinatario (destinatari = ...)"));
    for (const QString& r : s.recipients)
        if (!plausibleAddress(r))
            throw Error(path, QStringLiteral("destinatario \"%1\" non valido").arg(r));
    // Header injection: nothing given here may break a header line.
    for (const QString* v : {&s.server, &s.subject, &s.user})
        if (v->contains(QRegularExpression(QStringLiteral("[\\x00-\\x1f]"))))
            throw Error(path, QStringLiteral("caratteri di controllo in un valore"));
    return s;
}

}  // namespace quorvel
