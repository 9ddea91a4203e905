#include "Twips.h"

#include <QGuiApplication>
#include <QScreen>

#include <cmath>

double Twips::pixelsPerTwip()
{
    static const double scale = [] {
        const QScreen *screen = QGuiApplication::primaryScreen();
        const double dpi = screen ? screen->logicalDotsPerInch() : 96.0;
        return (dpi > 0 ? dpi : 96.0) / PerInch;
    }();
    return scale;
}

int Twips::toPixels(double twips)
{
    return static_cast<int>(std::lround(twips * pixelsPerTwip()));
}

QRect Twips::rect(int left, int top, int width, int height)
{
    // Edges are converted rather than sizes, so neighbouring controls meet without gaps.
    const int x = toPixels(left);
    const int y = toPixels(top);
    return QRect(x, y, toPixels(left + width) - x, toPixels(top + height) - y);
}
