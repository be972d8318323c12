// Window geometry is designed in twips (1440 to the inch); Qt places widgets
// in device-independent pixels at the screen's logical DPI.
#pragma once

#include <QFont>
#include <QRect>

class QWidget;

namespace quorvel {

// The logical DPI of the primary screen (96 when there is none).
double screenDpi();

// Twips to pixels, rounded: 15 twips per pixel at 96 DPI.
int twipsToPixels(int twips, double dpi = screenDpi());
int pixelsToTwips(int pixels, double dpi = screenDpi());

// Places a widget at Left, Top, Width, Height given in twips.
void placeTwips(QWidget* widget, int left, int top, int width, int height,
                double dpi = screenDpi());

// The design's font; a family that is not installed falls back to the
// closest face (sans serif for Corbel and Arial, fixed pitch for Courier New).
QFont designFont(const QString& family, double points, bool bold = false);

}  // namespace quorvel
