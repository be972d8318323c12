// The hotel's side of the interface's requests, on the program's store and
// the hotel's databases: the posting inquiry, the postings with their
// answers, and the in-house guests the POS is told about.
//
// Postings go through the transfer's rules (transfer/ChargePoster.h): the
// in-house guest's room account, summed per guest, room, day and item, else
// the external client holding the room. The answer codes (field AS):
//   OK  posted
//   NG  no guest: nobody in house (nor an external client) for the room, or
//       the chosen guest no longer holds it
//   UR  unprocessable: no sequence number, a bad amount or date, sub-totals
//       that do not add up to the total, an unknown outlet
//   RY  retry: the store or a hotel file is busy or failing; nothing posted
// Exactly once: an answer other than RY is remembered in table
// RisposteCassa of "QuorvelCoda.db", keyed by workstation (WS), sequence
// number (P#) and date (DA), in the transaction that posts the charge and
// writes its journal row; a request repeated with the same key gets the
// same answer and posts nothing. Answers older than giorni_risposte days are
// removed once a day (forgetAnswers). A refused posting goes to the journal
// (outcome Rifiutato, with its reason), never to the error history: the
// cashier has been told. Sub-totals (S1..S9) post under the items their
// outlet maps them to: one account row, and one journal row, per item.
#pragma once

#include "interface/FiasRecord.h"
#include "interface/InterfaceSettings.h"
#include "platform/Currency.h"
#include "platform/Settings.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

namespace quorvel {

class ChargeStore;

// An in-house guest as the POS sees it.
struct PosGuest {
    QString posRoom;  // the room under the POS's code
    QString number;   // G#: the card's NumeroProgressivo
    QString name;
    QString arrival, departure;  // YYYYMMDD as stored
    bool operator==(const PosGuest&) const = default;
};

class PostingDesk {
public:
    static constexpr char AnswersTable[] = "RisposteCassa";

    // Creates the answers table when missing. Throws Error.
    // REQUIRES: every argument outlives the desk.
    PostingDesk(const Settings& settings, const InterfaceSettings& config, ChargeStore& store);

    // A posting request carrying PI: the posting list of the room's in-house
    // guests (the first is the one the transfer would charge), then the
    // external client of the room (G# "E" + card), or a PA with NG.
    fias::Record inquiry(const fias::Record& request);
    // Posting requests and postings simple: their posting answers, in
    // order. All go in one transaction (so many POS posting at once share
    // its commit); when it fails, each is tried again on its own, so one bad
    // request never holds back the others.
    std::vector<fias::Record> post(const std::vector<fias::Record>& requests);

    // Every in-house guest by the transfer's selection, in card order.
    // Throws Error.
    std::vector<PosGuest> inHouse();

    // Forgets the answers remembered before at minus giorni_risposte days: a
    // POS resends within minutes, so that window keeps exactly once. nullopt
    // (nothing done) while a transaction or the operator's work is open.
    // Returns how many were removed. Throws Error.
    std::optional<std::int64_t> forgetAnswers(const QDateTime& at);

private:
    struct Answer {
        QString status, text;
    };
    struct Request;
    fias::Record answer(const fias::Record& request, const Answer& a) const;
    Request read(const fias::Record& record) const;
    std::vector<Answer> postAll(std::vector<Request>& requests, QStringList& logLines);

    const Settings& m_settings;
    const InterfaceSettings& m_config;
    ChargeStore& m_store;
};

// Amount fields: whole minor units (cents), an optional leading '-'.
std::optional<Currency> protocolAmount(const QString& text);

}  // namespace quorvel
