// The e-mail hand-over file and the start of the mailer.
#include "FakeShell.h"
#include "PcLocalGuard.h"
#include "platform/Error.h"
#include "print/MailHandover.h"
#include "support/TempDir.h"

namespace quorvel::test {
namespace {

class MailHandoverTest : public TempDirTest {
protected:
    PcLocalGuard m_env;
    FakeShell shell;
};

TEST_F(MailHandoverTest, HandOverFileAndMailer) {
    PcLocalGuard::set("PCLocal", "3");
    InviaEMail("", shell);
    EXPECT_EQ(readBytes("e-mail3.txt"), "OGGETTO\r\n\r\n");
    EXPECT_EQ(shell.started, QStringList{"Mailsh.exe"});

    // Line breaks inside the text are written unchanged, a lone LF too.
    InviaEMail(QString::fromUtf8("uno\r\ndue €\ntre"), shell);
    EXPECT_EQ(readBytes("e-mail3.txt"), "OGGETTO\r\nuno\r\ndue \x80\ntre\r\n");
}

TEST_F(MailHandoverTest, UnsetPcLocalAndFailures) {
    InviaEMail("x", shell);
    EXPECT_EQ(readBytes("e-mail.txt"), "OGGETTO\r\nx\r\n");

    // Failures are passed on, not shown here: the preview reports them.
    shell.result = false;
    try {
        InviaEMail("y", shell);
        ADD_FAILURE() << "no error for a mailer that does not start";
    } catch (const Error& e) {
        EXPECT_EQ(e.where(), "Mailsh.exe");
    }

    // The hand-over file cannot be written: the mailer is not started.
    shell.result = true;
    shell.started.clear();
    PcLocalGuard::set("PCLocal", "9");
    QDir().mkdir("e-mail9.txt");
    EXPECT_THROW(InviaEMail("z", shell), Error);
    EXPECT_TRUE(shell.started.isEmpty());
}

}  // namespace
}  // namespace quorvel::test
