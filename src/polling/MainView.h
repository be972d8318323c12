// What the transfer and polling code needs of the main window (PosDT), and
// what the main window calls back. The core depends only on these
// interfaces; ui/PosDT implements MainView and calls PosDTHandlers.
#pragma once

#include <QString>
#include <QStringList>
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

namespace quorvel {

// A line of the error history as List2 holds it: its text (what the list
// shows), its id in the store (for the repair menu) and why it failed.
struct ErrorLineInfo {
    std::int32_t id = 0;
    QString text;
    QString reason;  // Italian; empty when unknown
};

// The error history as it stood at one refresh, read a page at a time: the
// window reads the lines it shows, never the whole history.
class ErrorHistory {
public:
    virtual ~ErrorHistory() = default;
    // How many lines the history held at the refresh.
    virtual int size() const = 0;
    // Lines first .. first + count - 1, oldest first: fewer when lines were
    // removed since the refresh (the next refresh shows it). Throws Error
    // when the store cannot be read.
    virtual std::vector<ErrorLineInfo> lines(int first, int count) const = 0;
    // Their ids alone (a selection of many lines), as lines() finds them.
    virtual std::vector<std::int32_t> ids(int first, int count) const = 0;
};

// A history held in memory: a view given its lines, tests, pictures.
class ErrorLinesHistory : public ErrorHistory {
public:
    explicit ErrorLinesHistory(std::vector<ErrorLineInfo> lines) : m_lines(std::move(lines)) {}
    int size() const override { return static_cast<int>(m_lines.size()); }
    std::vector<ErrorLineInfo> lines(int first, int count) const override {
        const auto [from, to] = range(first, count);
        return {m_lines.begin() + from, m_lines.begin() + to};
    }
    std::vector<std::int32_t> ids(int first, int count) const override {
        const auto [from, to] = range(first, count);
        std::vector<std::int32_t> out;
        for (auto i = from; i < to; ++i) out.push_back(m_lines[static_cast<std::size_t>(i)].id);
        return out;
    }

private:
    std::pair<std::ptrdiff_t, std::ptrdiff_t> range(int first, int count) const {
        const auto n = static_cast<std::ptrdiff_t>(m_lines.size());
        const auto from = std::clamp<std::ptrdiff_t>(first, 0, n);
        return {from, std::clamp<std::ptrdiff_t>(from + std::max(count, 0), from, n)};
    }
    std::vector<ErrorLineInfo> m_lines;
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
    // List2 as a window on the history: a view that shows few lines at a
    // time reads only those; this one reads them all.
    virtual void showErrorHistory(const std::shared_ptr<const ErrorHistory>& history) {
        showErrorLines(history->lines(0, history->size()));
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
