// Confirmations of the operator's own commands (printed, saved, refreshed):
// shown on the main window's status line. Process-wide, as the log is: main
// points it at the window, a test at a recorder; without a sink nothing is
// shown (headless runs and tools, whose log lines say the same).
#pragma once

#include <QString>
#include <functional>

namespace quorvel::confirmation {

using Sink = std::function<void(const QString&)>;

// Replaces the sink (an empty one: nothing is shown).
void setSink(Sink sink);
// Hands text to the sink.
void tell(const QString& text);

}  // namespace quorvel::confirmation
