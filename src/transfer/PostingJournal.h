// The posting journal: where every charge line and receipt taken from the
// POS went. One row per line of a charges file (and per receipt imported
// from a closing file), in the program's own store "QuorvelCoda.db", table
// Giornale. A row is written when its line is taken (outcome InAttesa, or
// Storico for a line listed straight away); what became of it is written in
// the same workspace transaction as the posting, listing, repair or clearing
// it describes, so a kill never leaves one without the other.
//
// A row points at the line's place in the queue: Pendente is the Progressivo
// it was given in Pendenti (kept once the line left: numbers are never given
// twice; the outcome says whether it is still pending), Errore its
// Progressivo in Errori while in the error history (0 otherwise).
//
// The transfer does not rewrite the row of each line it handles: per batch
// it appends one row to table Lotti, whose text field Esiti holds one line
// per handled line with the fields the transfer changes (same Pendente),
// and the readers here lay that record over the line's row. A repair or
// "&Cancella" writes the line's whole row again and drops its record.
#pragma once

#include "db/Engine.h"
#include "platform/Currency.h"

#include <QString>
#include <cstdint>
#include <memory>
#include <optional>
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
    std::int32_t id = 0;                 // Progressivo of the journal row (given by add)
    QString kind = QStringLiteral("A");  // "A" a charge line, "I" a receipt
    QString archive;                     // archive file the line came from
    std::int32_t lineNo = 0;             // 1-based line number in the archive
    QString line;                        // as received (at most 255 characters kept)
    QString day;                         // charge day as read, YYYYMMDD (receipt: day imported)
    QString posRoom;                     // room code as read from the line
    QString room;                        // hotel room it mapped to
    std::optional<Currency> amount;      // the line's own amount; nullopt: not a number
    Esito outcome = Esito::InAttesa;
    // Where it went (posted or imported rows only).
    QString database;                    // e.g. "Conto_Cliente.mdb"
    QString table;                       // e.g. "Conto_Cliente"
    std::int64_t accountRow = 0;         // the account row's identity in its table, 0 unknown
    std::int64_t client = 0;             // the row's CodiceCliente
    Currency added;                      // amount it added to the row (its discount included)
    double quantity = 0;                 // quantity it added
    std::int32_t discountOf = 0;         // a "Sconto" line: the journal id of its charge
    std::int32_t discountOfPending = 0;  // the same by its charge's Pendente (batch records)
    // Its place in the queue, 0 when none.
    std::int32_t pendingId = 0;  // Progressivo given in Pendenti (0: none)
    std::int32_t errorId = 0;    // Progressivo in Errori
    Motivo reason = Motivo::Nessuno;
    QString reasonText;  // Italian, for the operator
    Azione action = Azione::Trasferimento;
    QString when;  // local time of the last change, yyyy-MM-ddTHH:mm:ss
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
    static constexpr char Table[] = "Giornale";
    static constexpr char ReceivedTable[] = "Ricevuti";
    static constexpr char BatchTable[] = "Lotti";

    // Works in the store's database and workspace; creates the table and
    // its indexes when missing. REQUIRES: store outlives the journal.
    explicit PostingJournal(ChargeStore& store);

    // The writes join the workspace transaction when one is open, otherwise
    // run in one of their own. Each throws Error on failure.

    // Appends rows in order, giving each entry whose id is 0 its id (written
    // back into entries); an entry with an id from reserveIds keeps it.
    void add(std::vector<JournalEntry>& entries);
    // Reserves count consecutive row ids and returns the first, so rows
    // pointing at each other (a "Sconto" line at its charge) can be added
    // in one call. REQUIRES: a workspace transaction is open.
    std::int32_t reserveIds(int count);
    // The Pendente of each row with one in [from, to], ascending: one read
    // of the index for a batch of lines.
    std::vector<std::int32_t> pendingWithRows(std::int32_t from, std::int32_t to) const;
    // Records what one transfer batch made of pending lines that have their
    // rows, each by entry.pendingId: the fields a transfer changes (room,
    // outcome, where it went, the error id, discountOfPending, reason) go to
    // one row of the batch table, and stand over the rows' from then on.
    // REQUIRES: each Pendente once, above every Pendente of earlier batches.
    void addOutcomes(const std::vector<JournalEntry>& entries);
    // What the transfer recorded for the lines whose Pendente lies in
    // [from, to] (the records addOutcomes took, still standing), by Pendente.
    std::vector<JournalEntry> outcomesBetween(std::int32_t from, std::int32_t to) const;
    // The rows of the error lines up to lastErrorId (every one when 0)
    // become Cancellato by "&Cancella"; returns how many.
    int markCleared(std::int32_t lastErrorId);
    // Rewrites the row of entry.id with every field of entry (and drops its
    // record: the row holds it all again); throws Error when there is
    // no such row.
    void update(const JournalEntry& entry);

    // Adds the counts of a file just taken (same transaction as its lines).
    void addReceived(const std::vector<ReceivedCount>& counts);
    // The counts whose day lies in [dayFrom, dayTo] (empty: unbounded).
    std::vector<ReceivedCount> received(const QString& dayFrom, const QString& dayTo) const;

    std::optional<JournalEntry> byId(std::int32_t id) const;
    std::optional<JournalEntry> byPendingId(std::int32_t pendingId) const;
    std::optional<JournalEntry> byErrorId(std::int32_t errorId) const;
    // Rows matching the query, in id order, at most query.limit.
    std::vector<JournalEntry> find(const JournalQuery& query) const;

private:
    std::optional<JournalEntry> first(const QString& criterion,
                                      const std::vector<db::Value>& values) const;
    // One recordset on Giornale for every call: opening one per line would
    // cost more than the line's find and update.
    db::Recordset& rows() const;
    // The batch table in the order of its last Pendente, and of its last
    // error id.
    db::Recordset& batches() const;
    db::Recordset& batchesByError() const;
    db::Recordset& orderedBatches(std::unique_ptr<db::Recordset>& rs, const QString& order) const;
    // A batch's records, read once for the lines of one call.
    struct BatchCache {
        std::int32_t first = 0, last = -1;  // the Pendente range read
        QString text, when;                 // its records as stored
        bool decoded = false;
        std::vector<JournalEntry> records;  // once decoded: ascending Pendente
        JournalEntry one;                   // the record a scan found
    };
    // Positions batches() on the batch whose range holds pendingId.
    bool findBatch(std::int32_t pendingId) const;
    // The transfer's record of the line, nullptr when it has none.
    const JournalEntry* recordOf(std::int32_t pendingId, BatchCache& cache) const;
    // Lays the line's record, when it has one, over e.
    void overlay(JournalEntry& e, BatchCache& cache) const;
    void overlay(JournalEntry& e) const;
    // Writes a record into its line's row; false when the row is missing.
    bool writeIntoRow(const JournalEntry& record);
    // Drops the record of pendingId from its batch.
    void dropRecord(std::int32_t pendingId);
    // Writes the current batch row again with these records (none: removes it).
    void rewriteBatch(db::Recordset& rs, const std::vector<JournalEntry>& records);
    // Stores from before the batch table kept one row per line in table
    // Esiti: each goes into its line's row.
    void foldLegacyOutcomes();

    ChargeStore& m_store;
    mutable std::unique_ptr<db::Recordset> m_rows;
    mutable std::unique_ptr<db::Recordset> m_batches;
    mutable std::unique_ptr<db::Recordset> m_batchesByError;
    mutable std::unique_ptr<db::Recordset> m_pendingIds;
};

// The operator's text for an outcome ("in camera", "nello storico errori", ...).
QString esitoText(Esito outcome);

}  // namespace quorvel
