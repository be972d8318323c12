// Reading and writing the settings file "Quorvel.txt": seven positional
// lines, Windows-1252, CR LF.
#include "platform/Settings.h"

#include "platform/Log.h"
#include "platform/NumberText.h"
#include "platform/TextFile.h"

#include <array>

namespace quorvel {

namespace {

constexpr int kLineCount = 7;

// The five code fields in file order (lines 2 to 6).
std::array<std::int16_t Settings::*, 5> codeFields() {
    return {&Settings::codicePranzo, &Settings::codiceCena, &Settings::codiceBevande,
            &Settings::codiceGenerico, &Settings::codiceIncassi};
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

Settings readSettingsFile(const QString& path) {
    const QStringList lines = readTextLines(path);
    Settings s;
    if (lines.size() < kLineCount)
        log::error(QStringLiteral("%1: %2 righe invece di %3, le righe mancanti prendono il "
                                  "valore predefinito")
                       .arg(path)
                       .arg(lines.size())
                       .arg(kLineCount));
    if (lines.size() > 0)
        s.fileOrigine = lines[0];
    const auto fields = codeFields();
    for (int i = 0; i < static_cast<int>(fields.size()); ++i) {
        const int lineIndex = i + 1;
        if (lineIndex >= lines.size())
            break;
        if (const auto code = lenientInt16(lines[lineIndex]))
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

}  // namespace quorvel
