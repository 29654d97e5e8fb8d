#include "gqwtplotpicker.h"

#include "gtimescaledraw.h"
// The plot's one include from the application layer above it: the picker asks its owner
// window to format the recorded values (PM2_5::FormatValue). Nothing else of the window is used.
#include "pm2_5.h"

#include <qwt_text.h>

GQwtPlotPicker::GQwtPlotPicker(int xAxis, int yAxis, RubberBand rubberBand,
                               DisplayMode trackerMode, QWidget *canvas)
    : QwtPlotPicker(xAxis, yAxis, rubberBand, trackerMode, canvas)
{
}

GQwtPlotPicker::~GQwtPlotPicker() = default;

QString GQwtPlotPicker::ValueText(double x, double y) const
{
    if (m_pOwner)
        return m_pOwner->FormatValue(x, y);
    return QString::number(y, 'f', 1);
}

QwtText GQwtPlotPicker::trackerTextF(const QPointF &pos) const
{
    const QString timeText = GTimeToStr(m_TimeBase, pos.x(), m_bDated ? 3 : 1);
    QString text;
    if (rubberBand() == HLineRubberBand)
        text = QString::asprintf("%.2f", pos.y());
    else
        text = ValueText(pos.x(), pos.y()) + QLatin1Char('(') + timeText + QLatin1Char(')');
    // Readable on every band, the maroon one too.
    QwtText tracker(text, QwtText::AutoText);
    tracker.setColor(Qt::black);
    tracker.setBackgroundBrush(QColor(255, 255, 255, 220));
    return tracker;
}
