// Loading Qt's Italian translation.
#include "ui/Translations.h"

#include "platform/Log.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace quorvel {

bool loadQtTranslations(QCoreApplication& app) {
    auto* translator = new QTranslator(&app);
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (!translator->load(QStringLiteral("qtbase_it"), folder)) {
        delete translator;
        log::info(QStringLiteral("Traduzione italiana di Qt (qtbase_it.qm) non trovata in %1: "
                                 "i menu standard restano in inglese")
                      .arg(folder));
        return false;
    }
    QCoreApplication::installTranslator(translator);
    return true;
}

}  // namespace quorvel
