#include "support/TestSmtp.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QUuid>
#include <algorithm>

namespace quorvel::test {

std::optional<TestSmtp> TestSmtp::fromEnvironment() {
    TestSmtp s;
    s.port = qEnvironmentVariableIntValue("QUORVEL_TEST_SMTP_PORT");
    s.tlsPort = qEnvironmentVariableIntValue("QUORVEL_TEST_SMTP_TLS_PORT");
    s.dir = qEnvironmentVariable("QUORVEL_TEST_SMTP_DIR");
    s.ca = qEnvironmentVariable("QUORVEL_TEST_SMTP_CA");
    if (s.port == 0 || s.tlsPort == 0 || s.dir.isEmpty() || s.ca.isEmpty())
        return std::nullopt;
    s.sender = QStringLiteral("quorvel-%1@hotel.example")
                   .arg(QUuid::createUuid().toString(QUuid::Id128).left(12));
    return s;
}

static QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The numbers of the messages from this test's sender, in arrival order:
// tests running at the same time share the server.
static QList<int> mine(const TestSmtp& s) {
    QList<int> out;
    const QDir d(s.dir);
    for (const QString& name : d.entryList({QStringLiteral("*.eml")}, QDir::Files)) {
        const int n = name.section(QLatin1Char('.'), 0, 0).toInt();
        const QByteArray env = readAll(d.filePath(QStringLiteral("%1.env").arg(n)));
        if (env.startsWith(s.sender.toUtf8() + '\n'))
            out << n;
    }
    std::sort(out.begin(), out.end());
    return out;
}

int TestSmtp::count() const {
    return static_cast<int>(mine(*this).size());
}

QByteArray TestSmtp::message(int n) const {
    return readAll(QDir(dir).filePath(QStringLiteral("%1.eml").arg(mine(*this).value(n - 1))));
}

QString TestSmtp::envelope(int n) const {
    return QString::fromUtf8(
        readAll(QDir(dir).filePath(QStringLiteral("%1.env").arg(mine(*this).value(n - 1)))));
}

int TestSmtp::closedPort() {
    // Bound and closed again: nothing listens there a moment later.
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(fd);
    return ntohs(a.sin_port);
}

SilentPort::SilentPort() {
    m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    ::bind(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(m_fd, 4);
    ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&a), &len);
    m_port = ntohs(a.sin_port);
}

SilentPort::~SilentPort() {
    ::close(m_fd);
}

void writeMailSettings(const TestSmtp& smtp, const QStringList& lines, const QString& path) {
    QStringList all = {QStringLiteral("server = 127.0.0.1"),
                       QStringLiteral("porta = %1").arg(smtp.port),
                       QStringLiteral("sicurezza = starttls"),
                       QStringLiteral("utente = %1").arg(QLatin1String(TestSmtp::User)),
                       QStringLiteral("password = %1").arg(QLatin1String(TestSmtp::Password)),
                       QStringLiteral("file_ca = %1").arg(smtp.ca),
                       QStringLiteral("mittente = %1").arg(smtp.sender),
                       QStringLiteral("destinatari = ricevimento@hotel.example"),
                       QStringLiteral("attesa_massima = 20")};
    all << lines;
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(all.join('\n').toUtf8() + '\n');
    f.close();
    f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

static QByteArrayList parts(const QByteArray& message) {
    const QByteArray type = mailHeader(message, "Content-Type");
    const qsizetype at = type.indexOf("boundary=\"");
    if (at < 0)
        return {message};
    const QByteArray boundary = "--" + type.mid(at + 10, type.indexOf('"', at + 10) - at - 10);
    return QByteArray(message)
        .replace(boundary, "\x01")
        .split('\x01')
        .mid(1);  // what precedes the first boundary is the head
}

static QByteArray body(const QByteArray& part) {
    const qsizetype at = part.indexOf("\r\n\r\n");
    return at < 0 ? QByteArray() : part.mid(at + 4);
}

QByteArray mailTextPart(const QByteArray& message) {
    QByteArray qp = body(parts(message).value(0));
    if (qp.endsWith("\r\n"))
        qp.chop(2);
    qp.replace("=\r\n", "");
    QByteArray out;
    for (qsizetype i = 0; i < qp.size(); ++i) {
        if (qp[i] == '=' && i + 2 < qp.size()) {
            out += QByteArray::fromHex(qp.mid(i + 1, 2));
            i += 2;
        } else {
            out += qp[i];
        }
    }
    return out;
}

QByteArray mailAttachment(const QByteArray& message) {
    return QByteArray::fromBase64(body(parts(message).value(1)).trimmed());
}

QByteArray mailHeader(const QByteArray& message, const QByteArray& name) {
    const QByteArray head = message.left(message.indexOf("\r\n\r\n")).replace("\r\n ", " ");
    for (const QByteArray& line : head.split('\n')) {
        const QByteArray l = line.trimmed();
        if (l.toLower().startsWith(name.toLower() + ":"))
            return l.mid(name.size() + 1).trimmed();
    }
    return {};
}

}  // namespace quorvel::test
