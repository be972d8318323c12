// MsgBox_Form, its measuring functions and Messaggio (the MsgBox_Routine).
#include "ui/MsgBox_Form.h"

#include "platform/Log.h"
#include "ui/Twips.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTextDocument>
#include <algorithm>
#include <cmath>

namespace quorvel {

namespace {

constexpr int kDesignWidth = 4695;
constexpr int kDesignHeight = 3135;
constexpr int kLabelHeight = 375;
constexpr int kText1Left = 120;
constexpr int kText1Top = 480;
constexpr int kButtonWidth = 975;
constexpr int kButtonHeight = 615;
constexpr int kGap = 70;

std::int16_t clamp16(qsizetype n) {
    return static_cast<std::int16_t>(std::min<qsizetype>(n, 32767));
}

int buttonCount(std::int16_t style) {
    if (style == 4 || style == 36 || (style >= 200 && style <= 400))
        return 2;
    if (style == 35 || style == 51)
        return 3;
    return 1;
}

}  // namespace

ScreenArea primaryScreenArea() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return {};
    return {screen->geometry(), screen->availableGeometry()};
}

std::int16_t CalcolaRighe(const QString& text) {
    return clamp16(text.count(QLatin1Char('\r')) + 2);
}

std::int16_t CalcolaColonne(const QString& text) {
    qsizetype longest = 0;
    qsizetype run = 0;
    for (QChar c : text) {
        if (c == QLatin1Char('\r')) {
            run = 0;
            continue;
        }
        longest = std::max(longest, ++run);
    }
    return clamp16(std::max<qsizetype>(longest, 50) + 1);
}

MsgBox_Form::MsgBox_Form(QWidget* parent) : MsgBox_Form(primaryScreenArea(), parent) {}

MsgBox_Form::MsgBox_Form(const ScreenArea& screen, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint),
      m_screen(screen),
      m_label1(new QLabel(QStringLiteral("Label1"), this)),
      m_text1(new QPlainTextEdit(this)) {
    setWindowTitle(QStringLiteral("Form1"));
    setModal(true);
    m_label1->setFont(designFont(QStringLiteral("Corbel"), 12, true));
    m_label1->setAlignment(Qt::AlignCenter);
    m_text1->setFont(designFont(QStringLiteral("Corbel"), 9.75));
    m_text1->setReadOnly(true);
    m_text1->setFocusPolicy(Qt::NoFocus);
    // Rows of 300 twips leave no room for the default margins.
    m_text1->document()->setDocumentMargin(1);
    const char* captions[3] = {"Ok", "Ok", "Annulla"};
    for (int i = 0; i < 3; ++i) {
        auto* b = new QPushButton(QString::fromLatin1(captions[i]), this);
        b->setFont(designFont(QStringLiteral("Corbel"), 12));
        connect(b, &QPushButton::clicked, this, [this, i] { press(i); });
        m_t[static_cast<size_t>(i)] = b;
    }
    // Loading: centred on the whole screen with the design size.
    const QRect& whole = m_screen.whole;
    if (whole.isValid()) {
        const int left = std::max(0, (pixelsToTwips(whole.width()) - kDesignWidth) / 2);
        const int top = std::max(0, (pixelsToTwips(whole.height()) - kDesignHeight) / 2);
        move(whole.topLeft() + QPoint(twipsToPixels(left), twipsToPixels(top)));
    }
    resize(twipsToPixels(kDesignWidth), twipsToPixels(kDesignHeight));
}

void MsgBox_Form::setup(const QString& text, std::int16_t style, const QString& title) {
    m_text = text;
    // The box measures CRs; the text field wants plain line feeds.
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"))
        .replace(QLatin1Char('\r'), QLatin1Char('\n'));
    m_text1->setPlainText(shown);
    m_label1->setText(title);
    m_style = style;
    const int count = buttonCount(style);
    if (count == 1 && style != 0 && style != 48)
        log::error(
            QStringLiteral("Messaggio: stile %1 sconosciuto, mostro solo \"Ok\"").arg(style));
    m_t[0]->setText(count == 1 ? QStringLiteral("Ok") : QStringLiteral("Si"));
    m_t[1]->setText(QStringLiteral("No"));
    m_t[2]->setText(QStringLiteral("Annulla"));
    for (int i = 0; i < 3; ++i) m_t[static_cast<size_t>(i)]->setVisible(i < count);
    m_defaultButton = (style >= 200 && style <= 400) ? 1 : 0;
    m_laidOut = false;
}

