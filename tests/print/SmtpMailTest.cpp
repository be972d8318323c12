// Mail settings, the MIME message, and the mail really sent to the local
// test server of scripts/lib/smtp-server.sh: what it received, and each way
// a send fails.
#include "FakeShell.h"
#include "PcLocalGuard.h"
#include "platform/Error.h"
#include "platform/Log.h"
#include "platform/TextFile.h"
#include "print/MailHandover.h"
#include "print/MailSettings.h"
#include "print/SmtpMail.h"
#include "support/TempDir.h"
#include "support/TestSmtp.h"

#include <QFile>

namespace quorvel::test {
namespace {

class SmtpMailTest : public TempDirTest {
protected:
    void writeSettings(const QByteArray& text,
                       QFileDevice::Permissions mode = QFileDevice::ReadOwner |
                                                       QFileDevice::WriteOwner,
                       const QString& name = QStringLiteral("QuorvelMail.txt")) {
        writeBytes(name, text);
        QFile::setPermissions(path(name), mode);
    }
    QString errorOf(const std::function<void()>& f) {
        try {
            f();
        } catch (const Error& e) {
            return e.message();
        }
        return QStringLiteral("(nessun errore)");
    }
    PcLocalGuard m_env;
    FakeShell shell;
};

TEST_F(SmtpMailTest, SettingsFileIsReadAndBadOnesRefused) {
    EXPECT_FALSE(readMailSettings().has_value());
    writeSettings(
        "# posta dell'albergo\r\n server = mail.hotel.example \r\nsicurezza = SSL\n"
        "utente = ricevimento\npassword = a=b c\nmittente = q@hotel.example\n"
        "destinatari = a@hotel.example, b@hotel.example\ndestinatari = c@hotel.example\n"
        "oggetto = Storico è\nora_invio = 7:30\nattesa_massima = 9\n");
    const auto s = readMailSettings();
    ASSERT_TRUE(s.has_value());
    EXPECT_EQ(s->server, "mail.hotel.example");
    EXPECT_EQ(s->effectivePort(), 465);
    EXPECT_EQ(s->password, "a=b c");
    EXPECT_EQ(s->recipients,
              (QStringList{"a@hotel.example", "b@hotel.example", "c@hotel.example"}));
    EXPECT_EQ(s->subject, QString::fromUtf8("Storico è"));
    EXPECT_EQ(s->dailyTime, QTime(7, 30));
    EXPECT_EQ(s->timeoutSeconds, 9);

    // A password file; refused, like the settings file, when others may read it.
    const QByteArray base = "server = m\nmittente = q@h.example\ndestinatari = a@h.example\n";
    writeSettings(base + "utente = u\nfile_password = pw.txt\n");
    writeSettings("segreta\r\nresto\r\n", QFileDevice::ReadOwner, QStringLiteral("pw.txt"));
    EXPECT_EQ(readMailSettings()->password, "segreta");
    QFile::setPermissions(path("pw.txt"), QFileDevice::ReadOwner | QFileDevice::ReadGroup);
    EXPECT_TRUE(errorOf([] { readMailSettings(); }).contains("chmod 600 pw.txt"));
    // A byte-order mark is no part of the password; a device is no password
    // file, and is said to be one that exists.
    QFile::remove(path("pw.txt"));
    writeSettings("\xEF\xBB\xBFsegreta\r\n", QFileDevice::ReadOwner, QStringLiteral("pw.txt"));
    EXPECT_EQ(readMailSettings()->password, "segreta");
    QFile::remove(path("pw.txt"));
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), path("pw.txt")));
    const QString device = errorOf([] { readMailSettings(); });
    EXPECT_TRUE(device.contains("non è un file normale")) << device.toStdString();
    QFile::remove(path("pw.txt"));

    writeSettings(base + "password = segreta\n",
                  QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther);
    const QString shared = errorOf([] { readMailSettings(); });
    EXPECT_TRUE(shared.contains("leggibile o scrivibile da altri")) << shared.toStdString();
    EXPECT_FALSE(shared.contains("segreta"));

    const std::pair<QByteArray, const char*> bad[] = {
        {base + "porta = 0\n", "riga 4: porta \"0\" non valida"},
        {base + "sicurezza = tls\n", "sicurezza \"tls\" non valida"},
        {base + "ora_invio = 25:00\n", "ora_invio \"25:00\" non valida"},
        {base + "colore = blu\n", "riga 4: chiave \"colore\" sconosciuta"},
        {base + "solo testo\n", "riga 4: manca \"=\""},
        {"mittente = q@h.example\ndestinatari = a@h.example\n", "manca il server"},
        {"server = m\nmittente = q@h.example\n", "nessun destinatario"},
        {base + "destinatari = non un indirizzo\n", "destinatario \"non un indirizzo\""},
        {base + "password = p\nfile_password = pw.txt\n", "password e file_password"},
    };
    for (const auto& [text, expected] : bad) {
        writeSettings(text);
        const QString why = errorOf([] { readMailSettings(); });
        EXPECT_TRUE(why.contains(QString::fromUtf8(expected))) << why.toStdString();
    }
}

