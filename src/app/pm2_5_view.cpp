// What the window says at a glance: the air-quality index beside the values, the link state in
// the status bar, the language and the index standard (both remembered), the keys.
#include "pm2_5.h"
#include "ui_pm2_5.h"

#include "grecorddataset.h"
#include "recordclock.h"

#include <QActionGroup>
#include <QLabel>
#include <QLocale>
#include <QSettings>
#include <QStatusBar>
#include <memory>

namespace {

const QString kLanguageKey = QStringLiteral("language");
const QString kAqiKey = QStringLiteral("aqiStandard");
const QString kFitKey = QStringLiteral("fitValues");

// Black on light colours, white on dark ones.
QColor TextOn(QColor background)
{
    return qGray(background.rgb()) > 128 ? Qt::black : Qt::white;
}

} // namespace

// The desktop's config location: $XDG_CONFIG_HOME/pm25monitor/pm25monitor.conf.
std::unique_ptr<QSettings> PM2_5::Settings()
{
    return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                       QStringLiteral("pm25monitor"),
                                       QStringLiteral("pm25monitor"));
}

void PM2_5::InitView()
{
    // Keys: the platform's own where there is one, the same in both languages.
    ui->actionOpen->setShortcut(QKeySequence::Open);
    ui->actionBinary->setShortcut(QKeySequence::Save);
    ui->actionExit->setShortcut(QKeySequence::Quit);
    ui->actionTime_zoom_in->setShortcut(QKeySequence::ZoomIn);
    ui->actionTime_zoom_out->setShortcut(QKeySequence::ZoomOut);
    ui->actionExecl->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
    ui->actionDisplay_all->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_0));
    ui->actionCollect_historical_data->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_H));
    StyleValueBoxes();

    auto *languages = new QActionGroup(this);
    for (QAction *a : {ui->actionChinese, ui->actionEnglish}) {
        a->setCheckable(true);
        languages->addAction(a);
    }
    auto *standards = new QActionGroup(this);
    standards->addAction(ui->actionAqiChina);
    standards->addAction(ui->actionAqiEpa);
    connect(ui->actionAqiChina, &QAction::triggered, this,
            [this] { SetAqiStandard(AqiStandard::China); });
    connect(ui->actionAqiEpa, &QAction::triggered, this,
            [this] { SetAqiStandard(AqiStandard::UsEpa); });

    m_pLinkLabel = new QLabel(this);
    m_pLinkLabel->setObjectName(QStringLiteral("labelLink"));
    statusBar()->addPermanentWidget(m_pLinkLabel);
    ui->labelAqi->hide();

    // Remembered choices; on the first start the language follows the system's.
    const std::unique_ptr<QSettings> settings = Settings();
    const bool chinese = settings->contains(kLanguageKey)
                             ? settings->value(kLanguageKey).toString() == QLatin1String("zh")
                             : QLocale::system().name().startsWith(QLatin1String("zh"));
    const bool epa = settings->value(kAqiKey).toString() == QLatin1String("us-epa");
    if (chinese)
        on_actionChinese_triggered();
    else
        on_actionEnglish_triggered();
    SetAqiStandard(epa ? AqiStandard::UsEpa : AqiStandard::China);
    SetFitValues(settings->value(kFitKey, false).toBool());
    connect(ui->actionFitValues, &QAction::triggered, this, &PM2_5::SetFitValues);
    connect(ui->actionHistoryBinary, &QAction::triggered, this, &PM2_5::SaveHistoryRecords);
    connect(ui->actionSavePicture, &QAction::triggered, this, &PM2_5::SavePlotPicture);
    connect(ui->actionCopyPlot, &QAction::triggered, this, &PM2_5::CopyPlot);
    connect(ui->actionCsv, &QAction::triggered, this, [this] { SaveShownSamples(3); });
    connect(ui->actionXlsx, &QAction::triggered, this, [this] { SaveShownSamples(4); });
    ui->actionCopyPlot->setShortcut(QKeySequence::Copy);
    InitPan();
}

