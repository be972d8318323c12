// Start-up steps 4 to 7.
#include "ui/Startup.h"

#include "platform/Error.h"
#include "platform/Log.h"
#include "polling/LocalDatabases.h"

#include <QFile>
#include <functional>

namespace quorvel {

namespace {

void step(const QString& what, Dialogs& dialogs, const std::function<void()>& fn) {
    QString failure;
    try {
        fn();
        return;
    } catch (const Error& e) {
        failure = e.message();
    } catch (const std::exception& e) {
        failure = QString::fromLocal8Bit(e.what());
    }
    log::error(QStringLiteral("Avvio, %1: %2").arg(what, failure));
    dialogs.notify(QStringLiteral("Quorvel"), what + QStringLiteral(": ") + failure);
}

}  // namespace

void prepareWorkingFolder(Settings& settings, Dialogs& dialogs) {
    step(QStringLiteral("ClientiCasa.mdb"), dialogs, [] { CreaClientiCasa(); });
    step(QStringLiteral("PassaRicevute.mdb"), dialogs, [] { CreaPassaRicevute(); });
    step(kSettingsFile, dialogs, [&] {
        if (!QFile::exists(kSettingsFile)) {
            createSettingsFile();
            log::info(QStringLiteral("Creato %1 con i valori predefiniti").arg(kSettingsFile));
        }
        settings = readSettingsFile();
    });
}

}  // namespace quorvel
