// Documentation screenshots, taken from the live widgets.
#include "screenshots/Screenshots.h"

#include "hotel/PosFiles.h"
#include "platform/Log.h"
#include "screenshots/PrintScreenshots.h"
#include "ui/AppIcon.h"
#include "ui/MsgBox_Form.h"
#include "ui/PosDT.h"

#include <QApplication>
#include <QDir>
#include <QListView>
#include <QMenu>
#include <QPainter>
#include <QPixmap>

namespace quorvel {

namespace {

void settle() {
    for (int i = 0; i < 10; ++i) QApplication::processEvents();
}

bool save(const QPixmap& pixmap, const QString& dir, const QString& name) {
    const QString path = QDir(dir).filePath(name);
    const bool ok = pixmap.save(path, "PNG");
    log::info(QStringLiteral("%1 %2").arg(
        ok ? QStringLiteral("Salvato") : QStringLiteral("Impossibile salvare"), path));
    return ok;
}

// The popup as it opens above a tray icon on the task bar.
QPixmap trayPicture(QMenu* menu) {
    const QPixmap menuPixmap = menu->grab();
    const int bar = 40;
    const int width = std::max(menuPixmap.width() + 60, 240);
    QPixmap picture(width, menuPixmap.height() + bar + 8);
    picture.fill(QColor(0xe8, 0xec, 0xf2));
    QPainter p(&picture);
    p.fillRect(QRect(0, picture.height() - bar, width, bar), QColor(0x20, 0x24, 0x2c));
    const int iconX = width - 90;
    p.drawPixmap(iconX, picture.height() - bar + 4, quorvelIcon().pixmap(32, 32));
    p.drawPixmap(iconX - menuPixmap.width() / 2 + 16, 4, menuPixmap);
    return picture;
}

}  // namespace

int takeScreenshots(PosDT& window, db::Workspace& ws, const QString& dir) {
    QDir().mkpath(dir);
    window.formLoad();
    // The error history the store holds (a hotel folder's real one), or the sample.
    QStringList history;
    const QAbstractItemModel* list2 = window.list2()->model();
    for (int i = 0; i < list2->rowCount(); ++i) history << list2->index(i, 0).data().toString();
    // Lines in the POS's own fixed columns.
    const auto line = [](const char* room, const char* what, int qty, qint64 cents,
                         const char* time, int receipt) {
        return hotel::formatChargeLine({QString::fromLatin1(room), QStringLiteral("250307"),
                                        QString::fromLatin1(what), qty, cents, cents / qty,
                                        QString::fromLatin1(time), receipt});
    };
    const QString failed = line("999", "CENA", 2, 4200, "2010", 31);
    window.showPending({line("101", "PRANZO", 1, 3500, "1230", 12),
                        line("104", "ACQUA MINERALE", 2, 500, "1245", 14)});
    window.showErrors({failed});
    window.showWindow();
    settle();
    bool ok = save(window.grab(), dir, QStringLiteral("main-window.png"));

    window.impostazioni()->popup(window.geometry().center());
    settle();
    ok = save(trayPicture(window.impostazioni()), dir, QStringLiteral("tray-menu.png")) && ok;
    window.impostazioni()->hide();

    // List2's repair menu over the window, on a line with its reason.
    window.showErrorLines(
        {{1, failed,
          QStringLiteral("Nessun ospite in casa né cliente esterno per la camera 999")}});
    window.list2()->setCurrentIndex(window.list2()->model()->index(0, 0));
    window.repairMenu()->popup(window.mapToGlobal(window.rect().center()));
    settle();
    {
        QPixmap picture = window.grab();
        QPainter p(&picture);
        const QPoint at = window.list2()->mapTo(&window, QPoint(60, 28));  // under the line
        p.drawPixmap(at, window.repairMenu()->grab());
        p.end();
        ok = save(picture, dir, QStringLiteral("repair-menu.png")) && ok;
    }
    window.repairMenu()->hide();
    window.showErrors({failed});

    MsgBox_Form box;
    box.setup(QStringLiteral("Stampare lo storico degli errori sulla stampante predefinita?"), 292,
              QStringLiteral("Stampa"));
    box.show();
    settle();
    ok = save(box.grab(), dir, QStringLiteral("messaggio.png")) && ok;
    box.hide();

    if (history.isEmpty())
        history << failed;
    ok = takePrintScreenshots(ws, window.hotelCorrente(), dir, history) && ok;
    window.allowClose();
    return ok ? 0 : 1;
}

}  // namespace quorvel
