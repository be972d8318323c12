// A stop asked by the system (SIGTERM from a service manager or a shutdown,
// SIGINT from a terminal, SIGHUP): the signal handler only writes the signal's
// number into a pipe; a notifier in the event loop reads it, logs the stop
// and ends the event loop, so the program ends as after any other run, with
// its last log line and its lock released. No-op on Windows for now.
#pragma once

#include <QObject>
#include <QString>

class QSocketNotifier;

namespace quorvel {

// True once a stop signal arrived (set by the handler itself), so a call
// that waits on the network can give up at once instead of holding the
// event loop that would end the program.
bool stopRequested();
void setStopRequested(bool on);  // for tests

class StopSignal : public QObject {
    Q_OBJECT
public:
    // Installs the handlers; one instance per process, created after the
    // application object. REQUIRES: an event loop runs for the stop to act.
    explicit StopSignal(QObject* parent = nullptr);
    ~StopSignal() override;
    StopSignal(const StopSignal&) = delete;
    StopSignal& operator=(const StopSignal&) = delete;

    // The name of the signal that stopped the program; empty while none did.
    const QString& received() const { return m_received; }

private:
    void readSignal();

    QSocketNotifier* m_notifier = nullptr;
    QString m_received;
};

}  // namespace quorvel
