// The raw baseline of the charge transfer on a PostgreSQL server: the same
// work as TrasferisciAddebiti written straight on libpq, no engine. One
// connection, every statement prepared once (PQprepare) and run with
// PQexecPrepared, parameters and results in text form, the pending lines
// read in one query, a transaction per batch closed by the engine's rule
// (5,000 lines or 150 ms of work, whichever comes first) holding the
// postings, the error rows and the removal of the handled lines.
//
// It takes the same rooms (the room map, once per code), the same guest,
// account, external client and item look-ups, with the same folded text
// comparisons the hotel's indexes are built on, sums into the same open
// account row and writes the same rows. The sum is written only while the
// row still holds what was read (another bridge may have changed it), as
// the engine does; a row changed meanwhile fails the batch. So the ratio
// engine / raw measures what the engine and the transfer's own code cost on
// top of libpq and the server.
#pragma once

#include "platform/Currency.h"
#include "platform/Error.h"
#include "platform/Settings.h"
#include "transfer/ChargeLine.h"
#include "transfer/RoomCodes.h"

#include <libpq-fe.h>

#include <QElapsedTimer>
#include <QHash>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>
#include <vector>

namespace quorvel::bench {

class RawPgTransfer {
public:
    static constexpr int CommitLines = 5000;
    static constexpr int BudgetMs = 150;

    struct Result {
        int posted = 0;
        int listed = 0;
        int commits = 0;
    };

