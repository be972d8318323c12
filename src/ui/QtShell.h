// Opening documents and starting programs on the desktop.
#pragma once

#include "platform/Seams.h"

namespace quorvel {

class QtShell : public Shell {
public:
    // Opens path (relative to workingFolder when not absolute) with the
    // program the desktop associates with its type.
    bool openDocument(const QString& path, const QString& workingFolder) override;
    // Starts the program found by name (in the working folder or on the
    // PATH), without waiting for it.
    bool startProgram(const QString& program) override;
};

}  // namespace quorvel
