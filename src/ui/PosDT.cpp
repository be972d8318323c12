// The main window, its menus, the tray icon and the start-up sequence.
#include "ui/PosDT.h"

#include "platform/Error.h"
#include "platform/Log.h"
#include "polling/WorkGuard.h"
#include "ui/AppIcon.h"
#include "ui/ErrorListModel.h"
#include "ui/Startup.h"
#include "ui/Twips.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QCursor>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QListView>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <utility>

namespace quorvel {

namespace {

const QString kCorbel = QStringLiteral("Corbel");
const QString kCourier = QStringLiteral("Courier New");

}  // namespace

PosDT::PosDT(Settings& settings, Services& services, db::Workspace& ws, PosDTSeams seams,
             QWidget* parent)
    : QMainWindow(parent),
      m_settings(settings),
      m_services(services),
      m_ws(ws),
      m_settingsMenu(settings, *services.dialogs),
      m_trayProbe(std::move(seams.trayProbe)) {
    setWindowTitle(QStringLiteral("Addebito Ristorante (Brenvatici)"));
    setWindowIcon(quorvelIcon());
    buildControls();
    buildMenus();
    // The status line is there from the start, so the window keeps one size;
    // a fixed-size window has no resize grip.
    statusBar()->setSizeGripEnabled(false);
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    m_tray = new QSystemTrayIcon(quorvelIcon(), this);
    m_tray->setToolTip(QStringLiteral("Quorvel"));
    connect(m_tray, &QSystemTrayIcon::activated, this, &PosDT::trayActivated);
    if (!m_trayProbe)
        m_trayProbe = [] { return QSystemTrayIcon::isSystemTrayAvailable(); };
    m_trayWatch = new QTimer(this);
    m_trayWatch->setInterval(5000);
    connect(m_trayWatch, &QTimer::timeout, this, &PosDT::checkTray);

    m_timer1.setTick([this] { return m_handlers ? m_handlers->timerTick() : true; });
    m_timer1.setFailureHandler([this](const QString& cause) {
        m_services.dialogs->notify(QStringLiteral("Quorvel"),
                                   QStringLiteral("Errore nel ciclo di controllo: ") + cause);
    });
}

PosDT::~PosDT() = default;

void PosDT::buildControls() {
    auto* client = new QWidget(this);
    client->setFixedSize(twipsToPixels(12120), twipsToPixels(4410));
    setCentralWidget(client);

    auto frame = [&](const QString& title, int l, int t, int w, int h) {
        auto* f = new QGroupBox(title, client);
        f->setFont(designFont(kCorbel, 9.75));
        placeTwips(f, l, t, w, h);
        return f;
    };
    auto header = [](QWidget* parent) {
        auto* label = new QLabel(parent);
        label->setFont(designFont(kCourier, 7.5));
        placeTwips(label, 120, 240, 5655, 255);
        return label;
    };
    auto list = [](auto* l, int height) {
        l->setFont(designFont(kCourier, 9));
        placeTwips(l, 120, 480, 5652, height);
        return l;
    };
    auto button = [this](QWidget* parent, int index, const QString& text, int l, int t, int w,
                         int h, bool bold) {
        auto* b = new QPushButton(text, parent);
        b->setFont(designFont(kCorbel, 12, bold));
        b->setAutoDefault(false);
        b->installEventFilter(this);
        placeTwips(b, l, t, w, h);
        connect(b, &QPushButton::clicked, this, [this, index] {
            guarded(QStringLiteral("Tasto %1").arg(index), [this, index] {
                if (m_handlers)
                    m_handlers->tastoClick(index);
            });
        });
        m_tasto[static_cast<size_t>(index)] = b;
    };

    m_frame1 = frame(QStringLiteral("Monitor addebiti in camera "), 120, 0, 5895, 3255);
    m_label1 = header(m_frame1);
    m_list1 = list(new QListWidget(m_frame1), 2535);
    m_frame2 =
        frame(QStringLiteral("Monitor addebiti non andati a buon fine "), 6120, 0, 5895, 4335);
    m_label2 = header(m_frame2);
    // A view on a model: a long history costs only the lines on screen.
    m_list2 = list(new QListView(m_frame2), 2985);
    m_list2->setUniformItemSizes(true);
    m_list2Model = new ErrorListModel(m_list2);
    m_list2->setModel(m_list2Model);
    buildRepairMenu();
    button(m_frame2, 3, QStringLiteral("&Cancella"), 120, 3600, 1692, 615, false);
    button(m_frame2, 2, QStringLiteral("&Stampa"), 4080, 3600, 1692, 615, false);
    button(client, 0, QStringLiteral("&Trasferisci"), 120, 3360, 1692, 975, false);
    m_combo1 = new QComboBox(client);
    m_combo1->setFont(designFont(QStringLiteral("Arial"), 8.25, true));
    placeTwips(m_combo1, 1920, 3360, 2292, 330);
    button(client, 1, QStringLiteral("&Esci"), 4320, 3360, 1692, 975, true);
}

void PosDT::buildMenus() {
    QMenu* settingsMenu = menuBar()->addMenu(QStringLiteral("&Impostazioni"));
    m_menu1[0] = settingsMenu->menuAction();
    for (int i = 1; i <= 7; ++i) {
        m_menu2[static_cast<size_t>(i - 1)] =
            settingsMenu->addAction(SettingsMenu::caption(i), this, [this, i] {
                guarded(SettingsMenu::caption(i), [this, i] {
                    WorkGuard guard;  // no tick between the questions and the rewrite
                    m_settingsMenu.menu2Click(i);
                });
            });
    }
    m_menu1[1] = menuBar()->addAction(QStringLiteral("&Aggiorna Dati"), this, [this] {
        guarded(QStringLiteral("Aggiorna Dati"), [this] {
            if (m_handlers)
                m_handlers->aggiornaDati();
        });
    });
    m_quadratura = menuBar()->addAction(QStringLiteral("&Quadratura"), this, [this] {
        guarded(QStringLiteral("Quadratura"), [this] {
            if (quadratura)
                quadratura();
        });
    });
    m_menu1[2] = menuBar()->addAction(QStringLiteral("&Riduci"), this, [this] { hideWindow(); });

    m_impostazioni = new QMenu(QStringLiteral("menu"), this);
    m_visualizza =
        m_impostazioni->addAction(QStringLiteral("Visualizza"), this, [this] { showWindow(); });
}

void PosDT::formLoad() {
    m_timer1.setInterval(5000);
    m_timer1.start();
    m_trayAvailable = m_trayProbe();
    if (m_trayAvailable) {
        m_tray->show();
    } else {
        log::info(
            QStringLiteral("Il desktop non ha un'area di notifica: la finestra parte "
                           "ridotta a icona invece che nascosta"));
        m_trayWatch->start();
    }
    hideWindow();
    prepareWorkingFolder(m_settings, *m_services.dialogs, m_ws);
    m_combo1->clear();
    m_combo1->addItems(
        {QString(), QStringLiteral("Pranzo"), QStringLiteral("Cena"), QStringLiteral("Completo")});
    m_combo1->setCurrentIndex(3);
    m_hotelCorrente = 1;
    log::info(QStringLiteral("Avvio completato"));
}

QString PosDT::transferType() const {
    return m_combo1->currentText();
}

void PosDT::focusTransferType() {
    m_combo1->setFocus();
}

void PosDT::showWindow() {
    m_keepMinimized = false;
    showNormal();
    raise();
    activateWindow();
}

void PosDT::hideWindow() {
    // Without a tray there would be no way back to a hidden window.
    if (m_trayAvailable) {
        hide();
        return;
    }
    // Some X11 window managers map a window that was never shown as a normal
    // one whatever state it asks for: it is minimized again (showEvent,
    // changeEvent) until it is seen minimized once.
    m_keepMinimized = true;
    showMinimized();
}

void PosDT::minimizeAgainLater() {
    if (!m_keepMinimized || m_trayAvailable)
        return;
    if (isMinimized()) {
        m_keepMinimized = false;
        return;
    }
    QTimer::singleShot(0, this, [this] {
        if (m_keepMinimized && !m_trayAvailable && isVisible() && !isMinimized())
            showMinimized();
    });
}

void PosDT::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    minimizeAgainLater();
}

