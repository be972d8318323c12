// QDesktopServices and QProcess behind the Shell seam.
#include "ui/QtShell.h"

#include "platform/Log.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProcess>
#include <QUrl>

namespace quorvel {

bool QtShell::openDocument(const QString& path, const QString& workingFolder) {
    const QString full =
        QDir(workingFolder.isEmpty() ? QDir::currentPath() : workingFolder).absoluteFilePath(path);
    const bool ok = QDesktopServices::openUrl(QUrl::fromLocalFile(full));
    if (!ok)
        log::error(QStringLiteral("Impossibile aprire il documento %1").arg(full));
    return ok;
}

bool QtShell::startProgram(const QString& program) {
    // A bare name is looked for in the working folder first, as on Windows.
    const QFileInfo local(program);
    const QString path = local.exists() ? local.absoluteFilePath() : program;
    const bool ok = QProcess::startDetached(path, {}, QDir::currentPath());
    if (!ok)
        log::error(QStringLiteral("Impossibile avviare il programma %1").arg(program));
    return ok;
}

}  // namespace quorvel
