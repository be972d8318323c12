// Size-bounded log file.
#include "platform/Log.h"

#include "platform/SystemText.h"

#include <QDateTime>
#include <QFile>
#include <QMutex>
#include <algorithm>
#include <cstdio>
#ifdef Q_OS_UNIX
#include <pwd.h>
#include <unistd.h>
#endif
#include <cstdlib>

namespace quorvel::log {

namespace {

struct State {
    QMutex mutex;
    QString path;
    qint64 maxBytes = 0;
    QFile file;
    bool echo = false;
    QString source;
};

State& state() {
    static State s;
    return s;
}

void rotateIfFull(State& s) {
    if (s.file.size() < s.maxBytes)
        return;
    s.file.close();
    const QString old = s.path + QStringLiteral(".1");
    QFile::remove(old);
    QFile::rename(s.path, old);
    s.file.setFileName(s.path);
    s.file.open(QIODevice::WriteOnly | QIODevice::Append);
}

void write(const char* level, const QString& text, bool toTerminal = true) {
    State& s = state();
    QMutexLocker lock(&s.mutex);
    const QByteArray line =
        (QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")) +
         QLatin1Char(' ') + QLatin1String(level) + QLatin1Char(' ') + s.source +
         escaped(italianSystemText(text)))
            .toUtf8() +
        '\n';
    if (s.file.isOpen()) {
        s.file.write(line);
        s.file.flush();
        rotateIfFull(s);
    }
    if (toTerminal && (s.echo || !s.file.isOpen()))
        std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stderr);
}

// Qt's own warnings name Qt's internals, in English: they go to the log file
// only (never to the terminal), and the harmless ones nowhere.
void qtMessage(QtMsgType type, const QMessageLogContext&, const QString& text) {
    if (type == QtFatalMsg) {
        std::fprintf(stderr, "%s\n", qPrintable(text));
        std::abort();
    }
    if (type == QtDebugMsg || type == QtInfoMsg)
        return;
    // Qt falls back to a private folder of its own.
    if (text.startsWith(QLatin1String("QStandardPaths: ")))
        return;
    write(type == QtWarningMsg ? "INFO " : "ERRORE", QStringLiteral("Qt: ") + text, false);
}

}  // namespace

void captureQtMessages() {
    qInstallMessageHandler(qtMessage);
}

void open(const QString& path, qint64 maxBytes) {
    State& s = state();
    QMutexLocker lock(&s.mutex);
    s.file.close();
    s.path = path;
    s.maxBytes = maxBytes;
    s.file.setFileName(path);
    if (s.file.open(QIODevice::WriteOnly | QIODevice::Append))
        rotateIfFull(s);
}

void close() {
    State& s = state();
    QMutexLocker lock(&s.mutex);
    s.file.close();
}

void setEcho(bool echo) {
    State& s = state();
    QMutexLocker lock(&s.mutex);
    s.echo = echo;
}

void setSource(const QString& source) {
    State& s = state();
    QMutexLocker lock(&s.mutex);
    s.source = source.isEmpty() ? QString() : QStringLiteral("[%1] ").arg(escaped(source));
}

QString userName() {
    QString name;
#ifdef Q_OS_UNIX
    // The account itself, not an environment variable anyone can set.
    if (const passwd* pw = getpwuid(geteuid()))
        name = QString::fromLocal8Bit(pw->pw_name);
#endif
    if (name.isEmpty())
        name = qEnvironmentVariable("USERNAME", qEnvironmentVariable("USER"));
    if (name.isEmpty())
        name = QStringLiteral("?");
    const QString caller = qEnvironmentVariable("SUDO_USER");
    if (!caller.isEmpty() && caller != name)
        name += QStringLiteral(" (sudo da %1)").arg(caller);
    return name;
}

QString escaped(const QString& text) {
    const auto isControl = [](QChar c) {
        const char16_t u = c.unicode();
        return u < 0x20 || (u >= 0x7F && u < 0xA0);
    };
    if (std::none_of(text.begin(), text.end(), isControl))
        return text;
    QString out;
    out.reserve(text.size() + 16);
    for (const QChar c : text) {
        if (isControl(c))
            out += QStringLiteral("\\x") +
                   QString::number(c.unicode(), 16).rightJustified(2, QLatin1Char('0')).toUpper();
        else
            out += c;
    }
    return out;
}

void info(const QString& text) {
    write("INFO ", text);
}
void error(const QString& text) {
    write("ERRORE", text);
}

}  // namespace quorvel::log
