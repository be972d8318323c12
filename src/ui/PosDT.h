// PosDT, the main window: the two monitors (pending charges, failed charges),
// the transfer buttons, the transfer-type list, the settings menu, the
// polling timer and the tray icon. It is hidden at start-up and reached from
// the tray; it can't be closed, only hidden.
#pragma once

#include "platform/Seams.h"
#include "platform/Settings.h"
#include "polling/MainView.h"
#include "ui/PollTimer.h"
#include "ui/SettingsMenu.h"

#include <QMainWindow>
#include <QSystemTrayIcon>
#include <array>
#include <cstdint>
#include <functional>

class QComboBox;
class QGroupBox;
class QLabel;
class QListView;
class QListWidget;
class QMenu;
class QPushButton;
class QTimer;

namespace quorvel {

class ErrorListModel;

namespace db {
class Workspace;
}

// What a test or a picture tool puts in place of the desktop; the program
// passes none.
struct PosDTSeams {
    // Whether the desktop has a notification area now; empty: ask Qt
    // (QSystemTrayIcon::isSystemTrayAvailable).
    std::function<bool()> trayProbe;
};

class PosDT : public QMainWindow, public MainView {
    Q_OBJECT
public:
    // ws: the program's workspace, where the local databases are created.
    // services.dialogs must be set; handlers are given later by setHandlers.
    // REQUIRES: every argument outlives the window.
    PosDT(Settings& settings, Services& services, db::Workspace& ws, PosDTSeams seams = {},
          QWidget* parent = nullptr);
    ~PosDT() override;

    void setHandlers(PosDTHandlers* handlers) { m_handlers = handlers; }

    // Form_Load: the start-up sequence (timer, tray icon, hide, local
    // databases, settings file, Combo1, HotelCorrente).
    void formLoad();

    // HotelCorrente: the hotel worked for, 0 until formLoad sets it to 1.
    std::int16_t hotelCorrente() const { return m_hotelCorrente; }

    // MainView
    QString transferType() const override;
    void focusTransferType() override;
    void showWindow() override;
    void hideWindow() override;
    void showPending(const QStringList& lines) override;
    void showErrors(const QStringList& lines) override;
    void showErrorLines(const std::vector<ErrorLineInfo>& lines) override;
    // List2 reads only the lines it shows.
    void showErrorHistory(const std::shared_ptr<const ErrorHistory>& history) override;
    void setBusy(bool busy) override;
    void showProgress(const QString& text) override;

    // Lets the process end (a real quit); otherwise a close is refused.
    void allowClose() { m_closeAllowed = true; }
    // Whether the tray icon has been added (at formLoad, or later when the
    // notification area appeared).
    bool hasTray() const { return m_trayAvailable; }
    // Without a tray icon yet: adds it when the notification area has
    // appeared (a desktop that starts it after the program). Run by a timer
    // every few seconds from formLoad on.
    void checkTray();

    // A notice of unattended work: a tray balloon, or the status line when
    // there is no notification area.
    void showNotice(const QString& title, const QString& text);
    // A confirmation of the operator's command on the status line, with the time.
    void showStatus(const QString& text);

    // Tray callback: a click (either button) opens the popup menu.
    void trayActivated(QSystemTrayIcon::ActivationReason reason);

    QComboBox* combo1() const { return m_combo1; }
    QListWidget* list1() const { return m_list1; }
    QListView* list2() const { return m_list2; }
    // List2's context menu: "Riprova", "Assegna a camera…", "Assegna a cliente esterno…".
    QMenu* repairMenu() const { return m_repairMenu; }
    QPushButton* tasto(int index) const { return m_tasto[static_cast<size_t>(index)]; }
    QMenu* impostazioni() const { return m_impostazioni; }  // the tray popup
    QAction* visualizza() const { return m_visualizza; }
    QAction* menu1(int index) const { return m_menu1[static_cast<size_t>(index - 1)]; }
    QAction* menu2(int index) const { return m_menu2[static_cast<size_t>(index - 1)]; }
    QSystemTrayIcon* trayIcon() const { return m_tray; }
    // "&Quadratura" of the menu bar: the day's reconciliation, set by main
    // (through StampaStorico); until then the item does nothing.
    std::function<void()> quadratura;
    QAction* quadraturaItem() const { return m_quadratura; }
    PollTimer& timer1() { return m_timer1; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    // The keyboard: the Menu key and Shift+F10 open List2's repair menu;
    // Enter (either key) clicks the button that has the focus.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void buildMenus();
    void buildRepairMenu();
    // Opens the repair menu at a point of List2's viewport, the line there
    // made current when it is not selected; nothing when no line is selected.
    void openRepairMenu(const QPoint& at);
    // Runs a handler as a boundary: a failure is logged and notified, never
    // ends the process. Whether a tick may run meanwhile is WorkGuard's rule.
    void guarded(const QString& what, const std::function<void()>& fn);
    void minimizeAgainLater();

    Settings& m_settings;
    Services& m_services;
    db::Workspace& m_ws;
    PosDTHandlers* m_handlers = nullptr;
    SettingsMenu m_settingsMenu;
    PollTimer m_timer1;
    bool m_closeAllowed = false;
    bool m_keepMinimized = false;  // minimized stands in for hidden until seen so
    bool m_trayAvailable = false;
    std::int16_t m_hotelCorrente = 0;
    std::function<bool()> m_trayProbe;
    QTimer* m_trayWatch = nullptr;

    QGroupBox* m_frame1 = nullptr;
    QGroupBox* m_frame2 = nullptr;
    QLabel* m_label1 = nullptr;
    QLabel* m_label2 = nullptr;
    QListWidget* m_list1 = nullptr;
    QListView* m_list2 = nullptr;
    ErrorListModel* m_list2Model = nullptr;
    QComboBox* m_combo1 = nullptr;
    std::array<QPushButton*, 4> m_tasto{};
    std::array<QAction*, 3> m_menu1{};
    std::array<QAction*, 7> m_menu2{};
    QAction* m_quadratura = nullptr;
    QMenu* m_impostazioni = nullptr;
    QMenu* m_repairMenu = nullptr;
    QAction* m_visualizza = nullptr;
    QSystemTrayIcon* m_tray = nullptr;
};

}  // namespace quorvel
