// Drawing the print menu's button pictures on a 48 x 48 grid.
#include "ui/PrintPictures.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <functional>

namespace quorvel {

namespace {

constexpr int kSize = 48;

const QColor kInk(0x30, 0x30, 0x38);
const QColor kPaper(0xff, 0xff, 0xff);

QIcon drawn(const std::function<void(QPainter&)>& draw) {
    QIcon icon;
    for (int scale : {1, 2}) {
        QPixmap pixmap(kSize * scale, kSize * scale);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(scale, scale);
        draw(p);
        p.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

// A sheet with a folded corner and a few text lines.
void page(QPainter& p, const QRectF& r, int lines) {
    QPainterPath sheet;
    const double fold = r.width() / 4;
    sheet.moveTo(r.topLeft());
    sheet.lineTo(r.right() - fold, r.top());
    sheet.lineTo(r.right(), r.top() + fold);
    sheet.lineTo(r.bottomRight());
    sheet.lineTo(r.bottomLeft());
    sheet.closeSubpath();
    p.setPen(QPen(kInk, 1.5));
    p.setBrush(kPaper);
    p.drawPath(sheet);
    p.drawLine(QPointF(r.right() - fold, r.top()), QPointF(r.right() - fold, r.top() + fold));
    p.drawLine(QPointF(r.right() - fold, r.top() + fold), QPointF(r.right(), r.top() + fold));
    p.setPen(QPen(QColor(0x70, 0x70, 0x80), 1.5));
    const double step = (r.height() - fold - 4) / (lines + 1);
    for (int i = 1; i <= lines; ++i) {
        const double y = r.top() + fold + step * i;
        p.drawLine(QPointF(r.left() + 4, y), QPointF(r.right() - 4, y));
    }
}

void printer(QPainter& p) {
    page(p, QRectF(14, 3, 20, 20), 2);
    p.setPen(QPen(kInk, 1.5));
    p.setBrush(QColor(0x8a, 0x94, 0xa6));
    p.drawRoundedRect(QRectF(5, 18, 38, 18), 4, 4);
    p.setBrush(QColor(0x5c, 0x66, 0x78));
    p.drawRect(QRectF(11, 31, 26, 5));
    page(p, QRectF(13, 33, 22, 12), 1);
    p.setBrush(QColor(0x40, 0xc0, 0x40));
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPointF(37, 24), 2, 2);
}

void preview(QPainter& p) {
    page(p, QRectF(6, 3, 28, 36), 5);
    p.setPen(QPen(kInk, 4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(33, 33), QPointF(43, 43));
    p.setPen(QPen(kInk, 2.5));
    p.setBrush(QColor(0xc8, 0xe0, 0xff, 0xc0));
    p.drawEllipse(QPointF(27, 27), 9, 9);
}

void openCopy(QPainter& p) {
    p.setPen(QPen(kInk, 1.5));
    p.setBrush(QColor(0xe0, 0xa8, 0x30));
    QPainterPath back;
    back.moveTo(4, 14);
    back.lineTo(17, 14);
    back.lineTo(20, 18);
    back.lineTo(44, 18);
    back.lineTo(44, 42);
    back.lineTo(4, 42);
    back.closeSubpath();
    p.drawPath(back);
    page(p, QRectF(12, 6, 22, 26), 3);
    p.setBrush(QColor(0xf4, 0xc4, 0x50));
    QPainterPath front;
    front.moveTo(4, 42);
    front.lineTo(9, 24);
    front.lineTo(47, 24);
    front.lineTo(44, 42);
    front.closeSubpath();
    p.drawPath(front);
}

void spreadsheet(QPainter& p) {
    const QRectF sheet(5, 6, 38, 36);
    p.setPen(QPen(kInk, 1.5));
    p.setBrush(kPaper);
    p.drawRect(sheet);
    p.setBrush(QColor(0x21, 0x8a, 0x4a));
    p.drawRect(QRectF(sheet.left(), sheet.top(), sheet.width(), 8));
    p.setPen(QPen(QColor(0x21, 0x8a, 0x4a), 1.2));
    for (int row = 1; row < 4; ++row) {
        const double y = sheet.top() + 8 + row * 7;
        p.drawLine(QPointF(sheet.left(), y), QPointF(sheet.right(), y));
    }
    for (int col = 1; col < 3; ++col) {
        const double x = sheet.left() + col * sheet.width() / 3;
        p.drawLine(QPointF(x, sheet.top() + 8), QPointF(x, sheet.bottom()));
    }
}

void pdf(QPainter& p) {
    page(p, QRectF(9, 3, 30, 40), 2);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xc8, 0x20, 0x20));
    p.drawRoundedRect(QRectF(4, 22, 40, 15), 3, 3);
    QFont font(QStringLiteral("Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(12);
    font.setBold(true);
    p.setFont(font);
    p.setPen(kPaper);
    p.drawText(QRectF(4, 22, 40, 15), Qt::AlignCenter, QStringLiteral("PDF"));
}

void exitDoor(QPainter& p) {
    p.setPen(QPen(kInk, 1.5));
    p.setBrush(QColor(0xb0, 0x80, 0x50));
    p.drawRect(QRectF(6, 5, 22, 38));
    p.setBrush(QColor(0x7a, 0x4e, 0x26));
    QPainterPath door;
    door.moveTo(6, 5);
    door.lineTo(20, 9);
    door.lineTo(20, 47);
    door.lineTo(6, 43);
    door.closeSubpath();
    p.drawPath(door);
    p.setPen(QPen(QColor(0xc8, 0x20, 0x20), 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawLine(QPointF(26, 24), QPointF(44, 24));
    p.drawLine(QPointF(37, 17), QPointF(44, 24));
    p.drawLine(QPointF(37, 31), QPointF(44, 24));
}

}  // namespace

QIcon tstPicture(int index) {
    switch (index) {
        case 0:
            return drawn(openCopy);
        case 1:
            return drawn(spreadsheet);
        case 2:
            return drawn(pdf);
        case 3:
            return drawn(printer);
        case 4:
            return drawn(preview);
        default:
            return drawn(exitDoor);
    }
}

QIcon exitPicture() {
    return drawn(exitDoor);
}

}  // namespace quorvel