TEST_F(SmtpMailTest, QuotedPrintableAndEncodedHeaders) {
    EXPECT_EQ(quotedPrintable("a=b \r\n.x\t\r\n\xC3\xA0"), "a=3Db=20\r\n=2Ex=09\r\n=C3=A0");
    // Soft breaks keep each line within 76 characters, never splitting an =XX.
    const QByteArray qp = quotedPrintable(QByteArray(74, 'x') + "\xE2\x82\xAC");
    EXPECT_EQ(qp, QByteArray(74, 'x') + "=\r\n=E2=82=AC");
    EXPECT_EQ(encodedHeaderWord("Storico errori"), "Storico errori");
    EXPECT_EQ(encodedHeaderWord(QString::fromUtf8("Caffè €")),
              "=?UTF-8?B?" + QByteArray("Caff\xC3\xA8 \xE2\x82\xAC").toBase64() + "?=");
    // A long subject is folded into words that each hold whole characters.
    const QByteArray folded = encodedHeaderWord(QString(40, QChar(0x20AC)));
    const QByteArrayList words = folded.split('\n');
    ASSERT_EQ(words.size(), 3);
    QByteArray utf8;
    for (QByteArray w : words) {
        w = w.trimmed();
        ASSERT_TRUE(w.startsWith("=?UTF-8?B?") && w.endsWith("?="));
        const QByteArray part = QByteArray::fromBase64(w.mid(10, w.size() - 12));
        EXPECT_EQ(part.size() % 3, 0);
        utf8 += part;
    }
    EXPECT_EQ(QString::fromUtf8(utf8), QString(40, QChar(0x20AC)));
}

TEST_F(SmtpMailTest, PreviewTextIsSentWithItsExport) {
    QUORVEL_TEST_SMTP(smtp);
    PcLocalGuard::set("PCLocal", "3");
    log::open(path("Quorvel.log"));
    writeMailSettings(smtp, {"destinatari = capo@hotel.example", "oggetto = Storico è"});
    const QChar bar(179);  // the report's frame, Windows-1252 byte 179
    const QString text = QString::fromUtf8("Caffè à €\r\n") + bar + " 12 " + bar + " Rossi " + bar +
                         "   1.234,56 " + bar + "\r\n";
    const int before = smtp.count();
    const QString told = InviaEMail(text, shell);
    EXPECT_EQ(told, "E-mail inviata a ricevimento@hotel.example, capo@hotel.example.");
    EXPECT_TRUE(shell.started.isEmpty());
    EXPECT_EQ(readBytes("e-mail3.txt"), "OGGETTO\r\n" + encodeCp1252(text) + "\r\n");
    ASSERT_EQ(smtp.count(), before + 1);

    const int n = before + 1;
    EXPECT_EQ(smtp.envelope(n),
              smtp.sender + "\nricevimento@hotel.example,capo@hotel.example\nquorvel\n");
    const QByteArray m = smtp.message(n);
    EXPECT_EQ(mailHeader(m, "Subject"),
              "=?UTF-8?B?" + QByteArray("Storico \xC3\xA8").toBase64() + "?=");
    EXPECT_EQ(mailHeader(m, "From"), "<" + smtp.sender.toUtf8() + ">");
    EXPECT_EQ(mailHeader(m, "To"), "<ricevimento@hotel.example>, <capo@hotel.example>");
    EXPECT_EQ(mailHeader(m, "MIME-Version"), "1.0");
    EXPECT_TRUE(mailHeader(m, "Content-Type").startsWith("multipart/mixed; boundary="));
    EXPECT_TRUE(QDateTime::fromString(QString::fromLatin1(mailHeader(m, "Date")), Qt::RFC2822Date)
                    .isValid());
    EXPECT_TRUE(mailHeader(m, "Message-ID").endsWith("@hotel.example>"));
    EXPECT_TRUE(
        m.contains("Content-Type: text/plain; charset=UTF-8\r\n"
                   "Content-Transfer-Encoding: quoted-printable\r\n"));
    // The body in UTF-8 (à C3 A0, € E2 82 AC), the attachment as fd3.csv would be.
    EXPECT_EQ(mailTextPart(m),
              "Caff\xC3\xA8 \xC3\xA0 \xE2\x82\xAC\r\n\xC2\xB3 12 \xC2\xB3 Rossi "
              "\xC2\xB3   1.234,56 \xC2\xB3");
    EXPECT_TRUE(m.contains("Content-Disposition: attachment; filename=\"fd3.csv\""));
    EXPECT_EQ(mailAttachment(m),
              "Caff\xE8 \xE0 \x80\r\n, 12 , Rossi ,  \x80"
              "1234.56 ,\r\n");

    // Implicit TLS on the other port.
    writeMailSettings(smtp, {"sicurezza = ssl", QStringLiteral("porta = %1").arg(smtp.tlsPort)});
    InviaEMail("due", shell);
    ASSERT_EQ(smtp.count(), n + 1);
    EXPECT_TRUE(smtp.envelope(n + 1).endsWith("\nquorvel\n"));
    EXPECT_EQ(mailTextPart(smtp.message(n + 1)), "due");
    log::close();
    const QByteArray logged = readBytes("Quorvel.log");
    EXPECT_TRUE(logged.contains("inviata a ricevimento@hotel.example, capo@hotel.example"));
    EXPECT_FALSE(logged.contains(TestSmtp::Password));
}

