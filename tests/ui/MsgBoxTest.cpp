// The self-sizing message box: measures, sizes, buttons and result codes.
#include "ui/MsgBox_Form.h"
#include "ui/QtDialogs.h"
#include "ui/Twips.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QTimer>

using namespace quorvel;

namespace {

const QSize kBigScreen(32767, 32767);

// Presses a button of the box once it is open.
void pressLater(int index) {
    QTimer::singleShot(0, [index] {
        auto* box = qobject_cast<MsgBox_Form*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        ASSERT_TRUE(box->button(index)->isVisible());
        box->button(index)->click();
    });
}

TEST(MsgBoxTest, Measures) {
    EXPECT_EQ(CalcolaRighe(QString()), 2);
    EXPECT_EQ(CalcolaColonne(QString()), 51);
    EXPECT_EQ(CalcolaColonne(QString(70, QLatin1Char('x'))), 71);
    const QString twoLines = QStringLiteral("a\r\nb");
    EXPECT_EQ(CalcolaRighe(twoLines), 3);
    EXPECT_EQ(CalcolaColonne(QStringLiteral("a\r\n") + QString(60, QLatin1Char('b'))), 62);
    EXPECT_EQ(CalcolaRighe(QString(40000, QLatin1Char('\r'))), 32767);
    EXPECT_EQ(CalcolaColonne(QString(40000, QLatin1Char('x'))), 32767);
}

TEST(MsgBoxTest, SizesFollowTheText) {
    MsgBox_Form empty;
    empty.setup(QString(), 48, QStringLiteral("Stampa"));
    empty.layoutFor(kBigScreen);
    EXPECT_EQ(empty.sizeTwips().width(), 4590);
    EXPECT_EQ(empty.text1SizeTwips(), QSize(4410, 600));
    EXPECT_EQ(empty.sizeTwips().height(), 600 + 375 + 615 + 300);
    EXPECT_EQ(empty.buttonTopTwips(), 480 + 600 + 100);
    EXPECT_EQ(empty.buttonLeftTwips(0), 1860);  // centred on the design width
    EXPECT_EQ(empty.label1()->text(), "Stampa");

    // Dots fit the 90 twips a column gets in any face, so the computed size holds.
    MsgBox_Form wide;
    wide.setup(QString(70, QLatin1Char('.')), 292, QString());
    wide.layoutFor(kBigScreen);
    EXPECT_EQ(wide.sizeTwips().width(), 6390);
    EXPECT_EQ(wide.buttonLeftTwips(0), 1337);
    EXPECT_EQ(wide.buttonLeftTwips(1), 1337 + 975 + 70);

    MsgBox_Form three;
    three.setup(QStringLiteral("a\rb\rc"), 35, QString());
    three.layoutFor(kBigScreen);
    EXPECT_EQ(three.text1SizeTwips().height(), 1200);
    EXPECT_EQ(three.buttonLeftTwips(0), 815);
    EXPECT_EQ(three.buttonLeftTwips(2), 815 + 2 * (975 + 70));

    // Sizes that overflow 16 bits are held to the screen.
    MsgBox_Form huge;
    huge.setup(QString(500, QLatin1Char('\r')) + QString(1000, QLatin1Char('y')), 0, QString());
    huge.layoutFor(QSize(19200, 14400));
    EXPECT_EQ(huge.sizeTwips().width(), 19200);
    EXPECT_LE(huge.sizeTwips().height(), 14400);
    EXPECT_GT(huge.text1SizeTwips().height(), 0);
}

TEST(MsgBoxTest, TextShownWholeInAFallbackFace) {
    // Two lines of 77 characters: this machine has no Corbel, and its wider
    // fallback would wrap them and hide the last line behind a scroll bar.
    const QString line1 = QStringLiteral(
        "La stampa sulla destinazione scelta non è riuscita: controllare il cavo USB.");
    const QString line2 = QStringLiteral(
        "Il file di stampa resta nella cartella di lavoro e può essere ristampato poi.");
    MsgBox_Form form;
    form.setup(line1 + QStringLiteral("\r\n") + line2, 48, QStringLiteral("Stampa"));
    form.show();
    QApplication::processEvents();
    const QTextDocument* doc = form.text1()->document();
    ASSERT_EQ(doc->blockCount(), 2);
    for (QTextBlock b = doc->begin(); b.isValid(); b = b.next())
        EXPECT_EQ(b.layout()->lineCount(), 1) << b.text().toStdString();
    EXPECT_EQ(form.text1()->verticalScrollBar()->maximum(), 0);
    EXPECT_GE(form.sizeTwips().width(), CalcolaColonne(line1) * 90);
    EXPECT_GE(form.buttonTopTwips(), 480 + form.text1SizeTwips().height() + 100);
    form.close();
}

TEST(MsgBoxTest, LoadsCentredOnTheWholeScreen) {
    // A task bar at the bottom: the box is centred on the whole screen, and
    // laid out inside the free part.
    const ScreenArea screen{QRect(0, 0, 1600, 900), QRect(0, 0, 1600, 860)};
    MsgBox_Form form(screen);
    const QPoint centred(twipsToPixels((pixelsToTwips(1600) - 4695) / 2),
                         twipsToPixels((pixelsToTwips(900) - 3135) / 2));
    EXPECT_EQ(form.pos(), centred);
    form.setup(QString(200, QLatin1Char('\r')), 0, QString());
    form.show();
    EXPECT_LE(form.geometry().bottom(), 859);
    form.close();
}

TEST(MsgBoxTest, ButtonsAndResultCodes) {
    pressLater(0);
    EXPECT_EQ(Messaggio(QStringLiteral("Stampa eseguita"), 48, QStringLiteral("Stampa")), 0);

    MsgBox_Form form;
    form.setup(QStringLiteral("Confermi?"), 292, QStringLiteral("Stampa"));
    EXPECT_EQ(form.button(0)->text(), "Si");
    EXPECT_EQ(form.button(1)->text(), "No");
    EXPECT_TRUE(form.button(2)->isHidden());
    form.layoutFor(kBigScreen);
    EXPECT_TRUE(form.button(1)->isDefault());

    pressLater(1);
    EXPECT_EQ(Messaggio(QStringLiteral("Confermi?"), 292, QStringLiteral("Stampa")), 7);
    pressLater(0);
    EXPECT_EQ(Messaggio(QStringLiteral("Confermi?"), 36, QString()), 6);
    pressLater(2);
    EXPECT_EQ(Messaggio(QStringLiteral("Confermi?"), 35, QString()), 2);
}

TEST(MsgBoxTest, ClosingWithoutAButtonNeverConsents) {
    // The window manager's close, and Esc: "No", "Annulla" or the lone "Ok",
    // whichever button has the focus.
    auto closeLater = [] {
        QTimer::singleShot(0, [] { QApplication::activeModalWidget()->close(); });
    };
    auto escLater = [] {
        QTimer::singleShot(0, [] {
            QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
            QApplication::sendEvent(QApplication::activeModalWidget(), &esc);
        });
    };
    const std::pair<std::int16_t, std::int16_t> cases[] = {{0, 0},  {48, 0}, {4, 7},   {36, 7},
                                                           {35, 2}, {51, 2}, {292, 7}, {999, 0}};
    for (const auto& [style, expected] : cases) {
        closeLater();
        EXPECT_EQ(Messaggio(QStringLiteral("x"), style, QString()), expected) << style;
        escLater();
        EXPECT_EQ(Messaggio(QStringLiteral("x"), style, QString()), expected) << style;
    }
    // An unknown style shows a single "Ok".
    pressLater(0);
    EXPECT_EQ(Messaggio(QStringLiteral("x"), 999, QString()), 0);
}

// The desktop's boxes: however long the text or the details, the box fits
// on the screen; what it does not show is under "Dettagli".
TEST(QtDialogsTest, NoBoxIsTallerThanTheScreen) {
    QStringList lines;
    for (int i = 1; i <= 500; ++i)
        lines << QStringLiteral("Riga %1: Addebito registrato sul conto della camera %1").arg(i);
    const QString many = lines.join(u'\n');
    QtDialogs dialogs;
    for (int round = 0; round < 2; ++round) {
        int height = 0;
        QString details, button, shown;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            height = box->frameGeometry().height();
            details = box->detailedText();
            shown = box->text();
            for (QAbstractButton* b : box->buttons())
                if (box->buttonRole(b) == QMessageBox::ActionRole)
                    button = b->text();
            box->done(0);
        });
        if (round == 0)
            dialogs.messageBox(many, QStringLiteral("Riprova"), MsgIcon::Information,
                               MsgButtons::Ok, MsgAnswer::Ok);
        else
            dialogs.messageBoxWithDetails(QStringLiteral("Addebiti riparati: 500 di 500"), many,
                                          QStringLiteral("Riprova"), MsgIcon::Information);
        EXPECT_GT(height, 0);
        EXPECT_LE(height, QApplication::primaryScreen()->availableGeometry().height());
        EXPECT_EQ(details, many);
        EXPECT_EQ(button, "Dettagli");
        EXPECT_LE(shown.count(u'\n'), 25) << round;
    }
}

}  // namespace
