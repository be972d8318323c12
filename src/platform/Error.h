// The one exception type of the program: an engine or file failure, carrying
// what failed (file, table or field) and why. Caught only at the boundaries
// (a tick, a click, a run), where errorText() gives the text that is logged
// and shown.
#pragma once

#include <QString>
#include <stdexcept>

namespace quorvel {

class Error : public std::runtime_error {
public:
    // where: the file, table or field concerned; cause: what went wrong.
    Error(const QString& where, const QString& cause)
        : std::runtime_error(
              (where.isEmpty() ? cause : where + QStringLiteral(": ") + cause).toStdString()),
          m_where(where),
          m_cause(cause) {}

    const QString& where() const { return m_where; }
    const QString& cause() const { return m_cause; }
    QString message() const { return QString::fromStdString(what()); }

private:
    QString m_where;
    QString m_cause;
};

// The text of any exception for the log and the operator: an Error's own
// message, else what() in the machine's 8-bit encoding.
inline QString errorText(const std::exception& e) {
    if (const auto* error = dynamic_cast<const Error*>(&e))
        return error->message();
    return QString::fromLocal8Bit(e.what());
}

}  // namespace quorvel
