// The program's own store "QuorvelCoda.db" in the working folder: the pending
// POS charge lines (List1) and the error history (List2), each in arrival
// order, so that neither is lost when the process ends or is killed.
//
// The store is opened through the engine in the caller's Workspace, the one
// the hotel databases are opened in, so that a transfer removes a pending
// line in the same workspace transaction as the account rows it writes: a
// line is either still pending or posted/listed, never both and never
// neither. Lines are kept whole and unchanged (appendChargesFile cuts a
// line too long to be a charge, which goes to the error history).
//
// Tables: Pendenti and Errori (Progressivo 32-bit, Parti, Riga text), Contatori
// (Tabella text, Ultimo 32-bit) holding the last Progressivo given out per
// table, so numbers grow even across restarts and several store objects.
#pragma once

#include "db/Engine.h"
#include "platform/TextFile.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>
#include <vector>

namespace quorvel {

// Runs f inside the workspace's open transaction, or in one of its own.
template <class F>
void joinOrRun(db::Workspace& ws, F f) {
    if (ws.inTransaction()) {
        f();
        return;
    }
    db::Transaction tx(ws);
    f();
    tx.commit();
}

class PostingJournal;

class ChargeStore {
public:
    static constexpr char FileName[] = "QuorvelCoda.db";

    struct Line {
        std::int32_t id = 0;  // Progressivo: grows with arrival order
        QString text;
    };

    // Opens the store (a bare name resolves against the working folder),
    // creating the file and any missing table. Throws Error on failure.
    // REQUIRES: ws outlives the store.
    explicit ChargeStore(db::Workspace& ws,
                         const QString& fileName = QString::fromLatin1(FileName));
    ~ChargeStore();
    ChargeStore(const ChargeStore&) = delete;
    ChargeStore& operator=(const ChargeStore&) = delete;

    db::Workspace& workspace() const { return m_ws; }
    db::Database& database() const { return *m_db; }
    // The posting journal in this store (tables RigheRicevute, EsitiRighe and
    // Ricevuti, view Giornale).
    PostingJournal& journal() const { return *m_journal; }

    // Every pending line / every error line, oldest first.
    std::vector<Line> pendingLines() const;
    QStringList pending() const;
    QStringList errors() const;
    std::vector<Line> errorLines() const;
    bool hasPending() const;

    // What tells whether the lists changed: each table's last number given
    // out and its count of rows. A line added takes a new number and a line
    // removed lowers the count, so equal marks mean the same lines; read
    // without walking either list.
    struct ListsMark {
        std::int32_t lastPending = 0, lastError = 0;
        std::int64_t pendingRows = 0, errorRows = 0;
        bool operator==(const ListsMark&) const = default;
    };
    ListsMark listsMark() const;
    // A page of the error history as it stood at a mark: the lines numbered
    // up to lastId, from the skip-th table row on, at most rows rows. Each
    // row is a line when no line up to lastId is kept in several rows
    // (longErrorLines), which is nearly always so.
    std::vector<Line> errorRowsAt(std::int32_t lastId, std::int64_t skip, std::int64_t rows) const;
    // The same, numbers only (the store's index alone).
    std::vector<std::int32_t> errorIdsAt(std::int32_t lastId, std::int64_t skip,
                                         std::int64_t rows) const;
    // The error lines numbered firstId to lastId, whole.
    std::vector<Line> errorLinesBetween(std::int32_t firstId, std::int32_t lastId) const;
    // The error lines up to lastId kept in more than one row (over 255
    // characters): found through their own index, without walking the history.
    std::vector<std::int32_t> longErrorLines(std::int32_t lastId) const;

    // The write operations below join the workspace transaction when one is
    // open (so a caller can make them atomic with its own rows: e.g. the
    // polling cycle appends a charges file's lines and records that the file
    // was taken, then commits once), and otherwise run in a transaction of
    // their own. Each throws Error and leaves the store unchanged on failure
    // (when it ran its own transaction).

    // Appends lines at the end of the pending list, in order. Returns the
    // first line's Progressivo (the others follow it), 0 when none.
    std::int32_t appendPending(const QStringList& lines);
    // Appends lines at the end of the error history, in order; returns as
    // appendPending.
    std::int32_t appendErrors(const QStringList& lines);

    // What appendChargesFile did with a charges file.
    struct Intake {
        int pending = 0;       // lines appended to the pending list
        int listed = 0;        // lines put in the error history instead
        QStringList problems;  // for the log: why, naming the file (and line)
        QString notice;        // for the operator; empty when all went to pending
    };
    // A charges-file line longer than this is no charge (a POS charge line
    // has about 60 to 120 characters); the store could not even hold one of
    // more than 32,767 rows of 255 characters.
    static constexpr qsizetype MaxLineLength = 4000;

    // Appends the lines of a charges file (readPosFile) to the pending list.
    // A file in UTF-8 has its columns shifted, so none of its lines is
    // posted: they all go to the error history. A line longer than
    // MaxLineLength goes there too, cut to MaxLineLength characters, with
    // the "Sconto" line after it (or, for a discount, the charge before it),
    // so that a charge is never posted without its discount.
    // Each line gets its journal row (fileName as its archive, its line
    // number, outcome InAttesa or Storico with the reason), and the file its
    // counts per charge day (Ricevuti), in the same transaction.
    // firstLineNo: the number of file's first line in the archive (a file
    // taken in parts, or grown after it was taken).
    Intake appendChargesFile(const PosText& file, const QString& fileName,
                             std::int32_t firstLineNo = 1);
    // Removes one pending line; false when it is not (any longer) there.
    bool removePending(std::int32_t id);
    // Removes the given pending lines; throws Error when one is missing,
    // since the caller believed it pending (another writer got there first).
    void removePending(const std::vector<std::int32_t>& ids);
    // Removes one error line; false when it is not (any longer) there, so
    // that of two repairs of one line only the first posts it.
    bool removeError(std::int32_t id);
    // Empties the error history; the lines' journal rows become Cancellato.
    void clearErrors();
    // Removes the error lines up to lastId (Progressivo), so that a line
    // added after a listing that ended at lastId stays; their journal rows
    // become Cancellato. Returns the number of lines removed.
    int clearErrorsUpTo(std::int32_t lastId);

    // Reserves count consecutive numbers of the counter named table and
    // returns the first; joins the open transaction (REQUIRES: one is open).
    std::int32_t reserve(const QString& table, int count);

private:
    std::int32_t append(const QString& table, const QStringList& lines);

    db::Workspace& m_ws;
    std::unique_ptr<db::Database> m_db;
    std::unique_ptr<PostingJournal> m_journal;  // after m_db: goes first
};

}  // namespace quorvel
