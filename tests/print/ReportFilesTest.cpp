// PC number forms and the file names built from it.
#include "PcLocalGuard.h"
#include "print/ReportFiles.h"
#include "support/TempDir.h"

#include <QDir>

namespace quorvel::test {
namespace {

class ReportFilesTest : public TempDirTest {
protected:
    PcLocalGuard m_env;
};

TEST_F(ReportFilesTest, PcNumberFormsAndNames) {
    PcLocalGuard::set("PCLocal", "3");
    EXPECT_EQ(pcNumberRaw(), "3");
    EXPECT_EQ(pcNumberNumeric(), "3");
    EXPECT_EQ(reportFileName(), "fd3");
    EXPECT_EQ(exportFileName(), "fd3.csv");
    EXPECT_EQ(mailFileName(), "e-mail3.txt");
    const QDateTime at(QDate(2024, 3, 15), QTime(9, 30, 59));
    EXPECT_EQ(archiveCopyName(at), QDir::toNativeSeparators("doc/fd3202403150930.doc"));

    PcLocalGuard::set("PCLocal", "03");
    EXPECT_EQ(pcNumberRaw(), "03");
    EXPECT_EQ(pcNumberNumeric(), "3");
    EXPECT_EQ(reportFileName(), "fd03");  // writers and readers use this one name
}

TEST_F(ReportFilesTest, UnsetOrOddPcLocal) {
    EXPECT_EQ(pcNumberRaw(), "");
    EXPECT_EQ(pcNumberNumeric(), "0");
    EXPECT_EQ(reportFileName(), "fd");
    EXPECT_EQ(mailFileName(), "e-mail.txt");

    // Another spelling of the name is found too.
    PcLocalGuard::set("PClocal", "7");
    EXPECT_EQ(pcNumberRaw(), "7");
    EXPECT_EQ(reportFileName(), "fd7");

    // A value that would lead out of the working folder stays inside it.
    PcLocalGuard::set("PCLocal", "../x:1");
    EXPECT_EQ(pcNumberRaw(), "../x:1");
    EXPECT_EQ(pcNumberNumeric(), "0");
    EXPECT_EQ(reportFileName(), "fd.._x_1");
}

TEST_F(ReportFilesTest, ArchiveCopyReplacesTheCopyOfTheSameMinute) {
    PcLocalGuard::set("PCLocal", "3");
    const QDateTime at(QDate(2024, 3, 15), QTime(9, 30));
    // No report yet: the folder is made, the name is given, nothing copied.
    const QString name = makeArchiveCopy(at);
    EXPECT_TRUE(QDir("doc").exists());
    EXPECT_FALSE(exists(name));

    writeBytes("fd3", "first\r\n");
    EXPECT_EQ(makeArchiveCopy(at), name);
    EXPECT_EQ(readBytes(name), "first\r\n");
    writeBytes("fd3", "second\r\n");
    makeArchiveCopy(at.addSecs(20));
    EXPECT_EQ(readBytes(name), "second\r\n");
}

TEST_F(ReportFilesTest, ReportFont) {
    EXPECT_EQ(reportFontName(), "Courier New");
    writeBytes("FontStp.txt", "");
    EXPECT_EQ(reportFontName(), "Courier New");
    writeBytes("FontStp.txt", "   \r\nArial\r\n");
    EXPECT_EQ(reportFontName(), "Courier New");
    writeBytes("FontStp.txt", "  Lucida Console \r\nArial\r\n");
    EXPECT_EQ(reportFontName(), "Lucida Console");
}

}  // namespace
}  // namespace quorvel::test
