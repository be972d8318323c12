// Test helper: clears every spelling of PCLocal for the test's duration and
// puts the environment back afterwards.
#pragma once

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>
#include <utility>
#include <vector>

namespace quorvel::test {

class PcLocalGuard {
public:
    PcLocalGuard() {
        const QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const QString& key : env.keys()) {
            if (key.compare(QStringLiteral("PCLocal"), Qt::CaseInsensitive) == 0) {
                m_saved.emplace_back(key.toLocal8Bit(), qgetenv(key.toLocal8Bit().constData()));
                qunsetenv(key.toLocal8Bit().constData());
            }
        }
    }
    ~PcLocalGuard() {
        for (const char* name : {"PCLocal", "PClocal", "PCLOCAL", "pclocal"}) qunsetenv(name);
        for (const auto& [key, value] : m_saved) qputenv(key.constData(), value);
    }
    PcLocalGuard(const PcLocalGuard&) = delete;
    PcLocalGuard& operator=(const PcLocalGuard&) = delete;

    static void set(const char* name, const QByteArray& value) { qputenv(name, value); }

private:
    std::vector<std::pair<QByteArray, QByteArray>> m_saved;
};

}  // namespace quorvel::test
