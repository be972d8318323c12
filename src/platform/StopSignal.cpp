// The self-pipe that turns a stop signal into an event of the event loop.
#include "platform/StopSignal.h"

#include "platform/Log.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <csignal>

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#include <cerrno>
#include <csignal>
#endif

namespace quorvel {

namespace {
volatile std::sig_atomic_t s_stopRequested = 0;
}  // namespace

bool stopRequested() {
    return s_stopRequested != 0;
}

void setStopRequested(bool on) {
    s_stopRequested = on ? 1 : 0;
}

#ifndef _WIN32
namespace {

int s_pipe[2] = {-1, -1};
constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

// Async-signal-safe: one write, errno kept.
void onStopSignal(int signal) {
    const int saved = errno;
    s_stopRequested = 1;
    const char byte = static_cast<char>(signal);
    [[maybe_unused]] const ssize_t written = ::write(s_pipe[1], &byte, 1);
    errno = saved;
}

QString signalName(int signal) {
    switch (signal) {
        case SIGTERM:
            return QStringLiteral("SIGTERM");
        case SIGINT:
            return QStringLiteral("SIGINT");
        case SIGHUP:
            return QStringLiteral("SIGHUP");
        default:
            return QStringLiteral("segnale %1").arg(signal);
    }
}

}  // namespace
#endif

StopSignal::StopSignal(QObject* parent) : QObject(parent) {
#ifndef _WIN32
    if (::pipe(s_pipe) != 0) {
        log::error(QStringLiteral("Arresto ordinato non disponibile: pipe non creata"));
        return;
    }
    for (int fd : s_pipe) ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    ::fcntl(s_pipe[1], F_SETFL, O_NONBLOCK);
    m_notifier = new QSocketNotifier(s_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &StopSignal::readSignal);
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : kSignals) ::sigaction(signal, &action, nullptr);
#endif
}

StopSignal::~StopSignal() {
#ifndef _WIN32
    if (s_pipe[0] < 0)
        return;
    for (int signal : kSignals) ::signal(signal, SIG_DFL);
    delete m_notifier;
    m_notifier = nullptr;
    for (int& fd : s_pipe) {
        ::close(fd);
        fd = -1;
    }
#endif
}

void StopSignal::readSignal() {
#ifndef _WIN32
    char byte = 0;
    if (::read(s_pipe[0], &byte, 1) != 1 || !m_received.isEmpty())
        return;
    m_received = signalName(byte);
    log::info(
        QStringLiteral("Arresto richiesto dal sistema (%1): il programma termina").arg(m_received));
    // exit(), not quit(): quit() first asks every window to close, and the
    // main window refuses.
    QCoreApplication::exit(0);
#endif
}

}  // namespace quorvel
