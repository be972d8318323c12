// Test fixtures: a fresh temporary working folder per test, made the current
// folder for the test's duration, and a scripted fake for the dialogs.
#pragma once

#include "platform/Seams.h"

#include <gtest/gtest.h>
#include <QByteArray>
#include <QDir>
#include <QStringList>
#include <QTemporaryDir>
#include <deque>
#include <vector>

namespace quorvel::test {

class TempDirTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    QString path(const QString& name) const { return m_dir.filePath(name); }
    QString dir() const { return m_dir.path(); }
    void writeBytes(const QString& name, const QByteArray& bytes) const;
    QByteArray readBytes(const QString& name) const;
    bool exists(const QString& name) const;

private:
    QTemporaryDir m_dir;
    QString m_previous;
};

// Records every message and answers from a script (or with the default).
class FakeDialogs : public Dialogs {
public:
    struct Message {
        QString text, title;
        MsgIcon icon;
        MsgButtons buttons;
        MsgAnswer defaultAnswer;
        QString details = QString();  // messageBoxWithDetails
    };
    struct Input {
        QString prompt, title, defaultText;
    };

    MsgAnswer messageBox(const QString& text, const QString& title, MsgIcon icon,
                         MsgButtons buttons, MsgAnswer defaultAnswer) override;
    void messageBoxWithDetails(const QString& text, const QString& details, const QString& title,
                               MsgIcon icon) override {
        messageBox(text, title, icon, MsgButtons::Ok, MsgAnswer::Ok);
        messages.back().details = details;
    }
    std::optional<QString> inputBox(const QString& prompt, const QString& title,
                                    const QString& defaultText) override;
    void notify(const QString& title, const QString& text) override;

    std::deque<MsgAnswer> answers;              // next message box answers
    std::deque<std::optional<QString>> inputs;  // next input box answers
    std::vector<Message> messages;
    std::vector<Input> prompts;
    std::vector<std::pair<QString, QString>> notices;  // title, text
};

class FakeClock : public Clock {
public:
    QDateTime now() const override { return current; }
    QDateTime current{QDate(2025, 3, 7), QTime(9, 5, 3)};
};

}  // namespace quorvel::test
