// Test double of the desktop shell: records what was opened or started and
// answers with the scripted result.
#pragma once

#include "platform/Seams.h"

#include <QStringList>
#include <utility>
#include <vector>

namespace quorvel::test {

class FakeShell : public Shell {
public:
    bool openDocument(const QString& path, const QString& workingFolder) override {
        opened.emplace_back(path, workingFolder);
        return result;
    }
    bool startProgram(const QString& program) override {
        started << program;
        return result;
    }

    std::vector<std::pair<QString, QString>> opened;  // path, working folder
    QStringList started;
    bool result = true;
};

}  // namespace quorvel::test
