#pragma once
// Coloured air-quality bands painted behind the curves.
#include <qwt_plot_item.h>

class GBackGround : public QwtPlotItem
{
public:
    GBackGround(int maxMinor, int bandMode, int tvocFlag);
    ~GBackGround() override;

    void draw(QPainter *painter, const QwtScaleMap &xMap, const QwtScaleMap &yMap,
              const QRectF &canvasRect) const override;

    int m_MaxMinor;
    int m_BandMode;
    int m_bTVOCFlag;
};
