// The raw baseline of reading a charges file in: the same rows the store
// writes for it, straight on the SQLite C API. One connection on the store,
// journal mode DELETE and synchronous FULL, one transaction: the counters
// read and advanced, a Pendenti row and a RigheRicevute row per line (its
// day, amount and room as read, one timestamp for the file), the file's
// Ricevuti counts. Lines must fit one Pendenti row (255 characters).
#pragma once

#include "platform/Currency.h"
#include "platform/Error.h"
#include "transfer/ChargeLine.h"
#include "transfer/RoomCodes.h"

#include <sqlite3.h>
#include <QDateTime>
#include <QDir>
#include <QMap>
#include <QStringList>

namespace quorvel::bench {

inline void rawIntake(const QString& dir, const QStringList& lines, const QString& archive) {
    sqlite3* db = nullptr;
    const QByteArray path = QDir(dir).filePath(QStringLiteral("QuorvelCoda.db")).toUtf8();
    auto check = [&](int rc) {
        if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW)
            throw Error(QStringLiteral("raw intake"), QString::fromUtf8(sqlite3_errmsg(db)));
    };
    check(sqlite3_open_v2(path.constData(), &db, SQLITE_OPEN_READWRITE, nullptr));
    auto exec = [&](const char* sql) { check(sqlite3_exec(db, sql, nullptr, nullptr, nullptr)); };
    auto prepare = [&](const char* sql) {
        sqlite3_stmt* s = nullptr;
        check(sqlite3_prepare_v2(db, sql, -1, &s, nullptr));
        return s;
    };
    auto text = [](sqlite3_stmt* s, int i, const QString& v) {
        const QByteArray b = v.toUtf8();
        sqlite3_bind_text(s, i, b.constData(), static_cast<int>(b.size()), SQLITE_TRANSIENT);
    };
    exec("PRAGMA journal_mode=DELETE");
    exec("PRAGMA synchronous=FULL");
    const RoomCodePosition position = readRoomCodePosition();
    const RoomMap rooms = RoomMap::read();
    exec("BEGIN");
    auto reserve = [&](const char* table, int count) {
        sqlite3_stmt* read = prepare("SELECT Ultimo FROM Contatori WHERE Tabella = ?1");
        sqlite3_bind_text(read, 1, table, -1, SQLITE_STATIC);
        const qint64 last = sqlite3_step(read) == SQLITE_ROW ? sqlite3_column_int64(read, 0) : 0;
        sqlite3_finalize(read);
        sqlite3_stmt* write = prepare("UPDATE Contatori SET Ultimo = ?1 WHERE Tabella = ?2");
        sqlite3_bind_int64(write, 1, last + count);
        sqlite3_bind_text(write, 2, table, -1, SQLITE_STATIC);
        check(sqlite3_step(write));
        sqlite3_finalize(write);
        return last + 1;
    };
    const auto n = static_cast<int>(lines.size());
    qint64 pending = reserve("Pendenti", n), id = reserve("Giornale", n);
    sqlite3_stmt* queue =
        prepare("INSERT INTO Pendenti (Progressivo, Parti, Riga) VALUES (?1, 1, ?2)");
    sqlite3_stmt* received = prepare(
        "INSERT INTO RigheRicevute (Progressivo, Tipo, Archivio, NumeroRiga, Riga, Giorno, "
        "CameraCassa, CameraMappata, Importo, Pendente, ScontoDi, Ricevuta) VALUES "
        "(?1, 'A', ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11)");
    const QString when =
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
    QMap<QString, std::pair<int, qint64>> counts;
    qint64 before = 0;  // the line before's queue number, when a charge
    for (int i = 0; i < n; ++i) {
        const QString& line = lines[i];
        sqlite3_bind_int64(queue, 1, pending);
        text(queue, 2, line);
        check(sqlite3_step(queue));
        sqlite3_reset(queue);
        const QString day = charge::readableDay(line);
        const auto amount = charge::amount(line);
        const QString code = charge::columns(line, position.start, position.length);
        sqlite3_bind_int64(received, 1, id++);
        text(received, 2, archive);
        sqlite3_bind_int(received, 3, i + 1);
        text(received, 4, line);
        text(received, 5, day);
        text(received, 6, code);
        text(received, 7, rooms.hotelRoom(code));
        if (amount)
            sqlite3_bind_int64(received, 8, amount->raw());
        else
            sqlite3_bind_null(received, 8);
        sqlite3_bind_int64(received, 9, pending);
        const bool discount = charge::isDiscount(line);
        if (discount && before > 0)
            sqlite3_bind_int64(received, 10, before);
        else
            sqlite3_bind_null(received, 10);
        text(received, 11, when);
        check(sqlite3_step(received));
        sqlite3_reset(received);
        before = discount ? 0 : pending;
        ++pending;
        auto& c = counts[day];
        ++c.first;
        c.second += amount ? amount->raw() : 0;
    }
    sqlite3_stmt* count =
        prepare("INSERT INTO Ricevuti (Archivio, Giorno, Righe, Somma) VALUES (?1, ?2, ?3, ?4)");
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        text(count, 1, archive);
        text(count, 2, it.key());
        sqlite3_bind_int(count, 3, it->first);
        sqlite3_bind_int64(count, 4, it->second);
        check(sqlite3_step(count));
        sqlite3_reset(count);
    }
    sqlite3_finalize(queue);
    sqlite3_finalize(received);
    sqlite3_finalize(count);
    exec("COMMIT");
    sqlite3_close_v2(db);
}

}  // namespace quorvel::bench
