// The crash soak: the real program (quorvel --headless) on a generated
// hotel, killed with SIGKILL at random instants and started again, while the
// POS simulator drops files and the hotel system works on the same
// databases. A last clean run drains everything; then every charge line,
// receipt and hotel row is checked against the ledger, the POS guest
// database against a full refresh, and every database file for integrity.
#pragma once

#include <QString>
#include <QTextStream>
#include <cstdint>

namespace quorvel::soak {

struct CrashOptions {
    QString program;  // the quorvel executable
    QString self;     // this executable, for the full-refresh helper run
    QString dir;      // the hotel folder to create (must not exist)
    int kills = 200;
    int intervalMs = 50;  // the program's polling interval
    int minRunMs = 100;   // a run lasts this long at least before its kill
    int maxRunMs = 1500;
    bool busyHotel = true;      // run the hotel system beside the program
    bool lfOnly = true;         // the POS writes some files with lone LF line ends
    bool inPlace = true;        // and some in place, a piece at a time
    bool pausedWriter = true;   // some with pauses longer than the polling interval
    bool checkArchives = true;  // every dropped file in exactly one archive
    // A libpq connection string: the hotel is put on that server (its own
    // database there, made empty) and QuorvelDB.txt points the program at it.
    QString server;
    // Restarts the server: run with "fast" or "immediate"; empty: none.
    QString restartCommand;
    int restarts = 0;  // spread over the kills, the first one "immediate"
    std::uint64_t seed = 1;
};

// Runs the soak, prints the one-line result to out (details of any fault
// first) and returns 0 when nothing was lost, doubled or damaged.
int runCrashSoak(const CrashOptions& options, QTextStream& out);

// The full refresh ("Aggiorna Dati") of the hotel in dir, in this process;
// returns 0 on success. The soak runs it in a child process of its own.
int refreshGuests(const QString& dir);

}  // namespace quorvel::soak
