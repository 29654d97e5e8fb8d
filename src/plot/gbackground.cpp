#include "gbackground.h"

#include <qwt_text.h>

GBackGround::GBackGround(int maxMinor, int bandMode, int tvocFlag)
    : QwtPlotItem(QwtText(QString()))
    , m_MaxMinor(maxMinor)
    , m_BandMode(bandMode)
    , m_bTVOCFlag(tvocFlag)
{
}

GBackGround::~GBackGround() = default;

void GBackGround::draw(QPainter *, const QwtScaleMap &, const QwtScaleMap &, const QRectF &) const
{
}
