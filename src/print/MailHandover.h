// The e-mail dispatch of the preview. Without "QuorvelMail.txt" the program
// speaks no mail protocol: it writes the text into a hand-over file and
// starts the external mailer "Mailsh.exe". With it, the text is sent over
// SMTP (print/SmtpMail) as the mail's body, with its delimited export
// attached; the hand-over file is written all the same, so that a text the
// server refused is still there.
#pragma once

#include "print/SmtpMail.h"

#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>

namespace quorvel {

class Shell;

// Writes mailFileName(): the line "OGGETTO", then text as given (its line
// breaks unchanged), then CR LF; replaces an earlier file. Throws Error when
// the file cannot be written.
void writeMailHandover(const QString& text);

// A report text as a mail: the text as the body, and its lines' delimited
// export attached under exportFileName().
MailMessage reportMail(const QString& subject, const QStringList& lines);

// How the exchange with the server is run: in place by default; a window
// passes a runner that calls it on a worker thread (with a flag that
// abandons it) while its event loop goes on, and returns once it ended.
using SendStep = std::function<void(const std::atomic<bool>* cancel)>;
using SendRunner = std::function<void(const SendStep&)>;

// Writes the hand-over file, then, without mail settings, starts
// "Mailsh.exe" by name, without arguments and without waiting, and returns
// an empty text; with them, sends the text (through run, when given) and
// returns what to tell the operator ("E-mail inviata a ..."). Shows
// nothing: a failure of any step (unreadable settings included) throws
// Error, which the preview reports. Only the exchange runs in run: the
// files, the settings and the log stay on the caller's thread.
QString InviaEMail(const QString& text, Shell& shell, const SendRunner& run = {});

}  // namespace quorvel
