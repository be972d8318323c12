// The raw baseline of the charge transfer: the same work as
// TrasferisciAddebiti written straight on the SQLite C API, no engine. One
// connection on a private main file with the hotel's files and the store
// ATTACHed, journal mode DELETE and synchronous FULL on every file, every
// statement prepared once with bound parameters, the pending lines read in
// one query, a commit (postings, error rows and the removal of the handled
// lines together) every CommitLines lines.
//
// It takes the same rooms (the room map, once per code), the same guest,
// account, external client and item look-ups, sums into the same open
// account row and writes the same rows, so the ratio engine / raw measures
// what the engine and the transfer's own code cost on top of SQLite.
#pragma once

#include "platform/Currency.h"
#include "platform/Error.h"
#include "platform/Settings.h"
#include "transfer/ChargeLine.h"
#include "transfer/RoomCodes.h"

#include <sqlite3.h>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QString>
#include <QStringList>
#include <vector>

namespace quorvel::bench {

class RawTransfer {
public:
    static constexpr int CommitLines = 5000;

    struct Result {
        int posted = 0;
        int listed = 0;
        int commits = 0;
    };

    // dir: the hotel's folder (the store QuorvelCoda.db in it).
    RawTransfer(const QString& dir, const Settings& settings) : m_settings(settings) {
        const QString main = QDir(dir).filePath(QStringLiteral(".raw-baseline.db"));
        QFile::remove(main);
        check(sqlite3_open_v2(main.toUtf8().constData(), &m_db,
                              SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                              nullptr));
        exec("PRAGMA main.journal_mode=DELETE");
        exec("PRAGMA main.synchronous=FULL");
        const std::pair<const char*, const char*> files[] = {
            {"g", "Scheda_Cliente.mdb"}, {"c", "Conto_Cliente.mdb"}, {"x", "ClientiEsterni.mdb"},
            {"e", "ContoEsterni.mdb"},   {"v", "VociFattura.mdb"},   {"p", "QuorvelCoda.db"}};
        for (const auto& [alias, file] : files) {
            exec(QStringLiteral("ATTACH '%1' AS %2")
                     .arg(QDir(dir).filePath(QString::fromLatin1(file)), QLatin1String(alias))
                     .toUtf8());
            exec(
                QStringLiteral("PRAGMA %1.journal_mode=DELETE").arg(QLatin1String(alias)).toUtf8());
            exec(QStringLiteral("PRAGMA %1.synchronous=FULL").arg(QLatin1String(alias)).toUtf8());
        }
        const char* const accountColumns =
            "(NumeroHotel, CodiceCliente, NumeroCamera, DataAddebito, NumeroConto, VoceFattura, "
            "VoceAddebito, Descrizione, Importo, Unitario, \"Quantità\", Fatturato, DataFattura) "
            "VALUES (1, ?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, 'N', ' ')";
        m_pending = prepare("SELECT Progressivo, Riga FROM p.Pendenti ORDER BY rowid");
        m_guest = prepare(
            "SELECT NumeroProgressivo, NumeroCamera, ContoExtra FROM g.Scheda_Cliente WHERE "
            "NumeroHotel = 1 AND Partito = 'N' COLLATE NOCASE AND NumeroComponente = 1 AND "
            "NumeroCamera = ?1 COLLATE NOCASE ORDER BY rowid LIMIT 1");
        m_account = prepare(
            "SELECT rowid, Importo, \"Quantità\" FROM c.Conto_Cliente WHERE NumeroHotel = 1 AND "
            "CodiceCliente = ?1 AND NumeroCamera = ?2 COLLATE NOCASE AND DataAddebito = ?3 COLLATE "
            "NOCASE AND VoceAddebito = ?4 AND Fatturato = 'N' COLLATE NOCASE ORDER BY rowid LIMIT "
            "1");
        m_accountUpdate =
            prepare("UPDATE c.Conto_Cliente SET Importo = ?1, \"Quantità\" = ?2 WHERE rowid = ?3");
        m_accountInsert = prepare(QByteArray("INSERT INTO c.Conto_Cliente ") + accountColumns);
        m_externalInsert = prepare(QByteArray("INSERT INTO e.Conto_Cliente ") + accountColumns);
        m_client = prepare(
            "SELECT NumeroProgressivo, NumeroCamera FROM x.Scheda_Cliente WHERE NumeroHotel = 1 "
            "AND Partito = 'N' COLLATE NOCASE AND NumeroCamera = ?1 COLLATE NOCASE ORDER BY rowid "
            "LIMIT 1");
        m_item = prepare(
            "SELECT GruppoFatturazione, Codice, Descrizione FROM v.VociFattura WHERE NumeroHotel = "
            "1 AND instr(upper(Descrizione), upper(?1)) > 0 ORDER BY rowid LIMIT 1");
        m_counter = prepare("SELECT Ultimo FROM p.Contatori WHERE Tabella = 'Errori'");
        m_counterUpdate = prepare("UPDATE p.Contatori SET Ultimo = ?1 WHERE Tabella = 'Errori'");
        m_errorInsert =
            prepare("INSERT INTO p.Errori (Progressivo, Parti, Riga) VALUES (?1, 1, ?2)");
        m_removePending = prepare("DELETE FROM p.Pendenti WHERE Progressivo BETWEEN ?1 AND ?2");
        // The generic item, once.
        sqlite3_stmt* generic = prepare(
            "SELECT Descrizione FROM v.VociFattura WHERE NumeroHotel = 1 AND Codice = ?1 "
            "ORDER BY rowid LIMIT 1");
        sqlite3_bind_int(generic, 1, m_settings.codiceGenerico);
        m_genericText = sqlite3_step(generic) == SQLITE_ROW ? text(generic, 0) : QString();
        sqlite3_reset(generic);
    }

