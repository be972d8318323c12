// Message box, input box and notices, on the desktop and without one.
#include "ui/QtDialogs.h"

#include "platform/Log.h"
#include "platform/SystemText.h"

#include <QApplication>
#include <QFontMetrics>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTextEdit>

namespace quorvel {

namespace {

// Lines of a message shown in the box itself; the rest under "Dettagli".
constexpr int MaxShownLines = 25;

QString answerName(MsgAnswer a) {
    switch (a) {
        case MsgAnswer::Ok:
            return QStringLiteral("OK");
        case MsgAnswer::Cancel:
            return QStringLiteral("Annulla");
        case MsgAnswer::Yes:
            return QStringLiteral("Sì");
        case MsgAnswer::No:
            return QStringLiteral("No");
    }
    return {};
}

QMessageBox::Icon qtIcon(MsgIcon icon) {
    switch (icon) {
        case MsgIcon::Critical:
            return QMessageBox::Critical;
        case MsgIcon::Question:
            return QMessageBox::Question;
        case MsgIcon::Exclamation:
            return QMessageBox::Warning;
        case MsgIcon::Information:
            return QMessageBox::Information;
        case MsgIcon::None:
            break;
    }
    return QMessageBox::NoIcon;
}

std::vector<MsgAnswer> answersOf(MsgButtons buttons) {
    switch (buttons) {
        case MsgButtons::Ok:
            return {MsgAnswer::Ok};
        case MsgButtons::OkCancel:
            return {MsgAnswer::Ok, MsgAnswer::Cancel};
        case MsgButtons::YesNo:
            return {MsgAnswer::Yes, MsgAnswer::No};
        case MsgButtons::YesNoCancel:
            return {MsgAnswer::Yes, MsgAnswer::No, MsgAnswer::Cancel};
    }
    return {MsgAnswer::Ok};
}

QMessageBox::ButtonRole roleOf(MsgAnswer a) {
    switch (a) {
        case MsgAnswer::Ok:
            return QMessageBox::AcceptRole;
        case MsgAnswer::Cancel:
            return QMessageBox::RejectRole;
        case MsgAnswer::Yes:
            return QMessageBox::YesRole;
        case MsgAnswer::No:
            return QMessageBox::NoRole;
    }
    return QMessageBox::AcceptRole;
}

}  // namespace

MsgAnswer QtDialogs::messageBox(const QString& text, const QString& title, MsgIcon icon,
                                MsgButtons buttons, MsgAnswer defaultAnswer) {
    return show(text, QString(), title, icon, buttons, defaultAnswer);
}

void QtDialogs::messageBoxWithDetails(const QString& text, const QString& details,
                                      const QString& title, MsgIcon icon) {
    show(text, details, title, icon, MsgButtons::Ok, MsgAnswer::Ok);
}

MsgAnswer QtDialogs::show(const QString& text, const QString& details, const QString& title,
                          MsgIcon icon, MsgButtons buttons, MsgAnswer defaultAnswer) {
    QString shown = text;
    QString more = details;
    const QStringList lines = text.split(u'\n');
    if (lines.size() > MaxShownLines) {
        shown = lines.mid(0, MaxShownLines - 2).join(u'\n') +
                QStringLiteral("\n… (altre %1 righe: \"Dettagli\")")
                    .arg(lines.size() - MaxShownLines + 2);
        more = details.isEmpty() ? text : text + QStringLiteral("\n\n") + details;
    }
    QMessageBox box(qtIcon(icon), title, italianSystemText(shown));
    box.setWindowModality(Qt::ApplicationModal);
    std::vector<std::pair<QAbstractButton*, MsgAnswer>> map;
    const auto answers = answersOf(buttons);
    for (MsgAnswer a : answers) {
        QPushButton* b = box.addButton(answerName(a), roleOf(a));
        map.emplace_back(b, a);
        if (a == defaultAnswer)
            box.setDefaultButton(b);
    }
    if (!more.isEmpty()) {
        // Qt's own button (ActionRole) shows the details in a scrolling
        // field of bounded height; it is given Italian words.
        box.setDetailedText(more);
        for (QAbstractButton* b : box.buttons()) {
            if (box.buttonRole(b) != QMessageBox::ActionRole)
                continue;
            b->setText(QStringLiteral("Dettagli"));
            QObject::connect(b, &QAbstractButton::clicked, &box, [b, &box] {
                const bool open = !box.findChildren<QTextEdit*>().isEmpty() &&
                                  box.findChildren<QTextEdit*>().front()->isVisible();
                b->setText(open ? QStringLiteral("Nascondi dettagli") : QStringLiteral("Dettagli"));
            });
        }
    }
    // The close box and Esc answer Cancel where there is one, else the
    // only button; a Yes/No box has no escape.
    for (auto& [b, a] : map)
        if (a == MsgAnswer::Cancel || answers.size() == 1)
            box.setEscapeButton(b);
    box.exec();
    for (auto& [b, a] : map)
        if (box.clickedButton() == b)
            return a;
    return defaultAnswer;
}

std::optional<QString> QtDialogs::inputBox(const QString& prompt, const QString& title,
                                           const QString& defaultText) {
    QInputDialog dialog;
    dialog.setWindowTitle(title);
    dialog.setLabelText(QString(prompt).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    dialog.setTextValue(defaultText);
    dialog.setOkButtonText(QStringLiteral("OK"));
    dialog.setCancelButtonText(QStringLiteral("Annulla"));
    dialog.setWindowModality(Qt::ApplicationModal);
    // Wide enough for the whole title beside the frame's buttons: a window
    // manager cuts a title longer than the window.
    const QFontMetrics titleFont(QApplication::font("QMdiSubWindowTitleBar"));
    dialog.setMinimumWidth(titleFont.horizontalAdvance(title) + 160);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.textValue();
}

void QtDialogs::notify(const QString& title, const QString& text) {
    log::info(QStringLiteral("Avviso \"%1\": %2").arg(title, text));
    if (m_notifier)
        m_notifier(title, italianSystemText(text));
}

MsgAnswer HeadlessDialogs::messageBox(const QString& text, const QString& title, MsgIcon,
                                      MsgButtons, MsgAnswer defaultAnswer) {
    log::info(QStringLiteral("Messaggio \"%1\": %2 (risposta: %3)")
                  .arg(title, QString(text).replace(QLatin1Char('\r'), QLatin1Char(' ')),
                       answerName(defaultAnswer)));
    return defaultAnswer;
}

std::optional<QString> HeadlessDialogs::inputBox(const QString& prompt, const QString& title,
                                                 const QString&) {
    log::info(
        QStringLiteral("Richiesta \"%1\" annullata (nessuno schermo): %2")
            .arg(title, QString(prompt).replace(QStringLiteral("\r\n"), QStringLiteral(" "))));
    return std::nullopt;
}

void HeadlessDialogs::notify(const QString& title, const QString& text) {
    log::info(QStringLiteral("Avviso \"%1\": %2").arg(title, text));
}

}  // namespace quorvel
