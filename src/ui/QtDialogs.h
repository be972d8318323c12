// The operator's dialogs on the desktop: QMessageBox and QInputDialog with
// Italian buttons; notices go to a notifier (the tray balloon or the main
// window's status line) and to the log.
#pragma once

#include "platform/Seams.h"

#include <functional>

namespace quorvel {

class QtDialogs : public Dialogs {
public:
    // A text longer than a screenful shows its first lines; the whole text
    // is under "Dettagli", so no box is ever taller than the screen.
    MsgAnswer messageBox(const QString& text, const QString& title, MsgIcon icon,
                         MsgButtons buttons, MsgAnswer defaultAnswer) override;
    void messageBoxWithDetails(const QString& text, const QString& details, const QString& title,
                               MsgIcon icon) override;
    std::optional<QString> inputBox(const QString& prompt, const QString& title,
                                    const QString& defaultText) override;
    void notify(const QString& title, const QString& text) override;

    // Where notices are shown; without one they only reach the log.
    void setNotifier(std::function<void(const QString&, const QString&)> notifier) {
        m_notifier = std::move(notifier);
    }

private:
    MsgAnswer show(const QString& text, const QString& details, const QString& title, MsgIcon icon,
                   MsgButtons buttons, MsgAnswer defaultAnswer);

    std::function<void(const QString&, const QString&)> m_notifier;
};

// No display: every message is written to the log and takes its default
// answer; an input box is cancelled.
class HeadlessDialogs : public Dialogs {
public:
    MsgAnswer messageBox(const QString& text, const QString& title, MsgIcon icon,
                         MsgButtons buttons, MsgAnswer defaultAnswer) override;
    std::optional<QString> inputBox(const QString& prompt, const QString& title,
                                    const QString& defaultText) override;
    void notify(const QString& title, const QString& text) override;
};

}  // namespace quorvel
