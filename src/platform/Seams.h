// The small interfaces through which the core reaches the operator and the
// machine: message box, input box, non-blocking notice, clock, shell. The
// Qt implementations live in ui/; tests use scripted fakes; a headless run
// writes messages to the log and takes the default answer.
#pragma once

#include <QDateTime>
#include <QString>
#include <optional>

namespace quorvel {

enum class MsgIcon { None, Critical, Question, Exclamation, Information };
enum class MsgButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class MsgAnswer { Ok, Cancel, Yes, No };

class Dialogs {
public:
    virtual ~Dialogs() = default;
    // Modal platform message box; returns the button pressed.
    virtual MsgAnswer messageBox(const QString& text, const QString& title, MsgIcon icon,
                                 MsgButtons buttons, MsgAnswer defaultAnswer) = 0;
    // A message box with one OK button whose details (one line per item)
    // the operator opens on request ("Dettagli"); the box stays as short as
    // the message. Without a window: the message alone.
    virtual void messageBoxWithDetails(const QString& text, const QString& /*details*/,
                                       const QString& title, MsgIcon icon) {
        messageBox(text, title, icon, MsgButtons::Ok, MsgAnswer::Ok);
    }
    // Modal platform input box: the text typed, or nullopt on cancel.
    virtual std::optional<QString> inputBox(const QString& prompt, const QString& title,
                                            const QString& defaultText) = 0;
    // Tells the operator something without blocking (tray balloon, status
    // line); used for failures of unattended work.
    virtual void notify(const QString& title, const QString& text) = 0;
};

class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;  // local time
};

class SystemClock final : public Clock {
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
};

class Shell {
public:
    virtual ~Shell() = default;
    // Opens a document with the program the desktop associates with it.
    virtual bool openDocument(const QString& path, const QString& workingFolder) = 0;
    // Starts a program by name, without arguments and without waiting.
    virtual bool startProgram(const QString& program) = 0;
};

// The seams handed to the core, owned by the caller (main or a test).
struct Services {
    Dialogs* dialogs = nullptr;
    Clock* clock = nullptr;
    Shell* shell = nullptr;
};

}  // namespace quorvel
