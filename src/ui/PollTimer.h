// Timer1: the polling cycle's timer. A single-shot timer re-armed when a tick
// ends, so the next tick comes a full interval after the previous one ended.
// A tick never starts while WorkGuard is held (the rules are written there):
// it is skipped and the timer re-armed. A tick that throws is logged and
// counts as failed.
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
    // Called with the cause when a tick throws.
    void setFailureHandler(std::function<void(const QString&)> f) { m_onFailure = std::move(f); }

    void start() { m_timer.start(); }
    void stop() { m_timer.stop(); }
    bool isActive() const { return m_timer.isActive(); }

    // Runs one tick now (unless WorkGuard is held) and re-arms the timer.
    Outcome fire();

private:
    QTimer m_timer;
    std::function<bool()> m_tick;
    std::function<void(const QString&)> m_onFailure;
};

}  // namespace quorvel
