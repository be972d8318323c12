// The e-mail hand-over file and the start of the mailer.
#include "PcLocalGuard.h"
#include "print/MailHandover.h"
#include "support/TempDir.h"

namespace quorvel::test {
namespace {

class FakeShell : public Shell {
public:
    bool openDocument(const QString&, const QString&) override { return false; }
    bool startProgram(const QString& program) override {
        started << program;
        return canStart;
    }
    QStringList started;
    bool canStart = true;
};

class MailHandoverTest : public TempDirTest {
protected:
    PcLocalGuard m_env;
    FakeShell shell;
    FakeDialogs dialogs;
};

TEST_F(MailHandoverTest, HandOverFileAndMailer) {
    PcLocalGuard::set("PCLocal", "3");
    EXPECT_TRUE(InviaEMail("", shell, dialogs));
    EXPECT_EQ(readBytes("e-mail3.txt"), "OGGETTO\r\n\r\n");
    EXPECT_EQ(shell.started, QStringList{"Mailsh.exe"});

    EXPECT_TRUE(InviaEMail(QString::fromUtf8("uno\r\ndue €\r\ntre"), shell, dialogs));
    EXPECT_EQ(readBytes("e-mail3.txt"), "OGGETTO\r\nuno\r\ndue \x80\r\ntre\r\n");
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(MailHandoverTest, UnsetPcLocalAndFailures) {
    EXPECT_TRUE(InviaEMail("x", shell, dialogs));
    EXPECT_EQ(readBytes("e-mail.txt"), "OGGETTO\r\nx\r\n");

    shell.canStart = false;
    EXPECT_FALSE(InviaEMail("y", shell, dialogs));
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_TRUE(dialogs.messages[0].text.contains("Mailsh.exe"));

    // The hand-over file cannot be written: the mailer is not started.
    shell.canStart = true;
    shell.started.clear();
    PcLocalGuard::set("PCLocal", "9");
    QDir().mkdir("e-mail9.txt");
    EXPECT_FALSE(InviaEMail("z", shell, dialogs));
    EXPECT_TRUE(shell.started.isEmpty());
    EXPECT_EQ(dialogs.messages.size(), 2u);
}

}  // namespace
}  // namespace quorvel::test
