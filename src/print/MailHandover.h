// The e-mail dispatch: the program speaks no mail protocol; it writes the
// text into a hand-over file and starts the external mailer "Mailsh.exe".
#pragma once

#include <QString>

namespace quorvel {

class Shell;

// Writes mailFileName(): the line "OGGETTO", then text as given (its line
// breaks unchanged), then CR LF; replaces an earlier file. Throws Error when
// the file cannot be written.
void writeMailHandover(const QString& text);

// Writes the hand-over file and starts "Mailsh.exe" by name, without
// arguments and without waiting. Shows nothing: a failure of either step
// throws Error, which the preview reports.
void InviaEMail(const QString& text, Shell& shell);

}  // namespace quorvel
