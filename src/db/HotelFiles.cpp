// The hotel's file names and the program's own tables.
#include "db/HotelFiles.h"

namespace quorvel::db {

QStringList hotelDatabaseFiles() {
    QStringList files;
    for (const char* name : {SchedaClienteMdb, ClientiEsterniMdb, ContoClienteMdb, ContoEsterniMdb,
                             VociFatturaMdb, FattureMdb, NumeriCamereMdb, TipiCamereMdb,
                             AnagraficaHotelsMdb, StampantiMdb, ContatoriMdb})
        files << QString::fromLatin1(name);
    return files;
}

TableDef clientiCasaTable() {
    TableDef def(QStringLiteral("ClientiCasa"));
    def.appendField(QStringLiteral("NumeroHotel"), FieldType::Int16);
    def.appendField(QStringLiteral("NumeroCamera"), FieldType::Text, 6);
    def.appendField(QStringLiteral("NomeCliente"), FieldType::Text, 100);
    def.appendField(QStringLiteral("DataArrivo"), FieldType::Text, 10);
    def.appendField(QStringLiteral("DataPartenza"), FieldType::Text, 10);
    return def;
}

TableDef passaRicevuteTable() {
    TableDef def(QStringLiteral("PassaRicevute"));
    def.appendField(QStringLiteral("NumeroHotel"), FieldType::Int16);
    def.appendField(QStringLiteral("CodiceCliente"), FieldType::Int32);
    def.appendField(QStringLiteral("DataAddebito"), FieldType::Text, 8);
    def.appendField(QStringLiteral("TipoDocumento"), FieldType::Text, 15);
    def.appendField(QStringLiteral("NDocumento"), FieldType::Int16);
    def.appendField(QStringLiteral("Importo"), FieldType::Currency);
    def.appendField(QStringLiteral("Annullato"), FieldType::Text, 1);
    return def;
}

}  // namespace quorvel::db
