// The transfer run: one pass over the pending lines, in batches.
//
// Per line (a "Sconto" line alone is dropped; one right after a charge is
// its discount and goes with it):
//   amount not a number, or line too short        -> error history
//   in-house guest holds the room, amount > 0     -> room account (summed
//       into the guest's uninvoiced row of the same room, day and item)
//   else an external client holds it              -> new external row
//   else                                          -> error history
#include "transfer/ChargeTransfer.h"

#include "db/Engine.h"
#include "db/HotelFiles.h"
#include "platform/Error.h"
#include "platform/Log.h"
#include "transfer/ChargeLine.h"
#include "transfer/ChargeStore.h"
#include "transfer/RoomCodes.h"

#include <QElapsedTimer>
#include <QHash>
#include <optional>
#include <utility>

namespace quorvel {

namespace {

const QString GuestsSelect = QStringLiteral(
    "Select * From Scheda_Cliente Where NumeroHotel = 1 and Partito = 'N' and NumeroComponente = "
    "1");
const QString ClientsSelect =
    QStringLiteral("Select * From Scheda_Cliente Where NumeroHotel = 1 and Partito = 'N'");

struct Item {
    std::int64_t group = 0;
    std::int64_t code = 0;
    QString text;
};

struct Posting {
    std::int64_t client = 0;
    QString room;
    QString day;
    db::Value account;  // a guest card's ContoExtra may be Null; the row keeps it
    Item item;
    Currency importo;
    double unitario = 0;
    double quantity = 0;
};

void writeRow(db::Recordset& rs, const Posting& p) {
    rs.addNew();
    rs.setValue(QStringLiteral("NumeroHotel"), 1);
    rs.setValue(QStringLiteral("CodiceCliente"), p.client);
    rs.setValue(QStringLiteral("NumeroCamera"), p.room);
    rs.setValue(QStringLiteral("DataAddebito"), p.day);
    rs.setValue(QStringLiteral("NumeroConto"), p.account);
    rs.setValue(QStringLiteral("VoceFattura"), p.item.group);
    rs.setValue(QStringLiteral("VoceAddebito"), p.item.code);
    rs.setValue(QStringLiteral("Descrizione"), p.item.text);
    rs.setValue(QStringLiteral("Importo"), p.importo);
    rs.setValue(QStringLiteral("Unitario"), p.unitario);
    rs.setValue(QStringLiteral("Quantità"), p.quantity);
    rs.setValue(QStringLiteral("Fatturato"), "N");
    rs.setValue(QStringLiteral("DataFattura"), " ");
    rs.update();
}

}  // namespace

struct ChargeTransfer::Run {
    ChargeTransfer& t;
    RoomCodePosition position;
    RoomMap rooms;
    std::unique_ptr<db::Database> guestDb, accountDb, clientDb, externalDb, itemDb;
    std::unique_ptr<db::Recordset> guests, accounts, clients, externals, items;
    std::vector<ChargeStore::Line> lines;

    // Read once per run: the generic item.
    std::optional<std::optional<QString>> genericText;

    // The batch being written.
    std::vector<std::int32_t> handled;
    QStringList listed;
    QStringList logLines;
    TransferResult result;
    TransferResult batchStart;  // result when the batch began

    explicit Run(ChargeTransfer& transfer) : t(transfer) {}
    ~Run() { close(); }

