// Lets GoogleTest print Qt texts and money readably in failure messages.
#pragma once

#include "platform/Currency.h"

#include <QString>
#include <QStringList>
#include <ostream>

inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

inline void PrintTo(const QStringList& list, std::ostream* os) {
    *os << '[' << list.join(QStringLiteral(", ")).toStdString() << ']';
}

namespace quorvel {
inline void PrintTo(const Currency& value, std::ostream* os) {
    *os << value.toString().toStdString();
}
}  // namespace quorvel
