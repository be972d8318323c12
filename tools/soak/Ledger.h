// The soak's ledger: everything the POS simulator dropped, built so that the
// final check can tell a line posted once from one lost or posted twice.
//
// - Room charges go to in-house guests in groups keyed by room and day (one
//   room-account row, or several once the hotel has invoiced some). Line j
//   of a group (j < 3) nets u * 100^j cents with u odd, below 50 and not a
//   multiple of 5, so the rows' summed Importo, read in base 100, gives each
//   line's count: a lost line leaves its digit 0, a doubled one 2u.
// - External charges and receipts carry amounts no other line has.
// - Lines for unknown rooms and malformed lines carry a unique serial, so
//   the error history must hold each text exactly once.
// - The bytes of every file dropped are kept: after the last run each must
//   be in exactly one archive, byte for byte, and no archive may be extra.
#pragma once

#include "hotel/HotelData.h"
#include "hotel/Random.h"

#include <QByteArray>
#include <QHash>
#include <QMap>
#include <QSet>
#include <QString>
#include <QStringList>
#include <map>
#include <vector>

namespace quorvel::soak {

// Who receives what in the generated hotel.
struct SoakTargets {
    struct Room {
        QString room, posCode;
        qint64 client = 0;
    };
    struct External {
        QString number;
        qint64 client = 0;
    };
    std::vector<Room> rooms;          // in-house rooms reachable by a 3-character POS code
    std::vector<External> externals;  // external clients' numbers no guest shares
    QStringList unknownCodes;         // POS codes nobody holds
    QStringList noticeRooms;          // rooms the POS simulator sends CKI for
    QStringList emptyRooms;           // rooms with no present card: CKO from the POS simulator
    QStringList freeRooms;            // empty rooms left to the hotel system's new cards
};

// REQUIRES: roomMapLines are the lines of "QuorveloCamere.txt" (may be empty).
SoakTargets soakTargets(const hotel::HotelData& hotel, const QStringList& roomMapLines);

// What the final check found.
struct Tally {
    qint64 lines = 0, roomLines = 0, externalLines = 0, errorLines = 0, receipts = 0;
    qint64 lost = 0, doubled = 0;
    qint64 archives = 0, archivesMissing = 0, archivesExtra = 0;
    QStringList problems;  // the first few, for the report
    void problem(const QString& p) {
        if (problems.size() < 20)
            problems << p;
    }
};

// Rows of the hotel's tables as the check reads them (rowid above the
// baseline taken before the soak).
struct AccountRow {
    qint64 rowid = 0, client = 0, itemCode = 0;
    QString room, day;
    qint64 importoCents = 0;
    double quantity = 0;
};

// The rows of an account table ("Conto_Cliente") above the baseline rowid,
// less those in skip; Importo in cents (-1 when not whole cents).
std::vector<AccountRow> readAccountRows(const QString& path, qint64 baseline,
                                        const QSet<qint64>& skip = {});
// Importo of the Incassi rows above the baseline rowid, in cents.
std::vector<qint64> readReceiptAmounts(const QString& path, qint64 baseline);

// The two POS files the ledger drafts.
enum class PosFile { Charges, Closing };

// The bytes of a POS file of these lines: Windows-1252, each line followed
// by CR LF, or by a lone LF when lfOnly.
QByteArray posFileBytes(const QStringList& lines, bool lfOnly);

// The archives of the POS file at path, by file name: path less its last
// four characters, "_", a 14-digit time stamp, an optional "_N", ".txt".
QMap<QString, QByteArray> readArchives(const QString& path);

// How the POS put a file in place.
struct FileForm {
    bool lfOnly = false;   // lone LF line ends
    bool inPlace = false;  // written under its own name, a piece at a time
};

class Ledger {
public:
    Ledger(SoakTargets targets, std::uint64_t seed);

    // The lines of the next charges file. Nothing is recorded until
    // commitCharges() says the file was dropped, with these bytes.
    QStringList draftCharges(int charges);
    void commitCharges(const QByteArray& bytes, FileForm form = {});
    // The lines of the next closing file; likewise.
    QStringList draftClosing(int receipts);
    void commitClosing(const QByteArray& bytes, FileForm form = {});

    qint64 chargeFiles() const { return m_chargeFiles; }
    qint64 closingFiles() const { return m_closingFiles; }
    qint64 lfOnlyFiles() const { return m_lfOnly; }
    qint64 inPlaceFiles() const { return m_inPlace; }
    const SoakTargets& targets() const { return m_targets; }

    // Postings to external clients by another way (the POS on the interface
    // protocol): number and net cents, each once.
    void addExternals(const std::vector<std::pair<QString, qint64>>& postings) {
        m_state.externals.insert(m_state.externals.end(), postings.begin(), postings.end());
    }

    // The checks, each adding to the tally. rows: the program's rows only.
    void checkRoomAccounts(const std::vector<AccountRow>& rows, Tally& tally) const;
    void checkExternalAccounts(const std::vector<AccountRow>& rows, Tally& tally) const;
    void checkErrorHistory(const QStringList& errors, Tally& tally) const;
    void checkReceipts(const std::vector<qint64>& importoCents, Tally& tally) const;
    // archives: readArchives() of the file of that kind.
    void checkArchives(PosFile kind, const QMap<QString, QByteArray>& archives, Tally& tally) const;

private:
    struct GroupLine {
        int u = 0, quantity = 0;
    };
    struct Group {
        int room = 0;
        QString day;  // YYYYMMDD
        std::vector<GroupLine> lines;
    };
    // Everything recorded; a draft works on a copy that a commit keeps.
    struct State {
        std::map<QString, Group> groups;                    // key "room|day"
        std::vector<int> nextDay;                           // per room: the day of its open group
        std::vector<std::pair<QString, qint64>> externals;  // number, net cents
        QStringList errors;
        std::vector<qint64> receipts;  // cents
        qint64 serial = 0;             // unique number of every line and receipt
    };

    void roomCharge(QStringList& lines);
    void externalCharge(QStringList& lines);
    void failingCharge(QStringList& lines);
    void commitFile(PosFile kind, const QByteArray& bytes, FileForm form);

    SoakTargets m_targets;
    hotel::Random m_random;
    State m_state, m_draft;
    std::vector<std::pair<PosFile, QByteArray>> m_files;  // every file dropped, as written
    qint64 m_chargeFiles = 0, m_closingFiles = 0, m_lfOnly = 0, m_inPlace = 0;
};

}  // namespace quorvel::soak
