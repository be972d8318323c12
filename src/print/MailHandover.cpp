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
const QString kTitle = QStringLiteral("E-mail");

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

bool InviaEMail(const QString& text, Shell& shell, Dialogs& dialogs) {
    QString failure;
    try {
        writeMailHandover(text);
        if (shell.startProgram(kMailer)) {
            log::info(
                QStringLiteral("E-mail: testo passato a %1 in %2").arg(kMailer, mailFileName()));
            return true;
        }
        failure = QStringLiteral("Impossibile avviare il programma di posta \"%1\".").arg(kMailer);
    } catch (const Error& e) {
        failure = QStringLiteral("Impossibile preparare il messaggio.\n\n") + e.message();
    }
    log::error(QStringLiteral("E-mail non inviata: ") + failure);
    dialogs.messageBox(QStringLiteral("E-mail non inviata.\n\n") + failure, kTitle,
                       MsgIcon::Critical, MsgButtons::Ok, MsgAnswer::Ok);
    return false;
}

}  // namespace quorvel
