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

// Names of the files in folder whose names begin with prefix ("CKI", "CKO"),
// letter case ignored, in name order. Folders are left out.
QStringList notificationFiles(const QString& folder, const QString& prefix);

// Moves source to target, replacing target. Throws Error naming the file when
// the rename fails (for example while another program holds the file open).
void moveReplacing(const QString& source, const QString& target);

}  // namespace quorvel
