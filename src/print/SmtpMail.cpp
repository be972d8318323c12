// The MIME message and its SMTP exchange through libcurl's easy interface.
#include "print/SmtpMail.h"

#include "platform/Error.h"
#include "platform/Plural.h"

#include <curl/curl.h>
#include <QElapsedTimer>
#include <QUuid>
#include <algorithm>
#include <memory>
#include <mutex>

namespace quorvel {

namespace {

constexpr int kConnectSeconds = 15;

QByteArray crlfLines(const QString& text) {
    QString t = text;
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QLatin1Char('\r'), '\n');
    return t.toUtf8().replace('\n', "\r\n");
}

QByteArray base64Lines(const QByteArray& bytes) {
    const QByteArray b64 = bytes.toBase64();
    QByteArray out;
    for (qsizetype i = 0; i < b64.size(); i += 76) out += b64.mid(i, 76) + "\r\n";
    return out;
}

QByteArray hostPart(const QString& server) {
    // An IPv6 literal goes between brackets in the URL.
    return server.contains(QLatin1Char(':')) && !server.startsWith(QLatin1Char('['))
               ? "[" + server.toUtf8() + "]"
               : server.toUtf8();
}

struct Upload {
    QByteArray data;
    qsizetype pos = 0;
};

size_t readBody(char* buffer, size_t size, size_t count, void* user) {
    auto* up = static_cast<Upload*>(user);
    const qsizetype n =
        std::min<qsizetype>(static_cast<qsizetype>(size * count), up->data.size() - up->pos);
    std::copy_n(up->data.constData() + up->pos, n, buffer);
    up->pos += n;
    return static_cast<size_t>(n);
}

// What the exchange got to: the last command's verb, the recipient being
// given, and the server's last reply line. Nothing else of what we send is
// kept: the AUTH lines carry the password.
struct Trace {
    QByteArray verb;
    QByteArray recipient;
    QByteArray reply;
    bool closing = false;
};

int traceExchange(CURL*, curl_infotype type, char* data, size_t size, void* user) {
    auto* trace = static_cast<Trace*>(user);
    const QByteArray line = QByteArray(data, static_cast<qsizetype>(size)).trimmed();
    // What follows QUIT (sent when a failure closes the connection) would
    // hide the answer that made the mail fail.
    if (trace->closing)
        return 0;
    if (type == CURLINFO_HEADER_IN && !line.isEmpty()) {
        trace->reply = line.left(300);
    } else if (type == CURLINFO_HEADER_OUT) {
        static const QList<QByteArray> verbs = {"EHLO", "HELO", "STARTTLS", "AUTH",
                                                "MAIL", "RCPT", "DATA",     "QUIT"};
        const QByteArray verb =
            line.left(line.indexOf(' ') < 0 ? line.size() : line.indexOf(' ')).toUpper();
        if (!verbs.contains(verb))
            return 0;
        if (verb == "QUIT") {
            trace->closing = true;
            return 0;
        }
        trace->verb = verb;
        if (verb == "RCPT") {
            const qsizetype lt = line.indexOf('<');
            const qsizetype gt = line.indexOf('>', lt);
            trace->recipient = lt >= 0 && gt > lt ? line.mid(lt + 1, gt - lt - 1) : QByteArray();
        }
    }
    return 0;
}

void globalInit() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct CurlDeleter {
    void operator()(CURL* c) const { curl_easy_cleanup(c); }
};
struct SlistDeleter {
    void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};

struct Failure {
    QString kind;
    QString cause;
};

Failure failureOf(CURLcode code, const Trace& trace, const char* errorText, const MailSettings& s,
                  qint64 waitedSeconds) {
    const QString reply = QString::fromUtf8(trace.reply);
    const QString answer =
        reply.isEmpty() ? QString() : QStringLiteral(" (risposta del server: \"%1\")").arg(reply);
    const QString detail = QString::fromUtf8(errorText);
    const QString refusedLogin =
        QStringLiteral("accesso rifiutato dal server di posta per l'utente \"%1\"%2")
            .arg(s.user, answer);
    switch (code) {
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_CONNECT:
            return {QStringLiteral("irraggiungibile"),
                    QStringLiteral("server di posta non raggiungibile: %1").arg(detail)};
        case CURLE_OPERATION_TIMEDOUT:
            return {QStringLiteral("tempo"),
                    plural(waitedSeconds,
                           QStringLiteral("nessuna risposta dal server di posta in %1 secondo%2"),
                           QStringLiteral("nessuna risposta dal server di posta in %1 secondi%2"))
                        .arg(answer)};
        case CURLE_ABORTED_BY_CALLBACK:
            return {QStringLiteral("interrotto"),
                    QStringLiteral("invio interrotto: il programma termina, sarà ritentato")};
        case CURLE_LOGIN_DENIED:
            return {QStringLiteral("accesso"), refusedLogin};
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CACERT_BADFILE:
            return {QStringLiteral("certificato"),
                    QStringLiteral("certificato del server di posta non valido o non "
                                   "riconosciuto: %1")
                        .arg(detail)};
        case CURLE_USE_SSL_FAILED:
            return {QStringLiteral("starttls"),
                    QStringLiteral("il server di posta non offre STARTTLS%1").arg(answer)};
        case CURLE_SSL_CONNECT_ERROR:
            return {QStringLiteral("tls"),
                    QStringLiteral("connessione TLS con il server di posta non riuscita: %1")
                        .arg(detail)};
        default:
            break;
    }
    if (trace.verb == "RCPT")
        return {QStringLiteral("destinatario"),
                QStringLiteral("il server di posta ha rifiutato il destinatario %1%2")
                    .arg(QString::fromUtf8(trace.recipient), answer)};
    if (trace.verb == "MAIL")
        return {QStringLiteral("mittente"),
                QStringLiteral("il server di posta ha rifiutato il mittente %1%2")
                    .arg(s.sender, answer)};
    if (trace.verb == "DATA")
        return {QStringLiteral("messaggio"),
                QStringLiteral("il server di posta ha rifiutato il messaggio%1").arg(answer)};
    if (trace.verb == "AUTH")
        return {QStringLiteral("accesso"), refusedLogin};
    return {QStringLiteral("altro"),
            QStringLiteral("invio non riuscito: %1%2").arg(detail, answer)};
}

}  // namespace

