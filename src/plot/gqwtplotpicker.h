#pragma once
// The plot's drag picker: a vertical line and the recorded values and time under the mouse.
#include <QDateTime>
#include <QString>
#include <qwt_plot_picker.h>

class PM2_5; // the owner formats the values; see gqwtplotpicker.cpp

class GQwtPlotPicker : public QwtPlotPicker
{
public:
    GQwtPlotPicker(int xAxis, int yAxis, RubberBand rubberBand, DisplayMode trackerMode,
                   QWidget *canvas);
    ~GQwtPlotPicker() override;

    void SetStartTime(const QDateTime &time) { m_TimeBase = time; }
    void SetOwner(PM2_5 *owner) { m_pOwner = owner; }

    // The owner's recorded value(s) at x, or without an owner y with one decimal.
    QString ValueText(double x, double y) const;
    // "values(time)", or only y with two decimals under a horizontal-line rubber band.
    QwtText trackerTextF(const QPointF &pos) const override;

    QDateTime m_TimeBase;
    PM2_5 *m_pOwner = nullptr;
    bool m_bDated = false; // the shown span crosses midnight: the readout names the day too
};
