// Windows-1252 conversion tables and line-oriented file helpers.
#include "platform/TextFile.h"

#include "platform/Error.h"

#include <QFile>
#include <QSaveFile>
#include <array>

namespace quorvel {

namespace {

// 0x80..0x9F of Windows-1252; the undefined bytes keep their C1 code point.
constexpr std::array<char16_t, 32> kHigh = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

int byteFor(QChar c) {
    const char16_t u = c.unicode();
    if (u < 0x80 || (u >= 0xA0 && u <= 0xFF))
        return u;
    for (int i = 0; i < 32; ++i)
        if (kHigh[static_cast<size_t>(i)] == u)
            return 0x80 + i;
    return -1;
}

QByteArray encodeLines(const QStringList& lines) {
    QByteArray out;
    for (const QString& line : lines) {
        out += encodeCp1252(line);
        out += "\r\n";
    }
    return out;
}

}  // namespace

QString decodeCp1252(const QByteArray& bytes) {
    QString text(bytes.size(), Qt::Uninitialized);
    QChar* out = text.data();
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        out[i] = (b >= 0x80 && b < 0xA0) ? QChar(kHigh[b - 0x80]) : QChar(b);
    }
    return text;
}

QByteArray encodeCp1252(const QString& text) {
    QByteArray bytes(text.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const int b = byteFor(text[i]);
        bytes[i] = static_cast<char>(b < 0 ? '?' : b);
    }
    return bytes;
}

bool isCp1252(const QString& text) {
    for (QChar c : text)
        if (byteFor(c) < 0)
            return false;
    return true;
}

QStringList splitLines(const QString& text) {
    QStringList lines;
    qsizetype start = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        if (text[i] == QLatin1Char('\r')) {
            lines.append(text.mid(start, i - start));
            if (i + 1 < n && text[i + 1] == QLatin1Char('\n'))
                ++i;
            start = i + 1;
        }
    }
    if (start < n)
        lines.append(text.mid(start));
    return lines;
}

QStringList splitPosLines(const QString& text) {
    QStringList lines;
    qsizetype start = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text[i];
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
            lines.append(text.mid(start, i - start));
            if (c == QLatin1Char('\r') && i + 1 < n && text[i + 1] == QLatin1Char('\n'))
                ++i;
            start = i + 1;
        }
    }
    if (start < n)
        lines.append(text.mid(start));
    return lines;
}

bool looksLikeUtf8(const QByteArray& bytes) {
    bool multiByte = false;
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n;) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        if (b < 0x80) {
            ++i;
            continue;
        }
        // Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
        int more = 0;
        unsigned char lo = 0x80, hi = 0xBF;  // range of the first continuation byte
        if (b >= 0xC2 && b <= 0xDF) {
            more = 1;
        } else if (b >= 0xE0 && b <= 0xEF) {
            more = 2;
            if (b == 0xE0)
                lo = 0xA0;
            else if (b == 0xED)
                hi = 0x9F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            more = 3;
            if (b == 0xF0)
                lo = 0x90;
            else if (b == 0xF4)
                hi = 0x8F;
        } else {
            return false;
        }
        if (i + more >= n)
            return false;
        for (int k = 1; k <= more; ++k) {
            const auto c = static_cast<unsigned char>(bytes[i + k]);
            if (k == 1 ? (c < lo || c > hi) : (c < 0x80 || c > 0xBF))
                return false;
        }
        multiByte = true;
        i += more + 1;
    }
    return multiByte;
}

namespace {

QByteArray readAllBytes(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Error(path, QStringLiteral("impossibile aprire il file: ") + file.errorString());
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw Error(path, QStringLiteral("errore di lettura: ") + file.errorString());
    return bytes;
}

}  // namespace

QStringList readTextLines(const QString& path) {
    return splitLines(decodeCp1252(readAllBytes(path)));
}

PosText readPosFile(const QString& path) {
    const QByteArray bytes = readAllBytes(path);
    PosText out;
    out.utf8 = looksLikeUtf8(bytes);
    out.lines = splitPosLines(out.utf8 ? QString::fromUtf8(bytes) : decodeCp1252(bytes));
    return out;
}

QString readFirstLine(const QString& path) {
    const QStringList lines = readTextLines(path);
    return lines.isEmpty() ? QString() : lines.first();
}

void writeTextLines(const QString& path, const QStringList& lines) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw Error(path, QStringLiteral("impossibile creare il file: ") + file.errorString());
    const QByteArray bytes = encodeLines(lines);
    if (file.write(bytes) != bytes.size() || !file.flush())
        throw Error(path, QStringLiteral("errore di scrittura: ") + file.errorString());
}

void writeTextLinesAtomic(const QString& path, const QStringList& lines) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw Error(path, QStringLiteral("impossibile creare il file: ") + file.errorString());
    const QByteArray bytes = encodeLines(lines);
    if (file.write(bytes) != bytes.size() || !file.commit())
        throw Error(path, QStringLiteral("errore di scrittura: ") + file.errorString());
}

}  // namespace quorvel
