// The file names of the polling cycle: archive names of consumed POS files
// and the search for check-in / check-out notification files.
#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

namespace quorvel {

// The archive name of a consumed POS file: its path without the last four
// characters (the extension with its dot), "_", the local time stamp
// YYYYMMDDhhmmss, ".txt". A path shorter than four characters is kept whole.
QString archiveName(const QString& path, const QDateTime& when);

// archiveName() when no file of that name exists; otherwise the first free
// name with "_2", "_3", ... before ".txt" (two files taken in one second, a
// restart within the second, a clock set back). An archive is never replaced.
QString freeArchiveName(const QString& path, const QDateTime& when);

struct NoticeFiles {
    QStringList files;   // normal files, in name order
    QStringList others;  // folders, hidden, system and special files: left alone
};

// The entries of folder whose names begin with prefix ("CKI", "CKO"),
// letter case ignored: the normal files in name order, and the rest.
NoticeFiles noticeFiles(const QString& folder, const QString& prefix);

// noticeFiles(folder, prefix).files.
QStringList notificationFiles(const QString& folder, const QString& prefix);

// Moves source to target, which must not exist. Throws Error naming the file
// when the rename fails (for example while another program holds the file
// open, or when target exists).
void moveFile(const QString& source, const QString& target);

}  // namespace quorvel
