// The two programs the soak runs beside quorvel, each on a thread of its own:
//
// - PosSimulator, the restaurant POS: drops charges files, closing files and
//   CKI / CKO notices at random moments, each written under a temporary name
//   and renamed into place; a file still waiting from the last drop is left
//   alone (the drop waits), and only what was dropped goes into the ledger.
//   It also reads its guest database in transactions of up to 2 s.
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

class PosSimulator {
public:
    // fileOrigine, fileIncassi: as in the settings (relative to dir or absolute).
    PosSimulator(QString dir, QString fileOrigine, QString fileIncassi, Ledger& ledger,
                 std::uint64_t seed);
    ~PosSimulator();
    void start();
    void stop();  // joins

    qint64 chargeFiles() const { return m_ledger.chargeFiles(); }
    qint64 closingFiles() const { return m_ledger.closingFiles(); }
    qint64 notices() const { return m_notices; }
    qint64 waits() const { return m_waits; }  // drops put off: the last file was still there
    qint64 guestReads() const { return m_guestReads; }

private:
    void run();
    void dropCharges();
    void dropClosing();
    void readGuests();

    QString m_dir, m_charges, m_closing;
    Ledger& m_ledger;
    hotel::Random m_random;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
    qint64 m_notices = 0, m_waits = 0, m_guestReads = 0;
};

class HotelSystem {
public:
    struct Row {
        qint64 importo = 0;  // ten-thousandths
        QString quantity, fatturato;
    };
    struct Counts {
        qint64 longReads = 0, exclusiveLocks = 0, lockedMs = 0, invoicedRows = 0, ownRows = 0;
        qint64 renames = 0, newCards = 0, departures = 0, reused = 0, busy = 0;
    };

    // accountBaseline: the highest rowid of Conto_Cliente before the soak.
    HotelSystem(QString dir, SoakTargets targets, qint64 accountBaseline, std::uint64_t seed);
    ~HotelSystem();
    void start();
    void stop();  // joins

    const Counts& counts() const { return m_counts; }
    // Rows the hotel invoiced or wrote, by rowid, as it left them.
    const std::map<qint64, Row>& invoiced() const { return m_invoiced; }
    const std::map<qint64, Row>& own() const { return m_own; }
    // Reads the rows back; one problem per row that changed.
    QStringList changedRows() const;

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
