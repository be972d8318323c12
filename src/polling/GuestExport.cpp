// AggiornaCamera and AggiornaClienti.
#include "polling/GuestExport.h"

#include "db/Engine.h"
#include "db/HotelFiles.h"
#include "db/JetText.h"
#include "platform/Confirmation.h"
#include "platform/Log.h"
#include "platform/Plural.h"
#include "platform/TextFile.h"
#include "transfer/RoomCodes.h"

#include <QFile>
#include <QHash>
#include <algorithm>

namespace quorvel {

namespace {

const QString kPosDest = QStringLiteral("POSDest.txt");
const QString kClientiCasa = QStringLiteral("ClientiCasa");
constexpr int kPosCodeSize = 6;  // NumeroCamera of ClientiCasa

struct Card {
    QString camera;
    QString nome;
    QString arrivo;
    QString partenza;
    qint64 hotel = 0;
    db::Value progressivo;  // sort key; Null sorts first
};

// Walks a recordset with find first / find next on criterion.
template <typename F>
void walk(db::Recordset& rs, const QString& criterion, F&& f) {
    for (rs.findFirst(criterion); !rs.noMatch(); rs.findNext(criterion)) f(rs);
}

Card readCard(const db::Recordset& rs) {
    return {
        rs.text(QStringLiteral("NumeroCamera")),   rs.text(QStringLiteral("NomeCliente")),
        rs.text(QStringLiteral("DataArrivo")),     rs.text(QStringLiteral("DataPartenza")),
        rs.integer(QStringLiteral("NumeroHotel")), rs.value(QStringLiteral("NumeroProgressivo"))};
}

// The full refresh reads whole tables. A find-next on a SELECT with an Order
// by is a query of its own, which grows with the table, so the tables are
// walked in row order with the SELECT's Where as criterion, and sorted here
// (stably, as the engine breaks ties by row order).
std::vector<Card> presentCards(db::Database& db, const QString& where) {
    std::vector<Card> cards;
    auto rs = db.openRecordset(QStringLiteral("Scheda_Cliente"));
    walk(*rs, where + QStringLiteral(" and NumeroCamera > ''"),
         [&](db::Recordset& r) { cards.push_back(readCard(r)); });
    std::stable_sort(cards.begin(), cards.end(), [](const Card& a, const Card& b) {
        if (a.progressivo.isNull() || b.progressivo.isNull())
            return a.progressivo.isNull() && !b.progressivo.isNull();
        return a.progressivo.toInt() < b.progressivo.toInt();
    });
    return cards;
}

// Text order of the engine's Order by.
bool textBefore(const QString& a, const QString& b) {
    return db::compareNoCase(a, b) < 0;
}

// Cards grouped by folded room: the candidates of a room's look-up, which
// the engine's own comparison then decides.
class CardsByRoom {
public:
    explicit CardsByRoom(const std::vector<Card>& cards) {
        for (const Card& c : cards) m_byKey[db::foldedKey(c.camera)].push_back(&c);
    }
    // The cards "NumeroCamera = 'room'" finds, in the order of "Order by
    // NumeroCamera,NumeroProgressivo" (the cards come by NumeroProgressivo).
    std::vector<const Card*> find(const QString& room) const {
        std::vector<const Card*> out;
        for (const Card* c : m_byKey.value(db::foldedKey(room)))
            if (db::criterionEquals(c->camera, room))
                out.push_back(c);
        std::stable_sort(out.begin(), out.end(), [](const Card* a, const Card* b) {
            return textBefore(a->camera, b->camera);
        });
        return out;
    }

private:
    QHash<QString, std::vector<const Card*>> m_byKey;
};

std::vector<const Card*> hotelOne(std::vector<const Card*> cards) {
    std::erase_if(cards, [](const Card* c) { return c->hotel != 1; });
    return cards;
}

std::vector<Card> hotelOneCards(db::Database& db, const QString& select) {
    std::vector<Card> cards;
    auto rs = db.openRecordset(select);
    walk(*rs, QStringLiteral("NumeroHotel = 1"),
         [&](db::Recordset& r) { cards.push_back(readCard(r)); });
    return cards;
}

QString inHouseSelect(const QString& room) {
    return QStringLiteral("Select * From Scheda_Cliente Where NumeroCamera = ") +
           db::jetQuoted(room) +
           QStringLiteral(
               " and Partito <> 'S' and NumeroComponente = 1 Order by "
               "NumeroCamera,NumeroProgressivo;");
}

QString externalSelect(const QString& room) {
    return QStringLiteral("Select * From Scheda_Cliente Where NumeroCamera = ") +
           db::jetQuoted(room) +
           QStringLiteral(" and Partito <> 'S' Order by NumeroCamera,NumeroProgressivo;");
}

// The rows of one room: in-house cards first, then external ones.
std::vector<GuestRow> roomRows(const QString& room, const QString& pos, const QString& mode,
                               const std::vector<const Card*>& inHouse,
                               const std::vector<const Card*>& external) {
    std::vector<GuestRow> rows;
    const bool arrival = mode == QLatin1String("1");
    if (!arrival && mode != QLatin1String("0"))
        return rows;
    const QString blank = QStringLiteral(" ");
    auto add = [&](const Card& c, bool inHouseCard) {
        if (!arrival) {
            rows.push_back({pos, blank, blank, blank});
            return;
        }
        const QString name =
            inHouseCard && pos != room ? QStringLiteral("Camera : ") + room : c.nome.left(40);
        rows.push_back({pos, name, isoDate(c.arrivo), isoDate(c.partenza)});
    };
    for (const Card* c : inHouse) add(*c, true);
    for (const Card* c : external) add(*c, false);
    return rows;
}

std::vector<const Card*> pointers(const std::vector<Card>& cards) {
    std::vector<const Card*> out;
    out.reserve(cards.size());
    for (const Card& c : cards) out.push_back(&c);
    return out;
}

void addRows(db::Recordset& rs, const std::vector<GuestRow>& rows) {
    for (const GuestRow& r : rows) {
        rs.addNew();
        rs.setValue(QStringLiteral("NumeroHotel"), 1);
        rs.setValue(QStringLiteral("NumeroCamera"), r.numeroCamera);
        rs.setValue(QStringLiteral("NomeCliente"), r.nomeCliente);
        rs.setValue(QStringLiteral("DataArrivo"), r.dataArrivo);
        rs.setValue(QStringLiteral("DataPartenza"), r.dataPartenza);
        rs.update();
    }
}

// Deletes every row of the POS code and adds rows. REQUIRES: a transaction
// is open, so the room is replaced as a whole.
void replaceRoom(db::Recordset& rs, const QString& pos, const std::vector<GuestRow>& rows) {
    const QString criterion = QStringLiteral("NumeroCamera = ") + db::jetQuoted(pos);
    for (rs.findFirst(criterion); !rs.noMatch(); rs.findNext(criterion)) rs.remove();
    addRows(rs, rows);
}

bool posCodeFits(const QString& room, const QString& pos) {
    if (pos.size() <= kPosCodeSize)
        return true;
    log::error(QStringLiteral("Camera %1: il codice POS \"%2\" supera i %3 caratteri, camera non "
                              "esportata")
                   .arg(room, pos, QString::number(kPosCodeSize)));
    return false;
}

}  // namespace

GuestExport::GuestExport(Dialogs& dialogs) : m_dialogs(dialogs) {}

std::optional<QString> GuestExport::destination() {
    if (!QFile::exists(kPosDest)) {
        m_dialogs.messageBox(QStringLiteral("E' necessario creare il file 'POSDest.txt'!"),
                             QStringLiteral("Dati mancanti"), MsgIcon::Exclamation, MsgButtons::Ok,
                             MsgAnswer::Ok);
        return std::nullopt;
    }
    if (const QString why = notRegularFileReason(kPosDest); !why.isEmpty()) {
        m_posDestReport.report(m_dialogs, kPosDest,
                               QStringLiteral("'POSDest.txt' non letto: %1").arg(why));
        return std::nullopt;
    }
    m_posDestReport.clear(kPosDest);
    return readSideFileLines(kPosDest).value_or(QStringList()).value(0);
}

void GuestExport::AggiornaCamera(const QString& room, const QString& mode) {
    const auto dest = destination();
    if (!dest)
        return;
    // Throws when the map cannot be read: the room is left as it is and its
    // notice is taken up again at the next tick.
    const QString pos = CameraPos(room);
    if (!posCodeFits(room, pos))
        return;
    db::Workspace ws;
    auto casa = ws.openDatabase(*dest + QString::fromLatin1(db::ClientiCasaMdb));
    auto scheda = ws.openDatabase(QString::fromLatin1(db::SchedaClienteMdb));
    auto esterni = ws.openDatabase(QString::fromLatin1(db::ClientiEsterniMdb));
    const auto inHouse = hotelOneCards(*scheda, inHouseSelect(room));
    const auto external = hotelOneCards(*esterni, externalSelect(room));
    const auto rows = roomRows(room, pos, mode, pointers(inHouse), pointers(external));

    auto rs = casa->openRecordset(kClientiCasa);
    db::Transaction t(ws);
    replaceRoom(*rs, pos, rows);
    t.commit();
    log::info(QStringLiteral("Camera %1 (codice POS %2, modo %3): %4 per il POS")
                  .arg(room, pos, mode,
                       counted(rows.size(), QStringLiteral("riga"), QStringLiteral("righe"))));
}

void GuestExport::AggiornaClienti() {
    // Checked first: without a destination nothing can be written, and one
    // warning is enough.
    const auto dest = destination();
    if (!dest)
        return;
    // Read before anything is written: a map that cannot be read fails the
    // refresh as a whole.
    const RoomMap map = RoomMap::read();
    db::Workspace ws;
    auto scheda = ws.openDatabase(QString::fromLatin1(db::SchedaClienteMdb));
    auto esterni = ws.openDatabase(QString::fromLatin1(db::ClientiEsterniMdb));
    auto camere = ws.openDatabase(QString::fromLatin1(db::NumeriCamereMdb));
    auto casa = ws.openDatabase(*dest + QString::fromLatin1(db::ClientiCasaMdb));

    // Every present card read once, grouped by room: the same cards, in the
    // same order, as the per-room queries of AggiornaCamera would find.
    const QString everyRoom = QStringLiteral("NumeroCamera > ''");
    const std::vector<Card> inHouse =
        presentCards(*scheda, QStringLiteral("Partito <> 'S' and NumeroComponente = 1"));
    const std::vector<Card> external = presentCards(*esterni, QStringLiteral("Partito <> 'S'"));
    const CardsByRoom inHouseByRoom(inHouse), externalByRoom(external);

    QStringList rooms;
    {
        // The rooms whose type has Tipologia 'C', by number.
        auto rs = camere->openRecordset(QStringLiteral("NumeriCamere"));
        walk(*rs,
             QStringLiteral("TipoCamera In (Select Sigla From TipiCamere In %1 "
                            "Where Tipologia = 'C') and NumeroCamera > ''")
                 .arg(db::jetQuoted(QString::fromLatin1(db::TipiCamereMdb))),
             [&](db::Recordset& r) { rooms << r.text(QStringLiteral("NumeroCamera")); });
        std::stable_sort(rooms.begin(), rooms.end(), textBefore);
    }

    // Each room's rows, under its POS code. When two rooms share a code the
    // later room's rows replace the earlier's, as one room after the other
    // would.
    std::vector<std::pair<QString, std::vector<GuestRow>>> rewrites;  // code, rows
    QHash<QString, std::vector<size_t>> byCode;  // folded code -> indexes in rewrites
    for (const QString& hotelRoom : rooms) {
        const std::vector<const Card*> found = inHouseByRoom.find(hotelRoom);  // any hotel
        const bool present = !found.empty();
        const QString room = present ? found.front()->camera : hotelRoom;
        const QString pos = map.posCode(room);
        if (!posCodeFits(room, pos))
            continue;
        auto rows =
            roomRows(room, pos, present ? QStringLiteral("1") : QStringLiteral("2"),
                     hotelOne(inHouseByRoom.find(room)), hotelOne(externalByRoom.find(room)));
        for (const size_t i : byCode.value(db::foldedKey(pos)))
            if (db::criterionEquals(rewrites[i].first, pos))
                rewrites[i].second.clear();  // the later room's delete takes them
        byCode[db::foldedKey(pos)].push_back(rewrites.size());
        rewrites.emplace_back(pos, std::move(rows));
    }

    int written = 0;
    auto rs = casa->openRecordset(kClientiCasa);
    db::Transaction t(ws);
    // One walk deletes the rows of every code rewritten.
    walk(*rs, everyRoom, [&](db::Recordset& r) {
        const QString code = r.text(QStringLiteral("NumeroCamera"));
        bool rewritten = false;
        for (const size_t i : byCode.value(db::foldedKey(code)))
            rewritten = rewritten || db::criterionEquals(code, rewrites[i].first);
        if (rewritten)
            r.remove();
    });
    for (const auto& [pos, rows] : rewrites) {
        if (pos.isEmpty())
            replaceRoom(*rs, pos, {});  // not reached by the walk above
        addRows(*rs, rows);
        written += static_cast<int>(rows.size());
    }
    t.commit();

    std::vector<GuestRow> all;
    {
        // Every row with a room code, by code.
        auto list = casa->openRecordset(kClientiCasa);
        walk(*list, everyRoom, [&](db::Recordset& r) {
            all.push_back(
                {r.text(QStringLiteral("NumeroCamera")), r.text(QStringLiteral("NomeCliente")),
                 r.text(QStringLiteral("DataArrivo")), r.text(QStringLiteral("DataPartenza"))});
        });
        std::stable_sort(all.begin(), all.end(), [](const GuestRow& a, const GuestRow& b) {
            return textBefore(a.numeroCamera, b.numeroCamera);
        });
    }
    writeTextLinesAtomic(*dest + QStringLiteral("Clienti.txt"), clientiLines(all));
    const QString riga = QStringLiteral("riga"), righe = QStringLiteral("righe");
    const QString summary =
        QStringLiteral("Aggiorna Dati: %1, %2 per il POS, %3 in %4")
            .arg(counted(rooms.size(), QStringLiteral("camera"), QStringLiteral("camere")),
                 counted(written, riga, righe), counted(all.size(), riga, righe),
                 *dest + QStringLiteral("Clienti.txt"));
    log::info(summary);
    confirmation::tell(summary);
}

QStringList clientiLines(const std::vector<GuestRow>& rowsInOrder) {
    QStringList lines;
    lines.reserve(static_cast<qsizetype>(rowsInOrder.size()));
    for (const GuestRow& r : rowsInOrder)
        if (!r.numeroCamera.isEmpty())
            lines << clientiLine(r);
    return lines;
}

}  // namespace quorvel
