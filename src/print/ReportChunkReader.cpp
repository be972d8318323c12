// Chunked reading of the report file and saving a chunk in its place.
#include "print/ReportChunkReader.h"

#include "platform/Error.h"
#include "platform/TextFile.h"
#include "print/Conversion.h"

#include <QFile>
#include <QSaveFile>
#include <algorithm>

namespace quorvel {

ReportChunkReader::ReportChunkReader(QString path) : m_path(std::move(path)) {}

ReportChunkReader::~ReportChunkReader() = default;

bool ReportChunkReader::exists() const {
    return QFile::exists(m_path);
}

bool ReportChunkReader::isOpen() const {
    return m_file && m_file->isOpen();
}

bool ReportChunkReader::open() {
    close();
    if (!exists())
        return false;
    auto file = std::make_unique<QFile>(m_path);
    if (!file->open(QIODevice::ReadOnly))
        throw Error(m_path, QStringLiteral("impossibile aprire il file: ") + file->errorString());
    m_file = std::move(file);
    return true;
}

void ReportChunkReader::close() {
    m_file.reset();
}

bool ReportChunkReader::readLine(QByteArray& line) {
    line.clear();
    if (m_file->atEnd())
        return false;
    char c = 0;
    while (m_file->getChar(&c)) {
        if (c == '\r') {
            char next = 0;
            if (m_file->peek(&next, 1) == 1 && next == '\n')
                m_file->getChar(&next);
            return true;
        }
        line.append(c);
    }
    if (m_file->error() != QFileDevice::NoError)
        throw Error(m_path, QStringLiteral("errore di lettura: ") + m_file->errorString());
    return true;
}

QString ReportChunkReader::readChunk(std::int32_t limit) {
    if (!isOpen() && !open())
        throw Error(m_path, QStringLiteral("il file di stampa non esiste"));
    m_chunkStart = m_file->pos();
    m_length = 0;
    QString text;
    QByteArray bytes;
    while (m_length < limit && readLine(bytes)) {
        QString line = decodeCp1252(bytes);
        m_length +=
            static_cast<std::int32_t>(std::min<qsizetype>(line.size(), INT32_MAX - m_length));
        text += ConvertiCaratteri(line);
        text += QStringLiteral("\r\n");
    }
    m_chunkEnd = m_file->pos();
    m_more = !m_file->atEnd();
    return text;
}

void ReportChunkReader::saveChunk(const QString& text) {
    QByteArray whole;
    {
        QFile current(m_path);
        if (current.exists()) {
            if (!current.open(QIODevice::ReadOnly))
                throw Error(m_path, QStringLiteral("impossibile leggere il file: ") +
                                        current.errorString());
            whole = current.readAll();
        }
    }
    const qint64 start = std::min<qint64>(m_chunkStart, whole.size());
    const qint64 end = std::clamp<qint64>(m_chunkEnd, start, whole.size());
    const QByteArray tail = whole.mid(end);
    QByteArray saved = encodeCp1252(text);
    if (tail.isEmpty())
        saved += "\r\n";
    const QByteArray content = whole.left(start) + saved + tail;

    // On Windows a file that is open cannot be replaced.
    close();
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly))
        throw Error(m_path, QStringLiteral("impossibile creare il file: ") + file.errorString());
    if (file.write(content) != content.size() || !file.commit())
        throw Error(m_path, QStringLiteral("errore di scrittura: ") + file.errorString());

    const qint64 position = start + saved.size();
    m_chunkStart = start;
    m_chunkEnd = position;
    if (open() && !m_file->seek(position))
        throw Error(m_path, QStringLiteral("impossibile riposizionarsi nel file"));
}

}  // namespace quorvel
