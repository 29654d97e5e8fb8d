#include "pm2_5.h"
#include "ui_pm2_5.h"

#include "deviceinfodialog.h"
#include "gqwtplotpicker.h"
#include "grecorddataset.h"

#include <QApplication>
#include <QMessageBox>
#include <QStatusBar>
#include <QThread>
#include <QTimerEvent>
#include <cmath>
#include <qwt_plot_curve.h>

namespace {

// Truncates toward zero to 1/scale; the tolerance keeps 1.001 from becoming 1.000 through
// binary rounding (1.001 * 1000 = 1000.9999...).
double TruncateTo(double value, double scale)
{
    const double scaled = value * scale;
    return std::trunc(scaled + std::copysign(1e-6, scaled)) / scale;
}

// Raw resolution of a channel's values: tenths on channel 0, thousandths on channel 1.
double ChannelScale(int channel)
{
    return channel == 0 ? 10.0 : 1000.0;
}

bool IgnoresSecondChannel(int devType)
{
    return devType >= 150 && devType <= 158;
}

bool ShowsPM10(int devType)
{
    return devType == 130 || devType == 131;
}

} // namespace

PM2_5::PM2_5(QWidget *parent)
    : QMainWindow(parent)
    , ui(new Ui::PM2_5)
{
    ui->setupUi(this);

    m_CodeUsb.OpenUsbDevice();
    m_CodeUsb.AskDeviceInfo();
    m_DevState = m_CodeUsb.HasDevice();
    if (m_DevState == 0) {
        GSerialPort &serial = m_CodeUsb.m_SerialPort;
        serial.m_bPortOpen = serial.OpenSerialPort();
        if (serial.m_bPortOpen == 1) {
            m_CodeUsb.AskDeviceInfo();
            QThread::msleep(SERIAL_INFO_PAUSE_MS);
            m_DevState = 1;
        }
    }

    InitDeviceMenu();
    m_Plot.m_BaseTime = QDateTime::currentDateTime();

    if (m_DevState == 0) {
        QMessageBox::warning(nullptr, tr("open device error"),
                             tr("please check the device is connected!"), QMessageBox::Ok);
        CreateRecordSets();
    }

    m_TimerId = startTimer(TICK_MS, Qt::CoarseTimer);
}

PM2_5::~PM2_5()
{
    m_Plot.ClearCurves();
    FreeRecordSets();
    close();
    delete ui;
}

// ---- record sets and plot set-up -------------------------------------------------------

void PM2_5::FreeRecordSets()
{
    if (!m_pRecordSets)
        return;
    delete[] m_pRecordSets;
    m_pRecordSets = nullptr;
    g_pRecordSets = nullptr;
    m_RecordSetCount = 0;
}

GRecordDataSet *PM2_5::RecordSet(int channel) const
{
    return m_pRecordSets && channel >= 0 && channel < m_RecordSetCount ? &m_pRecordSets[channel]
                                                                       : nullptr;
}

void PM2_5::CreateRecordSets()
{
    if (m_pRecordSets)
        return;
    const int n = m_CodeUsb.GetDataKind();
    m_pRecordSets = new GRecordDataSet[size_t(n)];
    m_RecordSetCount = n;
    for (int i = 0; i < n; ++i)
        m_pRecordSets[i].Create();
    g_pRecordSets = m_pRecordSets;
    InitPlotView();
    if (n != 2) {
        ui->radioButtonPA->hide();
        ui->lineEditPAValue->hide();
        ui->label_2->hide();
    }
}

int PM2_5::InitPlotView()
{
    for (int i = 0; i < m_RecordSetCount; ++i) {
        m_pRecordSets[i].StartLive();
        if (m_pRecordSets[i].m_pLive)
            m_pRecordSets[i].m_pLive->UpdateTimeOffset();
    }
    // Channel 1 may have been chosen before a one-channel sensor identified itself.
    const GRecordDataSet *shown = RecordSet(m_Channel) ? RecordSet(m_Channel) : RecordSet(0);
    int orgPts = 0;
    QDateTime startTime;
    if (shown && shown->m_pLive && shown->m_pLive->m_pRealData) {
        orgPts = shown->m_pLive->m_pRealData->org_pts;
        startTime = shown->m_pLive->m_StartTime;
    }
    m_Plot.SetQwtPlot(ui->qwtPlot);
    m_Plot.InitPlot(startTime, orgPts, m_DevState);
    for (int i = 0; i < m_RecordSetCount; ++i)
        if (m_pRecordSets[i].m_pLive && m_pRecordSets[i].m_pLive->m_pRealData)
            RealDataRebuild(m_pRecordSets[i].m_pLive->m_pRealData);
    if (m_Plot.m_pPicker)
        m_Plot.m_pPicker->SetOwner(this);
    return 1;
}

