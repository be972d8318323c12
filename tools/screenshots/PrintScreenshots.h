// Pictures of the print menu and the preview for the documentation.
#pragma once

#include <QStringList>
#include <cstdint>

namespace quorvel {

namespace db {
class Workspace;
}

// Writes errors into the report file, then shows the print menu (with the
// hotel's destinations of the working folder) and the preview of that
// report, and saves print-menu.png and preview.png in dir; then the preview
// of the reconciliation of the store's last charge day,
// quadratura-preview.png (when the folder has a store). False when a
// picture could not be taken.
bool takePrintScreenshots(db::Workspace& ws, std::int16_t hotelCorrente, const QString& dir,
                          const QStringList& errors);

}  // namespace quorvel
