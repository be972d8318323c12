// Timer1: the polling cycle's timer. A single-shot timer re-armed when a tick
// ends, so the next tick comes a full interval after the previous one ended.
// A tick never starts while another tick runs or while the blocker says no
// (a click handler or a modal window is running): it is skipped and the
// timer re-armed. A tick that throws is logged and counts as failed.
#pragma once

#include <QObject>
#include <QTimer>
#include <functional>

namespace quorvel {

class PollTimer : public QObject {
    Q_OBJECT
public:
    enum class Outcome { Ran, Failed, Skipped };

    explicit PollTimer(QObject* parent = nullptr);

    void setInterval(int ms) { m_timer.setInterval(ms); }
    int interval() const { return m_timer.interval(); }
    // The tick; returns false when it failed.
    void setTick(std::function<bool()> tick) { m_tick = std::move(tick); }
    // Returns true while a tick must not start.
    void setBlocker(std::function<bool()> blocked) { m_blocked = std::move(blocked); }
    // Called with the cause when a tick throws.
    void setFailureHandler(std::function<void(const QString&)> f) { m_onFailure = std::move(f); }

    void start() { m_timer.start(); }
    void stop() { m_timer.stop(); }
    bool isActive() const { return m_timer.isActive(); }
    bool inTick() const { return m_inTick; }

    // Runs one tick now (unless blocked) and re-arms the timer.
    Outcome fire();

private:
    QTimer m_timer;
    std::function<bool()> m_tick;
    std::function<bool()> m_blocked;
    std::function<void(const QString&)> m_onFailure;
    bool m_inTick = false;
};

}  // namespace quorvel
