// The records of the hotel industry's PMS-POS interface protocol over TCP:
// each record is framed by STX (0x02) and ETX (0x03) and holds a two-letter
// record type followed by fields, each a two-character field id and its
// value, every one ended by "|":
//   STX "PR|RN101|TA1250|P#17|WS3|DA251209|TI193000|" ETX
// Values are Windows-1252 text. The reader takes bytes as they come (a
// record split over reads, several records in one read) and drops what is
// no record (bytes outside a frame, an oversized or malformed record),
// telling why, so that one bad record never ends the connection's stream.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>
#include <utility>
#include <vector>

namespace quorvel::fias {

inline constexpr char Stx = 0x02;
inline constexpr char Etx = 0x03;
// A record longer than this (between STX and ETX) is dropped: the longest
// real one, a posting list of a crowded room, stays far below it.
inline constexpr int MaxRecordBytes = 8192;

struct Record {
    QByteArray type;                                     // "LS", "PR", ...
    std::vector<std::pair<QByteArray, QString>> fields;  // in order

    // The first value of the field, empty when it is absent.
    QString value(const char* id) const;
    bool has(const char* id) const;
    Record& add(const char* id, const QString& value);
};

// Parses the bytes between STX and ETX. nullopt (why set) when they are no
// record: a type that is not two capital letters, a control byte, a field
// shorter than its id. Empty fields ("||") are skipped.
std::optional<Record> parse(const QByteArray& body, QString* why = nullptr);

// The framed bytes of a record. A "|" or control character in a value
// would break the framing: it is written as a blank.
QByteArray frame(const Record& record);

// Splits a byte stream into record bodies.
class FrameReader {
public:
    explicit FrameReader(int maxRecord = MaxRecordBytes) : m_max(maxRecord) {}

    // Takes the bytes received; completed bodies queue up for next().
    void feed(const QByteArray& bytes);
    // The next complete body, oldest first.
    std::optional<QByteArray> next();
    // Why bytes were dropped since the last call (for the log).
    QStringList takeProblems();

private:
    void drop(const QString& why);

    int m_max;
    bool m_inFrame = false;
    bool m_oversized = false;  // dropping the rest of a record too long
    qsizetype m_garbage = 0;   // bytes outside any frame not yet reported
    QByteArray m_body;
    std::vector<QByteArray> m_ready;
    QStringList m_problems;
};

}  // namespace quorvel::fias
