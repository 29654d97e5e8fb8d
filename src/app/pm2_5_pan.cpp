// Moving over long recordings: pan by keys, wheel, drag and the scroll bar under the plot, zoom
// around the pointer with Ctrl and the wheel. The live view follows the newest sample until the
// user moves away; End (or the button beside the scroll bar) brings it back.
#include "pm2_5.h"
#include "ui_pm2_5.h"

#include "grecorddataset.h"
#include "realdata.h"

#include <QHBoxLayout>
#include <QMouseEvent>
#include <QScrollBar>
#include <QToolButton>
#include <QWheelEvent>
#include <climits>
#include <cmath>
#include <qwt_plot.h>
#include <qwt_plot_canvas.h>
#include <qwt_scale_map.h>

namespace {

constexpr int WHEEL_NOTCH = 120;
constexpr int STEPS_PER_WINDOW = 10; // a key press or a wheel notch moves a tenth of the view

int PanStep(const _SRealData *s)
{
    return std::max(1, s->show_pt_cnt / STEPS_PER_WINDOW);
}

} // namespace

void PM2_5::InitPan()
{
    ui->actionPanEarlier->setShortcut(QKeySequence(Qt::Key_Left));
    ui->actionPanLater->setShortcut(QKeySequence(Qt::Key_Right));
    ui->actionFirstSample->setShortcut(QKeySequence(Qt::Key_Home));
    ui->actionNewestSample->setShortcut(QKeySequence(Qt::Key_End));
    connect(ui->actionPanEarlier, &QAction::triggered, this, [this] {
        if (const _SRealData *s = ShownSeries())
            PanBy(-PanStep(s));
    });
    connect(ui->actionPanLater, &QAction::triggered, this, [this] {
        if (const _SRealData *s = ShownSeries())
            PanBy(PanStep(s));
    });
    connect(ui->actionFirstSample, &QAction::triggered, this, [this] { PanTo(0); });
    connect(ui->actionNewestSample, &QAction::triggered, this, [this] { PanTo(INT_MAX); });

    m_pTimeBar = new QScrollBar(Qt::Horizontal, this);
    m_pTimeBar->setObjectName(QStringLiteral("scrollBarTime"));
    auto *newest = new QToolButton(this);
    newest->setObjectName(QStringLiteral("toolButtonNewest"));
    newest->setDefaultAction(ui->actionNewestSample);
    newest->setToolButtonStyle(Qt::ToolButtonTextOnly);
    auto *row = new QHBoxLayout();
    row->addWidget(m_pTimeBar, 1);
    row->addWidget(newest);
    ui->verticalLayout_2->addLayout(row);
    connect(m_pTimeBar, &QScrollBar::valueChanged, this, &PM2_5::PanTo);
    UpdateScrollBar();
}

_SRealData *PM2_5::ShownSeries() const
{
    const GRecordDataSet *set = RecordSet(m_Channel);
    return set && set->m_pCurrent ? set->m_pCurrent->m_pRealData : nullptr;
}

void PM2_5::PanTo(int first)
{
    _SRealData *s = ShownSeries();
    if (m_bHistoryBusy || !s || (first == RealDataFirstShown(s) && first != INT_MAX)) {
        UpdateScrollBar(); // a bar moved by hand goes back to where the view is
        return;
    }
    RealDataPanTo(s, first);
    RedrawShownPlot();
}

void PM2_5::PanBy(int points)
{
    if (const _SRealData *s = ShownSeries())
        PanTo(int(qBound<qint64>(0, qint64(RealDataFirstShown(s)) + points, INT_MAX - 1)));
}

void PM2_5::ZoomAt(bool in, double sec, double fraction)
{
    GRecordDataSet *set = RecordSet(m_Channel);
    GRecordDataPro *current = set ? (in ? set->m_pCurrent : set->GetData(-1)) : nullptr;
    if (m_bHistoryBusy || !current || !current->m_pRealData)
        return;
    _SRealData *s = current->m_pRealData;
    // Found before the time offset moves the axis under the shown points.
    const int raw = std::isnan(sec) ? -1 : RealDataRawIndexAt(s, sec);
    current->UpdateTimeOffset();
    RealDataZoomAround(s, in, raw, fraction);
    UpdateShownPlot(true);
}

void PM2_5::RedrawShownPlot()
{
    m_Plot.Redraw(m_pRecordSets, m_RecordSetCount, m_Channel, m_Language);
    UpdateScrollBar();
}

void PM2_5::UpdateScrollBar()
{
    if (!m_pTimeBar)
        return;
    const _SRealData *s = ShownSeries();
    const int window = s ? std::max(1, s->show_pt_cnt) : 1;
    const int total = s ? RealDataPointCount(s) : 0;
    const QSignalBlocker quiet(m_pTimeBar); // a position set here is no request to pan
    m_pTimeBar->setRange(0, std::max(0, total - window));
    m_pTimeBar->setPageStep(window);
    m_pTimeBar->setSingleStep(s ? PanStep(s) : 1);
    m_pTimeBar->setValue(s ? RealDataFirstShown(s) : 0);
    m_pTimeBar->setEnabled(total > window);
}

bool PM2_5::eventFilter(QObject *watched, QEvent *event)
{
    QWidget *canvas = ui->qwtPlot->canvas();
    if (watched != canvas)
        return QMainWindow::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::Wheel: {
        const auto *wheel = static_cast<QWheelEvent *>(event);
        const QPoint delta = wheel->angleDelta();
        const int notches = (delta.y() != 0 ? delta.y() : delta.x()) / WHEEL_NOTCH;
        if (notches == 0)
            return true;
        if (wheel->modifiers() & Qt::ControlModifier) {
            // Asked again after each notch: a new level may move the axis's origin.
            const double x = wheel->position().x();
            for (int i = 0; i < std::abs(notches); ++i)
                ZoomAt(notches > 0, ui->qwtPlot->canvasMap(QwtPlot::xBottom).invTransform(x),
                       x / std::max(1, canvas->width()));
        } else if (const _SRealData *s = ShownSeries()) {
            PanBy(-notches * PanStep(s)); // away from the user: back in time
        }
        return true;
    }
    case QEvent::MouseButtonPress: {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (!(mouse->button() & (Qt::RightButton | Qt::MiddleButton)) || !ShownSeries())
            break;
        m_DragX = mouse->pos().x();
        m_DragFirst = RealDataFirstShown(ShownSeries());
        return true;
    }
    case QEvent::MouseMove: {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        const _SRealData *s = ShownSeries();
        if (m_DragX < 0 || !s)
            break;
        // The samples follow the pointer.
        const double points = double(m_DragX - mouse->pos().x()) * s->show_pt_cnt
                              / std::max(1, canvas->width());
        PanTo(std::max(0, m_DragFirst + int(std::lround(points))));
        return true;
    }
    case QEvent::MouseButtonRelease:
        if (m_DragX < 0)
            break;
        m_DragX = -1;
        return true;
    case QEvent::Resize:
        m_Plot.UpdateTimeAxis(m_pRecordSets, m_RecordSetCount, m_Channel, m_Language);
        break;
    default:
        break;
    }
    return QMainWindow::eventFilter(watched, event);
}
