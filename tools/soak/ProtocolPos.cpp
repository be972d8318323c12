// The soak's POS on the interface protocol.
#include "soak/ProtocolPos.h"

#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <memory>

namespace quorvel::soak {

quint16 freePort() {
    QTcpServer s;
    s.listen(QHostAddress::LocalHost, 0);
    return s.serverPort();
}

ProtocolPos::ProtocolPos(quint16 port, std::vector<SoakTargets::External> clients,
                         std::uint64_t seed)
    : m_port(port), m_clients(std::move(clients)), m_random(seed ^ 0x9A5ULL) {}

ProtocolPos::~ProtocolPos() {
    stop();
}

void ProtocolPos::start() {
    m_thread = std::thread([this] { run(); });
}

void ProtocolPos::finish() {
    m_finish = true;
}

void ProtocolPos::stop() {
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
}

void ProtocolPos::run() {
    std::unique_ptr<QTcpSocket> socket;
    QByteArray in;
    // The record of this type, within ms; empty when the link broke or the
    // time ran out.
    auto take = [&](const QByteArray& type, int ms) -> QByteArray {
        QElapsedTimer t;
        t.start();
        for (;;) {
            const qsizetype at = in.indexOf("\x02" + type);
            const qsizetype end = at >= 0 ? in.indexOf('\x03', at) : -1;
            if (end > at && at >= 0) {
                QByteArray record = in.mid(at + 1, end - at - 1);
                in.remove(0, end + 1);
                return record;
            }
            const qint64 left = ms - t.elapsed();
            if (left <= 0 || socket->state() != QAbstractSocket::ConnectedState ||
                !socket->waitForReadyRead(static_cast<int>(std::min<qint64>(left, 200)))) {
                if (left <= 0 || socket->state() != QAbstractSocket::ConnectedState)
                    return {};
                continue;
            }
            in += socket->readAll();
        }
    };
    qint64 sequence = 0, serial = 0;
    QByteArray pending;  // the posting waiting for its answer
    QString pendingNumber;
    qint64 pendingCents = 0, pendingClient = 0;
    while (!m_stop) {
        if (!socket || socket->state() != QAbstractSocket::ConnectedState) {
            socket = std::make_unique<QTcpSocket>();
            in.clear();
            socket->connectToHost(QHostAddress::LocalHost, m_port);
            if (!socket->waitForConnected(200) || take("LS", 1000).isEmpty()) {
                socket.reset();
                QThread::msleep(20);
                continue;
            }
            ++m_connections;
            socket->write("\x02LS|DA250307|TI120000|\x03");
        }
        if (pending.isEmpty()) {
            if (m_finish) {
                m_done = true;
                QThread::msleep(20);
                continue;
            }
            const auto& c = m_clients[static_cast<size_t>(
                m_random.between(0, static_cast<std::int64_t>(m_clients.size()) - 1))];
            pendingNumber = c.number;
            pendingClient = c.client;
            pendingCents = 500000 + ++serial;
            pending = QStringLiteral("\x02PR|RN%1|TA%2|P#%3|WS90|DA250307|TI120000|\x03")
                          .arg(pendingNumber)
                          .arg(pendingCents)
                          .arg(++sequence)
                          .toLatin1();
        } else {
            ++m_resends;
        }
        socket->write(pending);
        if (!socket->waitForBytesWritten(1000)) {
            socket.reset();
            continue;
        }
        const QByteArray pa = take("PA", 3000);
        if (pa.isEmpty()) {
            socket.reset();  // a kill, or no answer: connect again and resend
            continue;
        }
        const QByteArray expect = QStringLiteral(
                                      "PA|ASOK|RN%1|P#%2|WS90|DA250307|TI120000|CT"
                                      "Addebitato al cliente esterno %3|")
                                      .arg(pendingNumber)
                                      .arg(sequence)
                                      .arg(pendingClient)
                                      .toLatin1();
        if (pa.startsWith("PA|ASRY|")) {
            QThread::msleep(20);  // the program asked to retry: the same posting again
            continue;
        }
        if (pa != expect && m_wrong.size() < 10)
            m_wrong << QString::fromLatin1(pa);
        if (pa == expect)
            m_answered.emplace_back(pendingNumber, pendingCents);
        pending.clear();
    }
}

}  // namespace quorvel::soak
