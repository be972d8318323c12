// The interface listener and its links.
#include "interface/PosInterface.h"

#include "platform/Error.h"
#include "platform/Log.h"
#include "platform/Plural.h"
#include "platform/TextFile.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QHash>
#include <QPointer>
#include <QTcpSocket>
#include <algorithm>
#include <map>

namespace quorvel {

struct PosInterface::Link {
    QPointer<QTcpSocket> socket;  // null once Qt deleted a closed link's socket
    QString peer;
    fias::FrameReader reader;
    qint64 lastHeard = 0;
    bool aliveSent = false;  // our LA waits for its answer
    qint64 aliveSentAt = 0;
    bool linked = false;                          // the POS sent LS
    bool closed = false;                          // removed at the next turn of the event loop
    QHash<QByteArray, QList<QByteArray>> wanted;  // record type -> field ids (its LR)
};

namespace {

// The records the bridge sends, with their fields (its LR records).
const std::vector<std::pair<const char*, const char*>> kSent = {
    {"PA", "ASRNP#WSDATICT"}, {"PL", "RNG#GNP#WSDATI"},   {"GI", "RNG#GNGAGDDATI"},
    {"GO", "RNG#DATI"},       {"GC", "RNROG#GNGAGDDATI"}, {"DS", "DATI"},
    {"DE", "DATI"},
};

// YYYYMMDD as the protocol's YYMMDD; other texts as they are.
QString protocolDate(const QString& day) {
    return day.size() == 8 ? day.mid(2) : day;
}

}  // namespace

PosInterface::PosInterface(const Settings& settings, InterfaceSettings config,
                           std::function<ChargeStore&()> store, QObject* parent)
    : QObject(parent),
      m_settings(settings),
      m_config(std::move(config)),
      m_store(std::move(store)) {
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    m_now = [clock] { return clock->elapsed(); };
    connect(&m_server, &QTcpServer::newConnection, this, &PosInterface::accept);
    connect(&m_aliveTimer, &QTimer::timeout, this, &PosInterface::checkAlive);
    m_aliveTimer.setInterval(1000);
}

PosInterface::~PosInterface() {
    // Their signals must not reach this object while it goes.
    for (auto& link : m_links)
        if (QTcpSocket* socket = link->socket.data()) {
            socket->disconnect(this);
            delete socket;
        }
}

bool PosInterface::start() {
    if (!m_server.listen(m_config.address, m_config.port)) {
        log::error(QStringLiteral("Interfaccia cassa: impossibile ascoltare su %1 porta %2: %3")
                       .arg(m_config.address.toString())
                       .arg(m_config.port)
                       .arg(m_server.errorString()));
        return false;
    }
    m_aliveTimer.start();
    log::info(QStringLiteral("Interfaccia cassa in ascolto su %1 porta %2")
                  .arg(m_config.address.toString())
                  .arg(m_server.serverPort()));
    return true;
}

fias::Record PosInterface::stamped(const char* type) const {
    const QDateTime t = QDateTime::currentDateTime();
    fias::Record r;
    r.type = type;
    r.add("DA", t.toString(QStringLiteral("yyMMdd")));
    r.add("TI", t.toString(QStringLiteral("HHmmss")));
    return r;
}

int PosInterface::connections() const {
    return static_cast<int>(
        std::count_if(m_links.begin(), m_links.end(), [](const auto& l) { return !l->closed; }));
}

PosInterface::Link* PosInterface::linkOf(QTcpSocket* socket) {
    for (auto& l : m_links)
        if (l->socket == socket && !l->closed)
            return l.get();
    return nullptr;
}

void PosInterface::accept() {
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        const QString peer =
            QStringLiteral("%1:%2").arg(socket->peerAddress().toString()).arg(socket->peerPort());
        if (connections() >= MaxConnections) {
            log::error(QStringLiteral("Interfaccia cassa: connessione da %1 rifiutata: già %2 "
                                      "connessioni aperte")
                           .arg(peer)
                           .arg(MaxConnections));
            socket->abort();
            socket->deleteLater();
            continue;
        }
        if (!m_config.allows(socket->peerAddress())) {
            log::error(QStringLiteral("Interfaccia cassa: connessione da %1 rifiutata: indirizzo "
                                      "non ammesso in %2")
                           .arg(peer, kInterfaceSettingsFile));
            socket->abort();
            socket->deleteLater();
            continue;
        }
        auto link = std::make_unique<Link>();
        link->socket = socket;
        link->peer = peer;
        link->lastHeard = m_now();
        Link* l = link.get();
        m_links.push_back(std::move(link));
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
            if (Link* found = linkOf(socket))
                receive(*found);
        });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            if (Link* found = linkOf(socket))
                close(*found, QStringLiteral("chiusa dalla cassa"));
        });
        log::info(QStringLiteral("Interfaccia cassa: connessione da %1").arg(peer));
        send(*l, stamped("LS"));
    }
}

