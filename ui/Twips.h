#pragma once

#include <QRect>

// Layouts are designed in twips (1/1440 inch) and converted with the screen's logical DPI, so that
// at 96 DPI one pixel is 15 twips.
class Twips final {
public:
    static constexpr int PerInch = 1440;

    static int toPixels(double twips);
    static QRect rect(int left, int top, int width, int height);
    static double pixelsPerTwip();
};
