// What the transfer and polling code needs of the main window (PosDT), and
// what the main window calls back. The core depends only on these
// interfaces; ui/PosDT implements MainView and calls PosDTHandlers.
#pragma once

#include <QString>
#include <QStringList>

namespace quorvel {

class MainView {
public:
    virtual ~MainView() = default;
    // Combo1's current text (the transfer type).
    virtual QString transferType() const = 0;
    // Gives Combo1 the input focus (after the "Scelta passaggio" warning).
    virtual void focusTransferType() = 0;
    virtual void showWindow() = 0;
    virtual void hideWindow() = 0;
    // Replace what List1 (pending charges) and List2 (error history) show.
    virtual void showPending(const QStringList& lines) = 0;
    virtual void showErrors(const QStringList& lines) = 0;
    // A busy indicator while a long operation ("&Aggiorna Dati") runs.
    virtual void setBusy(bool busy) = 0;
};

// Handlers of PosDT's events, filled in by the transfer and polling layers.
class PosDTHandlers {
public:
    virtual ~PosDTHandlers() = default;
    virtual void tastoClick(int index) = 0;  // Tasto(0..3)
    virtual void aggiornaDati() = 0;         // menu1(2) "&Aggiorna Dati"
    // Timer1_Timer. Returns false when the tick failed (logged already).
    virtual bool timerTick() = 0;
};

}  // namespace quorvel
