// Documentation screenshots of the print menu and the preview.
#include "screenshots/PrintScreenshots.h"

#include "platform/Log.h"
#include "platform/TextFile.h"
#include "print/ErrorReport.h"
#include "print/ReportFiles.h"
#include "transfer/ChargeStore.h"
#include "transfer/Reconciliation.h"
#include "ui/Anteprima.h"
#include "ui/MenuStampa.h"
#include "ui/QtDialogs.h"
#include "ui/QtPagePrinter.h"
#include "ui/QtShell.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QPixmap>

namespace quorvel {

namespace {

void settle() {
    for (int i = 0; i < 10; ++i) QApplication::processEvents();
}

bool save(QWidget& widget, const QString& dir, const QString& name) {
    widget.show();
    settle();
    const QString path = QDir(dir).filePath(name);
    const bool ok = widget.grab().save(path, "PNG");
    log::info(QStringLiteral("%1 %2").arg(
        ok ? QStringLiteral("Salvato") : QStringLiteral("Impossibile salvare"), path));
    widget.hide();
    return ok;
}

}  // namespace

bool takePrintScreenshots(db::Workspace& ws, std::int16_t hotelCorrente, const QString& dir,
                          const QStringList& errors) {
    HeadlessDialogs dialogs;  // a failure goes to the log instead of waiting on a box
    SystemClock clock;
    QtShell shell;
    Services services{&dialogs, &clock, &shell};
    QtPagePrinter printer;
    writeErrorReport(errors);

    MenuStampa menu(services, printer, ws, hotelCorrente);
    menu.formLoad();
    if (!menu.formActivate()) {
        log::error(QStringLiteral("Nessuna destinazione di stampa: niente immagine del menu"));
        return false;
    }
    bool ok = save(menu, dir, QStringLiteral("print-menu.png"));

    Anteprima preview(services);
    preview.formLoad();
    ok = preview.formActivate() && save(preview, dir, QStringLiteral("preview.png")) && ok;

    // The reconciliation of the store's last charge day, as "&Quadratura" previews it.
    if (!QFileInfo::exists(QString::fromLatin1(ChargeStore::FileName)))
        return ok;
    db::Workspace storeWs;  // the store is the program's: not in ws, where the window has it
    ChargeStore store(storeWs);
    QString day;
    for (const DayReconciliation& d : reconcile(store, QString(), QString()).days)
        if (!d.files.empty())
            day = d.day;
    if (day.isEmpty())
        return ok;
    writeTextLines(reportFileName(), reconciliationText(reconcile(store, day, day), clock.now()));
    Anteprima quadratura(services);
    quadratura.formLoad();
    return quadratura.formActivate() &&
           save(quadratura, dir, QStringLiteral("quadratura-preview.png")) && ok;
}

}  // namespace quorvel
