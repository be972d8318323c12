// The program's own message box: a small modal window that sizes itself to
// its text and offers one, two or three buttons with Italian captions,
// reached through Messaggio. Sizes are worked out in twips.
//
// Style codes: 0 or 48 "Ok"; 4 or 36 "Si" "No" (focus "Si"); 35 or 51 "Si"
// "No" "Annulla" (focus "Si"); 200 to 400 "Si" "No" (focus "No"). Any other
// code shows "Ok" alone. Results: "Ok" 0, "Si" 6, "No" 7, "Annulla" 2.
// Closing the box other than by a button (Esc, the window manager) never
// means consent: "Ok" where it is the only button, "Annulla" where it is
// shown, "No" otherwise.
#pragma once

#include <QDialog>
#include <QRect>
#include <QSize>
#include <array>
#include <cstdint>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace quorvel {

// The number of CR characters in the text plus 2 (at most 32767).
std::int16_t CalcolaRighe(const QString& text);
// The longest run of characters between CRs (an LF after a CR belongs to the
// next run), at least 50, plus 1 (at most 32767).
std::int16_t CalcolaColonne(const QString& text);

// A screen in pixels: the whole of it, and its free part (less task bars).
struct ScreenArea {
    QRect whole;
    QRect free;
};
ScreenArea primaryScreenArea();

class MsgBox_Form : public QDialog {
    Q_OBJECT
public:
    // Loads the box centred on the whole screen with its design size; once
    // laid out it is kept inside the free part.
    explicit MsgBox_Form(QWidget* parent = nullptr);
    explicit MsgBox_Form(const ScreenArea& screen, QWidget* parent = nullptr);

    // Text, title and buttons by the style code.
    void setup(const QString& text, std::int16_t style, const QString& title);
    // The code of the button pressed (or of closing without one, see above).
    std::int16_t rispostaMsg() const { return m_risposta; }

    QPushButton* button(int index) const { return m_t[static_cast<size_t>(index)]; }
    QLabel* label1() const { return m_label1; }
    QPlainTextEdit* text1() const { return m_text1; }
    // The laid-out size of the box and of Text1, in twips.
    QSize sizeTwips() const { return m_size; }
    QSize text1SizeTwips() const { return m_text1Size; }
    int buttonLeftTwips(int index) const { return m_buttonLeft[static_cast<size_t>(index)]; }
    int buttonTopTwips() const { return m_buttonTop; }

    // Lays the box out for its text; runs when the box is shown, and can be
    // called directly with the free screen size in twips. The text field
    // grows beyond its computed size only where the face in use (a fallback
    // for the design's) needs more room to show the text whole.
    void layoutFor(QSize screenTwips);

    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void press(int index);
    QSize textNeedTwips() const;

    ScreenArea m_screen;

    QLabel* m_label1;
    QPlainTextEdit* m_text1;
    std::array<QPushButton*, 3> m_t{};
    QString m_text;
    std::int16_t m_style = 0;
    std::int16_t m_risposta = 0;
    int m_defaultButton = 0;
    bool m_laidOut = false;
    QSize m_size{4695, 3135};
    QSize m_text1Size{4455, 1695};
    std::array<int, 3> m_buttonLeft{120, 1200, 2280};
    int m_buttonTop = 2400;
};

// Shows the box modally and returns the code of the button pressed.
std::int16_t Messaggio(const QString& text, std::int16_t style, const QString& title);

}  // namespace quorvel
