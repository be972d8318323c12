// The polling cycle's own record of the files it is consuming, in the store
// "QuorvelPolling.db" of the working folder, opened in the caller's
// Workspace so that a claim is settled in the same transaction as the rows
// the file produced.
//
// A file is consumed in three steps, each safe to interrupt:
//   1. claim: a row (kind, source path, archive path) is written and committed;
//   2. move: the source is renamed to its archive name (a notification file
//      is deleted instead: its content is never read);
//   3. settle: the rows the archive yields are written and the claim row is
//      deleted, in one transaction.
// A restart finds the claims left over and finishes them: a claim whose
// archive exists is imported from the archive; one whose archive does not
// exist yet is moved first. So every file is imported exactly once, and the
// archive is exactly what was imported.
//
// A POS may keep its file open after it was renamed and go on writing into
// it (the rename does not reach an open file). So a charges or closing
// file's archive stays watched (table FileSeguiti: kind, archive, bytes and
// lines taken, when it last grew) after it was taken: bytes written later
// are claimed again with the archive as source, read from where the last
// read stopped, and settled with the watch moved on, in one transaction.
#pragma once

#include "db/Engine.h"

#include <QDateTime>
#include <QString>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace quorvel {

class InboxJournal {
public:
    static constexpr char FileName[] = "QuorvelPolling.db";

    // Kinds of claim.
    static constexpr char Receipts[] = "Incassi";  // the closing file
    static constexpr char Charges[] = "Addebiti";  // the charges file
    static constexpr char CheckIn[] = "CKI";       // archive = room number
    static constexpr char CheckOut[] = "CKO";

    struct Claim {
        QString kind;
        QString source;   // the file as found
        QString archive;  // its archive name (for CKI / CKO: the room number)
    };

    // Opens the store, creating the file or its table when missing. Throws
    // Error. REQUIRES: ws outlives the journal.
    explicit InboxJournal(db::Workspace& ws,
                          const QString& fileName = QString::fromLatin1(FileName));
    ~InboxJournal();
    InboxJournal(const InboxJournal&) = delete;
    InboxJournal& operator=(const InboxJournal&) = delete;

    // The open claims of one kind, oldest first.
    std::vector<Claim> claims(const QString& kind) const;
    std::optional<Claim> firstClaim(const QString& kind) const;

    // Both join the workspace transaction when one is open.
    void add(const Claim& claim);
    void settle(const Claim& claim);  // deletes the claim; no-op when absent

    struct Watch {
        QString kind;
        QString archive;
        qint64 bytes = 0;        // taken so far
        std::int32_t lines = 0;  // taken so far
        QDateTime grew;          // when it was taken or last grew
    };
    std::vector<Watch> watches(const QString& kind) const;
    std::optional<Watch> watch(const QString& kind, const QString& archive) const;
    // Writes (or replaces) the watch of w.kind and w.archive; joins as above.
    void setWatch(const Watch& w);
    void dropWatch(const QString& kind, const QString& archive);

private:
    db::Workspace& m_ws;
    std::unique_ptr<db::Database> m_db;
};

}  // namespace quorvel
