// The print preview's view of the report file: whole lines read in chunks of
// about a given number of characters, one chunk after the other, each line
// converted for display; and an edited chunk saved back in its place.
//
// Lines end at CR or CR LF (a lone LF belongs to the line), as the runtime's
// line input reads them; the file is Windows-1252. A chunk ends with the
// first line that brings it to the limit or beyond, so a line is never
// split and a line longer than the limit makes a chunk of its own.
#pragma once

#include <QString>
#include <cstdint>
#include <memory>

class QFile;

namespace quorvel {

class ReportChunkReader {
public:
    explicit ReportChunkReader(QString path);
    ~ReportChunkReader();
    ReportChunkReader(const ReportChunkReader&) = delete;
    ReportChunkReader& operator=(const ReportChunkReader&) = delete;

    const QString& path() const { return m_path; }
    bool exists() const;
    bool isOpen() const;

    // Opens the file for reading at its start; false when it does not exist.
    // Throws Error when it exists but cannot be opened.
    bool open();
    void close();

    // Reads lines from the current position while fewer than limit
    // characters (line ends not counted, before conversion) were read. Each
    // line is converted with ConvertiCaratteri and followed by CR LF. When
    // the file is not open (it could not be opened again after a save), it
    // is opened again from its start first. Throws Error when it cannot be.
    QString readChunk(std::int32_t limit);

    // Characters read into the last chunk, and whether the file has text
    // beyond it.
    std::int32_t chunkLength() const { return m_length; }
    bool more() const { return m_more; }

    // Saves text (the chunk as shown, maybe edited) in place of the bytes of
    // the last chunk read, keeping the report before and after it; when the
    // chunk reached the file's end, text is followed by CR LF. The file is
    // replaced whole through a temporary file, then opened again for
    // reading just after the saved text. chunkLength() and more() stay.
    // Throws Error when the file cannot be read or written.
    void saveChunk(const QString& text);

private:
    bool readLine(QByteArray& line);

    QString m_path;
    std::unique_ptr<QFile> m_file;
    qint64 m_chunkStart = 0;  // byte offsets of the last chunk read
    qint64 m_chunkEnd = 0;
    std::int32_t m_length = 0;
    bool m_more = false;
};

}  // namespace quorvel
