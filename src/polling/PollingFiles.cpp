// Archive names, notification-file search and the rename that claims a file.
#include "polling/PollingFiles.h"

#include "platform/Error.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>

#include <dirent.h>

namespace quorvel {

namespace {

QStringList byPrefix(const QDir& dir, QDir::Filters filters, const QString& prefix) {
    QStringList names = dir.entryList({prefix + QLatin1Char('*')}, filters);
    // Check again: a name filter's wildcard syntax could let odd names through.
    names.removeIf([&](const QString& n) { return !n.startsWith(prefix, Qt::CaseInsensitive); });
    return names;
}

// Names with the prefix that are not valid UTF-8: Qt's folder listing leaves
// them out, so without this such a notice would wait forever unreported.
// Returned decoded, their odd bytes as U+FFFD.
QStringList undecodableNames(const QString& folder, const QString& prefix) {
    QStringList out;
    DIR* d = opendir(QFile::encodeName(folder).constData());
    if (!d)
        return out;
    const QByteArray start = prefix.toUtf8();
    while (const dirent* e = readdir(d)) {
        const QByteArray name(e->d_name);
        if (name.size() < start.size() ||
            qstrnicmp(name.constData(), start.constData(), static_cast<size_t>(start.size())) != 0)
            continue;
        const QString text = QString::fromUtf8(name);
        if (text.toUtf8() != name)
            out << text;
    }
    closedir(d);
    return out;
}

// Name order, letter case ignored; ties by code point, so the order is total.
bool nameBefore(const QString& a, const QString& b) {
    const int c = QString::compare(a, b, Qt::CaseInsensitive);
    return c != 0 ? c < 0 : a < b;
}

// True when something, even a link to nothing, has this name.
bool nameInUse(const QString& name) {
    const QFileInfo info(name);
    return info.exists() || info.isSymLink();
}

}  // namespace

QString archiveName(const QString& path, const QDateTime& when) {
    const QString stem = path.size() >= 4 ? path.left(path.size() - 4) : path;
    return stem + QLatin1Char('_') + when.toString(QStringLiteral("yyyyMMddhhmmss")) +
           QStringLiteral(".txt");
}

QString freeArchiveName(const QString& path, const QDateTime& when) {
    const QString first = archiveName(path, when);
    if (!nameInUse(first))
        return first;
    const QString stem = first.left(first.size() - 4);
    for (int n = 2;; ++n) {
        const QString name = stem + QLatin1Char('_') + QString::number(n) + QStringLiteral(".txt");
        if (!nameInUse(name))
            return name;
    }
}

NoticeFiles noticeFiles(const QString& folder, const QString& prefix) {
    const QDir dir(folder);
    NoticeFiles found;
    // Without QDir::Hidden and QDir::System only normal files are listed, as
    // the original's folder search (no hidden or system files; on Unix no
    // FIFOs, sockets or devices). The name filter ignores letter case.
    found.files = byPrefix(dir, QDir::Files, prefix);
    // A link to a device passes that filter: only what is a file after links.
    found.files.removeIf([&](const QString& n) { return !QFileInfo(dir.filePath(n)).isFile(); });
    std::sort(found.files.begin(), found.files.end(), nameBefore);
    const QStringList all = byPrefix(
        dir, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, prefix);
    if (all.size() != found.files.size()) {
        for (const QString& n : all)
            if (!std::binary_search(found.files.begin(), found.files.end(), n, nameBefore))
                found.others << n;
    }
    found.others << undecodableNames(folder, prefix);
    return found;
}

QStringList notificationFiles(const QString& folder, const QString& prefix) {
    return noticeFiles(folder, prefix).files;
}

void moveFile(const QString& source, const QString& target) {
    // QFile::rename never replaces an existing target.
    QFile file(source);
    if (!file.rename(target))
        throw Error(source, QStringLiteral("impossibile spostare il file in ") + target + ": " +
                                file.errorString());
}

}  // namespace quorvel
