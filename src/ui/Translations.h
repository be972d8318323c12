// Qt's own Italian texts: the standard context menus ("Annulla", "Copia",
// "Incolla", "Seleziona tutto"), the standard buttons and Qt's file error
// texts, from Debian's qt6-translations-l10n.
#pragma once

class QCoreApplication;

namespace quorvel {

// Installs Qt's Italian translation on app; false (and a log line) when the
// file is missing, in which case Qt's texts stay English.
bool loadQtTranslations(QCoreApplication& app);

}  // namespace quorvel
