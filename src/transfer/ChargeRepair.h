// Repair from the error history: a line of the history (with the "Sconto"
// line after it, which always goes with its charge) run through the posting
// rules again ("Riprova"), or posted to a hotel room's in-house guest
// ("Assegna a camera…") or to an external client by card number ("Assegna a
// cliente esterno…").
//
// Exactly once: one workspace transaction removes the line's rows from the
// error history, writes the account row and the journal's record of the
// action. The removal must find the line, else nothing is posted ("già
// riparata"): of two operators, a command line and a tick acting at once,
// only one posts it. A bad answer or a line that still cannot be posted
// changes nothing.
#pragma once

#include "platform/Settings.h"
#include "transfer/PostingJournal.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <vector>

namespace quorvel {

class ChargeStore;
struct PostTarget;

struct RepairSeams {
    // After every row written (history removal, account row, journal) and
    // after the commit.
    std::function<void()> afterWrite;
    // After the line was read from the history, before the transaction: a
    // test runs a rival repair or tick here.
    std::function<void()> beforeTransaction;
};

class ChargeRepair {
public:
    enum class Status {
        Posted,   // posted, out of the error history
        Failed,   // the line cannot be posted (on any target): it stays, message says why
        Refused,  // a bad answer (no guest in the room, unknown or departed card, empty text)
        Gone,     // no longer in the history: repaired or cleared meanwhile
    };
    struct Result {
        Status status = Status::Refused;
        QString message;                  // Italian, for the operator (also on success)
        int lines = 0;                    // history lines posted (the charge and its discount)
        std::vector<std::int32_t> ids;    // their ids in the history
        Esito outcome = Esito::Storico;   // Posted: Camera or Esterno
        Motivo reason = Motivo::Nessuno;  // Failed, Refused by the rules: why
    };

    // REQUIRES: settings and store outlive the repair.
    ChargeRepair(const Settings& settings, ChargeStore& store, RepairSeams seams = {});

    // errorId: the line's Progressivo in the error history (a "Sconto"
    // line's stands for its charge). Each throws Error on a database
    // failure, with nothing changed.
    Result riprova(std::int32_t errorId);
    // room: a hotel room as typed (blanks around it dropped).
    Result assegnaCamera(std::int32_t errorId, const QString& room);
    // card: the external client's NumeroProgressivo as typed.
    Result assegnaEsterno(std::int32_t errorId, const QString& card);

private:
    Result repair(std::int32_t errorId, const PostTarget& target, Azione action);

    const Settings& m_settings;
    ChargeStore& m_store;
    RepairSeams m_seams;
};

}  // namespace quorvel