void PM2_5::UpdateShownPlot(bool resetTimeAxis)
{
    m_Plot.UpdatePlot(m_pRecordSets, m_RecordSetCount, m_Channel, m_Language, resetTimeAxis);
}

// ---- per-device entries ----------------------------------------------------------------

void PM2_5::InitDeviceMenu()
{
    ui->radioButtonPM25->setChecked(true);
    m_CurveActions.clear();
    m_DevInfoActions.clear();
    ui->actionCollect_historical_data->setEnabled(true);
    ui->labelPM10->hide();
    ui->lineEditPM10Value->hide();
    ui->labelPM10Unit->hide();
    for (int i = 0; i < m_DevState; ++i) {
        const QString text = QStringLiteral("device%1").arg(i);
        QAction *curve = ui->menuDisplay->addAction(text);
        connect(curve, &QAction::triggered, this, &PM2_5::my_actionDevice1_triggered);
        curve->setCheckable(true);
        curve->setChecked(true);
        m_CurveActions.append(curve);
        QAction *info = ui->menuSetName->addAction(text);
        connect(info, &QAction::triggered, this, &PM2_5::my_actionSetDevice1_triggered);
        m_DevInfoActions.append(info);
    }
}

void PM2_5::UpdateDeviceName(int index)
{
    if (index < 0 || index >= m_CurveActions.size() || index >= int(m_CodeUsb.m_DevList.size()))
        return;
    // Identity bytes come as they are; Latin-1 shows every byte as one character.
    const QString name = QString::fromLatin1(m_CodeUsb.GetDevName(index));
    if (name.isEmpty())
        return;
    m_CurveActions[index]->setText(name);
    m_DevInfoActions[index]->setText(name);
    if (m_CodeUsb.m_DevType == 130)
        ui->actionClear_history_data->setEnabled(true);
    ui->labelDevType->setText(QString::fromLatin1(m_CodeUsb.GetModelName()));
}

// ---- the acquisition tick --------------------------------------------------------------

void PM2_5::timerEvent(QTimerEvent *)
{
    PollDevice(0);
}

bool PM2_5::PollDevice(int index)
{
    TAG_T_SPM25Data record{};
    const unsigned char code = m_CodeUsb.ReadPM25Data(index, &record);
    switch (code) {
    case REPLY_NONE:
        return false;
    case DATA_PM_1:
    case DATA_PM_3:
        if (m_bDevInfoOk == 0) {
            m_CodeUsb.AskDeviceInfo(); // the sample is dropped until the sensor is known
            return false;
        }
        if (!m_pRecordSets)
            return false;
        m_pRecordSets[0].AddLiveData(record, 0);
        m_pRecordSets[0].m_DevType = m_CodeUsb.m_DevType;
        UpdateDeviceName(index);
        ShowValue(0, code);
        break;
    case DATA_GAS_17:
    case DATA_GAS_33:
        if (!RecordSet(1) || IgnoresSecondChannel(m_CodeUsb.m_DevType))
            return false;
        m_pRecordSets[1].AddLiveData(record, 1);
        ShowValue(1, code);
        break;
    case REPLY_SERIAL_ID:
        m_HisInterval = m_CodeUsb.GetHisInterval();
        break;
    case REPLY_CLEARED:
        statusBar()->showMessage(tr("Clearing success"), CLEARED_MESSAGE_MS);
        HandleDeviceInfo(index);
        break;
    case REPLY_DEVICE_INFO:
        HandleDeviceInfo(index);
        break;
    default:
        break;
    }
    const GRecordDataSet *shown = RecordSet(m_Channel);
    if (shown && shown->m_bCollect)
        UpdateShownPlot(false);
    return true;
}

void PM2_5::HandleDeviceInfo(int index)
{
    m_bDevInfoOk = 1;
    UpdateDeviceName(index);
    m_HisInterval = m_CodeUsb.GetHisInterval();
    if (ShowsPM10(m_CodeUsb.m_DevType)) {
        m_DevState = 2; // before the plot set-up: it makes two curves for this state
        ui->labelPM10->setVisible(true);
        ui->lineEditPM10Value->setVisible(true);
        ui->labelPM10Unit->setVisible(true);
    }
    CreateRecordSets();
}

