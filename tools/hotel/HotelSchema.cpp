// Definitions of the hotel tables and their creation on SQLite.
#include "hotel/HotelSchema.h"

#include "platform/Error.h"

#include <sqlite3.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <memory>

namespace quorvel::hotel {

using namespace db;

namespace {

FieldDef text(const char* name, int size) {
    return {QString::fromUtf8(name), FieldType::Text, size};
}
FieldDef int16(const char* name) {
    return {QString::fromUtf8(name), FieldType::Int16, 0};
}
FieldDef int32(const char* name) {
    return {QString::fromUtf8(name), FieldType::Int32, 0};
}
FieldDef money(const char* name) {
    return {QString::fromUtf8(name), FieldType::Currency, 0};
}
FieldDef real(const char* name) {
    return {QString::fromUtf8(name), FieldType::Double, 0};
}

IndexDef index(const QString& table, const QStringList& fields) {
    return {QStringLiteral("idx_%1_%2").arg(table, fields.join(QLatin1Char('_'))), fields};
}

// Guest cards: in-house guests and external clients share this layout.
TableLayout guestCards(const char* file) {
    const QString table = QStringLiteral("Scheda_Cliente");
    return {QString::fromLatin1(file),
            table,
            {int16("NumeroHotel"), int32("NumeroProgressivo"), text("NumeroCamera", 10),
             int16("NumeroComponente"), text("Partito", 1), int32("ContoExtra"),
             text("NomeCliente", 100), text("DataArrivo", 8), text("DataPartenza", 8),
             text("Nazionalita", 30), text("Telefono", 20)},
            {index(table, {QStringLiteral("NumeroCamera")}),
             index(table, {QStringLiteral("NumeroProgressivo")})}};
}

// Accounts: room accounts and external clients' accounts share this layout.
TableLayout accounts(const char* file) {
    const QString table = QStringLiteral("Conto_Cliente");
    return {QString::fromLatin1(file),
            table,
            {int16("NumeroHotel"), int32("CodiceCliente"), text("NumeroCamera", 10),
             text("DataAddebito", 8), int32("NumeroConto"), int16("VoceFattura"),
             int16("VoceAddebito"), text("Descrizione", 50), money("Importo"), real("Unitario"),
             real("Quantità"), text("Fatturato", 1), text("DataFattura", 8)},
            {index(table, {QStringLiteral("CodiceCliente"), QStringLiteral("NumeroCamera"),
                           QStringLiteral("DataAddebito"), QStringLiteral("VoceAddebito")})}};
}

std::vector<TableLayout> buildHotelTables() {
    std::vector<TableLayout> t;
    t.push_back(guestCards(SchedaClienteMdb));
    t.push_back(guestCards(ClientiEsterniMdb));
    t.push_back(accounts(ContoClienteMdb));
    t.push_back(accounts(ContoEsterniMdb));
    t.push_back({QString::fromLatin1(VociFatturaMdb),
                 QStringLiteral("VociFattura"),
                 {int16("NumeroHotel"), int16("Codice"), text("Descrizione", 50),
                  int16("GruppoFatturazione"), money("Prezzo"), int16("AliquotaIva")},
                 {index(QStringLiteral("VociFattura"), {QStringLiteral("Codice")})}});
    t.push_back({QString::fromLatin1(FattureMdb),
                 QStringLiteral("Incassi"),
                 {int16("NumeroHotel"), text("DataEmissione", 8), text("TipoDocumento", 15),
                  int16("NDocumento"), int16("Contatore"), text("Sigla", 10), money("Importo"),
                  text("Orario", 4), text("Nota", 80)},
                 {index(QStringLiteral("Incassi"), {QStringLiteral("DataEmissione")})}});
    t.push_back(
        {QString::fromLatin1(NumeriCamereMdb),
         QStringLiteral("NumeriCamere"),
         {text("NumeroCamera", 10), text("TipoCamera", 10), int16("Piano"), int16("PostiLetto")},
         {index(QStringLiteral("NumeriCamere"), {QStringLiteral("NumeroCamera")})}});
    t.push_back({QString::fromLatin1(TipiCamereMdb),
                 QStringLiteral("TipiCamere"),
                 {text("Sigla", 10), text("Tipologia", 10), text("Descrizione", 50)},
                 {index(QStringLiteral("TipiCamere"), {QStringLiteral("Sigla")})}});
    t.push_back({QString::fromLatin1(AnagraficaHotelsMdb),
                 QStringLiteral("AnagraficaHotels"),
                 {int16("Numero"), text("RagioneSociale", 100), text("CodiceAssistenza", 10),
                  text("Citta", 50)},
                 {index(QStringLiteral("AnagraficaHotels"), {QStringLiteral("Numero")})}});
    t.push_back(
        {QString::fromLatin1(StampantiMdb),
         QStringLiteral("Stampanti"),
         {int16("NumeroHotel"), text("Destinazione", 50), int16("TipoStampa"), text("Linea", 255)},
         {index(QStringLiteral("Stampanti"), {QStringLiteral("Destinazione")})}});
    t.push_back({QString::fromLatin1(StampantiMdb),
                 QStringLiteral("SetStampa"),
                 {int16("TipoStampa"), text("Descrizione", 50), text("Compresso", 36),
                  text("Grassetto", 36)},
                 {index(QStringLiteral("SetStampa"), {QStringLiteral("TipoStampa")})}});
    t.push_back({QString::fromLatin1(ContatoriMdb),
                 QStringLiteral("Contatori"),
                 {int16("NumeroHotel"), int16("LungPagComp"), int16("LungPagNoComp"),
                  int32("UltimaFattura")},
                 {index(QStringLiteral("Contatori"), {QStringLiteral("NumeroHotel")})}});
    return t;
}

QString quoted(const QString& identifier) {
    return QLatin1Char('"') +
           QString(identifier).replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"');
}

struct ConnectionCloser {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using Connection = std::unique_ptr<sqlite3, ConnectionCloser>;

void exec(sqlite3* db, const QString& path, const QString& sql) {
    char* message = nullptr;
    if (sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, &message) != SQLITE_OK) {
        const QString cause = QString::fromUtf8(message ? message : sqlite3_errmsg(db));
        sqlite3_free(message);
        throw Error(path, cause);
    }
}

}  // namespace

const FieldDef* TableLayout::field(const QString& name) const {
    for (const FieldDef& f : fields) {
        if (f.name.compare(name, Qt::CaseInsensitive) == 0)
            return &f;
    }
    return nullptr;
}

const std::vector<TableLayout>& hotelTables() {
    static const std::vector<TableLayout> tables = buildHotelTables();
    return tables;
}

const TableLayout& hotelTable(const QString& fileName, const QString& tableName) {
    for (const TableLayout& t : hotelTables()) {
        if (t.fileName.compare(fileName, Qt::CaseInsensitive) == 0 &&
            t.tableName.compare(tableName, Qt::CaseInsensitive) == 0)
            return t;
    }
    throw Error(fileName, QStringLiteral("tabella sconosciuta: ") + tableName);
}

const TableLayout& clientiCasaTable() {
    static const TableLayout table = [] {
        const TableDef def = db::clientiCasaTable();
        return TableLayout{QString::fromLatin1(ClientiCasaMdb), def.name(), def.fields(), {}};
    }();
    return table;
}

QString createTableSql(const TableLayout& table) {
    QStringList columns;
    for (const FieldDef& f : table.fields)
        columns.append(quoted(f.name) + QLatin1Char(' ') + declaredType(f));
    return QStringLiteral("CREATE TABLE %1 (%2)")
        .arg(quoted(table.tableName), columns.join(QStringLiteral(", ")));
}

QStringList createIndexSql(const TableLayout& table) {
    QStringList statements;
    for (const IndexDef& index : table.indexes) {
        QStringList fields;
        for (const QString& f : index.fields) fields.append(quoted(f));
        statements.append(QStringLiteral("CREATE INDEX %1 ON %2 (%3)")
                              .arg(quoted(index.name), quoted(table.tableName),
                                   fields.join(QStringLiteral(", "))));
    }
    return statements;
}

void createDatabaseFile(const QString& path, const std::vector<const TableLayout*>& tables,
                        bool durable) {
    if (QFileInfo::exists(path))
        throw Error(path, QStringLiteral("il file esiste già"));
    try {
        sqlite3* raw = nullptr;
        const int rc = sqlite3_open_v2(path.toUtf8().constData(), &raw,
                                       SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
        Connection db(raw);
        if (rc != SQLITE_OK)
            throw Error(path, QString::fromUtf8(raw ? sqlite3_errmsg(raw) : "memoria esaurita"));
        exec(db.get(), path, QStringLiteral("PRAGMA journal_mode=DELETE"));
        if (!durable)
            exec(db.get(), path, QStringLiteral("PRAGMA synchronous=OFF"));
        exec(db.get(), path, QStringLiteral("BEGIN"));
        for (const TableLayout* table : tables) {
            exec(db.get(), path, createTableSql(*table));
            for (const QString& sql : createIndexSql(*table)) exec(db.get(), path, sql);
        }
        exec(db.get(), path, QStringLiteral("COMMIT"));
    } catch (...) {
        QFile::remove(path);
        throw;
    }
}

void createHotelDatabases(const QString& dir, bool durable) {
    const QDir folder(dir);
    // Refuse before writing anything, so a folder is never left half-made.
    for (const QString& file : hotelDatabaseFiles()) {
        if (QFileInfo::exists(folder.filePath(file)))
            throw Error(folder.filePath(file), QStringLiteral("il file esiste già"));
    }
    for (const QString& file : hotelDatabaseFiles()) {
        std::vector<const TableLayout*> tables;
        for (const TableLayout& t : hotelTables()) {
            if (t.fileName == file)
                tables.push_back(&t);
        }
        createDatabaseFile(folder.filePath(file), tables, durable);
    }
}

}  // namespace quorvel::hotel
