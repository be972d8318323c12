// The one guard that decides when a polling tick may run. Everything runs on
// the user-interface thread, but a handler that waits on a modal window runs
// a nested event loop in which the timer can fire; this guard keeps a tick
// out of work whose state it would change under the operator's feet.
//
// A tick does NOT start (it is skipped and the timer re-armed) while any of
// these holds the guard:
//   - a tick: no tick inside a tick, nor while the tick's own message boxes
//     ("Scelta passaggio", the "POSDest.txt" warning) are open;
//   - "&Trasferisci": the operator's transfer and its warning;
//   - "&Cancella", from the first confirmation to the clearing, so that a
//     line the operator never saw is not cleared with the rest;
//   - "&Aggiorna Dati", the full guest refresh;
//   - a repair from List2's menu, except between two lines of a long one
//     (each line is committed on its own, see WorkGuard::Pause);
//   - a settings menu item, from its re-reading of "Quorvel.txt" through its
//     questions to its rewrite of the file.
// A tick DOES run while the print menu, the preview, the e-mail hand-over or
// any other window only shows or prints what was already written (the report
// file is a copy of the error history): polling must never wait for an
// operator who left such a window open.
#pragma once

namespace quorvel {

// Held for the scope of one piece of work listed above. One per process.
class WorkGuard {
public:
    WorkGuard() : m_entered(!s_busy) { s_busy = true; }
    ~WorkGuard() {
        if (m_entered)
            s_busy = false;
    }
    WorkGuard(const WorkGuard&) = delete;
    WorkGuard& operator=(const WorkGuard&) = delete;
    // False when other work was running already (the guard changes nothing).
    bool entered() const { return m_entered; }
    // True while a tick must not start.
    static bool busy() { return s_busy; }

    // Lets a tick run for its scope: inside long work, between two of its
    // steps, each committed on its own (a repair of many lines).
    class Pause {
    public:
        Pause() : m_was(s_busy) { s_busy = false; }
        ~Pause() { s_busy = m_was; }
        Pause(const Pause&) = delete;
        Pause& operator=(const Pause&) = delete;

    private:
        bool m_was;
    };

private:
    inline static bool s_busy = false;
    bool m_entered;
};

}  // namespace quorvel