bool PM2_5::ShowValue(int channel, int code)
{
    const GRecordDataSet *set = RecordSet(channel);
    if (!set || !set->m_pLive || !set->m_pLive->m_pRealData)
        return false;
    const GRecordDataPro *live = set->m_pLive;
    double a = 0;
    double b = 0;
    RealDataLastValue(live->m_pRealData, &a, &b);
    // A series full after 14 days keeps its last point; the stream goes on with newer values.
    const _SRealData *series = live->m_pRealData;
    if (series->m_DataCount >= series->m_MaxDataCount && live->m_LiveCount > 0) {
        a = live->m_LastValue0 * 10;
        b = live->m_LastValue1 * 10;
    }
    if (a < 0)
        return false;
    // Large values show whole units only.
    const double first = a >= 1000 ? TruncateTo(a / 10, 1) : a / 10;
    if (channel == 0)
        ui->lineEditValue->setText(QString::number(first, 'g', 6));
    if (b < 0)
        return false;
    const double second = b >= 1000 ? TruncateTo(b / 10, 1) : b / 10;
    if (channel == 0)
        ui->lineEditPM10Value->setText(QString::number(second, 'g', 6));
    else
        ui->lineEditPAValue->setText(QString::number(first, 'g', 3));
    if (code == DATA_GAS_33 && m_Plot.m_bTVOC == 0) {
        ui->radioButtonPA->setText(QStringLiteral("TVOC"));
        m_Plot.m_bTVOC = 1;
    }
    return true;
}

QString PM2_5::FormatValue(double x, double) const
{
    const GRecordDataSet *set = RecordSet(m_Channel);
    if (!set || !set->m_pCurrent || !set->m_pCurrent->m_pRealData)
        return QString();
    const _SRealData *series = set->m_pCurrent->m_pRealData;
    const int n = RealDataShowCount(series);
    const double X = std::trunc(x);
    int i = 0;
    while (i < n && std::trunc(series->m_pShowSec[i]) < X)
        ++i;
    if (i >= n)
        return QString();
    const double scale = ChannelScale(m_Channel);
    const QString a = QString::number(TruncateTo(series->m_pShowData0[i], scale), 'g', 6);
    if (m_DevState != 2)
        return a;
    return a + QLatin1Char(' ') + QString::number(TruncateTo(series->m_pShowData1[i], scale), 'g', 6);
}

// ---- commands --------------------------------------------------------------------------

void PM2_5::on_actionExit_triggered()
{
    m_Plot.ClearCurves();
    FreeRecordSets();
    close();
}

bool PM2_5::RequireDevice()
{
    if (m_DevState != 0)
        return true;
    statusBar()->showMessage(tr("Please check the device is connected!"), NO_DEVICE_MESSAGE_MS);
    return false;
}

void PM2_5::on_actionBinary_triggered()
{
    if (!RequireDevice())
        return;
    // Saving record files arrives with the file formats.
}

void PM2_5::on_actionOpen_triggered()
{
    // Opening record and text files arrives with the file formats.
}

void PM2_5::on_actionExecl_triggered()
{
    if (!RequireDevice())
        return;
    // The text export arrives with the file formats.
}

QString PM2_5::FileExcelToStr(QString)
{
    return QString(); // the text import arrives with the file formats
}

void PM2_5::SwitchLanguage(int language, const QString &file)
{
    m_Language = language;
    (void)m_Translator.load(file, QString(), QString(), QString());
    m_Plot.ReSetAxisTitle(m_Language, m_Channel);
    // Installed at most once: a second switch moves it to the front.
    QCoreApplication::removeTranslator(&m_Translator);
    QCoreApplication::installTranslator(&m_Translator);
    ui->retranslateUi(this);
    // The form text would otherwise hide that the second channel measures TVOC.
    if (m_Plot.m_bTVOC)
        ui->radioButtonPA->setText(QStringLiteral("TVOC"));
}

void PM2_5::on_actionChinese_triggered()
{
    SwitchLanguage(1, QStringLiteral(":/cn.qm"));
}

void PM2_5::on_actionEnglish_triggered()
{
    SwitchLanguage(0, QStringLiteral(":/en.qm"));
}

