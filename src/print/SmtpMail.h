// Sending one e-mail over SMTP (libcurl): a UTF-8 text body, quoted-
// printable, and optional attachments in base64, as multipart/mixed.
//
// Bounded: connecting takes at most 15 s (or the settings' limit when
// lower), the whole exchange MailSettings::timeoutSeconds. TLS certificates
// and the host name are always verified (against file_ca when given). A
// refused recipient fails the whole mail, so that a retry never sends twice
// to the others. The password is handed to libcurl only: it is never logged
// nor put in a message.
#pragma once

#include "platform/Error.h"
#include "print/MailSettings.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <atomic>
#include <vector>

namespace quorvel {

// A mail that did not go. kind names the failure ("irraggiungibile",
// "tempo", "accesso", "destinatario", ...), so that a retry loop can tell
// a new failure from the same one again.
class MailError : public Error {
public:
    MailError(const QString& where, const QString& cause, const QString& kind)
        : Error(where, cause), m_kind(kind) {}
    const QString& kind() const { return m_kind; }

private:
    QString m_kind;
};

struct MailAttachment {
    QString fileName;
    QByteArray bytes;  // sent unchanged
    QString contentType = QStringLiteral("text/csv; charset=windows-1252");
};

struct MailMessage {
    QString subject;
    QString body;  // any line breaks; sent with CR LF
    std::vector<MailAttachment> attachments;
};

// The message as it goes after DATA (headers, CR LF line ends, no dot
// stuffing: libcurl does that). messageId without the angle brackets.
QByteArray buildMimeMessage(const MailSettings& settings, const MailMessage& message,
                            const QDateTime& date, const QString& messageId);

// Quoted-printable of UTF-8 bytes whose lines end in CR LF (soft breaks at
// 76 characters; a line's leading '.' and trailing blanks encoded).
QByteArray quotedPrintable(const QByteArray& utf8);

// An RFC 2047 header value: plain ASCII as it is, otherwise base64 encoded
// words of UTF-8, folded.
QByteArray encodedHeaderWord(const QString& text);

// Sends message to settings.recipients. Throws MailError with an Italian cause
// that quotes the server's answer: unreachable, time-out (with the seconds
// really waited), refused login, refused sender or recipient, certificate not
// trusted, TLS not offered. Safe to run on a worker thread; when *cancel
// turns true the exchange is abandoned within about a second (kind
// "interrotto"), so a stop never waits for the server.
void sendMail(const MailSettings& settings, const MailMessage& message,
              const QDateTime& date = QDateTime::currentDateTime(),
              const std::atomic<bool>* cancel = nullptr);

}  // namespace quorvel