    // ownSchema: the schema of the bridge's own tables (Pendenti, Errori, Contatori).
    RawPgTransfer(const QString& conninfo, const QString& ownSchema, const Settings& settings)
        : m_settings(settings), m_conn(PQconnectdb(conninfo.toUtf8().constData())) {
        if (PQstatus(m_conn.get()) != CONNECTION_OK)
            throw Error(QStringLiteral("raw baseline"),
                        QString::fromUtf8(PQerrorMessage(m_conn.get())));
        const QByteArray own = '"' + ownSchema.toUtf8() + '"';
        const QByteArray room = R"(lower(CAST("NumeroCamera" AS text) COLLATE "C"))";
        const QByteArray accountColumns =
            R"(("NumeroHotel", "CodiceCliente", "NumeroCamera", "DataAddebito", "NumeroConto", )"
            R"("VoceFattura", "VoceAddebito", "Descrizione", "Importo", "Unitario", "Quantità", )"
            R"("Fatturato", "DataFattura") VALUES (1, $1, $2, $3, $4, $5, $6, $7, $8, $9, $10, )"
            R"('N', ' '))";
        prepare(Pending, "SELECT \"Progressivo\", \"Riga\" FROM " + own +
                             ".\"Pendenti\" ORDER BY quorvel_rowid");
        prepare(Guest,
                R"(SELECT "NumeroProgressivo", "NumeroCamera", "ContoExtra" FROM )"
                R"("Scheda_Cliente"."Scheda_Cliente" WHERE "NumeroHotel" = 1 AND )"
                R"(lower(CAST("Partito" AS text) COLLATE "C") = 'n' AND "NumeroComponente" = 1 )"
                "AND " +
                    room + R"( = lower($1::text COLLATE "C") ORDER BY quorvel_rowid LIMIT 1)");
        prepare(
            Account,
            R"(SELECT quorvel_rowid, "Importo", "Quantità" FROM "Conto_Cliente"."Conto_Cliente" )"
            R"(WHERE "NumeroHotel" = 1 AND "CodiceCliente" = $1 AND )" +
                room +
                R"( = lower($2::text COLLATE "C") AND )"
                R"(lower(CAST("DataAddebito" AS text) COLLATE "C") = lower($3::text COLLATE "C") )"
                R"(AND "VoceAddebito" = $4 AND lower(CAST("Fatturato" AS text) COLLATE "C") = )"
                R"('n' ORDER BY quorvel_rowid LIMIT 1)");
        prepare(AccountUpdate,
                R"(UPDATE "Conto_Cliente"."Conto_Cliente" SET "Importo" = $1, "Quantità" = $2 )"
                R"(WHERE quorvel_rowid = $3 AND "Importo" = $4 AND "Quantità" = $5)");
        prepare(AccountInsert, R"(INSERT INTO "Conto_Cliente"."Conto_Cliente" )" + accountColumns);
        prepare(ExternalInsert, R"(INSERT INTO "ContoEsterni"."Conto_Cliente" )" + accountColumns);
        prepare(
            Client,
            R"(SELECT "NumeroProgressivo", "NumeroCamera" FROM "ClientiEsterni"."Scheda_Cliente" )"
            R"(WHERE "NumeroHotel" = 1 AND lower(CAST("Partito" AS text) COLLATE "C") = 'n' AND )" +
                room + R"( = lower($1::text COLLATE "C") ORDER BY quorvel_rowid LIMIT 1)");
        prepare(
            ItemFind,
            R"(SELECT "GruppoFatturazione", "Codice", "Descrizione" FROM "VociFattura"."VociFattura" )"
            R"(WHERE "NumeroHotel" = 1 AND strpos(lower("Descrizione" COLLATE "und-x-icu"), )"
            R"(lower($1::text COLLATE "und-x-icu")) > 0 ORDER BY quorvel_rowid LIMIT 1)");
        prepare(Counter, "SELECT quorvel_rowid, \"Ultimo\" FROM " + own +
                             ".\"Contatori\" WHERE lower(CAST(\"Tabella\" AS text) COLLATE \"C\") "
                             "= 'errori' ORDER BY quorvel_rowid LIMIT 1");
        prepare(CounterUpdate,
                "UPDATE " + own + ".\"Contatori\" SET \"Ultimo\" = $1 WHERE quorvel_rowid = $2");
        prepare(CounterInsert,
                "INSERT INTO " + own +
                    ".\"Contatori\" (\"Tabella\", \"Ultimo\") VALUES ('Errori', $1)");
        prepare(ErrorInsert, "INSERT INTO " + own +
                                 ".\"Errori\" (\"Progressivo\", \"Parti\", \"Riga\") VALUES ($1, "
                                 "1, $2)");
        prepare(RemovePending,
                "DELETE FROM " + own + ".\"Pendenti\" WHERE \"Progressivo\" BETWEEN $1 AND $2");
        prepare(Generic,
                R"(SELECT "Descrizione" FROM "VociFattura"."VociFattura" WHERE "NumeroHotel" = 1 )"
                R"(AND "Codice" = $1 ORDER BY quorvel_rowid LIMIT 1)");
        // The generic item, once.
        const Rows generic = exec(Generic, {QByteArray::number(m_settings.codiceGenerico)});
        m_genericText = generic.rows() > 0 ? generic.text(0, 0) : QString();
    }

