// The seven values of the settings file "Quorvel.txt", held for the whole
// run. Reading and writing the file is in Settings.cpp.
#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>

namespace quorvel {

struct Settings {
    QString fileOrigine = QStringLiteral("Estrazione.mdb");  // POS charges file
    std::int16_t codicePranzo = 0;
    std::int16_t codiceCena = 0;
    std::int16_t codiceBevande = 0;
    std::int16_t codiceGenerico = 0;                        // item of generic restaurant charges
    std::int16_t codiceIncassi = 0;                         // item of direct receipts
    QString fileIncassi = QStringLiteral("Documento.txt");  // POS closing file
    // True while "Quorvel.txt" exists but could not be read (a folder, a file
    // the program may not read, a FIFO): the values above are only
    // placeholders, so nothing may be taken or posted until a read succeeds.
    bool unreadable = false;
};

// The settings file, a bare name resolved against the working folder.
inline const QString kSettingsFile = QStringLiteral("Quorvel.txt");

// The seven lines of the file for these settings: the texts as they are, the
// codes as number lines (blank or '-', digits, blank).
QStringList settingsLines(const Settings& settings);

// Creates or overwrites the file with the defaults. Throws Error on failure.
void createSettingsFile(const QString& path = kSettingsFile);

// Rewrites the whole file from the settings. Throws Error on failure.
void writeSettingsFile(const Settings& settings, const QString& path = kSettingsFile);

// Reads the file. Codes are read leniently (leading number, blanks skipped,
// rounded half to even). A missing line, or a code outside -32768..32767,
// keeps the default of a new file and is logged with its line number; the
// file itself is left alone. A value that is read but unusable (a file name
// holding control characters, a code line that holds no number but some
// text) is kept as read, logged, and described in unusable when given.
// Throws Error when the file cannot be read or is not a regular file (it is
// never opened then, so a FIFO cannot block).
Settings readSettingsFile(const QString& path = kSettingsFile, QStringList* unusable = nullptr);

// Start-up steps 6 and 7: creates the file with the defaults when there is
// none, then reads it. Throws Error as the two steps do.
Settings loadSettingsFile(const QString& path = kSettingsFile, QStringList* unusable = nullptr);

}  // namespace quorvel