void PM2_5::SetFitValues(bool fit)
{
    if (m_bHistoryBusy) { // the action has toggled already
        ui->actionFitValues->setChecked(m_Plot.m_bFitValues);
        return;
    }
    ui->actionFitValues->setChecked(fit);
    m_Plot.m_bFitValues = fit;
    Settings()->setValue(kFitKey, fit);
    RedrawShownPlot();
}

void PM2_5::StyleValueBoxes()
{
    // Read-only values, not greyed-out fields; wide enough for the largest value they show.
    for (QLineEdit *box : {ui->lineEditValue, ui->lineEditPM10Value, ui->lineEditPAValue}) {
        box->setEnabled(true);
        box->setReadOnly(true);
        box->setFocusPolicy(Qt::NoFocus);
        box->setCursor(Qt::ArrowCursor);
        const int width = box->fontMetrics().horizontalAdvance(QStringLiteral("8888.8")) + 16;
        box->setMinimumWidth(width);
        box->setMaximumWidth(std::max(width, box->maximumWidth()));
        box->setStyleSheet(QStringLiteral("QLineEdit { background: palette(base); }"));
    }
}

void PM2_5::SetAqiStandard(AqiStandard standard)
{
    if (RefuseChoiceWhileBusy())
        return;
    m_AqiStandard = standard;
    (standard == AqiStandard::China ? ui->actionAqiChina : ui->actionAqiEpa)->setChecked(true);
    Settings()->setValue(kAqiKey, standard == AqiStandard::China ? QStringLiteral("china")
                                                                : QStringLiteral("us-epa"));
    m_Plot.m_AqiStandard = standard; // the PM2.5 bands and the legend follow it
    UpdateShownPlot(true);
    ShowAqi();
}

void PM2_5::ShowAqi()
{
    QLabel *label = ui->labelAqi;
    const AqiReading r = m_DevState != 0
                             ? m_Aqi.Read(m_AqiStandard, RecordClockNow().toSecsSinceEpoch())
                             : AqiReading();
    if (!r.m_bAny) { // no sensor, or nothing measured for an hour
        label->hide();
        return;
    }
    const char *standard = AqiStandardName(m_AqiStandard);
    const QString category = QCoreApplication::translate(
        "Aqi", AqiCategoryName(m_AqiStandard, r.m_Category), standard);
    const QString index = QString::number(r.m_Index) + (r.m_bProvisional ? "*" : "");
    label->setText(tr("AQI %1").arg(index) + QLatin1Char(' ') + category);
    const QColor colour = QColor::fromRgb(AqiCategoryColour(m_AqiStandard, r.m_Category));
    label->setStyleSheet(QStringLiteral("QLabel { background: %1; color: %2; border-radius: 3px; }")
                             .arg(colour.name(), TextOn(colour).name()));
    QString why;
    if (r.m_bProvisional)
        why = m_AqiStandard == AqiStandard::China
                  ? tr("Provisional: fewer than 45 of the last 60 minutes have samples.")
                  : tr("Provisional: the NowCast needs two of the last three clock hours, each "
                       "with 45 minutes of samples; this is the mean of the last 60 minutes.");
    label->setToolTip(why);
    label->show();
}

void PM2_5::ShowLinkState()
{
    if (!m_pLinkLabel)
        return;
    if (m_DevState == 0) {
        m_pLinkLabel->setText(tr("No sensor: waiting for one"));
        return;
    }
    const QString model = m_bDevInfoOk ? QString::fromLatin1(m_CodeUsb.GetModelName())
                                       : QStringLiteral("…");
    const bool serial = m_CodeUsb.m_SerialPort.m_bPortOpen == 1;
    m_pLinkLabel->setText((serial ? tr("Serial: %1") : tr("USB: %1")).arg(model));
}

void PM2_5::SaveLanguage(int language)
{
    Settings()->setValue(kLanguageKey, language == 1 ? QStringLiteral("zh") : QStringLiteral("en"));
}
