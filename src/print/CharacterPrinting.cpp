// The character-printer engine: start bytes, top margin, report lines and
// page ends (form feed, or empty lines up to the physical page with "U").
#include "platform/Error.h"
#include "platform/NumberText.h"
#include "platform/TextFile.h"
#include "print/Conversion.h"
#include "print/PrintEngines.h"

#include <QFile>
#include <QIODevice>

namespace quorvel {

namespace {

const QByteArray kLineEnd("\r\n");
const QByteArray kBlankLine(" \r\n");

// Codes 1-5 (compressed) or 7-11 (normal), each one byte.
QByteArray startBytes(const PrintJob& job) {
    QByteArray bytes;
    const int first = job.compressed ? 1 : 7;
    for (int n = first; n < first + 5; ++n) {
        const auto value = roundToInt32(job.code(n));
        if (!value || *value < 0 || *value > 255)
            throw Error(
                job.destination,
                QStringLiteral("codice di stampa %1 non valido: %2").arg(n).arg(job.code(n)));
        bytes += static_cast<char>(*value);
    }
    return bytes;
}

class CharacterRun {
public:
    CharacterRun(const PrintJob& job, QIODevice& out) : m_job(job), m_out(out) {}

    void write(const QByteArray& bytes) {
        if (m_out.write(bytes) != bytes.size())
            throw Error(m_job.destination,
                        QStringLiteral("errore di scrittura: ") + m_out.errorString());
    }

    void run(const QStringList& lines) {
        marginLines();
        m_n += m_job.topMargin;
        for (QString line : lines) {
            if (!m_job.skipConversion())
                ConvertiCaratteri(line);
            if (!isFormFeedLine(line)) {
                write(encodeCp1252(line) + kLineEnd);
                ++m_n;
            } else {
                newPage();
            }
            // An exact comparison: a margin beyond the page length never
            // ends a page by count.
            if (m_n == m_job.pageLength)
                newPage();
        }
        if (m_n > 0)
            endPage();
    }

private:
    void marginLines() {
        for (int i = 0; i < m_job.topMargin; ++i) write(kBlankLine);
    }

    void newPage() {
        endPage();
        m_n = 0;
        marginLines();
        m_n = m_job.topMargin;
    }

    void endPage() {
        if (!m_job.padPages()) {
            write(QByteArray(1, '\f'));
            return;
        }
        for (; m_n < m_job.physicalLines; ++m_n) write(kLineEnd);
    }

    const PrintJob& m_job;
    QIODevice& m_out;
    int m_n = 0;
};

}  // namespace

void writeCharacterStream(const PrintJob& job, QIODevice& out, const QString& reportPath) {
    CharacterRun run(job, out);
    run.write(startBytes(job));
    if (!QFile::exists(reportPath))
        return;
    run.run(readTextLines(reportPath));
}

void printCharacters(const PrintJob& job, const QString& reportPath) {
    startBytes(job);  // a bad code must not truncate the destination
    QFile out(job.destination);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw Error(job.destination,
                    QStringLiteral("impossibile aprire la destinazione: ") + out.errorString());
    writeCharacterStream(job, out, reportPath);
    if (!out.flush())
        throw Error(job.destination, QStringLiteral("errore di scrittura: ") + out.errorString());
    out.close();
}

}  // namespace quorvel