    ~RawTransfer() {
        for (sqlite3_stmt* s : m_all) sqlite3_finalize(s);
        sqlite3_close_v2(m_db);
    }
    RawTransfer(const RawTransfer&) = delete;
    RawTransfer& operator=(const RawTransfer&) = delete;

    Result run() {
        std::vector<std::pair<std::int32_t, QString>> lines;
        while (sqlite3_step(m_pending) == SQLITE_ROW)
            lines.emplace_back(sqlite3_column_int(m_pending, 0), text(m_pending, 1));
        sqlite3_reset(m_pending);
        const RoomCodePosition position = readRoomCodePosition();
        m_map = RoomMap::read();  // the POS's own room codes, as the transfer reads them
        Result result;
        for (std::size_t begin = 0; begin < lines.size(); begin += CommitLines) {
            const std::size_t end = std::min(lines.size(), begin + CommitLines);
            exec("BEGIN");
            QStringList listed;
            for (std::size_t i = begin; i < end; ++i) {
                const QString& line = lines[i].second;
                if (post(line, position))
                    ++result.posted;
                else
                    listed << line;
            }
            if (!listed.isEmpty()) {
                sqlite3_int64 last = 0;
                if (sqlite3_step(m_counter) == SQLITE_ROW)
                    last = sqlite3_column_int64(m_counter, 0);
                sqlite3_reset(m_counter);
                sqlite3_bind_int64(m_counterUpdate, 1, last + listed.size());
                done(m_counterUpdate);
                for (const QString& l : std::as_const(listed)) {
                    sqlite3_bind_int64(m_errorInsert, 1, ++last);
                    bindText(m_errorInsert, 2, l);
                    done(m_errorInsert);
                }
                result.listed += static_cast<int>(listed.size());
            }
            sqlite3_bind_int(m_removePending, 1, lines[begin].first);
            sqlite3_bind_int(m_removePending, 2, lines[end - 1].first);
            done(m_removePending);
            exec("COMMIT");
            ++result.commits;
        }
        return result;
    }

private:
    bool post(const QString& line, const RoomCodePosition& position) {
        const auto charge = charge::amount(line);
        if (!charge)
            return false;
        const QString code = charge::columns(line, position.start, position.length);
        auto room = m_rooms.constFind(code);
        if (room == m_rooms.constEnd())
            room = m_rooms.insert(code, m_map.hotelRoom(code));
        const QString day = charge::chargeDay(line);
        const double quantity = charge::quantity(line);
        const std::int64_t generic = m_settings.codiceGenerico;
        bindText(m_guest, 1, *room);
        if (*charge > Currency() && sqlite3_step(m_guest) == SQLITE_ROW) {
            const std::int64_t client = sqlite3_column_int64(m_guest, 0);
            const QString guestRoom = charge::trimBlanks(text(m_guest, 1));
            const std::int64_t account = sqlite3_column_int64(m_guest, 2);
            sqlite3_reset(m_guest);
            sqlite3_bind_int64(m_account, 1, client);
            bindText(m_account, 2, guestRoom);
            bindText(m_account, 3, day);
            sqlite3_bind_int64(m_account, 4, generic);
            if (sqlite3_step(m_account) == SQLITE_ROW) {
                const sqlite3_int64 rowid = sqlite3_column_int64(m_account, 0);
                const Currency importo =
                    Currency::fromRaw(sqlite3_column_int64(m_account, 1)) + *charge;
                const double q = sqlite3_column_double(m_account, 2) + quantity;
                sqlite3_reset(m_account);
                sqlite3_bind_int64(m_accountUpdate, 1, importo.raw());
                sqlite3_bind_double(m_accountUpdate, 2, q);
                sqlite3_bind_int64(m_accountUpdate, 3, rowid);
                done(m_accountUpdate);
                return true;
            }
            sqlite3_reset(m_account);
            const auto price = charge::unitPrice(line);
            if (!price)
                return false;
            insert(m_accountInsert, client, guestRoom, day, account,
                   {generic, generic, m_genericText}, *charge, *price, quantity);
            return true;
        }
        sqlite3_reset(m_guest);
        bindText(m_client, 1, *room);
        if (sqlite3_step(m_client) != SQLITE_ROW) {
            sqlite3_reset(m_client);
            return false;
        }
        const std::int64_t client = sqlite3_column_int64(m_client, 0);
        const QString clientRoom = text(m_client, 1);
        sqlite3_reset(m_client);
        const auto price = charge::unitPrice(line);
        if (!price)
            return false;
        Item item{generic, generic, m_genericText};
        bindText(m_item, 1, charge::description(line));
        if (sqlite3_step(m_item) == SQLITE_ROW)
            item = {sqlite3_column_int64(m_item, 0), sqlite3_column_int64(m_item, 1),
                    text(m_item, 2)};
        sqlite3_reset(m_item);
        insert(m_externalInsert, client, clientRoom, day, 1, item, *charge, *price, quantity);
        return true;
    }

