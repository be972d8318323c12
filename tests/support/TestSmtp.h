// The local SMTP server of scripts/lib/smtp-server.sh as the tests see it:
// its ports, certificate and the folder of the messages it received, and
// the mail settings file that points at it. Without the server's variables
// a test is skipped, except under CI=true, where it fails.
#pragma once

#include <gtest/gtest.h>
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

namespace quorvel::test {

struct TestSmtp {
    static constexpr char User[] = "quorvel";
    static constexpr char Password[] = "segreta-di-prova";
    static constexpr char Refused[] = "rifiutato@example.com";

    int port = 0;     // STARTTLS
    int tlsPort = 0;  // implicit TLS
    QString dir;
    QString ca;
    QString sender;  // unique to the test: count() and message() see its mails only

    static std::optional<TestSmtp> fromEnvironment();
    // Messages from sender received so far.
    int count() const;
    // Message n (from 1): the data as received, and "from\nrcpt,rcpt\nlogin\n".
    QByteArray message(int n) const;
    QString envelope(int n) const;
    // A port on 127.0.0.1 where nothing listens.
    static int closedPort();
};

// A port on 127.0.0.1 that takes connections and never answers (the kernel
// completes the handshake; nobody reads): a server that hangs.
class SilentPort {
public:
    SilentPort();
    ~SilentPort();
    SilentPort(const SilentPort&) = delete;
    SilentPort& operator=(const SilentPort&) = delete;
    int port() const { return m_port; }

private:
    int m_fd = -1;
    int m_port = 0;
};

// Writes a settings file (mode 0600): `lines` after the server's defaults
// (server 127.0.0.1, STARTTLS port, login, file_ca, smtp.sender, recipient).
void writeMailSettings(const TestSmtp& smtp, const QStringList& lines,
                       const QString& path = QStringLiteral("QuorvelMail.txt"));

// The text part of a received message, quoted-printable decoded.
QByteArray mailTextPart(const QByteArray& message);
// The first attachment, base64 decoded.
QByteArray mailAttachment(const QByteArray& message);
// A header's raw value (unfolded).
QByteArray mailHeader(const QByteArray& message, const QByteArray& name);

}  // namespace quorvel::test

// Binds `var` to the test server, or skips (fails under CI=true).
#define QUORVEL_TEST_SMTP(var)                                                          \
    const auto var##_opt = ::quorvel::test::TestSmtp::fromEnvironment();                \
    if (!var##_opt) {                                                                   \
        if (qgetenv("CI") == "true")                                                    \
            FAIL() << "CI=true but no QUORVEL_TEST_SMTP_* variables: scripts/test "     \
                      "starts the test SMTP server";                                    \
        GTEST_SKIP() << "no test SMTP server (QUORVEL_TEST_SMTP_PORT unset; "           \
                        "source scripts/lib/smtp-server.sh and run smtp_server_start)"; \
    }                                                                                   \
    const ::quorvel::test::TestSmtp& var = *var##_opt
