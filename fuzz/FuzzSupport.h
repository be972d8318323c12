// Shared helpers of the fuzz targets: a private temporary working folder
// (the parsers read their side files from the current folder), a quiet log,
// and the ways of turning the fuzzer's bytes into text and parts.
#pragma once

#include "platform/Log.h"
#include "platform/TextFile.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace quorvel::fuzz {

// Makes a fresh temporary folder the current one, once per process, and
// sends the log to a small file there instead of standard error. The folder
// is in memory where the system offers it: the targets write files per input.
inline void enterWorkFolder() {
    static QTemporaryDir* dir = [] {
        const QDir shm(QStringLiteral("/dev/shm"));
        const QDir base = shm.exists() && QFileInfo(shm.path()).isWritable() ? shm : QDir::temp();
        auto* d = new QTemporaryDir(base.filePath(QStringLiteral("quorvel-fuzz-XXXXXX")));
        if (!d->isValid() || !QDir::setCurrent(d->path())) {
            std::fprintf(stderr, "cannot make a temporary working folder\n");
            std::abort();
        }
        log::open(d->filePath(QStringLiteral("fuzz.log")), 256 * 1024);
        std::atexit([] { delete dir; });
        return d;
    }();
}

inline QByteArray bytesOf(const uint8_t* data, size_t size) {
    return QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
}

// Text as the program reads it from a file: Windows-1252.
inline QString textOf(const uint8_t* data, size_t size) {
    return decodeCp1252(bytesOf(data, size));
}

// The input cut at every NUL byte: several files or fields from one input.
inline std::vector<QByteArray> parts(const uint8_t* data, size_t size, int count) {
    std::vector<QByteArray> out;
    QByteArray all = bytesOf(data, size);
    for (int i = 0; i < count - 1; ++i) {
        const qsizetype nul = all.indexOf('\0');
        if (nul < 0)
            break;
        out.push_back(all.left(nul));
        all = all.mid(nul + 1);
    }
    out.push_back(all);
    while (static_cast<int>(out.size()) < count) out.emplace_back();
    return out;
}

// Writes bytes to a file of the working folder, or removes it for an empty
// part so that "file missing" is explored too.
inline void putFile(const QString& name, const QByteArray& bytes) {
    QFile::remove(name);
    if (bytes.isEmpty())
        return;
    QFile f(name);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(name));
        std::abort();
    }
}

// The locales the program meets: the C locale, Italian (1.234,56) and Swiss
// German (group separator U+2019).
inline const std::vector<QLocale>& locales() {
    static const std::vector<QLocale> all = {QLocale::c(),
                                             QLocale(QLocale::Italian, QLocale::Italy),
                                             QLocale(QLocale::German, QLocale::Switzerland)};
    return all;
}

// Stops the run with a message: libFuzzer reports it as a crash and keeps
// the input.
[[noreturn]] inline void fail(const char* what, const QString& detail = QString()) {
    std::fprintf(stderr, "fuzz check failed: %s %s\n", what, qPrintable(detail));
    std::abort();
}

}  // namespace quorvel::fuzz
