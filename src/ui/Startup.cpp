// Start-up steps 4 to 7.
#include "ui/Startup.h"

#include "db/HotelFiles.h"
#include "platform/Error.h"
#include "platform/Log.h"
#include "polling/LocalDatabases.h"

#include <functional>

namespace quorvel {

namespace {

// Returns false when the step failed.
bool step(const QString& what, Dialogs& dialogs, const std::function<void()>& fn) {
    QString failure;
    try {
        fn();
        return true;
    } catch (const std::exception& e) {
        failure = errorText(e);
    }
    // The cause often names the file already: say it once.
    const QString text = failure.startsWith(what + QLatin1Char(':'))
                             ? failure
                             : what + QStringLiteral(": ") + failure;
    log::error(QStringLiteral("Avvio, ") + text);
    dialogs.notify(QStringLiteral("Quorvel"), text);
    return false;
}

}  // namespace

void prepareWorkingFolder(Settings& settings, Dialogs& dialogs, db::Workspace& ws) {
    step(QString::fromLatin1(db::ClientiCasaMdb), dialogs, [&] { CreaClientiCasa(ws); });
    step(QString::fromLatin1(db::PassaRicevuteMdb), dialogs, [&] { CreaPassaRicevute(ws); });
    QStringList unusable;
    const bool read = step(kSettingsFile, dialogs,
                           [&] { settings = loadSettingsFile(kSettingsFile, &unusable); });
    if (!read) {
        settings = Settings{};
        settings.unreadable = true;
    } else if (!unusable.isEmpty()) {
        dialogs.notify(QStringLiteral("Quorvel"),
                       QStringLiteral("%1: valori inutilizzabili: %2")
                           .arg(kSettingsFile, unusable.join(QStringLiteral("; "))));
    }
}

}  // namespace quorvel