    Result run() {
        std::vector<std::pair<std::int32_t, QString>> lines;
        {
            const Rows pending = exec(Pending, {});
            lines.reserve(static_cast<std::size_t>(pending.rows()));
            for (int i = 0; i < pending.rows(); ++i)
                lines.emplace_back(static_cast<std::int32_t>(pending.integer(i, 0)),
                                   pending.text(i, 1));
        }
        const RoomCodePosition position = readRoomCodePosition();
        m_map = RoomMap::read();
        Result result;
        std::size_t begin = 0;
        while (begin < lines.size()) {
            command("BEGIN");
            QElapsedTimer clock;
            clock.start();
            QStringList listed;
            std::size_t end = begin;
            do {
                const QString& line = lines[end].second;
                if (post(line, position))
                    ++result.posted;
                else
                    listed << line;
                ++end;
            } while (end < lines.size() && end - begin < CommitLines && clock.elapsed() < BudgetMs);
            if (!listed.isEmpty()) {
                const Rows counter = exec(Counter, {});
                std::int64_t last = 0;
                if (counter.rows() > 0) {
                    last = counter.integer(0, 1);
                    exec(CounterUpdate,
                         {QByteArray::number(static_cast<qlonglong>(last + listed.size())),
                          counter.bytes(0, 0)});
                } else {
                    exec(CounterInsert, {QByteArray::number(listed.size())});
                }
                for (const QString& l : std::as_const(listed))
                    exec(ErrorInsert,
                         {QByteArray::number(static_cast<qlonglong>(++last)), l.toUtf8()});
                result.listed += static_cast<int>(listed.size());
            }
            exec(RemovePending, {QByteArray::number(lines[begin].first),
                                 QByteArray::number(lines[end - 1].first)});
            command("COMMIT");
            ++result.commits;
            begin = end;
        }
        return result;
    }

private:
    enum Name {
        Pending,
        Guest,
        Account,
        AccountUpdate,
        AccountInsert,
        ExternalInsert,
        Client,
        ItemFind,
        Counter,
        CounterUpdate,
        CounterInsert,
        ErrorInsert,
        RemovePending,
        Generic
    };

    struct ResultFree {
        void operator()(PGresult* r) const { PQclear(r); }
    };
    struct ConnFinish {
        void operator()(PGconn* c) const { PQfinish(c); }
    };

    class Rows {
    public:
        explicit Rows(PGresult* r) : m_r(r) {}
        const PGresult* get() const { return m_r.get(); }
        int rows() const { return PQntuples(m_r.get()); }
        bool isNull(int row, int column) const { return PQgetisnull(m_r.get(), row, column); }
        QByteArray bytes(int row, int column) const {
            return QByteArray(PQgetvalue(m_r.get(), row, column),
                              PQgetlength(m_r.get(), row, column));
        }
        QString text(int row, int column) const {
            return QString::fromUtf8(PQgetvalue(m_r.get(), row, column),
                                     PQgetlength(m_r.get(), row, column));
        }
        std::int64_t integer(int row, int column) const {
            return std::strtoll(PQgetvalue(m_r.get(), row, column), nullptr, 10);
        }
        std::int64_t changed() const { return std::strtoll(PQcmdTuples(m_r.get()), nullptr, 10); }

    private:
        std::unique_ptr<PGresult, ResultFree> m_r;
    };

    // numeric(19,4) in ten-thousandths, as text both ways (never a double).
    static QByteArray moneyText(Currency c) {
        const std::int64_t raw = c.raw();
        const quint64 mag = raw < 0 ? 0 - static_cast<quint64>(raw) : static_cast<quint64>(raw);
        return (raw < 0 ? QByteArray("-") : QByteArray()) + QByteArray::number(mag / 10000) + '.' +
               QByteArray::number(mag % 10000).rightJustified(4, '0');
    }
    static Currency money(const QByteArray& text) {
        const bool negative = text.startsWith('-');
        const QByteArray digits = text.mid(negative ? 1 : 0);
        const qsizetype dot = digits.indexOf('.');
        const QByteArray whole = dot < 0 ? digits : digits.left(dot);
        const QByteArray fraction = dot < 0 ? QByteArray() : digits.mid(dot + 1);
        const std::int64_t raw =
            whole.toLongLong() * 10000 + fraction.leftJustified(4, '0').left(4).toLongLong();
        return Currency::fromRaw(negative ? -raw : raw);
    }
    static QByteArray realText(double v) { return QByteArray::number(v, 'g', 17); }

