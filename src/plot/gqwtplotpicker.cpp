#include "gqwtplotpicker.h"

GQwtPlotPicker::GQwtPlotPicker(int xAxis, int yAxis, RubberBand rubberBand,
                               DisplayMode trackerMode, QWidget *canvas)
    : QwtPlotPicker(xAxis, yAxis, rubberBand, trackerMode, canvas)
{
}

GQwtPlotPicker::~GQwtPlotPicker() = default;
