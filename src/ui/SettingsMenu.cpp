// The seven settings questions.
#include "ui/SettingsMenu.h"

#include "platform/Log.h"
#include "platform/NumberText.h"
#include "platform/TextFile.h"
#include "polling/PosFileRules.h"

#include <QFile>

namespace quorvel {

namespace {

struct Item {
    const char* caption;
    const char* prompt2;  // second line of the prompt
    bool isFile;
};

const char* const kFilePrompt = "Inserire il nome del file per l'importazione";
const char* const kClosingPrompt = "Inserire il nome del file della chiusura";
const char* const kCodePrompt = "Inserire il codice della voce di addebito";

const Item kItems[7] = {
    {"File Origine", "completo del percorso", true},
    {"Codice Pranzo", "prevista per il pranzo", false},
    {"Codice Cena", "prevista per la cena", false},
    {"Codice Bevande Extra", "prevista per le bevande", false},
    {"Codice Generico", "prevista per l'addebito generico", false},
    {"Codice incassi diretti", "prevista per l'incasso diretto", false},
    {"File incassi", "completo del percorso", true},
};

QString* textField(Settings& s, int index) {
    return index == 1 ? &s.fileOrigine : &s.fileIncassi;
}

std::int16_t* codeField(Settings& s, int index) {
    switch (index) {
        case 2:
            return &s.codicePranzo;
        case 3:
            return &s.codiceCena;
        case 4:
            return &s.codiceBevande;
        case 5:
            return &s.codiceGenerico;
        default:
            return &s.codiceIncassi;
    }
}

// Why a file name is refused, in Italian; empty when it may be stored.
QString fileNameRefusal(const QString& answer) {
    // A name the file's code page cannot hold would be written as '?'.
    if (!isCp1252(answer))
        return QStringLiteral(
            "Il nome contiene caratteri che il file delle impostazioni non può contenere.");
    // Never a FIFO, a device, a folder or a file of the hotel or the program.
    return posFileRefusal(answer);
}

}  // namespace

SettingsMenu::SettingsMenu(Settings& settings, Dialogs& dialogs, QString path)
    : m_settings(settings), m_dialogs(dialogs), m_path(std::move(path)) {}

QString SettingsMenu::caption(int index) {
    if (index < 1 || index > 7)
        return {};
    return QString::fromUtf8(kItems[index - 1].caption);
}

void SettingsMenu::menu2Click(int index) {
    if (index < 1 || index > 7)
        return;
    const Item& item = kItems[index - 1];
    if (!QFile::exists(m_path))
        createSettingsFile(m_path);
    m_settings = readSettingsFile(m_path);

    const QString prompt =
        QString::fromUtf8(item.isFile ? (index == 1 ? kFilePrompt : kClosingPrompt) : kCodePrompt) +
        QStringLiteral("\r\n") + QString::fromUtf8(item.prompt2);
    const QString title = item.isFile ? QStringLiteral("Nome File") : QStringLiteral("Codice Voce");
    QString defaultText = item.isFile ? *textField(m_settings, index)
                                      : QString::number(*codeField(m_settings, index));
    // Why the last answer was refused, told on a line before the prompt of
    // the next question; empty where the refusal speaks for itself (blank, 0).
    QString reason;
    for (;;) {
        const QString shownPrompt =
            reason.isEmpty() ? prompt : reason + QStringLiteral("\r\n") + prompt;
        const QString answer =
            m_dialogs.inputBox(shownPrompt, title, defaultText).value_or(QString());
        reason.clear();
        if (item.isFile) {
            reason = fileNameRefusal(answer);
            if (!reason.isEmpty()) {
                log::error(
                    QStringLiteral("%1: \"%2\" rifiutato: %3").arg(caption(index), answer, reason));
                defaultText = answer;
                continue;
            }
            *textField(m_settings, index) = answer;
            if (!answer.trimmed().isEmpty())
                break;
            defaultText = answer;
        } else {
            // A number outside 16 bits is refused rather than wrapped.
            const std::optional<std::int16_t> read = lenientInt16(answer);
            const std::int16_t code = read.value_or(0);
            *codeField(m_settings, index) = code;
            if (code != 0)
                break;
            if (!read) {
                reason = QStringLiteral("Il codice deve essere compreso tra -32768 e 32767.");
                log::error(
                    QStringLiteral("%1: \"%2\" rifiutato: %3").arg(caption(index), answer, reason));
            }
            defaultText = QStringLiteral("0");
        }
    }
    writeSettingsFile(m_settings, m_path);
    log::info(QStringLiteral("Impostazione \"%1\" cambiata in \"%2\"")
                  .arg(caption(index), item.isFile
                                           ? *textField(m_settings, index)
                                           : QString::number(*codeField(m_settings, index))));
}

}  // namespace quorvel
