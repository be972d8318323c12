// The posting journal: where every charge line and receipt taken from the
// POS went, as plain rows of the program's own store "QuorvelCoda.db" (on a
// server: the folder's schema).
//
// Table RigheRicevute: one row per line as received (a charges file's line
// when the file is taken, a receipt when it is imported): its text, day,
// room code, the hotel room it mapped to, its amount as read, its queue
// number (Pendente) and, for a "Sconto" line, the queue number of the charge
// it was received after (ScontoDi). Table EsitiRighe: one narrow row per
// handled line, keyed by the same Pendente: what became of it (outcome, room
// used, account row, client, amount and quantity added, the charge it went
// with, error id, reason, action, time). A line with no outcome row is
// still pending. View Giornale joins the two: one row per line, the whole
// truth for SQL.
//
// An outcome row is written in the workspace transaction of the posting,
// listing, repair or clearing it describes, so a kill never leaves one
// without the other. Every line gets a queue number, also one listed at
// intake and a receipt (reserved from the queue's counter, never pending):
// numbers are never given twice.
#pragma once

#include "db/Engine.h"
#include "platform/Currency.h"

#include <QString>
#include <climits>
#include <cstdint>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

namespace quorvel {

class ChargeStore;

// What became of a line. Stored as its number: never renumber.
enum class Esito : int {
    InAttesa = 0,    // pending
    Camera = 1,      // posted to an in-house guest's room account
    Esterno = 2,     // posted to an external client's account
    Storico = 3,     // in the error history
    Cancellato = 4,  // cleared from the error history by "&Cancella"
    Scartato = 5,    // a "Sconto" line with no charge before it, dropped
    Incasso = 6,     // a receipt imported into "Fatture.mdb"
    Rifiutato = 7,   // a POS posting refused at the till (the cashier was told)
};

// Why a line was not posted. Stored as its number: never renumber.
enum class Motivo : int {
    Nessuno = 0,
    RigaCorta = 1,               // "Riga troppo corta"
    ImportoNonNumerico = 2,      // "Importo non numerico"
    ScontoNonNumerico = 3,       // the "Sconto" line's amount is no number
    CameraNonMappata = 4,        // "Camera non mappata in QuorveloCamere.txt"
    NessunConto = 5,             // no in-house guest nor external client for the room
    NonPositivo = 6,             // charge not positive and no external client
    PrezzoNonValido = 7,         // unit price columns no number (or quantity 0)
    RigaTroppoLunga = 8,         // line cut at intake (over the length limit)
    FileUtf8 = 9,                // the charges file was UTF-8
    ScontoDiNonTrasferito = 10,  // the discount of a charge that was not posted
    RichiestaNonValida = 11,     // a POS request refused at the till: no amount, date, outlet
    RifiutatoDalDatabase = 12,   // the hotel's database refused the row (constraint, trigger)
    ScontoTardivo = 13,          // a "Sconto" read after its charge was posted, whose row is closed
};

// Who last changed the row. Stored as its number: never renumber.
enum class Azione : int {
    Trasferimento = 0,   // the transfer run (or the intake)
    Riprova = 1,         // "Riprova" from the error history
    AssegnaCamera = 2,   // "Assegna a camera…"
    AssegnaEsterno = 3,  // "Assegna a cliente esterno…"
    Cancella = 4,        // "&Cancella"
};

struct JournalEntry {
    std::int32_t id = 0;                 // Progressivo of the received row (given by add)
    QString kind = QStringLiteral("A");  // "A" a charge line, "I" a receipt
    QString archive;                     // archive file the line came from
    std::int32_t lineNo = 0;             // 1-based line number in the archive
    QString line;                        // as received (at most 255 characters kept)
    QString day;                         // charge day as read, YYYYMMDD (receipt: day imported)
    QString posRoom;                     // room code as read from the line
    QString mappedRoom;                  // hotel room it mapped to when received
    QString room;                        // hotel room it went to; else as mappedRoom
    std::optional<Currency> amount;      // the line's own amount as read; nullopt: not a number
    // A "Sconto" line: the Pendente of the charge it was received after (0:
    // none), recorded when received, never taken from a later list.
    std::int32_t receivedAfter = 0;
    Esito outcome = Esito::InAttesa;
    // Where it went (posted or imported rows only).
    QString database;                    // e.g. "Conto_Cliente.mdb" (from the outcome)
    QString table;                       // e.g. "Conto_Cliente"
    std::int64_t accountRow = 0;         // the account row's identity in its table, 0 unknown
    std::int64_t client = 0;             // the row's CodiceCliente
    Currency added;                      // amount it added to the row (its discount included)
    double quantity = 0;                 // quantity it added
    std::int32_t discountOfPending = 0;  // a "Sconto" line: the Pendente of the charge it went with
    // Its place in the queue.
    std::int32_t pendingId = 0;  // Pendente: its queue number (0 before add gives one)
    std::int32_t errorId = 0;    // Progressivo in Errori while listed, 0 otherwise
    Motivo reason = Motivo::Nessuno;
    QString reasonText;  // Italian, for the operator
    Azione action = Azione::Trasferimento;
    QString when;  // local time of the last change, yyyy-MM-ddTHH:mm:ss
    // Not empty when a stored value cannot be read (a code no version
    // wrote): what is wrong, for the log and the operator.
    QString damage;
};

// What find() looks for; empty / unset members match anything.
struct JournalQuery {
    QString room;                    // hotel room or room code as read
    QString dayFrom, dayTo;          // YYYYMMDD, inclusive
    std::optional<Currency> amount;  // the line's amount
    QString text;                    // a piece of the line (case-insensitive)
    std::optional<Esito> outcome;
    int limit = 1000;
};

// What one charges file brought for one charge day, written when the file
// is taken (table Ricevuti): the independent side of the day's balance, so a
// journal or queue row lost behind the program's back shows as a difference.
struct ReceivedCount {
    QString archive;
    QString day;  // YYYYMMDD as read; empty for lines with no readable day
    std::int32_t lines = 0;
    Currency sum;  // of the lines' amounts that are numbers
};

class PostingJournal {
public:
    static constexpr char Table[] = "Giornale";  // the view
    static constexpr char LinesTable[] = "RigheRicevute";
    static constexpr char OutcomesTable[] = "EsitiRighe";
    static constexpr char ReceivedTable[] = "Ricevuti";

