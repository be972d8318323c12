// Hand-over file and mailer start of the e-mail dispatch.
#include "print/MailHandover.h"

#include "platform/Error.h"
#include "platform/Log.h"
#include "platform/Seams.h"
#include "platform/TextFile.h"
#include "print/ReportFiles.h"

#include <QSaveFile>

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

void InviaEMail(const QString& text, Shell& shell) {
    writeMailHandover(text);
    if (!shell.startProgram(kMailer))
        throw Error(kMailer, QStringLiteral("impossibile avviare il programma di posta"));
    log::info(QStringLiteral("E-mail: testo passato a %1 in %2").arg(kMailer, mailFileName()));
}

}  // namespace quorvel
