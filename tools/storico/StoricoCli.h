// quorvel-storico: the error history from the command line, for a bridge run
// as a service (no window) and for an IT person's scripts. It lists the
// history, writes the report file, exports it, prints it on a destination of
// "Stampanti.mdb", mails it and clears it, with the same texts, files and
// rules as the main window and its print menu.
//
// Safe beside the running program: the store is opened in a workspace of
// its own (SQLite waits on the other's locks), and "cancella" removes only
// the lines up to the number "elenca" showed, never one added since.
#pragma once

#include <QStringList>
#include <QTextStream>

namespace quorvel {

class Shell;

// Runs the command line args (args[0] is the program's name). Returns the
// exit status: 0 done, 1 failed (told on err), 2 bad arguments. shell, when
// given, stands in for the desktop's (the mailer's start).
int runStorico(const QStringList& args, QTextStream& out, QTextStream& err, Shell* shell = nullptr);

}  // namespace quorvel
