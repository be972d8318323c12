// The program's icon, for the main window and the tray: drawn, so that no
// image file has to travel with the program.
#pragma once

#include <QIcon>

namespace quorvel {

// A 16x16 and a 32x32 image of the same design. Needs a QGuiApplication.
QIcon quorvelIcon();

}  // namespace quorvel
