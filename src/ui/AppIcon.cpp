// Draws the icon: a plate with a fork and a knife on a dark blue tile.
#include "ui/AppIcon.h"

#include <QPainter>
#include <QPixmap>

namespace quorvel {

namespace {

QPixmap drawIcon(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const double s = size / 32.0;
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x1f, 0x3a, 0x6e));
    p.drawRoundedRect(QRectF(0, 0, size, size), 5 * s, 5 * s);
    // Plate.
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(16 * s, 16 * s), 8.5 * s, 8.5 * s);
    p.setBrush(QColor(0xd8, 0xe2, 0xf0));
    p.drawEllipse(QPointF(16 * s, 16 * s), 5.5 * s, 5.5 * s);
    // Fork (left) and knife (right).
    p.setBrush(QColor(0xf2, 0xc1, 0x4e));
    p.drawRect(QRectF(3 * s, 6 * s, 2 * s, 21 * s));
    p.drawRect(QRectF(2 * s, 6 * s, 4 * s, 5 * s));
    p.drawRoundedRect(QRectF(27 * s, 6 * s, 3 * s, 21 * s), 1.5 * s, 1.5 * s);
    return pixmap;
}

}  // namespace

QIcon quorvelIcon() {
    QIcon icon;
    icon.addPixmap(drawIcon(16));
    icon.addPixmap(drawIcon(32));
    return icon;
}

}  // namespace quorvel
