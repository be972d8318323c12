// The posting rules of one POS charge line (and the "Sconto" line folded
// into it), shared by the transfer run and the repair from the error
// history:
//   amount not a number, or line too short        -> not posted
//   in-house guest holds the room, amount > 0     -> room account (summed
//       into the guest's uninvoiced row of the same room, day and item)
//   else an external client holds it              -> new external row
//   else                                          -> not posted
// A repair may name the target instead: a hotel room (its in-house guest,
// by the same rules) or an external client's card.
//
// The poster writes account rows only; the caller owns the transaction and
// what becomes of the line in the store and the journal.
#pragma once

#include "db/Engine.h"
#include "platform/Settings.h"
#include "transfer/PostingJournal.h"
#include "transfer/RoomCodes.h"

#include <QString>
#include <functional>
#include <memory>
#include <optional>

namespace quorvel {

// The in-house guests a charge may go to (each room's first guest) and the
// cards an external client's charge is looked up in; the POS interface's
// inquiry lists by the same selection.
extern const QString ChargeGuestsSelect;
extern const QString ChargeClientsSelect;

// What posting a line came to.
struct PostResult {
    Esito outcome = Esito::Storico;  // Camera, Esterno, or Storico (not posted)
    Motivo reason = Motivo::Nessuno;
    QString reasonText;  // Italian: the history's, the journal's and the log's reason
    QString posRoom;     // room code as read
    QString room;        // hotel room it went to (or mapped to)
    QString database, table;
    std::int64_t accountRow = 0;  // the account row's identity
    std::int64_t client = 0;
    Currency added;  // charge and discount
    double quantity = 0;

    bool posted() const { return outcome == Esito::Camera || outcome == Esito::Esterno; }
};

struct PostTarget {
    enum class Kind { Rules, Room, External, Guest };
    Kind kind = Kind::Rules;
    QString room;           // Room: the hotel room
    std::int64_t card = 0;  // External: NumeroProgressivo in "ClientiEsterni.mdb";
                            // Guest: an in-house card, which must hold the charge's room
};

// A charge read from elsewhere than a charges-file line (a POS on the
// interface protocol): the values the rules need, already read.
struct Charge {
    QString posRoom;  // room code as the POS sent it
    QString room;     // hotel room
    QString day;      // YYYYMMDD
    Currency amount;  // the charge, without its discount
    Currency discount;
    double quantity = 1;
    std::optional<double> unitPrice;       // nullopt: no usable price
    QString description;                   // finds an external account's item (no itemCode)
    std::optional<std::int16_t> itemCode;  // the item to post under instead of the generic one
};

class ChargePoster {
public:
    // wrote: called after every account row written. REQUIRES: settings
    // and ws outlive the poster.
    ChargePoster(const Settings& settings, db::Workspace& ws, std::function<void()> wrote = {});
    ~ChargePoster();
    ChargePoster(const ChargePoster&) = delete;
    ChargePoster& operator=(const ChargePoster&) = delete;

    // Reads both room-code side files, then opens the hotel's databases.
    // Throws Error (a side file that exists but cannot be read, a database).
    void open();
    void close();

    // The amounts a line and its "Sconto" line were given when received.
    struct Recorded {
        std::optional<Currency> charge, discount;  // nullopt: not a number
    };

    // Posts line (discountLine, when given, folded in). Throws Error on a
    // database failure; a line that cannot be posted is a result, not an error.
    // recorded (a repair): the amounts recorded at intake, used instead of
    // reading the columns again (under another locale, another number).
    PostResult post(const QString& line, const QString* discountLine, const PostTarget& target = {},
                    const Recorded* recorded = nullptr);
    // The same rules for a charge already read.
    PostResult post(const Charge& charge, const PostTarget& target = {});
    // A "Sconto" line read after its charge (the journal row posted) was
    // posted: added to the open account row its charge went to, as if they
    // had come together; listed (Storico) when that row is closed.
    PostResult postLateDiscount(const JournalEntry& posted, const QString& discountLine);

private:
    struct Item {
        std::int64_t group = 0;
        std::int64_t code = 0;
        QString text;
    };
    Item genericItem(const char* fallback);
    // The item of code, or the generic one when none is given.
    Item itemOf(const std::optional<std::int16_t>& code, const char* fallback);
    PostResult postRules(const Charge& c, const PostTarget& target, PostResult& r);
    void postRoom(const Charge& c, PostResult& r);
    // Locks the guest/room/day/item group and moves m_accounts to its open
    // (not invoiced) row; false when there is none.
    bool findOpenRoomRow(std::int64_t client, const QString& room, const QString& day,
                         std::int64_t itemCode);
    void postExternal(const Charge& c, PostResult& r);
    void wrote() const {
        if (m_wrote)
            m_wrote();
    }

    const Settings& m_settings;
    db::Workspace& m_ws;
    std::function<void()> m_wrote;
    RoomCodePosition m_position;
    RoomMap m_rooms;
    std::unique_ptr<db::Database> m_guestDb, m_accountDb, m_clientDb, m_externalDb, m_itemDb;
    std::unique_ptr<db::Recordset> m_guests, m_accounts, m_clients, m_externals, m_items;
    std::optional<std::optional<QString>> m_genericText;  // read once per opening
};

}  // namespace quorvel
