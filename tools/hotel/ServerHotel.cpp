// Creating the hotel's schemas, tables and indexes on the server.
#include "hotel/ServerHotel.h"

#include "db/DatabaseImpl.h"
#include "db/Dialect.h"
#include "hotel/HotelSchema.h"
#include "platform/Error.h"

#include <QFileInfo>
#include <map>

namespace quorvel::hotel {

using db::Database;
using db::quoteIdentifier;
using db::Transaction;
using db::Workspace;
namespace dialect = db::dialect;

void createHotelOnServer(Workspace& ws) {
    Transaction tx(ws);
    std::map<QString, std::unique_ptr<Database>> files;
    for (const TableLayout& t : hotelTables()) {
        if (!ws.onServer(t.fileName))
            throw Error(t.fileName, QStringLiteral("il database non è configurato sul server"));
        auto& database = files[t.fileName];
        if (!database)
            database = ws.createDatabase(t.fileName, QString());
        db::TableDef def(t.tableName);
        for (const FieldDef& f : t.fields) def.appendField(f.name, f.type, f.size);
        database->appendTable(def);
        for (const IndexDef& index : t.indexes) {
            QStringList keys;
            for (const QString& f : index.fields) {
                const FieldDef* field = t.field(f);
                const QString quoted = quoteIdentifier(field ? field->name : f);
                keys << (field && field->type == FieldType::Text
                             ? u'(' + dialect::folded(quoted, false) + u')'
                             : quoted);
            }
            ws.impl().serverExec(
                QStringLiteral("CREATE INDEX %1 ON %2.%3 (%4)")
                    .arg(quoteIdentifier(index.name),
                         quoteIdentifier(QFileInfo(t.fileName).completeBaseName()),
                         quoteIdentifier(t.tableName), keys.join(QStringLiteral(", "))),
                t.fileName);
        }
    }
    tx.commit();
}

}  // namespace quorvel::hotel