void PM2_5::ZoomTime(bool in)
{
    GRecordDataSet *set = RecordSet(m_Channel);
    if (!set)
        return;
    GRecordDataPro *current = in ? set->m_pCurrent : set->GetData(-1);
    if (!current || !current->m_pRealData)
        return;
    current->UpdateTimeOffset();
    if (in)
        RealDataZoomIn(current->m_pRealData);
    else
        RealDataZoomOut(current->m_pRealData);
    UpdateShownPlot(true);
}

void PM2_5::on_actionTime_zoom_in_triggered()
{
    ZoomTime(true);
}

void PM2_5::on_actionTime_zoom_out_triggered()
{
    ZoomTime(false);
}

void PM2_5::ShowCurve(int index, bool visible)
{
    if (index < 0 || index >= m_Plot.m_Curves.size())
        return;
    m_Plot.m_Curves[index]->setVisible(visible);
    ui->qwtPlot->replot();
}

void PM2_5::my_actionDevice1_triggered()
{
    const int i = m_CurveActions.indexOf(qobject_cast<QAction *>(sender()));
    if (i < 0)
        return;
    ShowCurve(i, m_CurveActions[i]->isChecked());
}

void PM2_5::my_actionSetDevice1_triggered()
{
    const int i = m_DevInfoActions.indexOf(qobject_cast<QAction *>(sender()));
    if (i < 0)
        return;
    DeviceInfoDialog dialog(nullptr);
    dialog.SetDeviceInfo(i, this);
    dialog.exec();
}

void PM2_5::on_actionAbout_Software_triggered()
{
    QMessageBox::information(nullptr, tr("Software version"), tr("Quelmar Air Quality Monitor 5.9"),
                             QMessageBox::Ok);
}

void PM2_5::on_actionAbout_Quelmar_triggered()
{
    QMessageBox::information(nullptr, tr("About Quelmar"),
                             tr("Web site: www.example.com\n"
                                "Contact: Alex Sample (fictitious)\n"
                                "Tel: +00 000 0000 0000\n"
                                "Fax: +00 000 0000 0001\n"
                                "E-mail: contact@example.com"),
                             QMessageBox::Ok);
}

void PM2_5::ShowAllCurves(bool show)
{
    for (int i = 0; i < m_CurveActions.size(); ++i) {
        m_CurveActions[i]->setChecked(show);
        ShowCurve(i, show);
    }
}

void PM2_5::on_actionDisplay_all_triggered()
{
    ShowAllCurves(true);
}

void PM2_5::on_actionNodisplay_triggered()
{
    ShowAllCurves(false);
}

void PM2_5::on_actionCollection_triggered()
{
    ui->actionBinary->setEnabled(true);
    ui->actionTime_zoom_in->setEnabled(true);
    ui->actionTime_zoom_out->setEnabled(true);
    SetCollectState(ui->actionCollection->isChecked());
}

void PM2_5::SetCollectState(bool collect)
{
    for (int i = 0; i < m_RecordSetCount; ++i)
        m_pRecordSets[i].m_bCollect = collect ? 1 : 0;
    if (collect) {
        for (int i = 0; i < m_RecordSetCount; ++i)
            m_pRecordSets[i].SetMode(0, 1);
        ui->actionCollection->setText(tr("Stop Collect"));
        ui->actionCollection->setIcon(QIcon(QStringLiteral(":/icons/Icons/Pause.bmp")));
    } else {
        ui->actionCollection->setText(tr("Start Collect"));
        ui->actionCollection->setIcon(QIcon(QStringLiteral(":/icons/Icons/Play.bmp")));
        ui->actionCollection->setChecked(false);
        ui->radioButtonPM25->setChecked(m_Channel == 0);
        ui->radioButtonPA->setChecked(m_Channel != 0);
    }
    UpdateShownPlot(true);
}

void PM2_5::on_actionCollect_historical_data_triggered()
{
    // The history download arrives with its own work; until then the command does nothing.
}

void PM2_5::ShowChannel(int channel)
{
    m_Channel = channel;
    UpdateShownPlot(true);
}

void PM2_5::on_radioButtonPM25_clicked()
{
    ShowChannel(0);
}

void PM2_5::on_radioButtonPA_clicked()
{
    ShowChannel(1);
}

void PM2_5::on_actionClear_history_data_triggered()
{
    m_CodeUsb.m_SerialPort.SendClear();
}
