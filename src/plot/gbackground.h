#pragma once
// Coloured air-quality bands painted behind the curves. Which bands are painted follows the
// y range the controller chose, told by the axis's maximum minor-tick count.
#include <qwt_plot_item.h>

class GBackGround : public QwtPlotItem
{
public:
    // bandMode 0 PM2.5, 1 formaldehyde, 2 TVOC; tvocFlag 1 draws mode 1 as mode 2.
    GBackGround(int maxMinor, int bandMode, int tvocFlag);
    ~GBackGround() override;

    // Only the y map and the canvas rectangle are used.
    void draw(QPainter *painter, const QwtScaleMap &xMap, const QwtScaleMap &yMap,
              const QRectF &canvasRect) const override;

    int m_MaxMinor;
    int m_BandMode;
    int m_bTVOCFlag;
    bool m_bUsEpa = false; // PM2.5 bands by the US EPA's breakpoints and colours
};
