// Archive names, notification-file search and the rename that claims a file.
#include "polling/PollingFiles.h"

#include "platform/Error.h"

#include <QDir>
#include <QFile>
#include <algorithm>

namespace quorvel {

QString archiveName(const QString& path, const QDateTime& when) {
    const QString stem = path.size() >= 4 ? path.left(path.size() - 4) : path;
    return stem + QLatin1Char('_') + when.toString(QStringLiteral("yyyyMMddhhmmss")) +
           QStringLiteral(".txt");
}

QStringList notificationFiles(const QString& folder, const QString& prefix) {
    QDir dir(folder);
    // The name filter is case-insensitive by default; QDir::Name sorts by name.
    dir.setFilter(QDir::Files | QDir::Hidden | QDir::System);
    dir.setNameFilters({prefix + QLatin1Char('*')});
    QStringList names = dir.entryList();
    // Check again: a name filter's wildcard syntax could let odd names through.
    names.removeIf([&](const QString& n) { return !n.startsWith(prefix, Qt::CaseInsensitive); });
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        const int c = QString::compare(a, b, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a < b;
    });
    return names;
}

void moveReplacing(const QString& source, const QString& target) {
    if (QFile::exists(target) && !QFile::remove(target))
        throw Error(target, QStringLiteral("impossibile sostituire il file"));
    QFile file(source);
    if (!file.rename(target))
        throw Error(source, QStringLiteral("impossibile spostare il file in ") + target + ": " +
                                file.errorString());
}

}  // namespace quorvel
