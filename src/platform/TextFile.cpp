// Windows-1252 conversion tables and line-oriented file helpers.
#include "platform/TextFile.h"

#include "platform/Error.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

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

namespace {

// Strict UTF-8 check of n bytes: -1 when invalid, otherwise how many bytes
// at the end begin a sequence cut short by the end (0 when none); multiByte
// is set when a whole multi-byte sequence was seen.
qsizetype utf8Check(const char* bytes, qsizetype n, bool& multiByte) {
    for (qsizetype i = 0; i < n;) {
        // Plain ASCII, eight bytes at a time (a large file is mostly that).
        std::uint64_t word = 0;
        while (i + 8 <= n &&
               (std::memcpy(&word, bytes + i, 8), (word & 0x8080808080808080ULL) == 0))
            i += 8;
        if (i >= n)
            break;
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
            return -1;
        }
        for (int k = 1; k <= more; ++k) {
            if (i + k >= n)
                return n - i;
            const auto c = static_cast<unsigned char>(bytes[i + k]);
            if (k == 1 ? (c < lo || c > hi) : (c < 0x80 || c > 0xBF))
                return -1;
        }
        multiByte = true;
        i += more + 1;
    }
    return 0;
}

constexpr qint64 BlockSize = 64 * 1024;

std::unique_ptr<QFile> openAt(const QString& path, qint64 offset) {
    auto file = std::make_unique<QFile>(path);
    if (!file->open(QIODevice::ReadOnly))
        throw Error(path, QStringLiteral("impossibile aprire il file: ") + file->errorString());
    if (!file->seek(offset))
        throw Error(path, QStringLiteral("errore di lettura: ") + file->errorString());
    return file;
}

QByteArray readBlock(QFile& file, const QString& path, qint64 max) {
    QByteArray block = file.read(std::min(BlockSize, max));
    if (file.error() != QFileDevice::NoError)
        throw Error(path, QStringLiteral("errore di lettura: ") + file.errorString());
    return block;
}

}  // namespace

bool looksLikeUtf8(const QByteArray& bytes) {
    bool multiByte = false;
    return utf8Check(bytes.constData(), bytes.size(), multiByte) == 0 && multiByte;
}

bool fileLooksLikeUtf8(const QString& path, qint64 from, qint64 to) {
    const auto file = openAt(path, from);
    bool multiByte = false;
    QByteArray carry;  // a sequence cut by the end of the block before
    for (qint64 left = to - from; left > 0;) {
        QByteArray block = readBlock(*file, path, left);
        if (block.isEmpty())
            break;
        left -= block.size();
        block.prepend(carry);
        const qsizetype cut = utf8Check(block.constData(), block.size(), multiByte);
        if (cut < 0)
            return false;
        carry = block.right(cut);
    }
    return carry.isEmpty() && multiByte;
}

PosLineReader::PosLineReader(const QString& path, qint64 from, qint64 to, bool utf8, qsizetype keep)
    : m_path(path),
      m_file(openAt(path, from > 0 ? from - 1 : 0)),
      m_left(to - from),
      m_utf8(utf8),
      m_keep(keep),
      m_blockStart(from) {
    if (from > 0) {
        char before = 0;
        if (!m_file->getChar(&before))
            throw Error(path, QStringLiteral("errore di lettura: ") + m_file->errorString());
        m_skipLf = before == '\r';
        m_midLine = before != '\r' && before != '\n';
    }
}

PosLineReader::~PosLineReader() = default;

bool PosLineReader::fill() {
    if (m_left <= 0)
        return false;
    m_blockStart += m_block.size();
    m_block = readBlock(*m_file, m_path, m_left);
    m_pos = 0;
    m_nextCr = m_nextLf = -1;
    m_left = m_block.isEmpty() ? 0 : m_left - m_block.size();  // a file cut short ends here
    return !m_block.isEmpty();
}

qsizetype PosLineReader::lineEnd() {
    const char* data = m_block.constData();
    const qsizetype n = m_block.size();
    const auto find = [&](qsizetype& cached, char c) {
        if (cached < m_pos) {
            const void* hit = std::memchr(data + m_pos, c, static_cast<size_t>(n - m_pos));
            cached = hit ? static_cast<const char*>(hit) - data : n;
        }
    };
    find(m_nextCr, '\r');
    find(m_nextLf, '\n');
    return std::min(m_nextCr, m_nextLf);
}