    bool post(const QString& line, const RoomCodePosition& position) {
        const auto charge = charge::amount(line);
        if (!charge)
            return false;
        const QString code = charge::columns(line, position.start, position.length);
        auto room = m_rooms.constFind(code);
        if (room == m_rooms.constEnd())
            room = m_rooms.insert(code, m_map.hotelRoom(code));
        const QByteArray day = charge::chargeDay(line).toUtf8();
        const double quantity = charge::quantity(line);
        const QByteArray generic = QByteArray::number(m_settings.codiceGenerico);
        const QByteArray roomText = room->toUtf8();
        if (*charge > Currency()) {
            const Rows guest = exec(Guest, {roomText});
            if (guest.rows() > 0) {
                const QByteArray client = guest.bytes(0, 0);
                const QByteArray guestRoom = charge::trimBlanks(guest.text(0, 1)).toUtf8();
                const Rows account = exec(Account, {client, guestRoom, day, generic});
                if (account.rows() > 0) {
                    const QByteArray oldImporto = account.bytes(0, 1);
                    const QByteArray oldQuantity = account.bytes(0, 2);
                    const Rows changed = exec(
                        AccountUpdate, {moneyText(money(oldImporto) + *charge),
                                        realText(QByteArray(oldQuantity).toDouble() + quantity),
                                        account.bytes(0, 0), oldImporto, oldQuantity});
                    if (changed.changed() != 1)
                        throw Error(QStringLiteral("raw baseline"),
                                    QStringLiteral("account row changed by another bridge"));
                    return true;
                }
                const auto price = charge::unitPrice(line);
                if (!price)
                    return false;
                insert(AccountInsert, client, guestRoom, day,
                       guest.isNull(0, 2) ? std::optional<QByteArray>() : guest.bytes(0, 2),
                       {generic, generic, m_genericText.toUtf8()}, *charge, *price, quantity);
                return true;
            }
        }
        const Rows client = exec(Client, {roomText});
        if (client.rows() == 0)
            return false;
        const auto price = charge::unitPrice(line);
        if (!price)
            return false;
        Item item{generic, generic, m_genericText.toUtf8()};
        const Rows found = exec(ItemFind, {charge::description(line).toUtf8()});
        if (found.rows() > 0)
            item = {found.bytes(0, 0), found.bytes(0, 1), found.bytes(0, 2)};
        insert(ExternalInsert, client.bytes(0, 0), client.bytes(0, 1), day, QByteArray("1"), item,
               *charge, *price, quantity);
        return true;
    }

    struct Item {
        QByteArray group, code, text;
    };

    void insert(Name s, const QByteArray& client, const QByteArray& room, const QByteArray& day,
                const std::optional<QByteArray>& account, const Item& item, Currency importo,
                double unitario, double quantity) {
        exec(s, {client, room, day, account, item.group, item.code, item.text, moneyText(importo),
                 realText(unitario), realText(quantity)});
    }

    void prepare(Name name, const QByteArray& sql) {
        const QByteArray id = "raw" + QByteArray::number(name);
        const Rows r(PQprepare(m_conn.get(), id.constData(), sql.constData(), 0, nullptr));
        check(r, sql);
    }
    Rows exec(Name name, const std::vector<std::optional<QByteArray>>& params) {
        const QByteArray id = "raw" + QByteArray::number(name);
        std::vector<const char*> values;
        values.reserve(params.size());
        for (const auto& p : params) values.push_back(p ? p->constData() : nullptr);
        Rows r(PQexecPrepared(m_conn.get(), id.constData(), static_cast<int>(values.size()),
                              values.data(), nullptr, nullptr, 0));
        check(r, id);
        return r;
    }
    void command(const char* sql) { check(Rows(PQexec(m_conn.get(), sql)), sql); }
    void check(const Rows& r, const QByteArray& what) {
        const ExecStatusType st = PQresultStatus(r.get());
        if (st != PGRES_COMMAND_OK && st != PGRES_TUPLES_OK)
            throw Error(QStringLiteral("raw baseline"),
                        QString::fromUtf8(what) + QStringLiteral(": ") +
                            QString::fromUtf8(PQerrorMessage(m_conn.get())));
    }

    const Settings& m_settings;
    std::unique_ptr<PGconn, ConnFinish> m_conn;
    QString m_genericText;
    RoomMap m_map;
    QHash<QString, QString> m_rooms;
};

}  // namespace quorvel::bench
