// Pictures of the print menu and the preview for the documentation.
#pragma once

#include <QStringList>

namespace quorvel {

// Writes errors into the report file, then shows the print menu (with the
// hotel's destinations of the working folder) and the preview of that
// report, and saves print-menu.png and preview.png in dir. False when a
// picture could not be taken.
bool takePrintScreenshots(const QString& dir, const QStringList& errors);

}  // namespace quorvel
