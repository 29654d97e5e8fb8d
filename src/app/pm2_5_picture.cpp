// Pictures of the plot as shown, with its titles, bands and legend: PNG, SVG or PDF by the
// name's extension, at the size shown or one the user chooses; "Copy plot" puts a PNG on the
// clipboard.
#include "pm2_5.h"
#include "ui_pm2_5.h"

#include "recordclock.h"
#include "safesave.h"

#include <QBuffer>
#include <QClipboard>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QInputDialog>
#include <QPainter>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QStatusBar>
#include <QSvgGenerator>
#include <qwt_plot.h>
#include <qwt_plot_renderer.h>

namespace {

constexpr int MIN_SIDE = 100;
constexpr int MAX_SIDE = 10000;

// "1200x800" (or "1200 x 800", "1200*800"); an empty size when it is none.
QSize ParseSize(const QString &text)
{
    static const QRegularExpression form(
        QStringLiteral("^\\s*(\\d{1,5})\\s*[xX*]\\s*(\\d{1,5})\\s*$"));
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch())
        return QSize();
    const QSize size(m.captured(1).toInt(), m.captured(2).toInt());
    const bool fits = size.width() >= MIN_SIDE && size.width() <= MAX_SIDE
                      && size.height() >= MIN_SIDE && size.height() <= MAX_SIDE;
    return fits ? size : QSize();
}

QImage RenderImage(QwtPlot *plot, const QSize &size)
{
    QImage image(size, QImage::Format_ARGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    QwtPlotRenderer().render(plot, &painter, QRectF(QPointF(0, 0), size));
    return image;
}

} // namespace

QByteArray PM2_5::PlotPicture(const QString &format, const QSize &size) const
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    const QRectF area(QPointF(0, 0), size);
    if (format == QLatin1String("svg")) {
        QSvgGenerator svg;
        svg.setOutputDevice(&buffer);
        svg.setSize(size);
        svg.setViewBox(area);
        svg.setTitle(windowTitle());
        QPainter painter(&svg);
        QwtPlotRenderer().render(ui->qwtPlot, &painter, area);
    } else if (format == QLatin1String("pdf")) {
        QPdfWriter pdf(&buffer);
        pdf.setResolution(96); // a pixel of the plot is a pixel of the page
        pdf.setPageSize(QPageSize(QSizeF(size) * 72.0 / 96.0, QPageSize::Point));
        pdf.setPageMargins(QMarginsF());
        QPainter painter(&pdf);
        QwtPlotRenderer().render(ui->qwtPlot, &painter, area);
    } else {
        RenderImage(ui->qwtPlot, size).save(&buffer, "PNG");
    }
    return buffer.data();
}

void PM2_5::SavePlotPicture()
{
    if (m_bHistoryBusy)
        return;
    const QString stamp =
        RecordClockNow().toLocalTime().toString(QStringLiteral("yyyy-MM-dd hh_mm_ss"));
    const QString name =
        SaveFolder(FileSort::Pictures, false) + QStringLiteral("Plot_") + stamp + ".png";
    const QString path = QFileDialog::getSaveFileName(this, tr("Save the plot as a picture"), name,
                                                      tr("Pictures (*.png *.svg *.pdf)"));
    if (path.isEmpty())
        return;
    RememberFolder(FileSort::Pictures, path);
    const QString format = QFileInfo(path).suffix().toLower();
    if (format != QLatin1String("png") && format != QLatin1String("svg")
        && format != QLatin1String("pdf")) {
        ReportFileFailure(path, tr("Choose a name that ends in .png, .svg or .pdf."));
        return;
    }
    bool ok = false;
    const QSize shown = ui->qwtPlot->size();
    const QString answer = QInputDialog::getText(
        this, tr("Picture size"), tr("Width x height in pixels (100 to 10000):"),
        QLineEdit::Normal, QStringLiteral("%1x%2").arg(shown.width()).arg(shown.height()), &ok);
    if (!ok)
        return;
    const QSize size = ParseSize(answer);
    if (size.isEmpty()) {
        ReportFileFailure(path, tr("\"%1\" is no size between 100 and 10000 pixels.").arg(answer));
        return;
    }
    SafeSave file(path);
    if (!file.Write(PlotPicture(format, size)) || !file.Commit())
        ReportFileFailure(path, tr("It could not be written: %1").arg(file.ErrorString()));
}

void PM2_5::CopyPlot()
{
    if (m_bHistoryBusy)
        return;
    QGuiApplication::clipboard()->setImage(RenderImage(ui->qwtPlot, ui->qwtPlot->size()));
    statusBar()->showMessage(tr("The plot is on the clipboard."), CLEARED_MESSAGE_MS);
}
