// The operating system's error texts in Italian, and Qt's own messages kept
// off the user's terminal.
#pragma once

#include <QString>

namespace quorvel {

// text with the operating system's English error texts ("Is a directory",
// "Permission denied"), as the C library and Qt give them whatever the
// interface language, replaced by Italian ones. Every log line and every
// message shown goes through it.
QString italianSystemText(const QString& text);

namespace log {
// Qt's own warnings into the log file, never onto the terminal (they are
// English and name Qt's internals); its debug output and known harmless
// warnings are dropped. Call before the application object is made.
void captureQtMessages();
}  // namespace log

}  // namespace quorvel