TEST_F(SmtpMailTest, FailuresAreToldAndTheTextKept) {
    QUORVEL_TEST_SMTP(smtp);
    PcLocalGuard::set("PCLocal", "3");
    log::open(path("Quorvel.log"));
    const SilentPort silent;
    struct Case {
        QStringList lines;
        QStringList expected;
    };
    const Case cases[] = {
        {{"password = sbagliata"}, {"accesso rifiutato", "utente \"quorvel\"", "535"}},
        {{"destinatari = rifiutato@example.com"},
         {"rifiutato il destinatario rifiutato@example.com", "550 5.1.1"}},
        {{QStringLiteral("porta = %1").arg(TestSmtp::closedPort())}, {"non raggiungibile"}},
        {{"file_ca ="}, {"certificato del server di posta non valido"}},
        {{QStringLiteral("porta = %1").arg(silent.port()), "attesa_massima = 1"},
         {"nessuna risposta dal server di posta in 1 secondo"}},
    };
    const int before = smtp.count();
    for (const Case& c : cases) {
        writeMailSettings(smtp, c.lines);
        QFile::remove(path("e-mail3.txt"));
        const QString why = errorOf([&] { InviaEMail(QStringLiteral("testo"), shell); });
        for (const QString& e : c.expected) EXPECT_TRUE(why.contains(e)) << why.toStdString();
        EXPECT_TRUE(why.endsWith("Il testo resta in e-mail3.txt.")) << why.toStdString();
        EXPECT_FALSE(why.contains(TestSmtp::Password));
        EXPECT_EQ(readBytes("e-mail3.txt"), "OGGETTO\r\ntesto\r\n");
    }
    // Nobody received anything: a refused recipient stops the whole mail.
    EXPECT_EQ(smtp.count(), before);
    // A settings file others may read: refused before any connection.
    writeMailSettings(smtp, {});
    QFile::setPermissions(path("QuorvelMail.txt"), QFileDevice::ReadOwner |
                                                       QFileDevice::WriteOwner |
                                                       QFileDevice::ReadGroup);
    EXPECT_TRUE(errorOf([&] { InviaEMail(QStringLiteral("x"), shell); }).contains("chmod 600"));
    EXPECT_EQ(smtp.count(), before);
    EXPECT_TRUE(shell.started.isEmpty());
    log::close();
    const QByteArray logged = readBytes("Quorvel.log");
    EXPECT_TRUE(logged.contains("E-mail non inviata"));
    EXPECT_FALSE(logged.contains(TestSmtp::Password));
}

}  // namespace
}  // namespace quorvel::test