QByteArray quotedPrintable(const QByteArray& utf8) {
    QByteArray out;
    const QList<QByteArray> lines = utf8.split('\n');
    for (qsizetype l = 0; l < lines.size(); ++l) {
        QByteArray line = lines[l];
        if (line.endsWith('\r'))
            line.chop(1);
        int column = 0;
        for (qsizetype i = 0; i < line.size(); ++i) {
            const auto b = static_cast<unsigned char>(line[i]);
            const bool last = i == line.size() - 1;
            const bool plain = (b >= 33 && b <= 126 && b != '=' && !(b == '.' && column == 0)) ||
                               ((b == ' ' || b == '\t') && !last);
            const QByteArray piece =
                plain ? QByteArray(1, static_cast<char>(b))
                      : "=" + QByteArray::number(b, 16).rightJustified(2, '0').toUpper();
            if (column + piece.size() > 75) {
                out += "=\r\n";
                column = 0;
            }
            out += piece;
            column += static_cast<int>(piece.size());
        }
        if (l + 1 < lines.size())
            out += "\r\n";
    }
    return out;
}

QByteArray encodedHeaderWord(const QString& text) {
    const bool plain = std::all_of(text.begin(), text.end(),
                                   [](QChar c) { return c.unicode() >= 32 && c.unicode() < 127; });
    if (plain)
        return text.toLatin1();
    const QByteArray utf8 = text.toUtf8();
    QByteArray out;
    for (qsizetype i = 0; i < utf8.size();) {
        qsizetype end = std::min<qsizetype>(i + 45, utf8.size());
        // Never split a character between two words.
        while (end < utf8.size() && end > i &&
               (static_cast<unsigned char>(utf8[end]) & 0xC0) == 0x80)
            --end;
        if (!out.isEmpty())
            out += "\r\n ";
        out += "=?UTF-8?B?" + utf8.mid(i, end - i).toBase64() + "?=";
        i = end;
    }
    return out;
}

QByteArray buildMimeMessage(const MailSettings& s, const MailMessage& m, const QDateTime& date,
                            const QString& messageId) {
    const QByteArray boundary =
        "=_quorvel_" + QUuid::createUuid().toByteArray(QUuid::WithoutBraces);
    QByteArray out;
    out += "Date: " + date.toString(Qt::RFC2822Date).toLatin1() + "\r\n";
    out += "From: <" + s.sender.toUtf8() + ">\r\n";
    QByteArrayList to;
    for (const QString& r : s.recipients) to << "<" + r.toUtf8() + ">";
    out += "To: " + to.join(",\r\n ") + "\r\n";
    out += "Subject: " + encodedHeaderWord(m.subject) + "\r\n";
    out += "Message-ID: <" + messageId.toUtf8() + ">\r\n";
    out += "MIME-Version: 1.0\r\n";
    const QByteArray textPart =
        "Content-Type: text/plain; charset=UTF-8\r\n"
        "Content-Transfer-Encoding: quoted-printable\r\n\r\n" +
        quotedPrintable(crlfLines(m.body)) + "\r\n";
    if (m.attachments.empty()) {
        out += textPart;
        return out;
    }
    out += "Content-Type: multipart/mixed; boundary=\"" + boundary + "\"\r\n\r\n";
    out += "--" + boundary + "\r\n" + textPart;
    for (const MailAttachment& a : m.attachments) {
        const QByteArray name = encodedHeaderWord(a.fileName);
        out += "--" + boundary + "\r\n";
        out += "Content-Type: " + a.contentType.toLatin1() + "; name=\"" + name + "\"\r\n";
        out += "Content-Transfer-Encoding: base64\r\n";
        out += "Content-Disposition: attachment; filename=\"" + name + "\"\r\n\r\n";
        out += base64Lines(a.bytes);
    }
    out += "--" + boundary + "--\r\n";
    return out;
}

