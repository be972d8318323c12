// The delimited export: frames, amounts, separator file, exact bytes.
#include "PcLocalGuard.h"
#include "platform/Error.h"
#include "platform/TextFile.h"
#include "print/DelimitedExport.h"
#include "support/TempDir.h"

namespace quorvel::test {
namespace {

class DelimitedExportTest : public TempDirTest {
protected:
    DelimitedExportTest() { PcLocalGuard::set("PCLocal", "3"); }
    QString line(const QByteArray& cp1252) { return convertExportLine(decodeCp1252(cp1252), {}); }
    PcLocalGuard m_env;
};

TEST_F(DelimitedExportTest, FramesAmountsAndWords) {
    const QString euro(QChar(0x20AC));
    EXPECT_EQ(line("\xb3 12 \xb3 Rossi      \xb3   1.234,56 \xb3"),
              ", 12 , Rossi      ,  " + euro + "1234.56 ,");
    EXPECT_EQ(line("   45,00"), "  " + euro + "45.00");
    EXPECT_EQ(line(" -45,00"), euro + "-45.00");
    EXPECT_EQ(line("Rossi, Mario"), "Rossi  Mario");
    EXPECT_EQ(line("12.5"), "12.5");
    EXPECT_EQ(line("+-----+"), ",     ,");
    // Corners, crossings and the right T: a separator at the end, else a blank.
    EXPECT_EQ(line("\xda\xc4\xc2\xc4\xbf"), ", , ,");
    EXPECT_EQ(line("a\xb4"
                   "b\xb4"),
              "a b,");
    EXPECT_EQ(line("|x|"), ",x,");
    // Not amounts: too few decimals, a leading mark, a minus before a blank.
    EXPECT_EQ(line("1,5 2.3"), "1 5 2.3");
    EXPECT_EQ(line(",50 .50"), " 50 .50");
    EXPECT_EQ(line("a - b"), "a   b");
    // No blank before the amount: no currency sign, the amount still converted.
    EXPECT_EQ(line("1.234,56"), "1234.56");
}

TEST_F(DelimitedExportTest, WritesTheExportFileByteExact) {
    writeBytes("fd3", "\xb3 12 \xb3   1.234,56 \xb3\r\n+--+\r\nRossi, Mario\r\n");
    ConvertiXLS("fd3");
    EXPECT_EQ(readBytes("fd3.csv"),
              ", 12 ,  \x80"
              "1234.56 ,\r\n,  ,\r\nRossi  Mario\r\n");

    // The output keeps its name whatever the input is called.
    writeBytes("other.txt", "");
    ConvertiXLS("other.txt");
    EXPECT_TRUE(exists("fd3.csv"));
    EXPECT_EQ(readBytes("fd3.csv"), "");

    EXPECT_THROW(ConvertiXLS("missing"), Error);
}

TEST_F(DelimitedExportTest, SeparatorFile) {
    writeBytes("SeparatoreXLS.txt", ";\r\n,\r\nEUR\r\n");
    writeBytes("fd3", "\xb3   1.234,56\xb3\r\n");
    ConvertiXLS("fd3");
    EXPECT_EQ(readBytes("fd3.csv"), ";  E1234,56;\r\n");

    // Lines are taken whole; an empty currency keeps the blank; missing
    // lines keep their defaults.
    writeBytes("SeparatoreXLS.txt", " ; \r\n\r\n");
    const ExportSeparators s = readExportSeparators();
    EXPECT_EQ(s.field, " ; ");
    EXPECT_EQ(s.decimal, "");
    EXPECT_EQ(s.currency, QString(QChar(0x20AC)));
    writeBytes("SeparatoreXLS.txt", ";\r\n.\r\n\r\n");
    ConvertiXLS("fd3");
    EXPECT_EQ(readBytes("fd3.csv"), ";   1234.56;\r\n");
}

}  // namespace
}  // namespace quorvel::test
