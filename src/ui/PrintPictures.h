// The pictures of the print menu's six buttons and of the preview's "&Esci",
// drawn with QPainter so that no image file travels with the program.
#pragma once

#include <QIcon>

namespace quorvel {

// The picture of the print menu's button Tst(index): 0 open the archive
// copy, 1 spreadsheet, 2 PDF, 3 print, 4 preview, 5 exit. Needs a
// QGuiApplication.
QIcon tstPicture(int index);

// An open door with an arrow leaving it.
QIcon exitPicture();

}  // namespace quorvel
