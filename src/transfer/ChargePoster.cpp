// The posting rules on the hotel's databases.
#include "transfer/ChargePoster.h"

#include "db/HotelFiles.h"
#include "platform/Error.h"
#include "transfer/ChargeLine.h"

#include <utility>

namespace quorvel {

const QString ChargeGuestsSelect = QStringLiteral(
    "Select * From Scheda_Cliente Where NumeroHotel = 1 and Partito = 'N' and NumeroComponente = "
    "1");
const QString ChargeClientsSelect =
    QStringLiteral("Select * From Scheda_Cliente Where NumeroHotel = 1 and Partito = 'N'");

namespace {

constexpr int AmountColumn = 57;

// text: the one reason of the history, the journal and the log.
PostResult failed(PostResult& r, Motivo reason, const QString& text) {
    r.outcome = Esito::Storico;
    r.reason = reason;
    r.reasonText = text;
    return r;
}

PostResult badPrice(PostResult& r) {
    return failed(r, Motivo::PrezzoNonValido,
                  QStringLiteral("Prezzo unitario non numerico o quantità zero"));
}

}  // namespace

ChargePoster::ChargePoster(const Settings& settings, db::Workspace& ws, std::function<void()> wrote)
    : m_settings(settings), m_ws(ws), m_wrote(std::move(wrote)) {}

ChargePoster::~ChargePoster() {
    close();
}

void ChargePoster::open() {
    // Both side files before anything is opened: one that cannot be read
    // fails before any line is handled.
    m_position = readRoomCodePosition();
    m_rooms = RoomMap::read();
    m_guestDb = m_ws.openDatabase(QString::fromLatin1(db::SchedaClienteMdb));
    m_guests = m_guestDb->openRecordset(ChargeGuestsSelect);
    m_accountDb = m_ws.openDatabase(QString::fromLatin1(db::ContoClienteMdb));
    m_accounts = m_accountDb->openRecordset(QStringLiteral("Conto_Cliente"));
    m_clientDb = m_ws.openDatabase(QString::fromLatin1(db::ClientiEsterniMdb));
    m_clients = m_clientDb->openRecordset(ChargeClientsSelect);
    m_externalDb = m_ws.openDatabase(QString::fromLatin1(db::ContoEsterniMdb));
    m_externals = m_externalDb->openRecordset(QStringLiteral("Conto_Cliente"));
    m_itemDb = m_ws.openDatabase(QString::fromLatin1(db::VociFatturaMdb));
    m_items = m_itemDb->openRecordset(QStringLiteral("VociFattura"));
    m_genericText.reset();
}

void ChargePoster::close() {
    m_guests.reset();
    m_accounts.reset();
    m_clients.reset();
    m_externals.reset();
    m_items.reset();
    m_guestDb.reset();
    m_accountDb.reset();
    m_itemDb.reset();
    m_clientDb.reset();
    m_externalDb.reset();
}

ChargePoster::Item ChargePoster::genericItem(const char* fallback) {
    const std::int16_t generic = m_settings.codiceGenerico;
    if (!m_genericText) {
        m_items->findFirst(QStringLiteral("NumeroHotel = 1 and Codice = ?"),
                           {std::int64_t{generic}});
        m_genericText.emplace(m_items->noMatch() ? std::nullopt
                                                 : std::optional<QString>(m_items->text(
                                                       QStringLiteral("Descrizione"))));
    }
    return {generic, generic, m_genericText->value_or(QString::fromLatin1(fallback))};
}

ChargePoster::Item ChargePoster::itemOf(const std::optional<std::int16_t>& code,
                                        const char* fallback) {
    if (!code || *code == m_settings.codiceGenerico)
        return genericItem(fallback);
    m_items->findFirst(QStringLiteral("NumeroHotel = 1 and Codice = ?"), {std::int64_t{*code}});
    if (m_items->noMatch())
        return {*code, *code, QString::fromLatin1(fallback)};
    return {m_items->integer(QStringLiteral("GruppoFatturazione")), *code,
            m_items->text(QStringLiteral("Descrizione"))};
}

namespace {

struct Posting {
    std::int64_t client = 0;
    QString room;
    QString day;
    db::Value account;  // a guest card's ContoExtra may be Null; the row keeps it
    std::int64_t group = 0, code = 0;
    QString text;
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
    rs.setValue(QStringLiteral("VoceFattura"), p.group);
    rs.setValue(QStringLiteral("VoceAddebito"), p.code);
    rs.setValue(QStringLiteral("Descrizione"), p.text);
    rs.setValue(QStringLiteral("Importo"), p.importo);
    rs.setValue(QStringLiteral("Unitario"), p.unitario);
    rs.setValue(QStringLiteral("Quantità"), p.quantity);
    rs.setValue(QStringLiteral("Fatturato"), "N");
    rs.setValue(QStringLiteral("DataFattura"), " ");
    rs.update();
}

}  // namespace

bool ChargePoster::findOpenRoomRow(std::int64_t client, const QString& room, const QString& day,
                                   std::int64_t itemCode) {
    // Another bridge posting to the same group meanwhile waits here, then
    // finds the row this one adds.
    m_accountDb->lockForWrite(
        QStringLiteral("%1|%2|%3|%4").arg(client).arg(room, day).arg(itemCode));
    // An invoiced row is closed: a later charge gets a row of its own.
    m_accounts->findFirst(
        QStringLiteral("NumeroHotel = 1 and CodiceCliente = ? and NumeroCamera = ?"
                       " and DataAddebito = ? and VoceAddebito = ? and Fatturato = 'N'"),
        {client, room, day, itemCode});
    return !m_accounts->noMatch();
}

// On the guest card m_guests stands on.
void ChargePoster::postRoom(const Charge& c, PostResult& r) {
    const Item item = itemOf(c.itemCode, "RISTORANTE");
    Posting p;
    p.client = m_guests->integer(QStringLiteral("NumeroProgressivo"));
    p.room = charge::trimBlanks(m_guests->text(QStringLiteral("NumeroCamera")));
    p.day = c.day;
    p.account = m_guests->value(QStringLiteral("ContoExtra"));
    p.group = item.group;
    p.code = item.code;
    p.text = item.text;
    p.importo = c.amount + c.discount;
    p.quantity = c.quantity;
    if (findOpenRoomRow(p.client, p.room, p.day, item.code)) {
        const Currency importo = m_accounts->money(QStringLiteral("Importo")) + p.importo;
        const double quantity = m_accounts->real(QStringLiteral("Quantità")) + p.quantity;
        m_accounts->edit();
        m_accounts->setValue(QStringLiteral("Importo"), importo);
        m_accounts->setValue(QStringLiteral("Quantità"), quantity);
        m_accounts->update();
        r.accountRow = m_accounts->rowId();
    } else {
        if (!c.unitPrice) {
            r = badPrice(r);
            return;
        }
        p.unitario = *c.unitPrice;
        writeRow(*m_accounts, p);
        r.accountRow = m_accounts->lastAddedId();
    }
    wrote();
    r.outcome = Esito::Camera;
    r.room = p.room;
    r.database = QString::fromLatin1(db::ContoClienteMdb);
    r.table = QStringLiteral("Conto_Cliente");
    r.client = p.client;
    r.added = p.importo;
    r.quantity = p.quantity;
}

// On the client card m_clients stands on.
void ChargePoster::postExternal(const Charge& c, PostResult& r) {
    if (!c.unitPrice) {
        r = badPrice(r);
        return;
    }
    Posting p;
    p.client = m_clients->integer(QStringLiteral("NumeroProgressivo"));
    p.room = m_clients->text(QStringLiteral("NumeroCamera"));
    p.day = c.day;
    p.account = std::int64_t{1};
    Item item;
    if (c.itemCode) {
        item = itemOf(c.itemCode, "BAR");
    } else {
        m_items->findFirst(QStringLiteral("NumeroHotel = 1 and Instr(Descrizione,?) > 0"),
                           {c.description});
        if (!m_items->noMatch())
            item = {m_items->integer(QStringLiteral("GruppoFatturazione")),
                    m_items->integer(QStringLiteral("Codice")),
                    m_items->text(QStringLiteral("Descrizione"))};
        else
            item = genericItem("BAR");
    }
    p.group = item.group;
    p.code = item.code;
    p.text = item.text;
    p.importo = c.amount + c.discount;
    p.unitario = *c.unitPrice;
    p.quantity = c.quantity;
    writeRow(*m_externals, p);
    wrote();
    r.outcome = Esito::Esterno;
    r.room = p.room;
    r.database = QString::fromLatin1(db::ContoEsterniMdb);
    r.table = QStringLiteral("Conto_Cliente");
    r.accountRow = m_externals->lastAddedId();
    r.client = p.client;
    r.added = p.importo;
    r.quantity = p.quantity;
}

PostResult ChargePoster::post(const QString& line, const QString* discountLine,
                              const PostTarget& target, const Recorded* recorded) {
    PostResult r;
    Charge c;
    c.posRoom = charge::columns(line, m_position.start, m_position.length);
    c.room = m_rooms.hotelRoom(c.posRoom);
    r.posRoom = c.posRoom;
    r.room = c.room;
    const auto amount = recorded ? recorded->charge : charge::amount(line);
    if (!amount) {
        if (line.size() < AmountColumn)
            return failed(r, Motivo::RigaCorta, QStringLiteral("Riga troppo corta"));
        return failed(r, Motivo::ImportoNonNumerico, QStringLiteral("Importo non numerico"));
    }
    const std::optional<Currency> discount = !discountLine ? std::optional<Currency>(Currency())
                                             : recorded    ? recorded->discount
                                                           : charge::amount(*discountLine);
    if (!discount)
        return failed(r, Motivo::ScontoNonNumerico,
                      QStringLiteral("Importo dello sconto non numerico"));
    c.amount = *amount;
    c.discount = *discount;
    c.day = charge::chargeDay(line);
    c.quantity = charge::quantity(line);
    c.unitPrice = charge::unitPrice(line);
    c.description = charge::description(line);
    return postRules(c, target, r);
}

PostResult ChargePoster::postLateDiscount(const JournalEntry& posted, const QString& discountLine) {
    PostResult r;
    r.posRoom = posted.posRoom;
    r.room = posted.room;
    const std::optional<Currency> discount = charge::amount(discountLine);
    if (!discount)
        return failed(r, Motivo::ScontoNonNumerico,
                      QStringLiteral("Importo dello sconto non numerico"));
    const QString day = charge::chargeDay(posted.line);
    const bool room = posted.outcome == Esito::Camera;
    db::Recordset& rows = room ? *m_accounts : *m_externals;
    bool found = false;
    if (room) {
        // The row postRoom summed the charge into (a file line's item is the generic one).
        found = findOpenRoomRow(posted.client, posted.room, day,
                                itemOf(std::nullopt, "RISTORANTE").code);
    } else {
        // An external charge has a row of its own; one just like it serves alike.
        rows.findFirst(QStringLiteral("NumeroHotel = 1 and CodiceCliente = ? and DataAddebito = ?"
                                      " and Importo = ? and Fatturato = 'N'"),
                       {posted.client, day, posted.added});
        found = !rows.noMatch();
    }
    if (!found)
        return failed(r, Motivo::ScontoTardivo,
                      QStringLiteral("Sconto arrivato dopo il suo addebito, già trasferito su "
                                     "una riga del conto ora chiusa: va applicato a mano"));
    const Currency importo = rows.money(QStringLiteral("Importo")) + *discount;
    rows.edit();
    rows.setValue(QStringLiteral("Importo"), importo);
    rows.update();
    wrote();
    r.outcome = posted.outcome;
    r.database = posted.database;
    r.table = posted.table;
    r.accountRow = rows.rowId();
    r.client = posted.client;
    r.added = *discount;
    r.quantity = 0;
    return r;
}

PostResult ChargePoster::post(const Charge& c, const PostTarget& target) {
    PostResult r;
    r.posRoom = c.posRoom;
    r.room = c.room;
    return postRules(c, target, r);
}

PostResult ChargePoster::postRules(const Charge& c, const PostTarget& target, PostResult& r) {
    const Currency* charge = &c.amount;
    switch (target.kind) {
        case PostTarget::Kind::Room: {
            r.room = target.room;
            m_guests->findFirst(QStringLiteral("NumeroHotel = 1 and NumeroCamera = ?"),
                                {target.room});
            if (m_guests->noMatch())
                return failed(
                    r, Motivo::NessunConto,
                    QStringLiteral("Nessun ospite in casa nella camera %1").arg(target.room));
            if (!(*charge > Currency()))
                return failed(r, Motivo::NonPositivo,
                              QStringLiteral("Addebito non positivo: non va sul conto di una "
                                             "camera"));
            postRoom(c, r);
            return r;
        }
        case PostTarget::Kind::Guest: {
            m_guests->findFirst(
                QStringLiteral("NumeroHotel = 1 and NumeroProgressivo = ? and NumeroCamera = ?"),
                {target.card, c.room});
            if (m_guests->noMatch())
                return failed(r, Motivo::NessunConto,
                              QStringLiteral("L'ospite %1 non è in casa nella camera %2")
                                  .arg(target.card)
                                  .arg(c.room));
            if (!(*charge > Currency()))
                return failed(r, Motivo::NonPositivo,
                              QStringLiteral("Addebito non positivo: non va sul conto di una "
                                             "camera"));
            postRoom(c, r);
            return r;
        }
        case PostTarget::Kind::External:
            m_clients->findFirst(QStringLiteral("NumeroHotel = 1 and NumeroProgressivo = ?"),
                                 {target.card});
            if (m_clients->noMatch()) {
                // A card of a client who left is no typing error: say so.
                auto all = m_clientDb->openRecordset(QStringLiteral("Scheda_Cliente"));
                all->findFirst(QStringLiteral("NumeroHotel = 1 and NumeroProgressivo = ?"),
                               {target.card});
                const bool departed = !all->noMatch();
                return failed(r, Motivo::NessunConto,
                              departed
                                  ? QStringLiteral("Il cliente esterno con la tessera %1 è partito")
                                        .arg(target.card)
                                  : QStringLiteral("Nessun cliente esterno con la tessera %1")
                                        .arg(target.card));
            }
            postExternal(c, r);
            return r;
        case PostTarget::Kind::Rules:
            break;
    }
    m_guests->findFirst(QStringLiteral("NumeroHotel = 1 and NumeroCamera = ?"), {r.room});
    const bool occupied = !m_guests->noMatch();
    if (occupied && *charge > Currency()) {
        postRoom(c, r);
        return r;
    }
    m_clients->findFirst(QStringLiteral("NumeroHotel = 1 and NumeroCamera = ?"), {r.room});
    if (!m_clients->noMatch()) {
        postExternal(c, r);
        return r;
    }
    // The room may well have an account: say why it was not used.
    if (occupied)
        return failed(r, Motivo::NonPositivo,
                      QStringLiteral("Addebito non positivo e nessun cliente esterno"));
    if (!m_rooms.isEmpty() && !m_rooms.maps(r.posRoom))
        return failed(r, Motivo::CameraNonMappata,
                      QStringLiteral("Camera non mappata in QuorveloCamere.txt"));
    return failed(
        r, Motivo::NessunConto,
        QStringLiteral("Nessun ospite in casa né cliente esterno per la camera %1").arg(r.room));
}

}  // namespace quorvel
