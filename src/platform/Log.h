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

// Who writes: a tool sets its name (with the user), put before the text of
// each of its lines, so that its changes in the program's log say who made
// them. Empty (the default) for the program itself.
void setSource(const QString& source);

// The user the process runs as (and, under sudo, who called it).
QString userName();

// Every line written is passed through escaped(): text from the POS's files
// (or an error quoting it) can never put raw control bytes into the log.
void info(const QString& text);
void error(const QString& text);

// text with each C0 control character, DEL and C1 control character (the
// bytes Windows-1252 leaves undefined) written as \xNN, so that a log line
// stays one line of plain text for grep and an editor.
QString escaped(const QString& text);

}  // namespace quorvel::log