    struct Item {
        std::int64_t group, code;
        QString text;
    };

    void insert(sqlite3_stmt* s, std::int64_t client, const QString& room, const QString& day,
                std::int64_t account, const Item& item, Currency importo, double unitario,
                double quantity) {
        sqlite3_bind_int64(s, 1, client);
        bindText(s, 2, room);
        bindText(s, 3, day);
        sqlite3_bind_int64(s, 4, account);
        sqlite3_bind_int64(s, 5, item.group);
        sqlite3_bind_int64(s, 6, item.code);
        bindText(s, 7, item.text);
        sqlite3_bind_int64(s, 8, importo.raw());
        sqlite3_bind_double(s, 9, unitario);
        sqlite3_bind_double(s, 10, quantity);
        done(s);
    }

    void check(int rc) {
        if (rc != SQLITE_OK && rc != SQLITE_ROW && rc != SQLITE_DONE)
            throw Error(QStringLiteral("raw baseline"), QString::fromUtf8(sqlite3_errmsg(m_db)));
    }
    void exec(const QByteArray& sql) {
        check(sqlite3_exec(m_db, sql.constData(), nullptr, nullptr, nullptr));
    }
    sqlite3_stmt* prepare(const QByteArray& sql) {
        sqlite3_stmt* s = nullptr;
        check(sqlite3_prepare_v3(m_db, sql.constData(), static_cast<int>(sql.size()),
                                 SQLITE_PREPARE_PERSISTENT, &s, nullptr));
        m_all.push_back(s);
        return s;
    }
    void done(sqlite3_stmt* s) {
        const int rc = sqlite3_step(s);
        sqlite3_reset(s);
        check(rc);
    }
    static void bindText(sqlite3_stmt* s, int i, const QString& v) {
        const QByteArray utf8 = v.toUtf8();
        sqlite3_bind_text(s, i, utf8.constData(), static_cast<int>(utf8.size()), SQLITE_TRANSIENT);
    }
    static QString text(sqlite3_stmt* s, int column) {
        return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(s, column)),
                                 sqlite3_column_bytes(s, column));
    }

    const Settings& m_settings;
    sqlite3* m_db = nullptr;
    std::vector<sqlite3_stmt*> m_all;
    sqlite3_stmt *m_pending, *m_guest, *m_account, *m_accountUpdate, *m_accountInsert,
        *m_externalInsert, *m_client, *m_item, *m_counter, *m_counterUpdate, *m_errorInsert,
        *m_removePending;
    QString m_genericText;
    RoomMap m_map;
    QHash<QString, QString> m_rooms;
};

}  // namespace quorvel::bench