void PosInterface::receive(Link& link) {
    QTcpSocket* socket = link.socket;
    link.reader.feed(socket->readAll());
    link.lastHeard = m_now();
    for (const QString& p : link.reader.takeProblems()) {
        log::error(QStringLiteral("Interfaccia cassa, %1: %2").arg(link.peer, p));
    }
    while (auto body = link.reader.next()) {
        QString why;
        const auto record = fias::parse(*body, &why);
        if (!record) {
            log::error(QStringLiteral("Interfaccia cassa, %1: record scartato (%2): %3")
                           .arg(link.peer, why, log::escaped(decodeCp1252(body->left(200)))));
            continue;
        }
        try {
            handle(link, *record);
        } catch (const std::exception& e) {
            // The store could not be opened: logged, the POS is told to retry.
            log::error(QStringLiteral("Interfaccia cassa, %1: record %2 non trattato: %3")
                           .arg(link.peer, QString::fromLatin1(record->type), errorText(e)));
            if (record->type == "PR" || record->type == "PS") {
                fias::Record pa;
                pa.type = "PA";
                pa.add("AS", QStringLiteral("RY")).add("P#", record->value("P#"));
                pa.add("CT", QStringLiteral("Archivio non disponibile: riprovare"));
                send(link, pa);
            }
        }
        // The link may be gone (LE, a client that stopped reading).
        if (!linkOf(socket))
            return;
    }
}

void PosInterface::handle(Link& link, const fias::Record& r) {
    const QByteArray& t = r.type;
    if (t == "LS") {
        linkUp(link);
    } else if (t == "LA") {
        // Answered unless it answers ours, so two sides never ping-pong.
        if (!std::exchange(link.aliveSent, false))
            send(link, stamped("LA"));
    } else if (t == "LD") {
        log::info(QStringLiteral("Interfaccia cassa, %1: %2 versione %3")
                      .arg(link.peer, r.value("IF"), r.value("V#")));
    } else if (t == "LR") {
        QList<QByteArray> ids;
        const QByteArray list = r.value("FL").toLatin1();
        for (qsizetype i = 0; i + 1 < list.size(); i += 2) ids << list.mid(i, 2);
        link.wanted.insert(r.value("RI").toLatin1(), ids);
    } else if (t == "LE") {
        send(link, stamped("LE"));
        close(link, QStringLiteral("fine collegamento chiesta dalla cassa"), true);
    } else if (t == "PR" || t == "PS") {
        if (t == "PR" && r.has("PI")) {
            send(link, desk().inquiry(r));
        } else {
            if (m_queue.empty())
                QMetaObject::invokeMethod(this, &PosInterface::postQueued, Qt::QueuedConnection);
            m_queue.emplace_back(link.socket, r);
        }
    } else if (t == "DR") {
        resync(link);
    } else {
        log::info(QStringLiteral("Interfaccia cassa, %1: record %2 ignorato")
                      .arg(link.peer, QString::fromLatin1(t)));
    }
}

