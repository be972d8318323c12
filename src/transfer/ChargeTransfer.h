// The charge transfer run `TrasferisciAddebiti`: posts every pending POS
// charge line of the store to the guest's room account ("Conto_Cliente.mdb"),
// else to an external client's account ("ContoEsterni.mdb"), else lists it
// in the error history; a following "Sconto" line is folded into its charge
// (the rules: transfer/ChargePoster.h). Each handled line's journal row gets
// its outcome in the batch's transaction.
//
// Exactly once: lines are handled in batches, each one workspace
// transaction that writes the account rows, appends the listed lines to the
// error history and removes the handled lines from the pending list. A
// batch is committed as soon as it has run for the batch budget (150 ms by
// default) or holds the line cap (5,000 lines), so the hotel's files are
// never held locked much longer while the hotel system works on them, and a
// commit's flushes are shared by thousands of lines. A charge and its "Sconto" line are always
// in the same batch. A kill at any instant leaves every line either pending
// (its batch rolled back) or handled once.
//
// A run takes every pending line, however many (no 16-bit list index). It
// reads the two room-code side files once, at its start; one that exists
// but cannot be read fails the run before any line is handled. A database
// failure throws Error: the open batch rolls back, earlier batches stay
// committed, and what was not handled stays pending.
#pragma once

#include "platform/Settings.h"

#include <QString>
#include <algorithm>
#include <chrono>
#include <functional>

namespace quorvel {

class ChargeStore;

struct TransferResult {
    int roomCharges = 0;      // posted to an in-house guest's room account
    int externalCharges = 0;  // posted to an external client's account
    int listed = 0;           // lines added to the error history
    int discounts = 0;        // "Sconto" lines folded into their charge
    int dropped = 0;          // "Sconto" lines with no charge before them
    int batches = 0;          // transactions committed
};

// What a test may watch; the program passes none.
struct TransferSeams {
    // Called after every row written (account row, error line, removal
    // of the handled lines) and after every commit.
    std::function<void()> afterWrite;
    // False runs without the posting journal: for the benchmark that
    // measures what the journal costs, never in the program.
    bool journal = true;
};

class ChargeTransfer {
public:
    using Seams = TransferSeams;

    // REQUIRES: settings and store outlive the transfer.
    ChargeTransfer(const Settings& settings, ChargeStore& store, Seams seams = {});

    // One run over every pending line. Throws Error on a database failure.
    TransferResult TrasferisciAddebiti();

    void setBatchBudget(std::chrono::milliseconds budget) { m_budget = budget; }
    void setBatchLineCap(int lines) { m_lineCap = std::max(1, lines); }

private:
    struct Run;

    const Settings& m_settings;
    ChargeStore& m_store;
    Seams m_seams;
    std::chrono::milliseconds m_budget{150};
    int m_lineCap = 5000;
};

}  // namespace quorvel
