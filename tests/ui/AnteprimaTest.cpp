// The print preview window: chunks, font sizes, saving, e-mail and failures.
#include "print/FakeShell.h"
#include "print/PcLocalGuard.h"
#include "support/RecordedConfirmations.h"
#include "support/TempDir.h"
#include "support/TestSmtp.h"
#include "ui/Anteprima.h"
#include "ui/Translations.h"
#include "ui/Twips.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>

namespace quorvel::test {
namespace {

class AnteprimaTest : public TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        PcLocalGuard::set("PCLocal", "3");
    }
    QByteArray lines(int count, int width) {
        QByteArray text;
        for (int i = 0; i < count; ++i)
            text += QByteArray::number(i).rightJustified(width, '.') + "\r\n";
        return text;
    }
    int shownLines(const Anteprima& a) { return a.text1Text().count(QStringLiteral("\r\n")); }

    PcLocalGuard env;
    FakeDialogs dialogs;
    FakeClock clock;
    FakeShell shell;
    Services services{&dialogs, &clock, &shell};
};

TEST_F(AnteprimaTest, ControlsAndLayout) {
    writeBytes("fd3", "riga\r\n");
    Anteprima preview(services);
    EXPECT_EQ(preview.windowTitle(), "Anteprima di Stampa");
    const QStringList captions{"&Esci",   "&Riduci", "E&spandi", "&Avanti",
                               "&Inizio", "E-&mail", "Sa&lva"};
    for (int i = 0; i < 7; ++i) EXPECT_EQ(preview.tasto(i)->text(), captions[i]);
    EXPECT_TRUE(preview.tasto(0)->font().bold());
    EXPECT_FALSE(preview.tasto(0)->icon().isNull());
    EXPECT_DOUBLE_EQ(preview.text1()->font().pointSizeF(), 11.25);

    preview.formLoad();
    ASSERT_TRUE(preview.formActivate());
    // The buttons share one row under the text; "&Esci" reaches the right side.
    const int top = preview.tasto(0)->y();
    for (int i = 1; i < 7; ++i) EXPECT_EQ(preview.tasto(i)->y(), top);
    EXPECT_LT(preview.text1()->geometry().bottom(), top);
    EXPECT_NEAR(preview.tasto(0)->geometry().right(), preview.width(), twipsToPixels(150));
    preview.show();
    preview.resize(preview.width() + 200, preview.height() + 100);
    EXPECT_EQ(preview.tasto(0)->y(), top + 100);
    preview.hide();

    // The text's standard context menu speaks Italian, as the program loads it.
    ASSERT_TRUE(loadQtTranslations(*QCoreApplication::instance()));
    const std::unique_ptr<QMenu> menu(preview.text1()->createStandardContextMenu());
    QStringList items;
    for (const QAction* a : menu->actions())
        if (!a->isSeparator())
            items << a->text().remove(QLatin1Char('&')).section(QLatin1Char('\t'), 0, 0);
    EXPECT_EQ(items, (QStringList{"Annulla", "Rifai", "Taglia", "Copia", "Incolla", "Elimina",
                                  "Seleziona tutto"}));
}

