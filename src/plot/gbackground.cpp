#include "gbackground.h"

#include <QPainter>
#include <climits>
#include <cmath>
#include <qwt_scale_map.h>
#include <qwt_text.h>

namespace {

constexpr QRgb GREEN = qRgb(0, 228, 0);
constexpr QRgb YELLOW = qRgb(255, 255, 0);
constexpr QRgb ORANGE = qRgb(255, 126, 0);
constexpr QRgb RED = qRgb(255, 0, 0);
constexpr QRgb PURPLE = qRgb(153, 0, 76);
constexpr QRgb MAROON = qRgb(126, 0, 35);
constexpr QRgb EPA_PURPLE = qRgb(143, 63, 151);

struct Band {
    double lo;
    double hi;
    QRgb colour;
    int minorAbove; // painted only when m_MaxMinor is above this
};

constexpr int ALWAYS = INT_MIN;

// Lowest band first. The upper bands end where the larger y ranges end.
constexpr Band PM25_BANDS[] = {
    {0, 35, GREEN, ALWAYS},      {35, 75, YELLOW, ALWAYS},   {75, 115, ORANGE, ALWAYS},
    {115, 150, RED, ALWAYS},     {150, 250, PURPLE, ALWAYS}, {250, 500, MAROON, ALWAYS},
    {500, 600, MAROON, 5},       {600, 800, MAROON, 5},      {800, 1000, MAROON, 8},
};
constexpr Band EPA_PM25_BANDS[] = {
    {0, 9, GREEN, ALWAYS},          {9, 35.4, YELLOW, ALWAYS},        {35.4, 55.4, ORANGE, ALWAYS},
    {55.4, 125.4, RED, ALWAYS},     {125.4, 225.4, EPA_PURPLE, ALWAYS}, {225.4, 500, MAROON, ALWAYS},
    {500, 600, MAROON, 5},          {600, 800, MAROON, 5},            {800, 1000, MAROON, 8},
};
constexpr Band FORMALDEHYDE_BANDS[] = {
    {0, 0.1, GREEN, ALWAYS},
    {0.1, 0.3, YELLOW, ALWAYS},
    {0.3, 1, ORANGE, ALWAYS},
    {1, 3, ORANGE, 1},
};
constexpr Band TVOC_BANDS[] = {
    {0, 0.2, GREEN, ALWAYS},
    {0.2, 0.5, YELLOW, ALWAYS},
    {0.5, 2.5, ORANGE, ALWAYS},
    {2.5, 6.55, RED, 3},
};

template <size_t N>
void PaintBands(QPainter *painter, const Band (&bands)[N], int maxMinor, const QwtScaleMap &yMap,
                const QRectF &canvasRect)
{
    for (const Band &band : bands) {
        if (maxMinor <= band.minorAbove)
            continue;
        const double top = yMap.transform(band.hi);
        const double bottom = yMap.transform(band.lo);
        if (!std::isfinite(top) || !std::isfinite(bottom))
            continue;
        // Kept to the canvas: a band far above a small range would otherwise reach pixel
        // coordinates the raster engine cannot take.
        const QRectF rect =
            QRectF(QPointF(canvasRect.left(), top), QPointF(canvasRect.right(), bottom))
                .normalized()
                .intersected(canvasRect);
        if (!rect.isEmpty())
            painter->fillRect(rect, QColor(band.colour));
    }
}

} // namespace

GBackGround::GBackGround(int maxMinor, int bandMode, int tvocFlag)
    : QwtPlotItem(QwtText(QString()))
    , m_MaxMinor(maxMinor)
    , m_BandMode(bandMode)
    , m_bTVOCFlag(tvocFlag)
{
}

GBackGround::~GBackGround() = default;

void GBackGround::draw(QPainter *painter, const QwtScaleMap &, const QwtScaleMap &yMap,
                       const QRectF &canvasRect) const
{
    const int mode = m_BandMode == 1 && m_bTVOCFlag == 1 ? 2 : m_BandMode;
    switch (mode) {
    case 0:
        if (m_bUsEpa)
            PaintBands(painter, EPA_PM25_BANDS, m_MaxMinor, yMap, canvasRect);
        else
            PaintBands(painter, PM25_BANDS, m_MaxMinor, yMap, canvasRect);
        break;
    case 1:
        PaintBands(painter, FORMALDEHYDE_BANDS, m_MaxMinor, yMap, canvasRect);
        break;
    case 2:
        PaintBands(painter, TVOC_BANDS, m_MaxMinor, yMap, canvasRect);
        break;
    default:
        break;
    }
}
