// The start-up steps that do not need a window: the two local databases and
// the settings file. Shared by the windowed and headless runs.
#pragma once

#include "platform/Seams.h"
#include "platform/Settings.h"

namespace quorvel {

namespace db {
class Workspace;
}

// CreaClientiCasa, CreaPassaRicevute, the settings file created when missing
// (an existing one is never rewritten here), then read into settings. A step
// that fails is logged and notified, and the next one runs: the polling
// reports the same fault at each tick until it is mended. A settings file
// that cannot be read leaves settings.unreadable set (the tick tries again);
// unusable values in a readable one are notified.
void prepareWorkingFolder(Settings& settings, Dialogs& dialogs, db::Workspace& ws);

}  // namespace quorvel
