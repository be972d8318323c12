// Parsing, writing and framing of protocol records.
#include "interface/FiasRecord.h"

#include "platform/TextFile.h"

namespace quorvel::fias {

QString Record::value(const char* id) const {
    for (const auto& [key, v] : fields)
        if (key == id)
            return v;
    return {};
}

bool Record::has(const char* id) const {
    for (const auto& f : fields)
        if (f.first == id)
            return true;
    return false;
}

Record& Record::add(const char* id, const QString& value) {
    fields.emplace_back(QByteArray(id), value);
    return *this;
}

namespace {

bool isControl(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u < 0x20 || u == 0x7f;
}

std::optional<Record> bad(QString* why, const QString& text) {
    if (why)
        *why = text;
    return std::nullopt;
}

}  // namespace

std::optional<Record> parse(const QByteArray& body, QString* why) {
    if (body.size() < 2 || body[0] < 'A' || body[0] > 'Z' || body[1] < 'A' || body[1] > 'Z')
        return bad(why, QStringLiteral("tipo di record non valido"));
    for (char c : body)
        if (isControl(c))
            return bad(why, QStringLiteral("carattere di controllo nel record"));
    Record r;
    r.type = body.left(2);
    if (body.size() > 2 && body[2] != '|')
        return bad(why, QStringLiteral("tipo di record non seguito da \"|\""));
    const QByteArray rest = body.mid(3);
    for (const QByteArray& piece : rest.split('|')) {
        if (piece.isEmpty())
            continue;
        if (piece.size() < 2)
            return bad(why, QStringLiteral("campo troppo corto: \"%1\"").arg(decodeCp1252(piece)));
        r.fields.emplace_back(piece.left(2), decodeCp1252(piece.mid(2)));
    }
    return r;
}

QByteArray frame(const Record& record) {
    QByteArray out;
    out += Stx;
    out += record.type;
    out += '|';
    for (const auto& [id, value] : record.fields) {
        QByteArray v = encodeCp1252(value);
        for (char& c : v)
            if (c == '|' || isControl(c))
                c = ' ';
        out += id;
        out += v;
        out += '|';
    }
    out += Etx;
    return out;
}

void FrameReader::drop(const QString& why) {
    m_problems << why;
}

void FrameReader::feed(const QByteArray& bytes) {
    for (char c : bytes) {
        if (c == Stx) {
            if (m_inFrame && !m_oversized)
                drop(QStringLiteral("record senza ETX scartato (%1 byte)").arg(m_body.size()));
            if (m_garbage > 0) {
                drop(QStringLiteral("%1 byte fuori da un record scartati").arg(m_garbage));
                m_garbage = 0;
            }
            m_inFrame = true;
            m_oversized = false;
            m_body.clear();
        } else if (!m_inFrame) {
            // Line ends or blanks between records are common and harmless.
            if (c != '\r' && c != '\n' && c != ' ')
                ++m_garbage;
        } else if (c == Etx) {
            if (!m_oversized)
                m_ready.push_back(m_body);
            m_inFrame = false;
            m_oversized = false;
            m_body.clear();
        } else if (!m_oversized) {
            if (m_body.size() >= m_max) {
                drop(QStringLiteral("record oltre %1 byte scartato").arg(m_max));
                m_oversized = true;
                m_body.clear();
            } else {
                m_body += c;
            }
        }
    }
    // Garbage is reported when a frame starts, or here once it piles up.
    if (m_garbage >= m_max) {
        drop(QStringLiteral("%1 byte fuori da un record scartati").arg(m_garbage));
        m_garbage = 0;
    }
}

std::optional<QByteArray> FrameReader::next() {
    if (m_ready.empty())
        return std::nullopt;
    QByteArray b = std::move(m_ready.front());
    m_ready.erase(m_ready.begin());
    return b;
}

QStringList FrameReader::takeProblems() {
    QStringList p;
    p.swap(m_problems);
    return p;
}

}  // namespace quorvel::fias
