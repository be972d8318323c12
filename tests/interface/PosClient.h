// A POS on the interface protocol, for the tests: connects over loopback,
// frames what it sends (STX, record, ETX) and splits what it receives at
// STX and ETX, as the protocol's public description has it. Written apart
// from the bridge's own record code, so the two check each other. Every
// wait turns the event loop with a deadline, never a sleep.
#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QHostAddress>
#include <QMap>
#include <QTcpSocket>
#include <deque>
#include <functional>
#include <optional>

namespace quorvel::test {

// Turns the event loop until done() or the deadline (false then).
inline bool waitFor(const std::function<bool()>& done, int ms = 5000) {
    QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    }
    return true;
}

struct PosRecord {
    QByteArray type;
    QMap<QByteArray, QByteArray> fields;  // first value of each id
    QByteArray body;
    QByteArray operator[](const char* id) const { return fields.value(id); }
};

class PosClient {
public:
    bool connectTo(quint16 port) {
        m_socket.connectToHost(QHostAddress::LocalHost, port);
        QObject::connect(&m_socket, &QTcpSocket::readyRead, [this] { read(); });
        waitFor([&] {
            const auto st = m_socket.state();
            return st == QAbstractSocket::ConnectedState || st == QAbstractSocket::UnconnectedState;
        });
        return m_socket.state() == QAbstractSocket::ConnectedState;
    }
    void send(const QByteArray& body) { sendRaw("\x02" + body + "\x03"); }
    void sendRaw(const QByteArray& bytes) {
        m_socket.write(bytes);
        m_socket.flush();
    }
    // The next record of this type (those before it of other types are
    // skipped and kept in skipped()); nullopt after ms.
    std::optional<PosRecord> take(const QByteArray& type, int ms = 5000) {
        std::optional<PosRecord> found;
        waitFor(
            [&] {
                while (!m_in.empty() && !found) {
                    PosRecord r = std::move(m_in.front());
                    m_in.pop_front();
                    if (r.type == type)
                        found = std::move(r);
                    else
                        m_skipped.push_back(r.type);
                }
                return found.has_value();
            },
            ms);
        return found;
    }
    bool closedByPeer(int ms = 5000) {
        return waitFor([&] { return m_socket.state() == QAbstractSocket::UnconnectedState; }, ms);
    }
    QList<QByteArray> skipped() const { return m_skipped; }
    void stopReading() {
        m_socket.setReadBufferSize(1);
        m_reading = false;
    }
    QTcpSocket& socket() { return m_socket; }

private:
    void read() {
        if (!m_reading)
            return;
        for (char c : m_socket.readAll()) {
            if (c == '\x02') {
                m_body.clear();
                m_inRecord = true;
            } else if (c == '\x03' && m_inRecord) {
                m_in.push_back(parse(m_body));
                m_inRecord = false;
            } else if (m_inRecord) {
                m_body += c;
            }
        }
    }
    static PosRecord parse(const QByteArray& body) {
        PosRecord r;
        r.body = body;
        const QList<QByteArray> parts = body.split('|');
        r.type = parts.value(0);
        for (qsizetype i = 1; i < parts.size(); ++i)
            if (parts[i].size() >= 2 && !r.fields.contains(parts[i].left(2)))
                r.fields.insert(parts[i].left(2), parts[i].mid(2));
        return r;
    }

    QTcpSocket m_socket;
    QByteArray m_body;
    bool m_inRecord = false;
    bool m_reading = true;
    std::deque<PosRecord> m_in;
    QList<QByteArray> m_skipped;
};

}  // namespace quorvel::test
