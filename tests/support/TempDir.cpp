#include "support/TempDir.h"

#include <QFile>

namespace quorvel::test {

void TempDirTest::SetUp() {
    ASSERT_TRUE(m_dir.isValid());
    m_previous = QDir::currentPath();
    QDir::setCurrent(m_dir.path());
}

void TempDirTest::TearDown() { QDir::setCurrent(m_previous); }

void TempDirTest::writeBytes(const QString& name, const QByteArray& bytes) const {
    QFile f(path(name));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

QByteArray TempDirTest::readBytes(const QString& name) const {
    QFile f(path(name));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

bool TempDirTest::exists(const QString& name) const { return QFile::exists(path(name)); }

MsgAnswer FakeDialogs::messageBox(const QString& text, const QString& title, MsgIcon icon,
                                  MsgButtons buttons, MsgAnswer defaultAnswer) {
    messages.push_back({text, title, icon, buttons, defaultAnswer});
    if (answers.empty())
        return defaultAnswer;
    const MsgAnswer a = answers.front();
    answers.pop_front();
    return a;
}

std::optional<QString> FakeDialogs::inputBox(const QString& prompt, const QString& title,
                                             const QString& defaultText) {
    prompts.push_back({prompt, title, defaultText});
    if (inputs.empty())
        return std::nullopt;
    auto a = inputs.front();
    inputs.pop_front();
    return a;
}

void FakeDialogs::notify(const QString& title, const QString& text) { notices.emplace_back(title, text); }

}  // namespace quorvel::test