    void open();
    void close();
    void wrote() const {
        if (t.m_seams.afterWrite)
            t.m_seams.afterWrite();
    }
    void execute();
    std::size_t handleLine(std::size_t i);
    void list(const QString& line, const QString& why);
    Item genericItem(const char* fallback);
    // Each returns why the charge could not be posted, or a null text.
    QString postRoomCharge(const QString& line, Currency charge, Currency discount);
    QString postExternalCharge(const QString& line, const QString& room, Currency charge,
                               Currency discount, bool occupied);
    void commitBatch(db::Transaction& tx);
};

void ChargeTransfer::Run::open() {
    db::Workspace& ws = t.m_store.workspace();
    guestDb = ws.openDatabase(QString::fromLatin1(db::SchedaClienteMdb));
    guests = guestDb->openRecordset(GuestsSelect);
    accountDb = ws.openDatabase(QString::fromLatin1(db::ContoClienteMdb));
    accounts = accountDb->openRecordset(QStringLiteral("Conto_Cliente"));
    clientDb = ws.openDatabase(QString::fromLatin1(db::ClientiEsterniMdb));
    clients = clientDb->openRecordset(ClientsSelect);
    externalDb = ws.openDatabase(QString::fromLatin1(db::ContoEsterniMdb));
    externals = externalDb->openRecordset(QStringLiteral("Conto_Cliente"));
    itemDb = ws.openDatabase(QString::fromLatin1(db::VociFatturaMdb));
    items = itemDb->openRecordset(QStringLiteral("VociFattura"));
}

void ChargeTransfer::Run::close() {
    guests.reset();
    accounts.reset();
    clients.reset();
    externals.reset();
    items.reset();
    guestDb.reset();
    accountDb.reset();
    itemDb.reset();
    clientDb.reset();
    externalDb.reset();
}

void ChargeTransfer::Run::list(const QString& line, const QString& why) {
    listed << line;
    logLines << QStringLiteral("Addebito non trasferito (%1): %2").arg(why, line);
}

Item ChargeTransfer::Run::genericItem(const char* fallback) {
    const std::int16_t generic = t.m_settings.codiceGenerico;
    if (!genericText) {
        items->findFirst(QStringLiteral("NumeroHotel = 1 and Codice = ?"), {std::int64_t{generic}});
        genericText.emplace(
            items->noMatch() ? std::nullopt
                             : std::optional<QString>(items->text(QStringLiteral("Descrizione"))));
    }
    return {generic, generic, genericText->value_or(QString::fromLatin1(fallback))};
}

QString ChargeTransfer::Run::postRoomCharge(const QString& line, Currency charge,
                                            Currency discount) {
    const Item item = genericItem("RISTORANTE");
    Posting p;
    p.client = guests->integer(QStringLiteral("NumeroProgressivo"));
    p.room = charge::trimBlanks(guests->text(QStringLiteral("NumeroCamera")));
    p.day = charge::chargeDay(line);
    p.account = guests->value(QStringLiteral("ContoExtra"));
    p.item = item;
    p.importo = charge + discount;
    p.quantity = charge::quantity(line);
    // An invoiced row is closed: a later charge gets a row of its own. One
    // arg() call, so a '%' in the POS day columns is not taken for a marker.
    accounts->findFirst(QStringLiteral("NumeroHotel = 1 and CodiceCliente = ? and NumeroCamera = ?"
                                       " and DataAddebito = ? and VoceAddebito = ?"
                                       " and Fatturato = 'N'"),
                        {p.client, p.room, p.day, item.code});
    if (!accounts->noMatch()) {
        const Currency importo = accounts->money(QStringLiteral("Importo")) + p.importo;
        const double quantity = accounts->real(QStringLiteral("Quantità")) + p.quantity;
        accounts->edit();
        accounts->setValue(QStringLiteral("Importo"), importo);
        accounts->setValue(QStringLiteral("Quantità"), quantity);
        accounts->update();
    } else {
        const auto price = charge::unitPrice(line);
        if (!price)
            return QStringLiteral("prezzo unitario non valido");
        p.unitario = *price;
        writeRow(*accounts, p);
    }
    wrote();
    return {};
}

QString ChargeTransfer::Run::postExternalCharge(const QString& line, const QString& room,
                                                Currency charge, Currency discount, bool occupied) {
    clients->findFirst(QStringLiteral("NumeroHotel = 1 and NumeroCamera = ?"), {room});
    if (clients->noMatch()) {
        // The room may well have an account: say why it was not used.
        if (occupied)
            return QStringLiteral(
                       "importo %1 zero o negativo: non si addebita alla camera occupata %2, e "
                       "nessun cliente esterno ha questo numero")
                .arg(charge.toString(), room);
        return QStringLiteral("nessun conto per la camera %1").arg(room);
    }
    const auto price = charge::unitPrice(line);
    if (!price)
        return QStringLiteral("prezzo unitario non valido");
    Posting p;
    p.client = clients->integer(QStringLiteral("NumeroProgressivo"));
    p.room = clients->text(QStringLiteral("NumeroCamera"));
    p.day = charge::chargeDay(line);
    p.account = std::int64_t{1};
    const QString description = charge::description(line);
    items->findFirst(QStringLiteral("NumeroHotel = 1 and Instr(Descrizione,?) > 0"), {description});
    if (!items->noMatch())
        p.item = {items->integer(QStringLiteral("GruppoFatturazione")),
                  items->integer(QStringLiteral("Codice")),
                  items->text(QStringLiteral("Descrizione"))};
    else
        p.item = genericItem("BAR");
    p.importo = charge + discount;
    p.unitario = *price;
    p.quantity = charge::quantity(line);
    writeRow(*externals, p);
    wrote();
    return {};
}

// Handles line i (and the "Sconto" line after it); returns the next index.
// A charge that is not posted goes to the history with its "Sconto" line,
// so the history never overstates what is owed.
std::size_t ChargeTransfer::Run::handleLine(std::size_t i) {
    const QString& line = lines[i].text;
    handled.push_back(lines[i].id);
    if (charge::isDiscount(line)) {
        ++result.dropped;
        logLines << QStringLiteral("Sconto senza addebito ignorato: %1").arg(line);
        return i + 1;
    }
    const QString* discountLine = nullptr;
    if (i + 1 < lines.size() && charge::isDiscount(lines[i + 1].text)) {
        discountLine = &lines[i + 1].text;
        handled.push_back(lines[i + 1].id);
    }
    const std::size_t next = discountLine ? i + 2 : i + 1;
    auto fail = [&](const QString& why) {
        list(line, why);
        ++result.listed;
        if (discountLine) {
            list(*discountLine, QStringLiteral("sconto di un addebito non trasferito: ") + why);
            ++result.listed;
        }
        return next;
    };
    const auto charge = charge::amount(line);
    if (!charge)
        return fail(QStringLiteral("importo non valido"));
    const std::optional<Currency> discount =
        discountLine ? charge::amount(*discountLine) : std::optional<Currency>(Currency());
    if (!discount)
        return fail(QStringLiteral("sconto non valido"));
    const QString room = rooms.hotelRoom(charge::columns(line, position.start, position.length));
    guests->findFirst(QStringLiteral("NumeroHotel = 1 and NumeroCamera = ?"), {room});
    const bool occupied = !guests->noMatch();
    QString why;
    if (occupied && *charge > Currency()) {
        why = postRoomCharge(line, *charge, *discount);
        result.roomCharges += why.isNull() ? 1 : 0;
    } else {
        why = postExternalCharge(line, room, *charge, *discount, occupied);
        result.externalCharges += why.isNull() ? 1 : 0;
    }
    if (!why.isNull())
        return fail(why);
    if (discountLine)
        ++result.discounts;
    return next;
}

void ChargeTransfer::Run::commitBatch(db::Transaction& tx) {
    if (!listed.isEmpty()) {
        t.m_store.appendErrors(listed);
        wrote();
    }
    t.m_store.removePending(handled);
    wrote();
    tx.commit();
    ++result.batches;
    wrote();
    // The postings go to the log as the batch's counts, its problems line by line.
    for (const QString& l : std::as_const(logLines)) log::info(l);
    log::info(QStringLiteral("Addebiti trasferiti: %1 righe, %2 in camera, %3 a clienti esterni, "
                             "%4 non trasferiti")
                  .arg(handled.size())
                  .arg(result.roomCharges - batchStart.roomCharges)
                  .arg(result.externalCharges - batchStart.externalCharges)
                  .arg(result.listed - batchStart.listed));
    batchStart = result;
    handled.clear();
    listed.clear();
    logLines.clear();
}

void ChargeTransfer::Run::execute() {
    // Both side files before anything is opened: one that cannot be read
    // fails the run with every line still pending.
    position = readRoomCodePosition();
    rooms = RoomMap::read();
    open();
    lines = t.m_store.pendingLines();
    std::size_t i = 0;
    while (i < lines.size()) {
        db::Transaction tx(t.m_store.workspace());
        QElapsedTimer clock;
        clock.start();
        // A charge and its discount count as one line here.
        int batchLines = 0;
        do {
            i = handleLine(i);
        } while (i < lines.size() && ++batchLines < t.m_lineCap &&
                 clock.elapsed() < t.m_budget.count());
        commitBatch(tx);
    }
    close();
}

ChargeTransfer::ChargeTransfer(const Settings& settings, ChargeStore& store, Seams seams)
    : m_settings(settings), m_store(store), m_seams(std::move(seams)) {}

TransferResult ChargeTransfer::TrasferisciAddebiti() {
    TransferResult result;
    {
        Run run(*this);
        run.execute();
        result = run.result;
    }
    // A long run's lines and pages are not needed until the next one.
    m_store.workspace().releaseMemory();
    return result;
}

}  // namespace quorvel
