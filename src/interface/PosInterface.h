// The listener for POS systems speaking the interface protocol, on the
// program's event loop (in the window and in --headless alike): several
// connections at once, each its own byte stream of records.
//
// The link, per connection:
//   accepted only from an address allowed in "QuorvelPOS.txt" (else closed
//   at once, logged); the bridge sends LS (link start). On the POS's LS it
//   sends LD (its description), one LR per record type it sends (with the
//   fields) and LA. The POS's LR records narrow the fields sent to it.
//   LA (link alive) is answered unless it answers the bridge's own; after
//   attesa_vita seconds without a byte the bridge sends LA, after twice that
//   it closes the link. LE (link end) is answered with LE and the link closed.
// Requests: PR with PI is a posting inquiry (answered with PL or PA), PR
// and PS are postings (answered with PA: interface/PostingDesk.h), DR a
// database resync (DS, one GI per in-house guest, DE). Guest changes are
// pushed to every linked POS as GI / GO / GC. A record that cannot be read
// is dropped with a log line; a client that does not read its answers is
// closed once MaxUnsent bytes wait for it. Nothing here blocks: each record
// is handled when its bytes arrive; the postings that arrived by the next
// turn of the event loop, from every POS, share one transaction.
#pragma once

#include "interface/FiasRecord.h"
#include "interface/InterfaceSettings.h"
#include "interface/PostingDesk.h"
#include "platform/Settings.h"

#include <QDate>
#include <QObject>
#include <QTcpServer>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QTcpSocket;

namespace quorvel {

class ChargeStore;

class PosInterface : public QObject {
    Q_OBJECT
public:
    // Bytes that may wait for a POS that does not read before it is closed.
    static constexpr qint64 MaxUnsent = 1024 * 1024;
    // Connections beyond this are refused (logged): a POS per till is far fewer.
    static constexpr int MaxConnections = 256;

    // store: the program's store, opened on first use (it may throw).
    // REQUIRES: settings outlives the interface.
    PosInterface(const Settings& settings, InterfaceSettings config,
                 std::function<ChargeStore&()> store, QObject* parent = nullptr);
    ~PosInterface() override;

    // Listens on the configured address and port (0: any free port); false,
    // logged, when it cannot.
    bool start();
    quint16 port() const { return m_server.serverPort(); }
    int connections() const;

    // Compares the in-house guests with what linked POS were last told and
    // sends them GI, GO and GC for each difference.
    void guestsMayHaveChanged();

    // The alive check, run by a timer; a test calls it with its own clock.
    // It also forgets old remembered answers, at start and once a day.
    void checkAlive();
    void setClock(std::function<qint64()> msNow) { m_now = std::move(msNow); }
    void setMaxUnsent(qint64 bytes) { m_maxUnsent = bytes; }

private:
    struct Link;
    void accept();
    void receive(Link& link);
    void handle(Link& link, const fias::Record& record);
    void send(Link& link, fias::Record record);
    void sendAlive(Link& link);
    // flush: the bytes sent so far still go out (LE); otherwise dropped.
    void close(Link& link, const QString& why, bool flush = false);
    void linkUp(Link& link);
    void resync(Link& link);
    // Answers the postings queued since the last turn of the event loop.
    void postQueued();
    PostingDesk& desk();
    Link* linkOf(QTcpSocket* socket);
    void forgetOldAnswers();
    fias::Record stamped(const char* type) const;

    const Settings& m_settings;
    InterfaceSettings m_config;
    std::function<ChargeStore&()> m_store;
    std::unique_ptr<PostingDesk> m_desk;
    QTcpServer m_server;
    QTimer m_aliveTimer;
    std::vector<std::unique_ptr<Link>> m_links;
    std::optional<std::vector<PosGuest>> m_told;                // the guests linked POS know of
    std::vector<std::pair<QTcpSocket*, fias::Record>> m_queue;  // postings to answer
    std::function<qint64()> m_now;
    qint64 m_maxUnsent = MaxUnsent;
    QDate m_forgotten;  // the day old answers were last forgotten
};

// Reads "QuorvelPOS.txt" and starts the listener when it says so; nullptr
// (logged) when there is no file, it is off, it cannot be read or the port
// cannot be opened.
std::unique_ptr<PosInterface> startPosInterface(const Settings& settings,
                                                std::function<ChargeStore&()> store);

}  // namespace quorvel
