// "&Stampa" of the main window: the error history written into the report
// file, then the print menu shown modally. Set as TransferButtons' stampa
// hook; it keeps the one page printer of the program, so that the printer
// chosen by a print stays chosen for the next.
#pragma once

#include "platform/Seams.h"
#include "ui/QtPagePrinter.h"

#include <QStringList>
#include <functional>

class QWidget;

namespace quorvel {

class StampaStorico {
public:
    // REQUIRES: services.dialogs, .clock and .shell set; services and parent
    // outlive it.
    explicit StampaStorico(Services& services, QWidget* parent = nullptr);

    // Writes errors (oldest first) into the report file and shows the print
    // menu. A report that cannot be written is logged and shown, and the
    // menu is not opened.
    void stampa(const QStringList& errors);

    // Shows the print menu; replaceable in tests.
    std::function<void()> showMenu;

    QtPagePrinter& printer() { return m_printer; }

private:
    Services& m_services;
    QWidget* m_parent;
    QtPagePrinter m_printer;
};

}  // namespace quorvel