void MsgBox_Form::layoutFor(QSize screen) {
    // Buttons are placed against the width the box has before it resizes.
    const int count = buttonCount(m_style);
    const int width = m_size.width();
    const int first = (width - (count * kButtonWidth + (count - 1) * kGap)) / 2;
    for (int i = 0; i < 3; ++i)
        m_buttonLeft[static_cast<size_t>(i)] = first + i * (kButtonWidth + kGap);

    const int rows = CalcolaRighe(m_text);
    const int columns = CalcolaColonne(m_text);
    // The measures size the box for the design's face; a wider fallback face
    // would wrap the text and hide its end, so the field grows to fit it.
    // Long texts would overflow 16-bit sizes: keep the box on the screen and
    // let the text field scroll instead.
    const QSize need = textNeedTwips();
    const int newWidth = std::min(std::max(columns * 90, need.width() + 180),
                                  std::max(screen.width(), kDesignWidth));
    const int maxText = std::max(screen.height() - kLabelHeight - kButtonHeight - 300, 300);
    const int textHeight = std::min(std::max(rows * 300, need.height()), maxText);
    m_size = QSize(newWidth, textHeight + kLabelHeight + kButtonHeight + 300);
    m_text1Size = QSize(newWidth - 180, textHeight);
    m_buttonTop = kText1Top + textHeight + 100;

    placeTwips(m_label1, 0, 0, newWidth, kLabelHeight);
    placeTwips(m_text1, kText1Left, kText1Top, m_text1Size.width(), m_text1Size.height());
    for (int i = 0; i < 3; ++i)
        placeTwips(m_t[static_cast<size_t>(i)], m_buttonLeft[static_cast<size_t>(i)], m_buttonTop,
                   kButtonWidth, kButtonHeight);
    setFixedSize(twipsToPixels(m_size.width()), twipsToPixels(m_size.height()));
    m_t[static_cast<size_t>(m_defaultButton)]->setDefault(true);
    m_t[static_cast<size_t>(m_defaultButton)]->setFocus();
    m_laidOut = true;
}

QSize MsgBox_Form::textNeedTwips() const {
    const QFontMetrics metrics(m_text1->font());
    const QStringList lines = m_text1->toPlainText().split(QLatin1Char('\n'));
    int widest = 0;
    for (const QString& line : lines) widest = std::max(widest, metrics.horizontalAdvance(line));
    // The frame and document margin on both sides, and a character's room
    // for the cursor and rounding.
    const int chrome = 2 * (m_text1->frameWidth() +
                            static_cast<int>(std::ceil(m_text1->document()->documentMargin()))) +
                       metrics.averageCharWidth();
    const int height = static_cast<int>(lines.size()) * metrics.lineSpacing() + chrome;
    return {pixelsToTwips(widest + chrome), pixelsToTwips(height)};
}

void MsgBox_Form::showEvent(QShowEvent* event) {
    if (!m_laidOut) {
        const QRect& avail = m_screen.free;
        layoutFor(avail.isValid()
                      ? QSize(pixelsToTwips(avail.width()), pixelsToTwips(avail.height()))
                      : QSize(32767, 32767));
        // Not centred again, but a grown box is pulled back onto the screen.
        if (avail.isValid()) {
            QPoint p = pos();
            p.setX(std::max(avail.left(), std::min(p.x(), avail.right() + 1 - width())));
            p.setY(std::max(avail.top(), std::min(p.y(), avail.bottom() + 1 - height())));
            move(p);
        }
    }
    QDialog::showEvent(event);
}

void MsgBox_Form::paintEvent(QPaintEvent* event) {
    QDialog::paintEvent(event);
    QPainter p(this);
    p.setPen(palette().color(QPalette::WindowText));
    p.drawRect(rect().adjusted(0, 0, -1, -1));  // Shape1, the border
}

void MsgBox_Form::press(int index) {
    switch (index) {
        case 0:
            m_risposta = m_t[0]->text() == QLatin1String("Si") ? 6 : 0;
            break;
        case 1:
            m_risposta = 7;
            break;
        default:
            m_risposta = 2;
            break;
    }
    done(Accepted);
}

void MsgBox_Form::reject() {
    // The focused button may be "Si": closing must answer as the refusing one.
    press(buttonCount(m_style) - 1);
}

std::int16_t Messaggio(const QString& text, std::int16_t style, const QString& title) {
    MsgBox_Form form;
    form.setup(text, style, title);
    form.exec();
    return form.rispostaMsg();
}

}  // namespace quorvel
