// The two programs the soak runs beside quorvel, each on a thread of its own:
//
// - PosSimulator, the restaurant POS: drops charges files, closing files and
//   CKI / CKO notices at random moments, most written under a temporary name
//   and renamed into place; one charges or closing file in four has lone LF
//   line ends, and one in eight is written under its own name a piece at a
//   time over 1 to 3 s (the program may see it half-written). A file still
//   waiting from the last drop is left alone (the drop waits), and only what
//   was dropped goes into the ledger, with its bytes. It also reads its guest
//   database in transactions of up to 2 s.
// - HotelSystem, the hotel management system: its own SQLite connections to
//   the same files; long read transactions, exclusive locks held for up to
//   8 s (longer than quorvel waits on a lock), renamed guests and new or
//   departed cards (each followed by its notice), invoiced rows (Fatturato
//   'S') and rows of its own, all of which quorvel must leave as they are.
#pragma once

#include "soak/Ledger.h"

#include <atomic>
#include <map>
#include <thread>

namespace quorvel::soak {

// Drops an empty notification file "name" in dir through tmp; false when a
// file of that name is still waiting (it covers the new event too).
bool dropNotice(const QString& dir, const QString& name, const QString& tmp);

// Writes bytes to tmp and renames it to target; false (nothing dropped) when
// target is still there.
bool dropFile(const QString& target, const QString& tmp, const QByteArray& bytes);

// Creates target (false when it is still there) and writes bytes into it in
// `pieces` parts of about equal size, flushed one by one, with a pause of
// pauseMs / 2 to pauseMs before each part after the first.
bool writeInPlace(const QString& target, const QByteArray& bytes, int pieces, int pauseMs,
                  hotel::Random& random);

// The POS's attacks beyond whole CR LF files renamed into place.
struct PosAttacks {
    bool lfOnly = true;
    bool inPlace = true;
    // The longest pause of a file written in place: shorter than the
    // program's polling interval, as a POS's pauses are shorter than the
    // 5 s of the field, so a program that waits for a file to stand still
    // over two ticks never takes one still being written.
    int pauseMs = 12;
    // When not 0, some files are written in place with pauses of half this
    // to this (longer than the polling interval): the program takes the file
    // while the POS, holding it open, still writes into it.
    int longPauseMs = 0;
};

class PosSimulator {
public:
    // fileOrigine, fileIncassi: as in the settings (relative to dir or absolute).
    PosSimulator(QString dir, QString fileOrigine, QString fileIncassi, Ledger& ledger,
                 std::uint64_t seed, PosAttacks attacks = {});
    ~PosSimulator();
    void start();
    void stop();  // joins

    qint64 chargeFiles() const { return m_ledger.chargeFiles(); }
    qint64 closingFiles() const { return m_ledger.closingFiles(); }
    qint64 notices() const { return m_notices; }
    qint64 waits() const { return m_waits; }  // drops put off: the last file was still there
    qint64 guestReads() const { return m_guestReads; }
    qint64 pausedFiles() const { return m_paused; }  // written with pauses longer than a cycle

private:
    void run();
    void dropCharges();
    void dropClosing();
    void readGuests();
    // Puts bytes at target, as chosen for this file; false when nothing was dropped.
    bool put(const QString& target, const QString& tmp, const QStringList& lines, FileForm& form,
             QByteArray& bytes);

    QString m_dir, m_charges, m_closing;
    Ledger& m_ledger;
    PosAttacks m_attacks;
    hotel::Random m_random;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
    qint64 m_notices = 0, m_waits = 0, m_guestReads = 0, m_paused = 0;
};

// What the hotel system did; rowLocks only on a server.
struct HotelCounts {
    qint64 longReads = 0, exclusiveLocks = 0, lockedMs = 0, invoicedRows = 0, ownRows = 0;
    qint64 renames = 0, newCards = 0, departures = 0, reused = 0, busy = 0;
    qint64 rowLocks = 0, rowLockedMs = 0;
};

// The hotel system as the crash soak sees it, on files or on a server.
class BusyHotel {
public:
    struct Row {
        qint64 importo = 0;  // ten-thousandths
        QString quantity, fatturato;
    };
    using Counts = HotelCounts;
    virtual ~BusyHotel() = default;
    virtual void start() = 0;
    virtual void stop() = 0;  // joins
    virtual const Counts& counts() const = 0;
    // Row ids of the rows it wrote itself, which are no line of the POS.
    virtual QSet<qint64> ownRowids() const = 0;
    // Reads the rows it invoiced or wrote back; one problem per row that changed.
    virtual QStringList changedRows() const = 0;
};

// The description of the rows the hotel system writes itself.
inline constexpr char HotelOwnText[] = "MINIBAR GESTIONALE";

// A problem when a row is no longer as the hotel left it; empty otherwise.
QString rowChanged(qint64 rowid, const BusyHotel::Row& was, const BusyHotel::Row& now);

class HotelSystem : public BusyHotel {
public:
    // accountBaseline: the highest rowid of Conto_Cliente before the soak.
    HotelSystem(QString dir, SoakTargets targets, qint64 accountBaseline, std::uint64_t seed);
    ~HotelSystem() override;
    void start() override;
    void stop() override;

    const Counts& counts() const override { return m_counts; }
    // Rows the hotel invoiced or wrote, by rowid, as it left them.
    const std::map<qint64, Row>& invoiced() const { return m_invoiced; }
    const std::map<qint64, Row>& own() const { return m_own; }
    QSet<qint64> ownRowids() const override;
    QStringList changedRows() const override;

private:
    void run();
    void longRead();
    void exclusiveLock();
    void invoice();
    void ownRow();
    void renameGuest();
    void newCard();
    void departure();
    void pause(int ms);

    QString m_dir;
    SoakTargets m_targets;
    qint64 m_baseline;
    hotel::Random m_random;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
    Counts m_counts;
    std::map<qint64, Row> m_invoiced, m_own;
    std::vector<std::pair<QString, qint64>> m_present;  // the hotel's own present cards
    QStringList m_departed;                             // rooms left by the hotel's own guests
    int m_nextFree = 0;
};

}  // namespace quorvel::soak
