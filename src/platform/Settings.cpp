// Reading and writing the settings file "Quorvel.txt": seven positional
// lines, Windows-1252, CR LF.
#include "platform/Settings.h"
#include "platform/Plural.h"

#include "platform/Log.h"
#include "platform/NumberText.h"
#include "platform/TextFile.h"

#include "platform/Error.h"

#include <QFileInfo>
#include <array>

namespace quorvel {

namespace {

constexpr int kLineCount = 7;

// The five code fields in file order (lines 2 to 6).
std::array<std::int16_t Settings::*, 5> codeFields() {
    return {&Settings::codicePranzo, &Settings::codiceCena, &Settings::codiceBevande,
            &Settings::codiceGenerico, &Settings::codiceIncassi};
}

const char* const kNames[kLineCount] = {"FileOrigine",   "CodicePranzo",   "CodiceCena",
                                        "CodiceBevande", "CodiceGenerico", "CodiceIncassi",
                                        "FileIncassi"};

bool hasControlCharacters(const QString& text) {
    for (const QChar c : text)
        if (c.category() == QChar::Other_Control)
            return true;
    return false;
}

// Text where a number line should be: not blank, and not starting (blanks
// skipped) with anything a number can start with. A blank line is a code
// never set, read as 0 like a new file's.
bool holdsNoNumber(const QString& line) {
    for (const QChar c : line) {
        if (c == QLatin1Char(' ') || c == QLatin1Char('\t'))
            continue;
        return !(c.isDigit() || c == QLatin1Char('-') || c == QLatin1Char('+') ||
                 c == QLatin1Char('.') || c == QLatin1Char('&'));
    }
    return false;
}

// Logs and lists a value that was read but cannot be what it stands for.
void unusableValue(const QString& path, int lineIndex, const QString& why, QStringList* unusable) {
    const QString what = QStringLiteral("riga %1 (%2) %3")
                             .arg(lineIndex + 1)
                             .arg(QLatin1String(kNames[lineIndex]), why);
    log::error(QStringLiteral("%1, %2: valore inutilizzabile").arg(path, what));
    if (unusable)
        *unusable << what;
}

}  // namespace

QStringList settingsLines(const Settings& settings) {
    QStringList lines{settings.fileOrigine};
    for (auto field : codeFields()) lines << numberLine(settings.*field);
    lines << settings.fileIncassi;
    return lines;
}

void createSettingsFile(const QString& path) {
    writeSettingsFile(Settings{}, path);
}

void writeSettingsFile(const Settings& settings, const QString& path) {
    writeTextLinesAtomic(path, settingsLines(settings));
}

Settings readSettingsFile(const QString& path, QStringList* unusable) {
    // A FIFO, folder or device is never opened as a settings file.
    const auto read = readSideFileLines(path);
    if (!read)
        throw Error(path, QStringLiteral("file non trovato"));
    const QStringList& lines = *read;
    Settings s;
    // Line ends of LF only (a file saved on Linux) make the whole file one
    // line: no value of it can be trusted, and the operator is told why.
    if (lines.size() == 1 && lines[0].contains(QLatin1Char('\n')))
        throw Error(path, QStringLiteral("le righe finiscono con LF invece di CR LF: riscrivere "
                                         "il file con a capo CR LF (ad esempio con unix2dos)"));
    if (lines.size() < kLineCount)
        log::error(QStringLiteral("%1: %2 invece di %3, le righe mancanti prendono il "
                                  "valore predefinito")
                       .arg(path)
                       .arg(counted(lines.size(), QStringLiteral("riga"), QStringLiteral("righe")))
                       .arg(kLineCount));
    for (int i : {0, kLineCount - 1})
        if (i < lines.size() && hasControlCharacters(lines[i]))
            unusableValue(path, i, QStringLiteral("contiene caratteri di controllo"), unusable);
    if (lines.size() > 0)
        s.fileOrigine = lines[0];
    const auto fields = codeFields();
    for (int i = 0; i < static_cast<int>(fields.size()); ++i) {
        const int lineIndex = i + 1;
        if (lineIndex >= lines.size())
            break;
        if (holdsNoNumber(lines[lineIndex]))
            unusableValue(path, lineIndex, QStringLiteral("non è un numero, uso 0"), unusable);
        else if (const auto code = lenientInt16(lines[lineIndex]))
            s.*fields[static_cast<size_t>(i)] = *code;
        else
            log::error(QStringLiteral("%1, riga %2: \"%3\" non è un codice fra -32768 e 32767, "
                                      "uso 0")
                           .arg(path)
                           .arg(lineIndex + 1)
                           .arg(lines[lineIndex]));
    }
    if (lines.size() > 6)
        s.fileIncassi = lines[6];
    return s;
}

Settings loadSettingsFile(const QString& path, QStringList* unusable) {
    if (!QFileInfo::exists(path)) {
        createSettingsFile(path);
        log::info(QStringLiteral("Creato %1 con i valori predefiniti").arg(path));
    }
    return readSettingsFile(path, unusable);
}

}  // namespace quorvel
