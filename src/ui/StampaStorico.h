// "&Stampa" of the main window: the error history written into the report
// file, then the print menu shown modally. Set as TransferButtons' stampa
// hook; it keeps the one page printer of the program, so that the printer
// chosen by a print stays chosen for the next.
#pragma once

#include "platform/Seams.h"
#include "ui/QtPagePrinter.h"

#include <QStringList>
#include <cstdint>
#include <functional>

class QWidget;

namespace quorvel {

namespace db {
class Workspace;
}

class ChargeStore;

class StampaStorico {
public:
    // ws: the workspace the print menu reads the printer tables in.
    // REQUIRES: services.dialogs, .clock and .shell set; every argument
    // outlives it.
    StampaStorico(Services& services, db::Workspace& ws, QWidget* parent = nullptr);

    // Writes errors (oldest first) into the report file and shows the print
    // menu for hotel hotelCorrente. A report that cannot be written is
    // logged and shown, and the menu is not opened.
    void stampa(const QStringList& errors, std::int16_t hotelCorrente);

    // "&Quadratura": asks for the charge day (today by default; a range as
    // "dal-al"), writes the day's reconciliation into the report file and
    // shows the print menu, so it prints, previews, exports and mails like
    // the error history. A day that is no date is told and nothing is done.
    void quadratura(ChargeStore& store, std::int16_t hotelCorrente);

    // Shows the print menu for the given hotel; replaceable in tests.
    std::function<void(std::int16_t hotelCorrente)> showMenu;

    QtPagePrinter& printer() { return m_printer; }

private:
    // Writes lines into the report file and shows the menu; what names the
    // report in the log and in a failure's message.
    void report(const QString& what, const QStringList& lines, std::int16_t hotelCorrente);

    Services& m_services;
    QWidget* m_parent;
    QtPagePrinter m_printer;
};

}  // namespace quorvel
