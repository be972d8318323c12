// The print preview window: controls, layout, chunks and buttons.
#include "ui/Anteprima.h"

#include "platform/Confirmation.h"
#include "platform/Error.h"
#include "platform/Log.h"
#include "print/MailHandover.h"
#include "print/ReportFiles.h"
#include "ui/PrintPictures.h"
#include "ui/Twips.h"

#include <QApplication>
#include <QEventLoop>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QResizeEvent>
#include <QTextDocument>
#include <atomic>
#include <cmath>
#include <thread>

namespace quorvel {

namespace {

const QString kSource = QStringLiteral("Riporto Clienti");

// The window's borders and caption in twips: the layout works with the
// outer size, as the design did.
constexpr int kBorderWidth = 120;
constexpr int kBorderHeight = 405;

struct Button {
    const char* caption;
    int left, width;
};
constexpr std::array<Button, 7> kButtons{{{"&Esci", 6795, 2655},
                                          {"&Riduci", 84, 975},
                                          {"E&spandi", 1200, 1095},
                                          {"&Avanti", 2400, 975},
                                          {"&Inizio", 3480, 975},
                                          {"E-&mail", 4560, 975},
                                          {"Sa&lva", 5640, 975}}};
constexpr int kButtonTop = 6216;
constexpr int kButtonHeight = 1125;

}  // namespace

Anteprima::Anteprima(Services& services, QWidget* parent)
    : QDialog(parent), m_services(services), m_reader(reportFileName()) {
    setWindowTitle(QStringLiteral("Anteprima di Stampa"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    QPalette back = palette();
    back.setColor(QPalette::Window, QColor(192, 192, 255));
    setPalette(back);
    setAutoFillBackground(true);
    buildControls();
    resize(twipsToPixels(9525), twipsToPixels(7380));
    setMinimumSize(twipsToPixels(9525) / 2, twipsToPixels(7380) / 2);
}

Anteprima::~Anteprima() = default;

void Anteprima::buildControls() {
    m_text1 = new QPlainTextEdit(this);
    m_text1->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_text1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_text1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QPalette paper = m_text1->palette();
    paper.setColor(QPalette::Base, QColor(255, 255, 192));
    paper.setColor(QPalette::Text, Qt::black);
    m_text1->setPalette(paper);
    placeTwips(m_text1, 84, 84, 9372, 6048);
    setFontSize(DesignFontSize);
    // Shift+Enter would insert a line separator, which stands for a lone LF
    // of the report; a line the operator breaks is a line of its own.
    m_text1->installEventFilter(this);

    for (int i = 0; i < 7; ++i) {
        const Button& b = kButtons[static_cast<size_t>(i)];
        auto* button = new QPushButton(QString::fromUtf8(b.caption), this);
        button->setFont(designFont(QStringLiteral("Corbel"), 12, i == 0));
        button->setAutoDefault(false);
        placeTwips(button, b.left, kButtonTop, b.width, kButtonHeight);
        connect(button, &QPushButton::clicked, this, [this, i] { Tasto_Click(i); });
        m_tasto[static_cast<size_t>(i)] = button;
    }
    QPushButton* esci = m_tasto[0];
    esci->setIcon(exitPicture());
    esci->setIconSize(QSize(twipsToPixels(720), twipsToPixels(720)));
    QPalette white = esci->palette();
    white.setColor(QPalette::Button, Qt::white);
    esci->setPalette(white);
}

void Anteprima::layoutControls() {
    const int w = pixelsToTwips(width()) + kBorderWidth;
    const int h = pixelsToTwips(height()) + kBorderHeight;
    const QRect text = m_text1->geometry();
    const int textHeight = static_cast<int>(h - (1.5 * kButtonHeight + 150));
    m_text1->resize(twipsToPixels(std::max(w - 200, 300)),
                    twipsToPixels(std::max(textHeight, 300)));
    m_text1->move(text.topLeft());
    const int top = static_cast<int>(h - (1.5 * kButtonHeight + 10));
    for (QPushButton* b : m_tasto) b->move(b->x(), twipsToPixels(top));
    QPushButton* esci = m_tasto[0];
    const int esciWidth = w - pixelsToTwips(esci->x()) - 150;
    esci->resize(twipsToPixels(std::max(esciWidth, 975)), esci->height());
}

bool Anteprima::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_text1 && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
            (key->modifiers() & Qt::ShiftModifier) && !m_text1->isReadOnly()) {
            m_text1->textCursor().insertBlock();
            m_text1->ensureCursorVisible();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void Anteprima::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    layoutControls();
}

void Anteprima::formLoad() {
    try {
        m_reader.open();
    } catch (const std::exception& e) {
        fail(QStringLiteral("Apertura del file di stampa"), e);
    }
}

bool Anteprima::formActivate() {
    layoutControls();
    if (!m_reader.exists()) {
        log::info(QStringLiteral("Anteprima: il file %1 non esiste").arg(m_reader.path()));
        m_noReport = true;
        done(QDialog::Rejected);
        return false;
    }
    showChunk(FirstChunk);
    return true;
}

void Anteprima::run() {
    formLoad();
    if (!formActivate())
        return;
    exec();
}

void Anteprima::showChunk(std::int32_t limit) {
    try {
        // Text1 keeps one paragraph per line (CR LF comes back in
        // text1Text()); a lone LF inside a line is held as a line separator,
        // so that it comes back as the LF it was.
        QStringList lines = m_reader.readChunk(limit).split(QStringLiteral("\r\n"));
        for (QString& line : lines) line.replace(QLatin1Char('\n'), QChar(QChar::LineSeparator));
        m_text1->setPlainText(lines.join(QLatin1Char('\n')));
    } catch (const std::exception& e) {
        fail(QStringLiteral("Lettura del file di stampa"), e);
    }
}

QString Anteprima::text1Text() const {
    // The raw text keeps every character as typed (toPlainText would turn
    // a no-break space into a blank); paragraphs are separated by U+2029.
    QString text = m_text1->document()->toRawText();
    text.replace(QChar(QChar::ParagraphSeparator), QStringLiteral("\r\n"));
    text.replace(QChar(QChar::LineSeparator), QLatin1Char('\n'));
    return text;
}

void Anteprima::setFontSize(double points) {
    m_fontSize = points;
    m_text1->setFont(designFont(QStringLiteral("Courier New"), points));
}

void Anteprima::Tasto_Click(int index) {
    try {
        switch (index) {
            case 0:
                done(QDialog::Accepted);
                break;
            case 1:
                // Steps of one point, never below 1 (11.25 stops at 1.25).
                if (m_fontSize - 1 >= 1)
                    setFontSize(m_fontSize - 1);
                break;
            case 2:
                if (m_fontSize + 1 <= LargestFontSize)
                    setFontSize(m_fontSize + 1);
                break;
            case 3:
                if (m_reader.more())
                    showChunk(NextChunk);
                m_text1->setFocus();
                break;
            case 4:
                m_reader.close();
                if (!m_reader.open())
                    throw Error(m_reader.path(), QStringLiteral("il file di stampa non esiste"));
                showChunk(NextChunk);
                m_text1->setFocus();
                break;
            case 5: {
                const QString sent = InviaEMail(text1Text(), *m_services.shell,
                                                [this](const SendStep& step) { sendAside(step); });
                if (!sent.isEmpty())
                    m_services.dialogs->messageBox(sent, QStringLiteral("E-mail"),
                                                   MsgIcon::Information, MsgButtons::Ok,
                                                   MsgAnswer::Ok);
                break;
            }
            case 6:
                m_reader.saveChunk(text1Text());
                log::info(QStringLiteral("Anteprima: testo salvato in %1").arg(m_reader.path()));
                confirmation::tell(
                    QStringLiteral("Testo dell'anteprima salvato in %1").arg(m_reader.path()));
                break;
            default:
                break;
        }
    } catch (const std::exception& e) {
        fail(QString::fromUtf8(kButtons[static_cast<size_t>(index)].caption).remove('&'), e);
    }
}

void Anteprima::sendAside(const SendStep& step) {
    // The exchange runs on a worker while this thread's event loop goes on
    // (the polling ticks, the window repaints); the buttons wait meanwhile.
    QPushButton* mail = m_tasto[5];
    const QString caption = mail->text();
    mail->setText(QStringLiteral("Invio..."));
    for (QPushButton* b : m_tasto) b->setEnabled(false);
    QApplication::setOverrideCursor(Qt::BusyCursor);
    std::atomic<bool> cancel{false};
    QEventLoop loop;
    std::thread worker([&] {
        step(&cancel);
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    // Back early only when the program is ending: the send is abandoned.
    cancel = true;
    worker.join();
    QApplication::restoreOverrideCursor();
    for (QPushButton* b : m_tasto) b->setEnabled(true);
    mail->setText(caption);
}

void Anteprima::fail(const QString& what, const std::exception& e) {
    const QString description = errorText(e);
    log::error(QStringLiteral("%1 (%2): %3").arg(kSource, what, description));
    m_services.dialogs->messageBox(QStringLiteral("Errore: %1").arg(description), kSource,
                                   MsgIcon::Critical, MsgButtons::Ok, MsgAnswer::Ok);
}

}  // namespace quorvel