void PosDT::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        minimizeAgainLater();
}

void PosDT::checkTray() {
    if (m_trayAvailable || !m_trayProbe())
        return;
    m_trayWatch->stop();
    m_trayAvailable = true;
    m_tray->show();
    log::info(QStringLiteral("L'area di notifica è disponibile: aggiunta l'icona"));
    // Minimized stood in for hidden; an open window stays as the operator left it.
    if (isMinimized())
        hide();
}

void PosDT::showPending(const QStringList& lines) {
    m_list1->clear();
    m_list1->addItems(lines);
}

void PosDT::showErrors(const QStringList& lines) {
    std::vector<ErrorLineInfo> infos;
    infos.reserve(static_cast<std::size_t>(lines.size()));
    for (const QString& text : lines) infos.push_back({0, text, QString()});  // no id: no repair
    showErrorHistory(std::make_shared<ErrorLinesHistory>(std::move(infos)));
}

void PosDT::showErrorLines(const std::vector<ErrorLineInfo>& lines) {
    showErrorHistory(std::make_shared<ErrorLinesHistory>(lines));
}

void PosDT::showErrorHistory(const std::shared_ptr<const ErrorHistory>& history) {
    // A reset of the same model: the view keeps its scroll position.
    m_list2Model->setHistory(history);
    // The reset cleared the current line without a signal: its reason goes too.
    if (statusBar()->currentMessage().startsWith(QStringLiteral("Motivo: ")))
        statusBar()->clearMessage();
}

