// Test helper: the hotel's printer databases (Stampanti.mdb, Contatori.mdb,
// AnagraficaHotels.mdb) created empty in the current folder, and rows added
// to them through the engine.
#pragma once

#include "db/Engine.h"
#include "hotel/HotelSchema.h"

#include <QDir>
#include <memory>
#include <utility>
#include <vector>

namespace quorvel::test {

using Fields = std::vector<std::pair<QString, db::Value>>;

inline void createPrinterDatabases() {
    for (const char* file : {db::StampantiMdb, db::ContatoriMdb, db::AnagraficaHotelsMdb}) {
        std::vector<const hotel::TableLayout*> tables;
        for (const hotel::TableLayout& t : hotel::hotelTables())
            if (t.fileName == QString::fromLatin1(file))
                tables.push_back(&t);
        hotel::createDatabaseFile(QDir::current().filePath(QString::fromLatin1(file)), tables);
    }
}

inline void addRow(db::Workspace& ws, const char* file, const QString& table,
                   const Fields& fields) {
    auto database = ws.openDatabase(QString::fromLatin1(file));
    {
        auto rs = database->openRecordset(table);
        rs->addNew();
        for (const auto& [name, value] : fields) rs->setValue(name, value);
        rs->update();
    }
    database->close();
}

inline void addDestination(db::Workspace& ws, const QString& name, int type, const QString& linea,
                           int hotel = 1) {
    addRow(ws, db::StampantiMdb, QStringLiteral("Stampanti"),
           {{QStringLiteral("NumeroHotel"), hotel},
            {QStringLiteral("Destinazione"), name},
            {QStringLiteral("TipoStampa"), type},
            {QStringLiteral("Linea"), linea}});
}

inline void addPrintType(db::Workspace& ws, int type, const QString& compresso,
                         const QString& grassetto) {
    addRow(ws, db::StampantiMdb, QStringLiteral("SetStampa"),
           {{QStringLiteral("TipoStampa"), type},
            {QStringLiteral("Compresso"), compresso},
            {QStringLiteral("Grassetto"), grassetto}});
}

inline void addCounters(db::Workspace& ws, int hotel, int compressed, int normal) {
    addRow(ws, db::ContatoriMdb, QStringLiteral("Contatori"),
           {{QStringLiteral("NumeroHotel"), hotel},
            {QStringLiteral("LungPagComp"), compressed},
            {QStringLiteral("LungPagNoComp"), normal}});
}

inline void addHotel(db::Workspace& ws, int numero, const QString& codiceAssistenza) {
    addRow(ws, db::AnagraficaHotelsMdb, QStringLiteral("AnagraficaHotels"),
           {{QStringLiteral("Numero"), numero},
            {QStringLiteral("CodiceAssistenza"), codiceAssistenza}});
}

// The printer types of the examples: a page printer (fonts 8 and 10, top
// margin 2, physical lines 88 / 66) and a character printer (ESC 15 / ESC 18).
inline const QString kLaserCodes = QStringLiteral("008000000000000001010000000000000000");
inline const QString kLaserNumbers = QStringLiteral("000000000000000002088066000000000000");
inline const QString kDotCodes = QStringLiteral("027015000000000000027018000000000000");
inline const QString kDotNumbers = QStringLiteral("000000000000000001088072000000000000");

// The printer databases of hotel 1 as both print-menu tests start from: the
// page-printer type 1, the character-printer type 2, page lengths 80 / 60
// and the hotel record with its assistance code.
inline std::unique_ptr<db::Workspace> printerHotel(const QString& codiceAssistenza) {
    createPrinterDatabases();
    auto ws = std::make_unique<db::Workspace>();
    addPrintType(*ws, 1, kLaserCodes, kLaserNumbers);
    addPrintType(*ws, 2, kDotCodes, kDotNumbers);
    addCounters(*ws, 1, 80, 60);
    addHotel(*ws, 1, codiceAssistenza);
    return ws;
}

}  // namespace quorvel::test
