// What the transfer and polling code needs of the main window (PosDT), and
// what the main window calls back. The core depends only on these
// interfaces; ui/PosDT implements MainView and calls PosDTHandlers.
#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

namespace quorvel {

// A line of the error history as List2 holds it: its text (what the list
// shows), its id in the store (for the repair menu) and why it failed.
struct ErrorLineInfo {
    std::int32_t id = 0;
    QString text;
    QString reason;  // Italian; empty when unknown
};

// The repair menu of List2.
enum class Riparazione { Riprova, AssegnaCamera, AssegnaEsterno };

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
    // List2 with each line's id and reason; a view that has no use for
    // them shows the texts.
    virtual void showErrorLines(const std::vector<ErrorLineInfo>& lines) {
        QStringList texts;
        for (const ErrorLineInfo& l : lines) texts << l.text;
        showErrors(texts);
    }
    // A busy indicator while a long operation ("&Aggiorna Dati") runs.
    virtual void setBusy(bool busy) = 0;
    // How far a long repair got (empty: done). The window shows it and
    // handles its pending events meanwhile (no input), so a due tick runs.
    virtual void showProgress(const QString& /*text*/) {}
};

// Handlers of PosDT's events, filled in by the transfer and polling layers.
class PosDTHandlers {
public:
    virtual ~PosDTHandlers() = default;
    virtual void tastoClick(int index) = 0;  // Tasto(0..3)
    virtual void aggiornaDati() = 0;         // menu1(2) "&Aggiorna Dati"
    // Timer1_Timer. Returns false when the tick failed (logged already).
    virtual bool timerTick() = 0;
    // A choice of List2's context menu on the selected lines (their ids).
    virtual void riparaClick(Riparazione /*what*/, const std::vector<std::int32_t>& /*ids*/) {}
};

}  // namespace quorvel
