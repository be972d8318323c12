// The program's log: one line per event with date and time, in a file of
// bounded size (the full file is renamed to <name>.1 and a new one started).
// Until open() is called, lines go to standard error only.
#pragma once

#include <QString>

namespace quorvel::log {

// Opens (appends to) the log file. maxBytes bounds one file; one older file
// is kept beside it.
void open(const QString& path, qint64 maxBytes = 2 * 1024 * 1024);
void close();

// Also echo every line to standard error (headless runs, tools).
void setEcho(bool echo);

void info(const QString& text);
void error(const QString& text);

}  // namespace quorvel::log
