// The day's reconciliation ("&Quadratura"): for each charge day and each
// charges file, what the POS sent against where the posting journal says
// each line went, and whether the two sides balance.
//
// The received side comes from table Ricevuti (written when a file is
// taken), never from the journal, so a journal row removed by hand shows as
// a difference. A journal row counts as pending only while its Pendenti line
// exists, and as in the error history only while its Errori line exists, so
// a queue line removed behind the program's back shows too.
//
// Balance: received = room + external + error + cleared + pending + dropped
// + refused.
// A "Sconto" line counts where its charge went, with its own (negative)
// amount; one with no charge before it is dropped and counted as such.
#pragma once

#include "platform/Currency.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <optional>
#include <utility>
#include <vector>

namespace quorvel {

class ChargeStore;

// A number of lines and the sum of those whose amount is a number.
struct LineCount {
    std::int32_t lines = 0;
    Currency sum;

    void add(const std::optional<Currency>& amount) {
        ++lines;
        if (amount)
            sum += *amount;
    }
    LineCount& operator+=(const LineCount& o) {
        lines += o.lines;
        sum += o.sum;
        return *this;
    }
    bool operator==(const LineCount&) const = default;
};

// One charges file on one charge day, or a total of several.
struct ReconciliationRow {
    QString day;      // YYYYMMDD as read
    QString archive;  // the charges file's archive name; empty for a total
    LineCount received;
    LineCount room;              // posted to an in-house guest's room account
    LineCount external;          // posted to an external client's account
    LineCount repairedRoom;      // of room: posted by a repair from the error history
    LineCount repairedExternal;  // of external: the same
    LineCount error;             // in the error history (its Errori line present)
    LineCount cleared;           // cleared by "&Cancella"
    LineCount pending;           // waiting for a transfer (its Pendenti line present)
    LineCount dropped;           // "Sconto" lines with no charge before them
    LineCount refused;           // POS postings refused at the till (the cashier was answered)
    LineCount vanished;          // journal says pending / in the history, its queue line is gone

    // What the journal accounts for (vanished lines excluded).
    LineCount accounted() const;
    // received - accounted: zero lines and sum when the day balances.
    LineCount difference() const;
    bool balanced() const { return difference() == LineCount{}; }
    ReconciliationRow& operator+=(const ReconciliationRow& o);
};

struct DayReconciliation {
    QString day;
    std::vector<ReconciliationRow> files;  // by archive name
    ReconciliationRow total;
    LineCount receipts;  // receipts imported from closing files that day
};

struct Reconciliation {
    QString dayFrom, dayTo;               // YYYYMMDD, inclusive
    std::vector<DayReconciliation> days;  // days with anything, in order
    ReconciliationRow total;
    LineCount receipts;
};

// Reads Ricevuti, the view Giornale, Pendenti and Errori of the store for the charge
// days in [dayFrom, dayTo]. Throws Error when the store cannot be read.
Reconciliation reconcile(ChargeStore& store, const QString& dayFrom, const QString& dayTo);

// The reconciliation as report lines (frames of '|', '+' and '-', Italian
// amounts, so that the print menu's export makes columns of them).
QStringList reconciliationText(const Reconciliation& r, const QDateTime& printed);

// ';'-separated lines with a header, decimal comma, no thousands mark.
QStringList reconciliationCsv(const Reconciliation& r);

// A day typed by the operator: YYYYMMDD or DD/MM/YYYY, a real date. Returns
// it as YYYYMMDD.
std::optional<QString> parseDay(const QString& text);
// A day, or two days joined by '-' (from, to; from not after to).
std::optional<std::pair<QString, QString>> parseDayRange(const QString& text);
// YYYYMMDD as DD/MM/YYYY; any other text unchanged.
QString dayText(const QString& day);
// An amount as the reports write it: 1.234,56.
QString amountText(Currency c);

}  // namespace quorvel
