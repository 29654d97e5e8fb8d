#include "gqwtplot.h"

#include "gbackground.h"
#include "gqwtplotpicker.h"

#include <qwt_plot_curve.h>

int GQwtPlot::ClearCurves()
{
    qDeleteAll(m_Curves);
    m_Curves.clear();
    delete m_pBackGround;
    m_pBackGround = nullptr;
    delete m_pPicker;
    m_pPicker = nullptr;
    return 1;
}
