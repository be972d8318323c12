// The optional mail settings file "QuorvelMail.txt" of the working folder:
// where the preview's "E-&mail" and the daily mail send to. Without it the
// preview hands the text to the external mailer as before.
//
// Format: UTF-8 text, one `key = value` a line; blank lines and lines
// starting with '#' are ignored. Keys:
//   server, porta, sicurezza (starttls | ssl | none), utente, password or
//   file_password (a file whose first line is the password), mittente,
//   destinatari (addresses separated by commas; the key may repeat),
//   oggetto, ora_invio (hh:mm, the daily mail), file_ca (a PEM file of the
//   certificates trusted instead of the system's), attesa_massima (seconds).
// The file, and a password file, must not be readable by group or others
// (as ssh refuses a private key that is): it holds a password.
#pragma once

#include <QString>
#include <QStringList>
#include <QTime>
#include <optional>

namespace quorvel {

inline const QString kMailSettingsFile = QStringLiteral("QuorvelMail.txt");

struct MailSettings {
    enum class Security { StartTls, Ssl, None };

    QString server;
    int port = 0;  // 0: the security's usual port (587, 465, 25)
    Security security = Security::StartTls;
    QString user;  // empty: no login
    QString password;
    QString sender;
    QStringList recipients;
    QString subject = QStringLiteral("Quorvel: storico errori");
    std::optional<QTime> dailyTime;  // ora_invio
    QString caFile;
    int timeoutSeconds = 60;  // the whole exchange; connecting gets at most 15

    int effectivePort() const;
};

// Reads path. nullopt when there is no such file. Throws Error (Italian,
// naming the file and line) on a file readable by group or others, an
// unknown key, a bad value, or a missing server, sender or recipient. The
// password never appears in a message.
std::optional<MailSettings> readMailSettings(const QString& path = kMailSettingsFile);

}  // namespace quorvel
