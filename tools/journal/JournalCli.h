// quorvel-journal: the posting journal from the command line, for a bridge
// run as a service (no window) and for an IT person's scripts. It finds a
// charge (by room, day, amount, text), lists the error history with each
// line's reason and prints the day's reconciliation, as text or CSV; and it
// repairs a line of the error history ("Riprova", "Assegna a camera…",
// "Assegna a cliente esterno…") by the window's rules (ChargeRepair).
//
// Safe beside the running program: the store is opened in a workspace of
// its own (SQLite waits on the other's locks), the read commands change
// nothing, and a repair posts in one transaction that removes the line from
// the history first, so a tick or another operator never posts it twice.
#pragma once

#include <QStringList>
#include <QTextStream>

namespace quorvel {

class Clock;

// Runs the command line args (args[0] is the program's name). Returns the
// exit status: 0 done, 1 failed (told on err), 2 bad arguments (nothing
// done), 3 the reconciliation shows a difference. clock, when given, stands
// in for the system's (today's date).
int runJournal(const QStringList& args, QTextStream& out, QTextStream& err,
               const Clock* clock = nullptr);

}  // namespace quorvel
