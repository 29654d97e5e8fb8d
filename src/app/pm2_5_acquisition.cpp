// The 200 ms acquisition tick: one reply read, acted on, shown and stored.
#include "pm2_5.h"
#include "ui_pm2_5.h"

#include "grecorddataset.h"
#include "recordclock.h"
#include "sensortypes.h"

#include <QStatusBar>
#include <QTimerEvent>
#include <cmath>
#include <utility>

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

} // namespace

void PM2_5::timerEvent(QTimerEvent *event)
{
    if (event->timerId() == m_RecoveryTimerId)
        WriteRecovery();
    else
        PollDevice(0);
}

bool PM2_5::PollDevice(int index)
{
    // A running history download reads the link itself and hands its other replies on.
    if (m_bHistoryBusy)
        return false;
    WatchDevice();
    TAG_T_SPM25Data record{};
    const unsigned char code = m_CodeUsb.ReadPM25Data(index, &record);
    return HandleReply(index, code, record);
}

bool PM2_5::HandleReply(int index, unsigned char code, const TAG_T_SPM25Data &record)
{
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
        StoreLiveSample(0, record);
        m_pRecordSets[0].m_DevType = m_CodeUsb.m_DevType;
        if (m_DevState == 2 && m_pRecordSets[0].m_pLive) // its samples carry PM10 for good
            m_pRecordSets[0].m_pLive->m_ValueCount = 2;
        UpdateDeviceName(index);
        ShowValue(0, code);
        break;
    case DATA_GAS_17:
    case DATA_GAS_33:
        if (!RecordSet(1) || IgnoresSecondChannel(m_CodeUsb.m_DevType))
            return false;
        StoreLiveSample(1, record);
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
        UpdateShownPlot(std::exchange(m_bLiveRestarted, false));
    return true;
}

void PM2_5::StoreLiveSample(int channel, const TAG_T_SPM25Data &record)
{
    GRecordDataSet &set = m_pRecordSets[channel];
    if (const qint64 jump = set.ClockJump())
        RestartLiveStreams(jump);
    // A stream that starts with this sample moves its start: the time axis follows.
    if (set.m_pLive && set.m_pLive->m_LiveCount == 0)
        m_bLiveRestarted = true;
    set.AddLiveData(record, channel);
    if (channel == 0) {
        const double pm10 = m_DevState == 2 ? record.m_PM10 / 10.0 : -1;
        m_Aqi.Add(RecordClockNow().toSecsSinceEpoch(), record.m_PM25 / 10.0, pm10);
        ShowAqi();
    }
}

void PM2_5::RestartLiveStreams(qint64 jump)
{
    // The stretch before the jump is kept whole in its recovery files; the next goes to new ones.
    QString kept;
    if (m_Recovery) {
        m_Recovery->Wait();
        WriteRecovery();
        kept = m_Recovery->FileName(0);
        m_Recovery->NewSession(RecordClockNow());
    }
    for (int i = 0; i < m_RecordSetCount; ++i)
        if (m_pRecordSets[i].m_pLive)
            m_pRecordSets[i].m_pLive->RestartLive();
    m_Aqi.Clear(); // its hours are those of the clock before
    qInfo("clock jumped by %lld s: the live streams start again at %s; the samples before are "
          "in %s",
          qlonglong(jump), qPrintable(RecordClockNow().toString(Qt::ISODate)), qPrintable(kept));
}

void PM2_5::HandleDeviceInfo(int index)
{
    m_bDevInfoOk = 1;
    ShowLinkState();
    UpdateDeviceName(index);
    m_HisInterval = m_CodeUsb.GetHisInterval();
    if (SendsPM10(m_CodeUsb.m_DevType)) {
        m_DevState = 2; // before the plot set-up: it makes two curves for this state
        ui->labelPM10->setVisible(true);
        ui->lineEditPM10Value->setVisible(true);
        ui->labelPM10Unit->setVisible(true);
    }
    if (m_pRecordSets) { // a sensor plugged in later: the sets and the live streams stay
        if (m_bHistoryBusy)
            m_bTypeChanged = true; // the download works on the sets: changed once it returns
        else
            ApplyNewSensor();
    }
    CreateRecordSets();
}

void PM2_5::ApplyNewSensor()
{
    GrowRecordSets(m_CodeUsb.GetDataKind());
    ApplyDeviceType();
}

void PM2_5::ApplyDeviceType()
{
    if (m_DevState == 0)
        return;
    const bool pm10 = SendsPM10(m_CodeUsb.m_DevType);
    m_DevState = pm10 ? 2 : 1;
    ui->labelPM10->setVisible(pm10);
    ui->lineEditPM10Value->setVisible(pm10);
    ui->labelPM10Unit->setVisible(pm10);
    const bool second = RecordSet(1) && m_CodeUsb.GetDataKind() == 2;
    ui->radioButtonPA->setVisible(second);
    ui->lineEditPAValue->setVisible(second);
    ui->label_2->setVisible(second);
    if (!second && m_Channel != 0) {
        m_Channel = 0;
        ui->radioButtonPM25->setChecked(true);
    }
    if (m_Plot.m_Curves.size() != m_DevState) // one curve per value the sensor sends
        InitPlotView(false);
    UpdateShownPlot(true);
}

// ---- sensors coming and going ----------------------------------------------------------

void PM2_5::WatchDevice()
{
    switch (m_Watch.Step(m_DevState != 0)) {
    case SensorWatch::Event::Gone:
        DeviceGone();
        break;
    case SensorWatch::Event::PluggedUsb:
    case SensorWatch::Event::PluggedSerial:
        OpenArrivedDevice();
        break;
    case SensorWatch::Event::None:
        break;
    }
}

void PM2_5::DeviceGone()
{
    m_DevState = 0;
    m_bDevInfoOk = 0; // the next sensor identifies itself again
    RebuildDeviceEntries(0);
    ui->actionClear_history_data->setEnabled(false);
    statusBar()->showMessage(tr("Please check the device is connected!"), NO_DEVICE_MESSAGE_MS);
    ShowAqi();
    ShowLinkState();
}

bool PM2_5::OpenArrivedDevice()
{
    m_DevState = 1;
    m_bHadDevice = true;
    RebuildDeviceEntries(1);
    // A new sensor names its second channel itself: TVOC only once it sends TVOC.
    m_Plot.m_bTVOC = 0;
    ui->radioButtonPA->setText(tr("Formaldehyde"));
    m_CodeUsb.AskDeviceInfo();
    ShowLinkState();
    return true;
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
    // A stream of PM10 samples keeps its second value when its sensor has gone.
    if (m_DevState != 2 && set->m_pCurrent->m_ValueCount != 2)
        return a;
    return a + QLatin1Char(' ') + QString::number(TruncateTo(series->m_pShowData1[i], scale), 'g', 6);
}
