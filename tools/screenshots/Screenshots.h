// Pictures of the main window, the tray popup and a message box for the
// documentation (quorvel-screenshots).
#pragma once

#include <QString>

namespace quorvel {

namespace db {
class Workspace;
}
class PosDT;

// Shows each window, saves main-window.png, tray-menu.png and messaggio.png
// in dir, then the print pictures (print menu in ws); returns the process
// exit status. REQUIRES: window made with a tray probe that says yes.
int takeScreenshots(PosDT& window, db::Workspace& ws, const QString& dir);

}  // namespace quorvel
