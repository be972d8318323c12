// The submenu of "&Impostazioni": one item per line of the settings file.
// Each item asks for its value in the input box until it gets a usable one,
// then rewrites the whole file.
#pragma once

#include "platform/Seams.h"
#include "platform/Settings.h"

namespace quorvel {

class SettingsMenu {
public:
    SettingsMenu(Settings& settings, Dialogs& dialogs, QString path = kSettingsFile);

    // The caption of item index (1 to 7), e.g. "Codice Pranzo".
    static QString caption(int index);

    // menu2_Click: index 1 to 7 is the line of the setting; others do
    // nothing. Re-reads the file first, so only the chosen setting changes.
    // Throws Error when the file cannot be read or written.
    void menu2Click(int index);

private:
    Settings& m_settings;
    Dialogs& m_dialogs;
    QString m_path;
};

}  // namespace quorvel