void PosInterface::postQueued() {
    std::vector<std::pair<QTcpSocket*, fias::Record>> queue;
    queue.swap(m_queue);
    if (queue.empty())
        return;
    std::vector<fias::Record> records;
    for (const auto& q : queue) records.push_back(q.second);
    std::vector<fias::Record> answers;
    try {
        answers = desk().post(records);
    } catch (const std::exception& e) {
        log::error(
            QStringLiteral("Interfaccia cassa: addebiti non trattati: %1").arg(errorText(e)));
        for (const fias::Record& r : records) {
            fias::Record pa;
            pa.type = "PA";
            pa.add("AS", QStringLiteral("RY")).add("P#", r.value("P#"));
            pa.add("CT", QStringLiteral("Archivio non disponibile: riprovare"));
            answers.push_back(pa);
        }
    }
    // A POS gone meanwhile gets nothing: its resend is answered from memory.
    for (std::size_t i = 0; i < queue.size(); ++i)
        if (Link* l = linkOf(queue[i].first))
            send(*l, answers[i]);
}

PostingDesk& PosInterface::desk() {
    if (!m_desk)
        m_desk = std::make_unique<PostingDesk>(m_settings, m_config, m_store());
    return *m_desk;
}

void PosInterface::linkUp(Link& link) {
    link.linked = true;
    fias::Record ld = stamped("LD");
    ld.add("V#", QCoreApplication::applicationVersion());
    ld.add("IF", QStringLiteral("Quorvel"));
    send(link, ld);
    for (const auto& [type, fields] : kSent) {
        fias::Record lr;
        lr.type = "LR";
        lr.add("RI", QString::fromLatin1(type));
        lr.add("FL", QString::fromLatin1(fields));
        send(link, lr);
    }
    sendAlive(link);
    // What this POS will be told changes of.
    if (!m_told) {
        try {
            m_told = desk().inHouse();
        } catch (const std::exception& e) {
            log::error(QStringLiteral("Interfaccia cassa: ospiti in casa non letti: %1")
                           .arg(errorText(e)));
        }
    }
}

void PosInterface::resync(Link& link) {
    std::vector<PosGuest> guests;
    try {
        guests = desk().inHouse();
    } catch (const std::exception& e) {
        log::error(
            QStringLiteral("Interfaccia cassa: riallineamento non riuscito: %1").arg(errorText(e)));
        return;
    }
    send(link, stamped("DS"));
    for (const PosGuest& g : guests) {
        fias::Record gi;
        gi.type = "GI";
        gi.add("RN", g.posRoom).add("G#", g.number).add("GN", g.name);
        gi.add("GA", protocolDate(g.arrival)).add("GD", protocolDate(g.departure));
        send(link, gi);
    }
    send(link, stamped("DE"));
    log::info(QStringLiteral("Interfaccia cassa, %1: riallineamento con %2")
                  .arg(link.peer, counted(static_cast<qint64>(guests.size()),
                                          QStringLiteral("ospite"), QStringLiteral("ospiti"))));
}

void PosInterface::guestsMayHaveChanged() {
    bool anyLinked = false;
    for (const auto& l : m_links) anyLinked = anyLinked || (l->linked && !l->closed);
    if (!anyLinked) {
        m_told.reset();
        return;
    }
    std::vector<PosGuest> now;
    try {
        now = desk().inHouse();
    } catch (const std::exception& e) {
        log::error(
            QStringLiteral("Interfaccia cassa: ospiti in casa non letti: %1").arg(errorText(e)));
        return;
    }
    if (!m_told) {
        m_told = std::move(now);
        return;
    }
    std::map<QString, const PosGuest*> before, after;
    for (const PosGuest& g : *m_told) before.emplace(g.number, &g);
    for (const PosGuest& g : now) after.emplace(g.number, &g);
    std::vector<fias::Record> out;
    for (const auto& [number, g] : before)
        if (!after.count(number)) {
            fias::Record go;
            go.type = "GO";
            go.add("RN", g->posRoom).add("G#", number);
            out.push_back(go);
        }
    for (const auto& [number, g] : after) {
        const auto was = before.find(number);
        if (was != before.end() && *was->second == *g)
            continue;
        fias::Record r;
        r.type = was == before.end() ? "GI" : "GC";
        r.add("RN", g->posRoom);
        if (was != before.end() && was->second->posRoom != g->posRoom)
            r.add("RO", was->second->posRoom);
        r.add("G#", number).add("GN", g->name);
        r.add("GA", protocolDate(g->arrival)).add("GD", protocolDate(g->departure));
        out.push_back(r);
    }
    m_told = std::move(now);
    if (out.empty())
        return;
    log::info(
        QStringLiteral("Interfaccia cassa: %1 cambi di ospiti inviati alle casse").arg(out.size()));
    // A link closed by send() stays in the list until the loop turns.
    for (const auto& l : m_links)
        if (l->linked)
            for (const fias::Record& r : out) send(*l, r);
}

