// The rule for POS files: regular files only, never a file of the hotel or
// of the program.
#include "polling/PosFileRules.h"

#include "db/HotelFiles.h"
#include "platform/Log.h"
#include "platform/Seams.h"
#include "platform/Settings.h"
#include "polling/InboxJournal.h"
#include "transfer/ChargeStore.h"

#include <QDir>
#include <QFileInfo>

namespace quorvel {

namespace {

// The path a name stands for: symbolic links resolved when it exists.
QString resolved(const QString& path) {
    const QFileInfo info(path);
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : canonical;
}

// The files of the working folder a POS file may never be.
QStringList protectedFiles() {
    QStringList names = db::hotelDatabaseFiles();
    names << QString::fromLatin1(db::ClientiCasaMdb) << QString::fromLatin1(db::PassaRicevuteMdb)
          << QString::fromLatin1(ChargeStore::FileName)
          << QString::fromLatin1(InboxJournal::FileName) << kSettingsFile
          << QStringLiteral("Quorvel.log");
    return names;
}

}  // namespace

QString notRegularFileReason(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists()) {
        // A link to nothing is not a POS file either, but there is nothing to take.
        return {};
    }
    if (info.isFile())
        return {};
    if (info.isDir())
        return QStringLiteral("è una cartella, non un file");
    return QStringLiteral("non è un file normale (dispositivo, FIFO o socket)");
}

QString posFileRefusal(const QString& path) {
    if (path.trimmed().isEmpty())
        return {};
    const QString target = resolved(path);
    const QString targetName = QFileInfo(target).fileName();
    const QString givenName = QFileInfo(path).fileName();
    for (const QString& name : protectedFiles()) {
        // By name too, wherever it is: another folder's hotel database, or
        // a link to one, is no POS file either.
        if (resolved(name).compare(target, Qt::CaseInsensitive) == 0 ||
            name.compare(targetName, Qt::CaseInsensitive) == 0 ||
            name.compare(givenName, Qt::CaseInsensitive) == 0)
            return QStringLiteral(
                       "\"%1\" è un file dell'albergo o del programma, non un file "
                       "della cassa")
                .arg(name);
    }
    return notRegularFileReason(path);
}

bool RefusalReport::report(Dialogs& dialogs, const QString& key, const QString& text) {
    const auto it = m_reported.constFind(key);
    if (it != m_reported.cend() && *it == text)
        return false;
    m_reported.insert(key, text);
    log::error(text);
    dialogs.notify(QStringLiteral("Quorvel"), text);
    return true;
}

}  // namespace quorvel
