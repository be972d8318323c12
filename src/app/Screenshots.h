// Pictures of the main window, the tray popup and a message box for the
// documentation (the hidden option --screenshots DIR).
#pragma once

#include <QString>

namespace quorvel {

class PosDT;

// Shows each window, saves main-window.png, tray-menu.png and messaggio.png
// in dir; returns the process exit status.
int takeScreenshots(PosDT& window, const QString& dir);

}  // namespace quorvel
