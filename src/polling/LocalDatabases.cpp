// Creation of the program's own databases through the engine's create
// database / table definition / field operations.
#include "polling/LocalDatabases.h"

#include "db/Engine.h"
#include "db/HotelFiles.h"
#include "platform/Error.h"
#include "platform/Log.h"

#include <QDir>
#include <QFile>

namespace quorvel {

namespace {

const QString kLocale = QStringLiteral(";LANGID=0x0409;CP=1252;COUNTRY=0");

void createOnce(db::Workspace& ws, const QString& fileName, int options, const db::TableDef& def) {
    if (QDir::current().exists(fileName))
        return;  // never inspected, opened or changed
    auto database = ws.createDatabase(fileName, kLocale, options);
    const QString path = database->path();
    try {
        database->appendTable(def);
        database->close();
    } catch (const Error& e) {
        // A half-built file would be found and kept by every later start.
        database->close();
        QFile::remove(path);
        log::error(QStringLiteral("%1: creazione non riuscita: %2").arg(fileName, errorText(e)));
        throw;
    }
    log::info(QStringLiteral("Creato il database %1").arg(fileName));
}

}  // namespace

void CreaClientiCasa(db::Workspace& ws) {
    createOnce(ws, QString::fromLatin1(db::ClientiCasaMdb), 0, db::clientiCasaTable());
}

void CreaPassaRicevute(db::Workspace& ws) {
    createOnce(ws, QString::fromLatin1(db::PassaRicevuteMdb), 16,  // Jet 2.0 format option
               db::passaRicevuteTable());
}

}  // namespace quorvel
