// Hand-over file, mailer start and SMTP sending of the e-mail dispatch.
#include "print/MailHandover.h"

#include "platform/Error.h"
#include "platform/Log.h"
#include "platform/Plural.h"
#include "platform/Seams.h"
#include "platform/TextFile.h"
#include "print/DelimitedExport.h"
#include "print/MailSettings.h"
#include "print/ReportFiles.h"

#include <QSaveFile>
#include <exception>

namespace quorvel {

namespace {

const QString kMailer = QStringLiteral("Mailsh.exe");

}  // namespace

void writeMailHandover(const QString& text) {
    const QString path = mailFileName();
    const QByteArray bytes = QByteArray("OGGETTO\r\n") + encodeCp1252(text) + "\r\n";
    // Written whole and renamed into place, so the mailer never reads half.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw Error(path, QStringLiteral("impossibile creare il file: ") + file.errorString());
    if (file.write(bytes) != bytes.size() || !file.commit())
        throw Error(path, QStringLiteral("errore di scrittura: ") + file.errorString());
}

MailMessage reportMail(const QString& subject, const QStringList& lines) {
    MailMessage m;
    m.subject = subject;
    m.body = lines.join(QStringLiteral("\r\n"));
    m.attachments.push_back({exportFileName(), delimitedBytes(lines)});
    return m;
}

QString InviaEMail(const QString& text, Shell& shell, const SendRunner& run) {
    writeMailHandover(text);
    std::optional<MailSettings> settings;
    try {
        settings = readMailSettings();
    } catch (const Error& e) {
        log::error(QStringLiteral("E-mail non inviata: %1").arg(e.message()));
        throw Error(e.where(),
                    e.cause() + QStringLiteral(". Il testo resta in %1.").arg(mailFileName()));
    }
    if (!settings) {
        if (!shell.startProgram(kMailer))
            throw Error(kMailer, QStringLiteral("impossibile avviare il programma di posta"));
        log::info(QStringLiteral("E-mail: testo passato a %1 in %2").arg(kMailer, mailFileName()));
        return {};
    }
    const QStringList lines = splitLines(text);
    const MailMessage message = reportMail(settings->subject, lines);
    std::exception_ptr failure;
    const SendStep send = [&](const std::atomic<bool>* cancel) {
        try {
            sendMail(*settings, message, QDateTime::currentDateTime(), cancel);
        } catch (...) {
            failure = std::current_exception();
        }
    };
    if (run)
        run(send);
    else
        send(nullptr);
    try {
        if (failure)
            std::rethrow_exception(failure);
    } catch (const Error& e) {
        log::error(QStringLiteral("E-mail non inviata a %1: %2")
                       .arg(settings->recipients.join(QStringLiteral(", ")), e.message()));
        throw Error(QStringLiteral("Invio dell'e-mail"),
                    e.message() + QStringLiteral(". Il testo resta in %1.").arg(mailFileName()));
    }
    log::info(QStringLiteral("E-mail \"%1\" inviata a %2 tramite %3:%4 (%5 righe)")
                  .arg(settings->subject, settings->recipients.join(QStringLiteral(", ")),
                       settings->server)
                  .arg(settings->effectivePort())
                  .arg(lines.size()));
    return QStringLiteral("E-mail inviata a %1.")
        .arg(settings->recipients.join(QStringLiteral(", ")));
}

}  // namespace quorvel