TEST_F(AnteprimaTest, ChunksOfAThousandLines) {
    writeBytes("fd3", lines(1000, 30));
    Anteprima preview(services);
    preview.formLoad();
    ASSERT_TRUE(preview.formActivate());
    EXPECT_EQ(shownLines(preview), 667);
    EXPECT_EQ(preview.chunkLength(), 20010);
    EXPECT_TRUE(preview.more());

    preview.Tasto_Click(3);  // "&Avanti"
    EXPECT_EQ(shownLines(preview), 333);
    EXPECT_TRUE(
        preview.text1Text().startsWith(QStringLiteral("%1\r\n").arg(667, 30, 10, QChar('.'))));
    EXPECT_FALSE(preview.more());
    const QString last = preview.text1Text();
    preview.Tasto_Click(3);  // nothing more to read
    EXPECT_EQ(preview.text1Text(), last);

    preview.Tasto_Click(4);  // "&Inizio": from the start, up to 26000 characters
    EXPECT_EQ(shownLines(preview), 867);
    EXPECT_TRUE(preview.more());
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(AnteprimaTest, FontSizeSteps) {
    writeBytes("fd3", "");
    Anteprima preview(services);
    preview.formLoad();
    ASSERT_TRUE(preview.formActivate());
    EXPECT_EQ(preview.text1Text(), "");  // an empty report: empty text, nothing more
    EXPECT_FALSE(preview.more());

    preview.Tasto_Click(1);
    EXPECT_DOUBLE_EQ(preview.fontSize(), 10.25);
    preview.Tasto_Click(2);
    preview.Tasto_Click(2);
    EXPECT_DOUBLE_EQ(preview.fontSize(), 12.25);
    EXPECT_DOUBLE_EQ(preview.text1()->font().pointSizeF(), 12.25);
    for (int i = 0; i < 20; ++i) preview.Tasto_Click(1);
    EXPECT_DOUBLE_EQ(preview.fontSize(), 1.25);  // never 1 point or less by a step
    preview.Tasto_Click(1);
    EXPECT_DOUBLE_EQ(preview.fontSize(), 1.25);
    for (int i = 0; i < 100; ++i) preview.Tasto_Click(2);
    EXPECT_DOUBLE_EQ(preview.fontSize(), 71.25);  // the largest size that a step reaches
}

TEST_F(AnteprimaTest, SaveMailAndFailures) {
    RecordedConfirmations confirmed;
    writeBytes("fd3", "PERCH\xc9\r\nseconda\r\n");
    Anteprima preview(services);
    preview.formLoad();
    ASSERT_TRUE(preview.formActivate());
    EXPECT_EQ(preview.text1()->toPlainText(), QString::fromUtf8("PERCHé\nseconda\n"));

    // Edited and saved: converted characters stay converted, one empty line more.
    preview.text1()->appendPlainText(QStringLiteral("aggiunta"));
    preview.Tasto_Click(6);
    EXPECT_EQ(readBytes("fd3"), "PERCH\xe9\r\nseconda\r\n\r\naggiunta\r\n");
    EXPECT_EQ(confirmed, QStringList{"Testo dell'anteprima salvato in fd3"});

    preview.text1()->setPlainText(QStringLiteral("uno\ndue\ntre"));
    preview.Tasto_Click(5);  // "E-&mail"
    EXPECT_EQ(shell.started, QStringList{"Mailsh.exe"});
    EXPECT_EQ(readBytes("e-mail3.txt"), "OGGETTO\r\nuno\r\ndue\r\ntre\r\n");

    // The mailer does not start: the preview tells, under its own title.
    shell.result = false;
    preview.Tasto_Click(5);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].title, "Riporto Clienti");
    EXPECT_TRUE(dialogs.messages[0].text.contains("Mailsh.exe"));
    shell.result = true;
    dialogs.messages.clear();

    // The report gone: "&Inizio" fails, the text stays, the operator is told.
    QFile::remove(path("fd3"));
    preview.Tasto_Click(4);
    EXPECT_EQ(preview.text1Text(), "uno\r\ndue\r\ntre");
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].title, "Riporto Clienti");
    EXPECT_TRUE(dialogs.messages[0].text.contains("fd3"));

    // "Sa&lva" writes it again; reading goes on from the saved file.
    preview.Tasto_Click(6);
    EXPECT_EQ(readBytes("fd3"), "uno\r\ndue\r\ntre\r\n");
    preview.Tasto_Click(4);
    EXPECT_EQ(preview.text1Text(), "uno\r\ndue\r\ntre\r\n");
}

TEST_F(AnteprimaTest, FormFeedsTabsNoBreakSpacesAndLoneLineFeedsSurviveASave) {
    const QByteArray report(
        "a\tb\r\n\f\r\nc\xa0"
        "d \xe7grassetto\xe7\r\nriga\nspezzata\r\n");
    writeBytes("fd3", report);
    Anteprima preview(services);
    preview.formLoad();
    ASSERT_TRUE(preview.formActivate());
    preview.Tasto_Click(6);
    EXPECT_EQ(readBytes("fd3"), report + "\r\n");
    preview.Tasto_Click(5);
    EXPECT_EQ(readBytes("e-mail3.txt"), "OGGETTO\r\n" + report + "\r\n");

    // A line the operator breaks, with or without Shift, is a line of its own.
    preview.text1()->moveCursor(QTextCursor::End);
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::ShiftModifier);
    QApplication::sendEvent(preview.text1(), &enter);
    preview.text1()->insertPlainText(QStringLiteral("x"));
    EXPECT_TRUE(preview.text1Text().endsWith("spezzata\r\n\r\nx"))
        << preview.text1Text().toStdString();
}

TEST_F(AnteprimaTest, NoReportClosesThePreview) {
    Anteprima preview(services);
    preview.run();  // returns at once
    EXPECT_TRUE(preview.closedForNoReport());
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(AnteprimaTest, MailGoesOverSmtpWithMailSettings) {
    QUORVEL_TEST_SMTP(smtp);
    writeBytes("fd3", "Caff\xe8 2,50\r\n");
    writeMailSettings(smtp, {});
    Anteprima preview(services);
    preview.formLoad();
    ASSERT_TRUE(preview.formActivate());
    const int before = smtp.count();
    preview.Tasto_Click(5);
    EXPECT_TRUE(shell.started.isEmpty());
    ASSERT_EQ(smtp.count(), before + 1);
    EXPECT_EQ(mailTextPart(smtp.message(before + 1)), "Caff\xC3\xA8 2,50");
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].title, "E-mail");
    EXPECT_EQ(dialogs.messages[0].text, "E-mail inviata a ricevimento@hotel.example.");

    // The server gone: told under the preview's title, the text kept.
    writeMailSettings(smtp, {QStringLiteral("porta = %1").arg(TestSmtp::closedPort())});
    preview.Tasto_Click(5);
    ASSERT_EQ(dialogs.messages.size(), 2u);
    EXPECT_EQ(dialogs.messages[1].title, "Riporto Clienti");
    EXPECT_TRUE(dialogs.messages[1].text.contains("non raggiungibile"));
    EXPECT_TRUE(dialogs.messages[1].text.contains("Il testo resta in e-mail3.txt"));
    EXPECT_EQ(readBytes("e-mail3.txt"), "OGGETTO\r\nCaff\xe8 2,50\r\n\r\n");
    EXPECT_EQ(smtp.count(), before + 1);
}

}  // namespace
}  // namespace quorvel::test
