// The operator's confirmations told while it lives, in order.
#pragma once

#include "platform/Confirmation.h"

#include <QStringList>

namespace quorvel::test {

struct RecordedConfirmations : QStringList {
    RecordedConfirmations() {
        confirmation::setSink([this](const QString& text) { append(text); });
    }
    ~RecordedConfirmations() { confirmation::setSink({}); }
    RecordedConfirmations(const RecordedConfirmations&) = delete;
    RecordedConfirmations& operator=(const RecordedConfirmations&) = delete;
};

}  // namespace quorvel::test