namespace {

int stopProgress(void* cancel, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<const std::atomic<bool>*>(cancel)->load() ? 1 : 0;
}

}  // namespace

void sendMail(const MailSettings& s, const MailMessage& message, const QDateTime& date,
              const std::atomic<bool>* cancel) {
    globalInit();
    const QString where = QStringLiteral("%1:%2").arg(s.server).arg(s.effectivePort());
    const std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
    if (!curl)
        throw Error(where, QStringLiteral("libcurl non disponibile"));
    const QString domain = s.sender.section(QLatin1Char('@'), 1);
    const QString id = QStringLiteral("%1.%2@%3")
                           .arg(date.toString(QStringLiteral("yyyyMMddHHmmss")),
                                QUuid::createUuid().toString(QUuid::Id128), domain);
    Upload upload{buildMimeMessage(s, message, date, id)};
    Trace trace;
    char errorText[CURL_ERROR_SIZE] = {};

    const QByteArray url = (s.security == MailSettings::Security::Ssl ? "smtps://" : "smtp://") +
                           hostPart(s.server) + ":" + QByteArray::number(s.effectivePort());
    const QByteArray from = "<" + s.sender.toUtf8() + ">";
    std::unique_ptr<curl_slist, SlistDeleter> rcpt;
    for (const QString& r : s.recipients) {
        curl_slist* next = curl_slist_append(rcpt.get(), ("<" + r.toUtf8() + ">").constData());
        if (!next)
            throw Error(where, QStringLiteral("memoria esaurita"));
        (void)rcpt.release();
        rcpt.reset(next);
    }
    const QByteArray user = s.user.toUtf8();
    const QByteArray password = s.password.toUtf8();
    const QByteArray ca = s.caFile.toLocal8Bit();
    CURL* c = curl.get();
    curl_easy_setopt(c, CURLOPT_URL, url.constData());
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "smtp,smtps");
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT,
                     static_cast<long>(std::min(kConnectSeconds, s.timeoutSeconds)));
    curl_easy_setopt(c, CURLOPT_TIMEOUT, static_cast<long>(s.timeoutSeconds));
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, errorText);
    curl_easy_setopt(c, CURLOPT_USE_SSL,
                     s.security == MailSettings::Security::None
                         ? static_cast<long>(CURLUSESSL_NONE)
                         : static_cast<long>(CURLUSESSL_ALL));
    curl_easy_setopt(c, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(c, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!ca.isEmpty())
        curl_easy_setopt(c, CURLOPT_CAINFO, ca.constData());
    if (!user.isEmpty()) {
        curl_easy_setopt(c, CURLOPT_USERNAME, user.constData());
        curl_easy_setopt(c, CURLOPT_PASSWORD, password.constData());
    }
    curl_easy_setopt(c, CURLOPT_MAIL_FROM, from.constData());
    curl_easy_setopt(c, CURLOPT_MAIL_RCPT, rcpt.get());
    curl_easy_setopt(c, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(c, CURLOPT_READFUNCTION, readBody);
    curl_easy_setopt(c, CURLOPT_READDATA, &upload);
    curl_easy_setopt(c, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(upload.data.size()));
    // The trace needs verbose mode; with a debug function nothing is printed.
    curl_easy_setopt(c, CURLOPT_DEBUGFUNCTION, traceExchange);
    curl_easy_setopt(c, CURLOPT_DEBUGDATA, &trace);
    curl_easy_setopt(c, CURLOPT_VERBOSE, 1L);
    if (cancel) {
        // Called about once a second even while the server is silent.
        curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, stopProgress);
        curl_easy_setopt(c, CURLOPT_XFERINFODATA, const_cast<std::atomic<bool>*>(cancel));
        curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
    }
    QElapsedTimer waited;
    waited.start();
    const CURLcode result = curl_easy_perform(c);
    if (result != CURLE_OK) {
        const Failure f =
            failureOf(result, trace, errorText[0] ? errorText : curl_easy_strerror(result), s,
                      (waited.elapsed() + 500) / 1000);
        throw MailError(where, f.cause, f.kind);
    }
}

}  // namespace quorvel
