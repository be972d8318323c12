// Creation of the program's own databases through the engine's create
// database / table definition / field operations.
#include "polling/LocalDatabases.h"

#include "db/Engine.h"
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
    using db::FieldType;
    db::TableDef def(QStringLiteral("ClientiCasa"));
    def.appendField(QStringLiteral("NumeroHotel"), FieldType::Int16, 2);
    def.appendField(QStringLiteral("NumeroCamera"), FieldType::Text, 6);
    def.appendField(QStringLiteral("NomeCliente"), FieldType::Text, 100);
    def.appendField(QStringLiteral("DataArrivo"), FieldType::Text, 10);
    def.appendField(QStringLiteral("DataPartenza"), FieldType::Text, 10);
    createOnce(ws, QStringLiteral("ClientiCasa.mdb"), 0, def);
}

void CreaPassaRicevute(db::Workspace& ws) {
    using db::FieldType;
    db::TableDef def(QStringLiteral("PassaRicevute"));
    def.appendField(QStringLiteral("NumeroHotel"), FieldType::Int16, 2);
    def.appendField(QStringLiteral("CodiceCliente"), FieldType::Int32, 4);
    def.appendField(QStringLiteral("DataAddebito"), FieldType::Text, 8);
    def.appendField(QStringLiteral("TipoDocumento"), FieldType::Text, 15);
    def.appendField(QStringLiteral("NDocumento"), FieldType::Int16, 2);
    def.appendField(QStringLiteral("Importo"), FieldType::Currency, 6);
    def.appendField(QStringLiteral("Annullato"), FieldType::Text, 1);
    createOnce(ws, QStringLiteral("PassaRicevute.mdb"), 16, def);  // Jet 2.0 format option
}

}  // namespace quorvel
