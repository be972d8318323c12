// The quorvel-hotel command line, callable in-process so tests can drive it.
#pragma once

#include <QStringList>
#include <QTextStream>

namespace quorvel::hotel {

// args as the program receives them (args[0] is the program's name). Writes a
// one-line summary to out, or the error and usage to err. Returns 0 on
// success, 1 when the work failed, 2 for bad arguments.
int runCli(const QStringList& args, QTextStream& out, QTextStream& err);

}  // namespace quorvel::hotel