void PosDT::buildRepairMenu() {
    // Ctrl / Shift pick several lines for "Riprova" or one answer for all.
    m_list2->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_list2->setContextMenuPolicy(Qt::CustomContextMenu);
    m_repairMenu = new QMenu(this);
    const std::pair<QString, Riparazione> choices[] = {
        {QStringLiteral("Riprova"), Riparazione::Riprova},
        {QStringLiteral("Assegna a camera…"), Riparazione::AssegnaCamera},
        {QStringLiteral("Assegna a cliente esterno…"), Riparazione::AssegnaEsterno}};
    for (const auto& [text, what] : choices) {
        const Riparazione choice = what;
        m_repairMenu->addAction(text, this, [this, text, choice] {
            guarded(text, [this, choice] {
                // Read here: the store may fail, a boundary reports it.
                const std::vector<std::int32_t> ids =
                    m_list2Model->selectedIds(m_list2->selectionModel()->selection());
                if (m_handlers && !ids.empty())
                    m_handlers->riparaClick(choice, ids);
            });
        });
    }
    connect(m_list2, &QWidget::customContextMenuRequested, this, &PosDT::openRepairMenu);
    m_list2->installEventFilter(this);
    // The reason of the line chosen, on the status line; the list's text stays.
    // The view keeps its selection model: the model is reset, never replaced.
    connect(m_list2->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) {
                const QString reason = current.data(Qt::ToolTipRole).toString();
                if (reason.isEmpty())
                    statusBar()->clearMessage();
                else
                    statusBar()->showMessage(QStringLiteral("Motivo: ") + reason);
            });
}

void PosDT::openRepairMenu(const QPoint& at) {
    QItemSelectionModel* selection = m_list2->selectionModel();
    if (const QModelIndex index = m_list2->indexAt(at);
        index.isValid() && !selection->isSelected(index))
        selection->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    if (selection->hasSelection())
        m_repairMenu->popup(m_list2->viewport()->mapToGlobal(at));
}

bool PosDT::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress)
        return QMainWindow::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    if (watched == m_list2 &&
        (key->key() == Qt::Key_Menu ||
         (key->key() == Qt::Key_F10 && key->modifiers() == Qt::ShiftModifier))) {
        // At the current line (selected with it when nothing is), as a
        // right click there would.
        const QModelIndex current = m_list2->currentIndex();
        QItemSelectionModel* selection = m_list2->selectionModel();
        if (current.isValid() && !selection->hasSelection())
            selection->select(current, QItemSelectionModel::Select);
        const QRect line = current.isValid() ? m_list2->visualRect(current) : QRect();
        openRepairMenu(line.isValid() ? line.center() : QPoint(0, 0));
        return true;
    }
    auto* button = qobject_cast<QPushButton*>(watched);
    if (button && (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier &&
        (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)) {
        button->click();
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void PosDT::setBusy(bool busy) {
    if (busy)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

void PosDT::showProgress(const QString& text) {
    if (text.isEmpty()) {
        statusBar()->clearMessage();
        return;
    }
    statusBar()->showMessage(text);
    // Painted now, and a tick that is due runs; the operator's clicks wait.
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void PosDT::showNotice(const QString& title, const QString& text) {
    if (m_trayAvailable && m_tray->isVisible())
        m_tray->showMessage(title, text, QSystemTrayIcon::Warning);
    else
        statusBar()->showMessage(title + QStringLiteral(": ") + text);
}

void PosDT::showStatus(const QString& text) {
    const QDateTime now = m_services.clock ? m_services.clock->now() : QDateTime::currentDateTime();
    statusBar()->showMessage(now.toString(QStringLiteral("HH:mm")) + QLatin1Char(' ') + text);
}

void PosDT::trayActivated(QSystemTrayIcon::ActivationReason reason) {
    if (reason != QSystemTrayIcon::Trigger && reason != QSystemTrayIcon::Context)
        return;
    if (m_impostazioni->isVisible())
        return;
    if (isVisible())
        activateWindow();
    m_impostazioni->popup(QCursor::pos());
}

void PosDT::closeEvent(QCloseEvent* event) {
    if (m_closeAllowed) {
        event->accept();
        return;
    }
    event->ignore();
    m_services.dialogs->messageBox(QStringLiteral("Il programma NON può essere chiuso!"),
                                   QStringLiteral("Chiusura"), MsgIcon::Exclamation, MsgButtons::Ok,
                                   MsgAnswer::Ok);
    hideWindow();
}

void PosDT::guarded(const QString& what, const std::function<void()>& fn) {
    QString failure;
    try {
        fn();
    } catch (const std::exception& e) {
        failure = errorText(e);
    } catch (...) {
        failure = QStringLiteral("errore sconosciuto");
    }
    if (!failure.isEmpty()) {
        log::error(what + QStringLiteral(": ") + failure);
        m_services.dialogs->notify(QStringLiteral("Quorvel"),
                                   what + QStringLiteral(": ") + failure);
    }
}

}  // namespace quorvel
