// The export of in-house guests for the POS: the rows of table ClientiCasa in
// the POS's folder (named by the first line of "POSDest.txt") and the list
// "Clienti.txt" beside it.
//
// A room's rows are replaced in one transaction, so the POS never reads a
// room half-written; the full refresh replaces every room in one
// transaction and writes the list through a temporary file.
#pragma once

#include "platform/Seams.h"
#include "polling/GuestList.h"
#include "polling/PosFileRules.h"

#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

namespace quorvel {

class GuestExport {
public:
    // REQUIRES: dialogs outlives the export.
    explicit GuestExport(Dialogs& dialogs);

    // Rewrites the rows of one hotel room under its POS code. mode "1": one
    // row per present card of the room (in-house cards first); "0": one blank
    // row per present card; anything else: only clears the room. Shows the
    // warning and changes nothing when "POSDest.txt" is missing. Throws Error,
    // changing nothing, when the room map "QuorveloCamere.txt" exists but
    // cannot be read; and when a database cannot be read or written.
    void AggiornaCamera(const QString& room, const QString& mode);

    // Rewrites every room whose type has Tipologia 'C', then writes
    // "Clienti.txt" afresh. Without "POSDest.txt" it shows the warning once
    // and changes nothing. Throws Error as above; an unreadable room map
    // fails the refresh before any POS file is touched.
    void AggiornaClienti();

    // The first line of "POSDest.txt", or nullopt (warning shown) when the
    // file is missing; also nullopt, reported once, when it is not a regular
    // file (a FIFO would block the read).
    std::optional<QString> destination();

private:
    Dialogs& m_dialogs;
    RefusalReport m_posDestReport;
};

// The rows of "Clienti.txt" in file order, from the guest rows of the
// database in the order of NumeroCamera; rows with an empty code left out.
QStringList clientiLines(const std::vector<GuestRow>& rowsInOrder);

}  // namespace quorvel
