// The print menu window: its controls, load, activation and buttons.
#include "ui/MenuStampa.h"

#include "platform/Error.h"
#include "platform/Log.h"
#include "ui/Anteprima.h"
#include "ui/MsgBox_Form.h"
#include "ui/PrintPictures.h"
#include "ui/Twips.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QToolButton>
#include <utility>

namespace quorvel {

namespace {

const QString kCorbel = QStringLiteral("Corbel");

// Tst(index): left in twips, and what the picture means.
struct TstButton {
    int left;
    const char* tip;
};
constexpr std::array<TstButton, 6> kTst{{{2160, "Apri la copia di archivio"},
                                         {3120, "Esporta per il foglio di calcolo"},
                                         {4080, "Stampa PDF"},
                                         {120, "Stampa"},
                                         {1080, "Anteprima"},
                                         {5160, "Esci"}}};

}  // namespace

MenuStampa::MenuStampa(Services& services, PagePrinter& printer, db::Workspace& ws,
                       std::int16_t hotelCorrente, MenuStampaSeams seams, QWidget* parent)
    : QDialog(parent),
      m_services(services),
      m_seams(std::move(seams)),
      m_menu(services, printer, ws, hotelCorrente) {
    setWindowTitle(QStringLiteral("Stampe non modificabili"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    setFixedSize(twipsToPixels(6390), twipsToPixels(2835));
    buildControls();
    if (!m_seams.messaggio)
        m_seams.messaggio = [](const QString& text, std::int16_t style, const QString& title) {
            return Messaggio(text, style, title);
        };
    if (!m_seams.anteprima)
        m_seams.anteprima = [this] {
            Anteprima preview(m_services, this);
            preview.run();
        };
}

MenuStampa::~MenuStampa() = default;

void MenuStampa::buildControls() {
    m_frame = new QGroupBox(QStringLiteral("Selezione "), this);
    m_frame->setFont(designFont(kCorbel, 9.75));
    placeTwips(m_frame, 60, 15, 6270, 2760);
    // The controls keep the classic dialog face, smaller than the frame's.
    const QFont controls = designFont(QStringLiteral("Arial"), 8.25);

    auto label = [this, &controls](const QString& text, int top) {
        auto* l = new QLabel(text, m_frame);
        l->setFont(controls);
        placeTwips(l, 120, top, 1150, 285);
        return l;
    };
    auto combo = [this, &controls](int top, bool editable) {
        auto* c = new QComboBox(m_frame);
        c->setFont(controls);
        c->setEditable(editable);
        placeTwips(c, 1320, top, 4800, 345);
        return c;
    };
    m_label1[1] = label(QStringLiteral("Virtuale "), 390);
    m_combo1 = combo(360, false);
    m_label1[0] = label(QStringLiteral("Stampante "), 1230);
    // Editable, and empty until the operator picks a printer: an empty
    // choice leaves the destination's own device in charge.
    m_combo2 = combo(1200, true);
    m_label1[1]->setBuddy(m_combo1);
    m_label1[0]->setBuddy(m_combo2);

    auto check = [this, &controls](const QString& text, int left, int width) {
        auto* c = new QCheckBox(text, m_frame);
        c->setFont(controls);
        placeTwips(c, left, 840, width, 285);
        return c;
    };
    m_chk = check(QStringLiteral("Stampa Compressa"), 84, 1900);
    m_chk2 = check(QStringLiteral("Stampa orizzontale"), 2040, 1980);
    m_chk3 = check(QStringLiteral("Stampa fronte / retro"), 4080, 2100);

    for (int i = 0; i < 6; ++i) {
        auto* b = new QToolButton(m_frame);
        b->setIcon(tstPicture(i));
        b->setIconSize(QSize(twipsToPixels(600), twipsToPixels(600)));
        b->setToolTip(QString::fromUtf8(kTst[static_cast<size_t>(i)].tip));
        b->setAccessibleName(b->toolTip());
        b->setAutoRaise(false);
        placeTwips(b, kTst[static_cast<size_t>(i)].left, 1680, 855, 855);
        connect(b, &QToolButton::clicked, this, [this, i] { Tst_Click(i); });
        m_tst[static_cast<size_t>(i)] = b;
    }
}

void MenuStampa::formLoad() {
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        // Centred by its outer frame; the native window is made first so the
        // platform can tell the frame's size before the menu is shown.
        create();
        const QRect area = screen->geometry();
        const QSize outer = frameGeometry().size();
        move(area.left() + (area.width() - outer.width()) / 2,
             area.top() + (area.height() - outer.height()) / 2);
    }
    const QStringList printers = m_menu.load();
    m_combo2->clear();
    m_combo2->addItems(printers);
    m_combo2->setCurrentIndex(-1);
    m_combo2->setEditText(QString());
}

bool MenuStampa::formActivate() {
    m_combo1->clear();
    const QStringList destinations = m_menu.activate();
    if (destinations.isEmpty()) {
        m_noDestination = true;
        done(QDialog::Rejected);
        return false;
    }
    m_combo1->addItems(destinations);
    m_combo1->setCurrentIndex(0);
    return true;
}

void MenuStampa::run() {
    formLoad();
    if (!formActivate())
        return;
    exec();
}

void MenuStampa::Tst_Click(int index) {
    // The menu is a boundary: nothing that fails behind a button ends the
    // program or leaves the menu unusable.
    try {
        switch (index) {
            case 0:
                m_menu.openArchive();
                break;
            case 1:
                m_menu.exportAndOpen();
                break;
            case 2:
                stampaPdf();
                break;
            case 3:
                stampa();
                break;
            case 4:
                showPreview();
                break;
            case 5:
                done(QDialog::Accepted);
                break;
            default:
                break;
        }
    } catch (const std::exception& e) {
        const QString why = errorText(e);
        log::error(QStringLiteral("Menu di stampa, pulsante %1: %2").arg(index).arg(why));
        m_services.dialogs->messageBox(why, QStringLiteral("Stampa"), MsgIcon::Critical,
                                       MsgButtons::Ok, MsgAnswer::Ok);
    }
}

PrintChoice MenuStampa::choice() const {
    PrintChoice c;
    c.destination = m_combo1->currentText();
    c.printer = m_combo2->currentText();
    c.compressed = m_chk->isChecked();
    c.landscape = m_chk2->isChecked();
    c.duplex = m_chk3->isChecked();
    return c;
}

void MenuStampa::stampa() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    struct Restore {
        ~Restore() { QApplication::restoreOverrideCursor(); }
    } restore;
    m_menu.print(choice());
}

void MenuStampa::stampaPdf() {
    bool found = false;
    for (int i = 0; i < m_combo1->count(); ++i) {
        if (m_combo1->itemText(i).contains(QStringLiteral("PDF"), Qt::CaseSensitive)) {
            m_combo1->setCurrentIndex(i);
            found = true;
        }
    }
    if (found) {
        stampa();
        return;
    }
    log::info(QStringLiteral("Stampa PDF: nessuna destinazione PDF"));
    m_seams.messaggio(QStringLiteral("Nessuna stampante PDF impostata!"), 48,
                      QStringLiteral("Stampa"));
    formActivate();
}

void MenuStampa::showPreview() {
    m_seams.anteprima();
    formActivate();
}

}  // namespace quorvel
