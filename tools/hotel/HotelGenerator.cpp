// Writing a generated hotel: tables through direct SQLite inserts, side files
// as Windows-1252 text with CR LF.
#include "hotel/HotelGenerator.h"

#include "db/HotelFiles.h"
#include "hotel/HotelSchema.h"
#include "hotel/Random.h"
#include "hotel/SqliteFile.h"
#include "platform/Error.h"
#include "platform/NumberText.h"
#include "platform/TextFile.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>

namespace quorvel::hotel {

using db::Value;
using Rows = QList<QList<Value>>;

namespace {

void insertRows(SqliteFile& file, const QString& table, const QStringList& fields,
                const Rows& rows) {
    QStringList quoted, marks;
    for (const QString& f : fields) {
        quoted.append(QLatin1Char('"') + f + QLatin1Char('"'));
        marks.append(QStringLiteral("?"));
    }
    Statement insert(file,
                     QStringLiteral("INSERT INTO \"%1\" (%2) VALUES (%3)")
                         .arg(table, quoted.join(QLatin1Char(',')), marks.join(QLatin1Char(','))));
    for (const QList<Value>& row : rows) insert.run(row);
}

// Opens one database of the folder and inserts into one of its tables in a transaction.
void fillTable(const QString& dir, const char* fileName, const QString& table,
               const QStringList& fields, const Rows& rows) {
    SqliteFile file(QDir(dir).filePath(QString::fromLatin1(fileName)));
    file.exec(QStringLiteral("PRAGMA synchronous=OFF"));  // generated data: no flushes
    SqliteTransaction transaction(file);
    insertRows(file, table, fields, rows);
    transaction.commit();
}

Rows cardRows(const std::vector<GuestCard>& cards) {
    Rows rows;
    for (const GuestCard& c : cards)
        rows.append({c.numeroHotel, c.numeroProgressivo, c.numeroCamera, c.numeroComponente,
                     c.partito, c.contoExtra, c.nomeCliente, c.dataArrivo, c.dataPartenza,
                     c.nazionalita, c.telefono});
    return rows;
}

const QStringList& cardFields() {
    static const QStringList fields = {
        QStringLiteral("NumeroHotel"),  QStringLiteral("NumeroProgressivo"),
        QStringLiteral("NumeroCamera"), QStringLiteral("NumeroComponente"),
        QStringLiteral("Partito"),      QStringLiteral("ContoExtra"),
        QStringLiteral("NomeCliente"),  QStringLiteral("DataArrivo"),
        QStringLiteral("DataPartenza"), QStringLiteral("Nazionalita"),
        QStringLiteral("Telefono")};
    return fields;
}

void writeTables(const QString& dir, const HotelData& hotel) {
    fillTable(dir, db::SchedaClienteMdb, QStringLiteral("Scheda_Cliente"), cardFields(),
              cardRows(hotel.guests));
    fillTable(dir, db::ClientiEsterniMdb, QStringLiteral("Scheda_Cliente"), cardFields(),
              cardRows(hotel.externals));

    Rows items;
    for (const ChargeItem& i : hotel.items)
        items.append({i.numeroHotel, i.codice, i.descrizione, i.gruppoFatturazione, i.prezzo,
                      i.aliquotaIva});
    fillTable(dir, db::VociFatturaMdb, QStringLiteral("VociFattura"),
              {QStringLiteral("NumeroHotel"), QStringLiteral("Codice"),
               QStringLiteral("Descrizione"), QStringLiteral("GruppoFatturazione"),
               QStringLiteral("Prezzo"), QStringLiteral("AliquotaIva")},
              items);

    Rows rooms, types;
    for (const Room& r : hotel.rooms)
        rooms.append({r.numeroCamera, r.tipoCamera, r.piano, r.postiLetto});
    for (const RoomType& t : hotel.roomTypes) types.append({t.sigla, t.tipologia, t.descrizione});
    fillTable(dir, db::NumeriCamereMdb, QStringLiteral("NumeriCamere"),
              {QStringLiteral("NumeroCamera"), QStringLiteral("TipoCamera"),
               QStringLiteral("Piano"), QStringLiteral("PostiLetto")},
              rooms);
    fillTable(dir, db::TipiCamereMdb, QStringLiteral("TipiCamere"),
              {QStringLiteral("Sigla"), QStringLiteral("Tipologia"), QStringLiteral("Descrizione")},
              types);

    Rows hotels, counters, printers, settings;
    for (const HotelRecord& h : hotel.hotels)
        hotels.append({h.numero, h.ragioneSociale, h.codiceAssistenza, h.citta});
    fillTable(dir, db::AnagraficaHotelsMdb, QStringLiteral("AnagraficaHotels"),
              {QStringLiteral("Numero"), QStringLiteral("RagioneSociale"),
               QStringLiteral("CodiceAssistenza"), QStringLiteral("Citta")},
              hotels);
    for (const PageCounters& c : hotel.counters)
        counters.append({c.numeroHotel, c.lungPagComp, c.lungPagNoComp, c.ultimaFattura});
    fillTable(dir, db::ContatoriMdb, QStringLiteral("Contatori"),
              {QStringLiteral("NumeroHotel"), QStringLiteral("LungPagComp"),
               QStringLiteral("LungPagNoComp"), QStringLiteral("UltimaFattura")},
              counters);
    for (const PrinterDestination& p : hotel.printers)
        printers.append({p.numeroHotel, p.destinazione, p.tipoStampa, p.linea});
    fillTable(dir, db::StampantiMdb, QStringLiteral("Stampanti"),
              {QStringLiteral("NumeroHotel"), QStringLiteral("Destinazione"),
               QStringLiteral("TipoStampa"), QStringLiteral("Linea")},
              printers);
    for (const PrinterSettings& s : hotel.printerSettings)
        settings.append({s.tipoStampa, s.descrizione, s.compresso, s.grassetto});
    fillTable(dir, db::StampantiMdb, QStringLiteral("SetStampa"),
              {QStringLiteral("TipoStampa"), QStringLiteral("Descrizione"),
               QStringLiteral("Compresso"), QStringLiteral("Grassetto")},
              settings);
}

// A card that account rows can be charged to.
struct Payer {
    int codice = 0, conto = 1;
    QString room;
    qint64 firstDay = 0, lastDay = 0;  // Julian days
    bool departed = false;
    QString departure;
};

std::vector<Payer> payers(const HotelData& hotel, const QDate& today) {
    std::vector<Payer> result;
    for (const GuestCard& c : hotel.guests) {
        if (c.numeroHotel != 1)
            continue;
        const QDate from = QDate::fromString(c.dataArrivo, QStringLiteral("yyyyMMdd"));
        const QDate to = QDate::fromString(c.dataPartenza, QStringLiteral("yyyyMMdd"));
        Payer p;
        p.codice = c.numeroProgressivo;
        p.conto = c.contoExtra;
        p.room = c.numeroCamera;
        p.firstDay = from.isValid() ? from.toJulianDay() : today.toJulianDay();
        p.lastDay = to.isValid() ? std::min(to.toJulianDay(), today.toJulianDay()) : p.firstDay;
        p.lastDay = std::max(p.firstDay, p.lastDay);
        p.departed = c.partito == QLatin1String("S");
        p.departure = c.dataPartenza;
        result.push_back(p);
    }
    if (result.empty()) {
        for (int i = 0; i < 20; ++i)
            result.push_back({5001 + i, 1, QString::number(101 + i), today.toJulianDay() - 3,
                              today.toJulianDay(), false, QString()});
    }
    return result;
}

}  // namespace

Settings generatedSettings() {
    Settings s;
    s.codicePranzo = CodicePranzoItem;
    s.codiceCena = CodiceCenaItem;
    s.codiceBevande = CodiceBevandeItem;
    s.codiceGenerico = CodiceRistorante;
    s.codiceIncassi = CodiceIncassoDiretto;
    return s;
}

void fillAccounts(const QString& dir, const HotelData& hotel, qint64 count, std::uint64_t seed,
                  const QDate& today) {
    if (count <= 0)
        return;
    Random random(seed ^ 0xC0FFEE1234ULL);
    const std::vector<Payer> cards = payers(hotel, today);
    std::vector<ChargeItem> items;
    for (const ChargeItem& i : hotel.items) {
        if (i.numeroHotel == 1 && i.codice != CodiceIncassoDiretto)
            items.push_back(i);
    }
    if (items.empty())
        items.push_back({1, CodiceRistorante, QStringLiteral("RISTORANTE"), 1, Currency(), 10});

    SqliteFile file(QDir(dir).filePath(QString::fromLatin1(db::ContoClienteMdb)));
    // A bulk fill of test data: no fsync, a cache large enough to sort the index.
    file.exec(QStringLiteral("PRAGMA synchronous=OFF"));
    file.exec(QStringLiteral("PRAGMA cache_size=-65536"));
    SqliteTransaction transaction(file);
    // Building the index once after the rows is much faster than keeping it up to date.
    const TableLayout& layout =
        hotelTable(QString::fromLatin1(db::ContoClienteMdb), QStringLiteral("Conto_Cliente"));
    for (const IndexDef& index : layout.indexes)
        file.exec(QStringLiteral("DROP INDEX \"%1\"").arg(index.name));
    Statement insert(
        file, QStringLiteral("INSERT INTO \"Conto_Cliente\" (\"NumeroHotel\",\"CodiceCliente\","
                             "\"NumeroCamera\",\"DataAddebito\",\"NumeroConto\",\"VoceFattura\","
                             "\"VoceAddebito\",\"Descrizione\",\"Importo\",\"Unitario\","
                             "\"Quantità\",\"Fatturato\",\"DataFattura\") "
                             "VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?)"));
    const QByteArray notInvoiced("N"), invoiced("S"), blank(" ");
    std::vector<QByteArray> rooms, departures, descriptions;
    for (const Payer& p : cards) {
        rooms.push_back(p.room.toUtf8());
        departures.push_back(p.departure.toUtf8());
    }
    for (const ChargeItem& item : items) descriptions.push_back(item.descrizione.toUtf8());
    QHash<qint64, QByteArray> days;
    for (qint64 i = 0; i < count; ++i) {
        const auto c =
            static_cast<size_t>(random.between(0, static_cast<qint64>(cards.size()) - 1));
        const auto k =
            static_cast<size_t>(random.between(0, static_cast<qint64>(items.size()) - 1));
        const Payer& p = cards[c];
        const ChargeItem& item = items[k];
        const qint64 day = random.between(p.firstDay, p.lastDay);
        auto text = days.find(day);
        if (text == days.end())
            text = days.insert(
                day, QDate::fromJulianDay(day).toString(QStringLiteral("yyyyMMdd")).toUtf8());
        const qint64 quantity = random.between(1, 3);
        const qint64 unitCents =
            item.prezzo > Currency() ? item.prezzo.raw() / 100 : random.between(3, 80) * 50;
        insert.bindInt(1, 1);
        insert.bindInt(2, p.codice);
        insert.bindText(3, rooms[c]);
        insert.bindText(4, *text);
        insert.bindInt(5, p.conto);
        insert.bindInt(6, item.gruppoFatturazione);
        insert.bindInt(7, item.codice);
        insert.bindText(8, descriptions[k]);
        insert.bindInt(9, Currency::fromCents(unitCents * quantity).raw());
        insert.bindDouble(10, static_cast<double>(unitCents) / 100.0);
        insert.bindDouble(11, static_cast<double>(quantity));
        insert.bindText(12, p.departed ? invoiced : notInvoiced);
        insert.bindText(13, p.departed ? departures[c] : blank);
        insert.runBound();
    }
    for (const QString& sql : createIndexSql(layout)) file.exec(sql);
    transaction.commit();
}

HotelSummary generateHotel(const QString& dir, const HotelSpec& spec) {
    if (!QDir().mkpath(dir))
        throw Error(dir, QStringLiteral("impossibile creare la cartella"));
    // Never write over an existing hotel's files.
    const QDir folder(dir);
    for (const QString& name : {QStringLiteral("Quorvel.txt"), QStringLiteral("POSDest.txt"),
                                QStringLiteral("QuorveloCamere.txt"),
                                QStringLiteral("pos/") + QString::fromLatin1(db::ClientiCasaMdb)}) {
        if (QFileInfo::exists(folder.filePath(name)))
            throw Error(folder.filePath(name), QStringLiteral("il file esiste già"));
    }
    HotelSummary summary;
    summary.data = buildHotel(spec, dir);
    createHotelDatabases(dir, false);
    summary.files = db::hotelDatabaseFiles();
    if (!spec.empty) {
        writeTables(dir, summary.data);
        fillAccounts(dir, summary.data, spec.accountRows, spec.seed, spec.today);
        summary.accountRows = std::max<qint64>(0, spec.accountRows);
    }

    summary.settings = generatedSettings();
    writeTextLines(folder.filePath(QStringLiteral("Quorvel.txt")),
                   quorvel::settingsLines(summary.settings));
    summary.files.append(QStringLiteral("Quorvel.txt"));

    if (!folder.mkpath(QStringLiteral("pos")))
        throw Error(folder.filePath(QStringLiteral("pos")),
                    QStringLiteral("impossibile creare la cartella"));
    summary.posFolder =
        QDir::toNativeSeparators(folder.absoluteFilePath(QStringLiteral("pos")) + QLatin1Char('/'));
    writeTextLines(folder.filePath(QStringLiteral("POSDest.txt")), {summary.posFolder});
    summary.files.append(QStringLiteral("POSDest.txt"));
    createDatabaseFile(
        folder.filePath(QStringLiteral("pos/") + QString::fromLatin1(db::ClientiCasaMdb)),
        {&clientiCasaTable()}, false);
    summary.files.append(QStringLiteral("pos/") + QString::fromLatin1(db::ClientiCasaMdb));

    if (!summary.data.roomMap.empty()) {
        QStringList lines;
        for (const RoomCodeMapping& m : summary.data.roomMap)
            lines.append(m.posCode + QLatin1Char(',') + m.room);
        writeTextLines(folder.filePath(QStringLiteral("QuorveloCamere.txt")), lines);
        summary.files.append(QStringLiteral("QuorveloCamere.txt"));
    }
    return summary;
}

}  // namespace quorvel::hotel
