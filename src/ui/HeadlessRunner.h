// The polling cycle without any window, for a server or a service: the same
// start-up steps and handlers as the desktop run, a view that only holds the
// two lists, messages to the log.
#pragma once

#include "platform/Seams.h"
#include "platform/Settings.h"
#include "polling/Controller.h"
#include "polling/MainView.h"
#include "ui/PollTimer.h"

namespace quorvel {

// The main window's state without the window: the transfer type is always
// "Completo".
class HeadlessView : public MainView {
public:
    QString transferType() const override { return QStringLiteral("Completo"); }
    void focusTransferType() override {}
    void showWindow() override {}
    void hideWindow() override {}
    void showPending(const QStringList& lines) override { pending = lines; }
    void showErrors(const QStringList& lines) override { errors = lines; }
    void showErrorHistory(const std::shared_ptr<const ErrorHistory>& history) override {
        errorLines = history->size();  // nobody reads them here
    }
    void setBusy(bool) override {}

    QStringList pending;
    QStringList errors;
    int errorLines = 0;
};

class HeadlessRunner {
public:
    // ws: the program's one workspace. REQUIRES: services and ws outlive it.
    HeadlessRunner(Services& services, db::Workspace& ws);

    // The start-up steps that apply without a window; then, when poll is
    // true, the timer starts (an event loop must run).
    void start(bool poll);
    // The polling interval (5000 ms unless changed, e.g. by a test run).
    void setInterval(int ms) { m_timer.setInterval(ms); }
    // One tick now, the timer left stopped; false when it failed.
    bool tickOnce();

    HeadlessView& view() { return m_view; }
    Controller& controller() { return m_controller; }
    const Settings& settings() const { return m_settings; }

private:
    Services& m_services;
    db::Workspace& m_ws;
    Settings m_settings;
    HeadlessView m_view;
    Controller m_controller;
    PollTimer m_timer;
};

}  // namespace quorvel
