// Twips to pixels, and the design's fonts.
#include "ui/Twips.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <cmath>

namespace quorvel {

double screenDpi() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const double dpi = screen ? screen->logicalDotsPerInchY() : 0.0;
    return dpi > 0.0 ? dpi : 96.0;
}

int twipsToPixels(int twips, double dpi) {
    return static_cast<int>(std::lround(twips * dpi / 1440.0));
}

int pixelsToTwips(int pixels, double dpi) {
    return static_cast<int>(std::lround(pixels * 1440.0 / dpi));
}

void placeTwips(QWidget* widget, int left, int top, int width, int height, double dpi) {
    widget->setGeometry(twipsToPixels(left, dpi), twipsToPixels(top, dpi),
                        twipsToPixels(width, dpi), twipsToPixels(height, dpi));
}

QFont designFont(const QString& family, double points, bool bold) {
    QFont font(family);
    const bool fixed = family.contains(QLatin1String("Courier"), Qt::CaseInsensitive);
    font.setStyleHint(fixed ? QFont::TypeWriter : QFont::SansSerif);
    if (fixed)
        font.setFixedPitch(true);
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

}  // namespace quorvel
