// A failure that comes back at every cycle is told when it starts or its
// cause changes, and once more when it ends, with how many times it came.
#pragma once

#include "platform/Plural.h"

#include <QString>

namespace quorvel {

class FailureEpisode {
public:
    // Counts a failure; true when it is to be told (the first, or a new cause).
    bool failed(const QString& why) {
        ++m_count;
        const bool tell = why != m_cause;
        m_cause = why;
        return tell;
    }
    // After a success: the episode's end (%1 the count, %2 the last cause),
    // or an empty text when nothing had failed. Starts a new episode.
    QString ended(const QString& one, const QString& many) {
        const QString text = m_count > 0 ? plural(m_count, one, many).arg(m_cause) : QString();
        m_count = 0;
        m_cause.clear();
        return text;
    }

private:
    int m_count = 0;
    QString m_cause;
};

}  // namespace quorvel
