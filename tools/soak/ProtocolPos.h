// The crash soak's POS on the interface protocol: on a thread of its own it
// connects to the program (again after every kill), posts charges to
// external clients one after the other, each with an amount no other line
// has, and resends a posting whose answer did not come (the connection
// dropped, or no answer in time) with the same workstation, sequence number
// and date, until it is answered. Every answer must be OK for what was
// posted; the postings answered go into the ledger, so the final check
// finds each exactly once.
#pragma once

#include "soak/Ledger.h"

#include <atomic>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace quorvel::soak {

class ProtocolPos {
public:
    ProtocolPos(quint16 port, std::vector<SoakTargets::External> clients, std::uint64_t seed);
    ~ProtocolPos();
    void start();
    // Posts nothing new from now on; the posting under way is still resent
    // until answered.
    void finish();
    // True once finish() was called and every posting is answered.
    bool done() const { return m_done; }
    void stop();  // joins

    // Postings answered: external number, cents. REQUIRES: stopped.
    const std::vector<std::pair<QString, qint64>>& answered() const { return m_answered; }
    qint64 resends() const { return m_resends; }
    qint64 connections() const { return m_connections; }
    const QStringList& wrong() const { return m_wrong; }  // answers not as posted

private:
    void run();

    quint16 m_port;
    std::vector<SoakTargets::External> m_clients;
    hotel::Random m_random;
    std::atomic<bool> m_stop{false}, m_finish{false}, m_done{false};
    std::thread m_thread;
    std::vector<std::pair<QString, qint64>> m_answered;
    qint64 m_resends = 0, m_connections = 0;
    QStringList m_wrong;
};

// A free TCP port on 127.0.0.1 for the program to listen on.
quint16 freePort();

}  // namespace quorvel::soak