bool PosLineReader::next(QString& line, qint64& length) {
    // A UTF-8 character takes up to four bytes.
    const qsizetype keepBytes = m_utf8 ? m_keep * 4 : m_keep;
    QByteArray bytes;
    qint64 count = 0;
    bool any = false;
    for (;;) {
        if (m_pos >= m_block.size() && !fill()) {
            if (!any)
                return false;
            break;
        }
        if (m_skipLf) {
            m_skipLf = false;
            if (m_block[m_pos] == '\n') {
                ++m_pos;
                continue;
            }
        }
        any = true;
        const char* start = m_block.constData() + m_pos;
        const qsizetype n = m_block.size() - m_pos;
        const qsizetype k = lineEnd() - m_pos;
        if (bytes.size() < keepBytes)
            bytes.append(start, std::min(k, keepBytes - bytes.size()));
        if (!m_utf8) {
            count += k;
        } else {
            for (qsizetype j = 0; j < k; ++j)
                count += (static_cast<unsigned char>(start[j]) & 0xC0) != 0x80;
        }
        m_pos += k;
        if (k < n) {
            m_skipLf = start[k] == '\r';
            ++m_pos;
            m_ended = true;
            break;
        }
        m_ended = false;
    }
    line = m_utf8 ? QString::fromUtf8(bytes).left(m_keep) : decodeCp1252(bytes);
    length = count;
    return true;
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

std::optional<QByteArray> readSideFileBytes(const QString& path, qint64 maxBytes) {
    const QFileInfo info(path);
    if (!info.exists())
        return std::nullopt;
    if (!info.isFile())
        throw Error(path, info.isDir() ? QStringLiteral("è una cartella, non un file")
                                       : QStringLiteral("non è un file normale (FIFO, "
                                                        "dispositivo o socket): non letto"));
    QFile file(path);
#ifdef Q_OS_UNIX
    // Opened without waiting and checked again on the open file: a FIFO put
    // in its place since the check above must not block.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        if (fd >= 0)
            ::close(fd);
        throw Error(path, QStringLiteral("non è un file normale o non si può aprire: non letto"));
    }
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        throw Error(path, QStringLiteral("impossibile aprire il file: ") + file.errorString());
    }
#else
    if (!file.open(QIODevice::ReadOnly))
        throw Error(path, QStringLiteral("impossibile aprire il file: ") + file.errorString());
#endif
    QByteArray bytes = file.read(maxBytes + 1);
    if (file.error() != QFileDevice::NoError)
        throw Error(path, QStringLiteral("errore di lettura: ") + file.errorString());
    if (bytes.size() > maxBytes)
        throw Error(path,
                    QStringLiteral("file troppo grande (oltre %1 byte): non letto").arg(maxBytes));
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    return bytes;
}

std::optional<QStringList> readSideFileLines(const QString& path, qint64 maxBytes) {
    const auto bytes = readSideFileBytes(path, maxBytes);
    if (!bytes)
        return std::nullopt;
    return splitLines(decodeCp1252(*bytes));
}

std::optional<QList<KeyValueLine>> readKeyValueFile(const QString& path) {
    const auto bytes = readSideFileBytes(path);
    if (!bytes)
        return std::nullopt;
    static const QRegularExpression ends(QStringLiteral("\r\n|\r|\n"));
    const QStringList lines = QString::fromUtf8(*bytes).split(ends);
    QList<KeyValueLine> out;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString line = lines[i].trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        KeyValueLine kv{i + 1, {}, {}};
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq < 0)
            throw keyValueError(path, kv,
                                QStringLiteral("manca \"=\" (le righe sono chiave = valore)"));
        kv.key = line.left(eq).trimmed().toLower();
        kv.value = line.mid(eq + 1).trimmed();
        out.push_back(kv);
    }
    return out;
}

Error keyValueError(const QString& path, const KeyValueLine& line, const QString& why) {
    return Error(path, QStringLiteral("riga %1: %2").arg(line.number).arg(why));
}

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
