#include "hotel/ServerCopy.h"

#include "db/Server.h"
#include "hotel/HotelSchema.h"
#include "hotel/ServerHotel.h"
#include "platform/Error.h"

#include <QDir>
#include <QFile>
#include <map>

namespace quorvel::hotel {

qint64 moveHotelToServer(const QString& dir, const QString& conninfo) {
    const QString previous = QDir::currentPath();
    if (!QDir::setCurrent(dir))
        throw Error(dir, QStringLiteral("cartella inesistente"));
    struct Back {
        QString dir;
        ~Back() { QDir::setCurrent(dir); }
    } back{previous};
    db::ServerConfig config;
    config.conninfo = conninfo;
    config.localFiles = db::defaultLocalFiles();
    qint64 copied = 0;
    {
        db::Workspace files;  // the SQLite files
        db::Workspace server(config);
        db::Transaction tx(server);
        hotel::createHotelOnServer(server);
        for (const hotel::TableLayout& t : hotel::hotelTables()) {
            auto from = files.openDatabase(t.fileName);
            auto to = server.openDatabase(t.fileName);
            auto source = from->openRecordset(t.tableName);
            auto target = to->openRecordset(t.tableName);
            // NumeroHotel is not in every table; every table has its first field.
            const QString all = QStringLiteral("%1 Is Null Or %1 Is Not Null")
                                    .arg(u'[' + t.fields.front().name + u']');
            source->forEach(all, [&] {
                target->addNew();
                for (const db::FieldDef& f : t.fields)
                    target->setValue(f.name, source->value(f.name));
                target->update();
                ++copied;
            });
        }
        tx.commit();
    }
    for (const QString& file : db::hotelDatabaseFiles()) QFile::remove(file);
    QFile out(QString::fromLatin1(db::ServerConfigFile));
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        !out.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner) ||
        out.write(conninfo.toUtf8() + "\r\n") < 0)
        throw Error(out.fileName(), QStringLiteral("scrittura non riuscita"));
    return copied;
}

}  // namespace quorvel::hotel
