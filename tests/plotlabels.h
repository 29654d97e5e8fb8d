#pragma once
// The time axis's labels as the plot lays them out: their rectangles, and their texts.
#include <QList>
#include <QRectF>
#include <QStringList>
#include <qwt_plot.h>
#include <qwt_scale_map.h>
#include <qwt_scale_draw.h>
#include <qwt_scale_widget.h>
#include <qwt_text.h>

struct AxisLabels {
    QList<QRectF> rects;
    QStringList texts;
    // Neighbours that touch; empty when none do.
    QString Overlap() const
    {
        for (int i = 1; i < rects.size(); ++i)
            if (rects[i].intersects(rects[i - 1]))
                return texts[i - 1] + " / " + texts[i];
        return QString();
    }
};

inline AxisLabels TimeLabels(QwtPlot &plot)
{
    plot.updateLayout();
    const QwtScaleDraw *draw = plot.axisScaleDraw(QwtPlot::xBottom);
    const QFont font = plot.axisWidget(QwtPlot::xBottom)->font();
    const QwtScaleDiv div = plot.axisScaleDiv(QwtPlot::xBottom);
    AxisLabels labels;
    for (double v : div.ticks(QwtScaleDiv::MajorTick)) {
        if (!div.contains(v))
            continue;
        // Centred under their ticks, as the axis aligns them.
        const QSizeF size = draw->labelSize(font, v);
        const double x = plot.canvasMap(QwtPlot::xBottom).transform(v);
        labels.rects << QRectF(x - size.width() / 2, 0, size.width(), size.height());
        labels.texts << draw->label(v).text();
    }
    return labels;
}