void PosInterface::sendAlive(Link& link) {
    send(link, stamped("LA"));
    link.aliveSent = true;
    link.aliveSentAt = m_now();
}

void PosInterface::send(Link& link, fias::Record record) {
    if (link.closed)
        return;
    const auto it = link.wanted.constFind(record.type);
    if (it != link.wanted.cend()) {
        std::erase_if(record.fields, [&](const auto& f) { return !it->contains(f.first); });
    }
    link.socket->write(fias::frame(record));
    if (link.socket->bytesToWrite() > m_maxUnsent)
        close(link, QStringLiteral("la cassa non legge le risposte (%1 byte in attesa)")
                        .arg(link.socket->bytesToWrite()));
}

void PosInterface::close(Link& link, const QString& why, bool flush) {
    if (link.closed)
        return;
    log::info(QStringLiteral("Interfaccia cassa: connessione %1 chiusa: %2").arg(link.peer, why));
    link.closed = true;
    QTcpSocket* socket = link.socket;
    socket->disconnect(this);
    // A POS that reads nothing would keep unsent bytes forever: those go.
    if (flush && socket->state() == QAbstractSocket::ConnectedState) {
        // Deleted once the last bytes are out, or after a bounded wait.
        connect(socket, &QAbstractSocket::disconnected, socket, &QObject::deleteLater);
        QTimer::singleShot(5000, socket, [socket] {
            socket->abort();
            socket->deleteLater();
        });
        socket->disconnectFromHost();
    } else {
        socket->abort();
        socket->deleteLater();
    }
    // Removed later: the caller may still hold the link.
    QMetaObject::invokeMethod(
        this, [this] { std::erase_if(m_links, [](const auto& l) { return l->closed; }); },
        Qt::QueuedConnection);
}

void PosInterface::forgetOldAnswers() {
    const QDate today = QDate::currentDate();
    if (m_forgotten == today || !m_queue.empty())
        return;
    try {
        if (!desk().forgetAnswers(QDateTime::currentDateTime()))
            return;  // busy: the next check tries again
    } catch (const std::exception& e) {
        log::error(QStringLiteral("Interfaccia cassa: risposte vecchie non rimosse, si riprova "
                                  "domani: %1")
                       .arg(errorText(e)));
    }
    m_forgotten = today;  // a failure is told once a day, not every second
}

void PosInterface::checkAlive() {
    forgetOldAnswers();
    const qint64 now = m_now();
    const qint64 limit = qint64{m_config.aliveSeconds} * 1000;
    for (const auto& l : m_links) {
        if (l->closed)
            continue;
        const qint64 idle = now - l->lastHeard;
        if (idle >= 2 * limit)
            close(*l, plural(idle / 1000, QStringLiteral("nessun segno dalla cassa da %1 secondo"),
                             QStringLiteral("nessun segno dalla cassa da %1 secondi")));
        else if (idle >= limit && (!l->aliveSent || now - l->aliveSentAt >= limit))
            sendAlive(*l);
    }
}

std::unique_ptr<PosInterface> startPosInterface(const Settings& settings,
                                                std::function<ChargeStore&()> store) {
    std::optional<InterfaceSettings> config;
    try {
        config = readInterfaceSettings();
    } catch (const std::exception& e) {
        log::error(QStringLiteral("Interfaccia cassa non avviata: %1").arg(errorText(e)));
        return nullptr;
    }
    if (!config || !config->enabled)
        return nullptr;
    auto pos = std::make_unique<PosInterface>(settings, *config, std::move(store));
    if (!pos->start())
        return nullptr;
    return pos;
}

}  // namespace quorvel