    // Works in the store's database and workspace; creates the tables,
    // their indexes and the view when missing, and converts a store whose
    // Giornale is still a table (with its batch table Lotti) once, in one
    // transaction. REQUIRES: store outlives the journal.
    explicit PostingJournal(ChargeStore& store);

    // The writes join the workspace transaction when one is open, otherwise
    // run in one of their own. Each throws Error on failure.

    // Appends received rows in order, giving each entry whose id is 0 its
    // id and each whose pendingId is 0 a queue number (written back into
    // entries); an entry whose outcome is not InAttesa gets its outcome row.
    void add(std::vector<JournalEntry>& entries);
    // Reserves count consecutive row ids and returns the first.
    // REQUIRES: a workspace transaction is open.
    std::int32_t reserveIds(int count);
    // The Pendente of each received row with one in [from, to], ascending:
    // one read of the index for a batch of lines.
    std::vector<std::int32_t> pendingWithRows(std::int32_t from, std::int32_t to) const;
    // The "Sconto" lines received after a charge whose Pendente is in
    // [from, to]: discount's Pendente -> its charge's, through the index of
    // the few rows that have one.
    std::unordered_map<std::int32_t, std::int32_t> discountLinks(std::int32_t from,
                                                                 std::int32_t to) const;
    // Appends the outcome rows of one transfer batch (by entry.pendingId:
    // outcome, room, account row, client, added, quantity,
    // discountOfPending, errorId, reason, action, when), many per statement.
    // REQUIRES: none of the lines has an outcome row yet.
    void addOutcomes(const std::vector<JournalEntry>& entries);
    // The same for entries kept elsewhere (a transfer's batch): not copied.
    void addOutcomes(const std::vector<const JournalEntry*>& entries);
    // The lines listed with an error id up to lastErrorId (every one when 0)
    // become Cancellato by "&Cancella"; returns how many.
    int markCleared(std::int32_t lastErrorId);
    // Writes the outcome row of entry.pendingId (a repair); throws Error when
    // the line has no received row.
    void update(const JournalEntry& entry);

    // Adds the counts of a file just taken (same transaction as its lines).
    void addReceived(const std::vector<ReceivedCount>& counts);
    // The counts whose day lies in [dayFrom, dayTo] (empty: unbounded).
    std::vector<ReceivedCount> received(const QString& dayFrom, const QString& dayTo) const;

    std::optional<JournalEntry> byId(std::int32_t id) const;
    std::optional<JournalEntry> byPendingId(std::int32_t pendingId) const;
    // The line listed as error id errorId: its amount (amount) and its
    // charge (receivedAfter) are as recorded when it was received.
    std::optional<JournalEntry> byErrorId(std::int32_t errorId) const;
    // The "Sconto" line received right after the charge chargePendingId.
    std::optional<JournalEntry> discountReceivedAfter(std::int32_t chargePendingId) const;
    // The line received as line lineNo of archive, whose charge day is day
    // (which finds it by the day's index): the line before a later read of
    // a file the POS was still writing.
    std::optional<JournalEntry> receivedAt(const QString& archive, std::int32_t lineNo,
                                           const QString& day) const;
    // Rows matching the query, in id order, at most query.limit.
    std::vector<JournalEntry> find(const JournalQuery& query) const;
    // The listed lines' reasons by error id, in one query: of every line, or
    // of the lines numbered firstId to lastId (a page of the window's list).
    std::unordered_map<std::int32_t, QString> errorReasons(std::int32_t firstId = 1,
                                                           std::int32_t lastId = INT32_MAX) const;
    // The view's rows of the charge days in [dayFrom, dayTo] (empty:
    // unbounded), only the fields a day's balance needs, in one query.
    std::vector<JournalEntry> daysRows(const QString& dayFrom, const QString& dayTo) const;

private:
    std::optional<JournalEntry> first(const QString& criterion,
                                      const std::vector<db::Value>& values) const;
    db::Recordset& view() const;
    db::Recordset& outcomes() const;
    // The lines listed under any of the criteria become Cancellato.
    int markClearedWhere(const QStringList& criteria);
    // A store whose Giornale is a table: its rows, and the batch table's
    // records laid over them, become received and outcome rows.
    void convertOldJournal();

    ChargeStore& m_store;
    mutable std::unique_ptr<db::Recordset> m_view;
    mutable std::unique_ptr<db::Recordset> m_outcomes;
    mutable std::unique_ptr<db::Recordset> m_pendingIds;
};

// The operator's text for an outcome ("in camera", "nello storico errori", ...).
QString esitoText(Esito outcome);

}  // namespace quorvel
