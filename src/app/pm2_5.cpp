#include "pm2_5.h"
#include "ui_pm2_5.h"

#include "grecorddataset.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>
#include <QTimerEvent>
#include <cmath>

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
    if (n != 2) {
        ui->radioButtonPA->hide();
        ui->lineEditPAValue->hide();
        ui->label_2->hide();
    }
}

void PM2_5::InitDeviceMenu()
{
    ui->radioButtonPM25->setChecked(true);
    ui->actionCollect_historical_data->setEnabled(true);
    ui->labelPM10->hide();
    ui->lineEditPM10Value->hide();
    ui->labelPM10Unit->hide();
    m_CurveActions.clear();
    m_DevInfoActions.clear();
    for (int i = 0; i < m_DevState; ++i) {
        const QString text = QStringLiteral("device%1").arg(i);
        QAction *curve = ui->menuDisplay->addAction(text);
        curve->setCheckable(true);
        curve->setChecked(true);
        m_CurveActions.append(curve);
        m_DevInfoActions.append(ui->menuSetName->addAction(text));
    }
}

QString PM2_5::FormatValue(double x, double) const
{
    const GRecordDataSet *set = RecordSet(m_Channel);
    if (!set || !set->m_pCurrent || !set->m_pCurrent->m_pRealData)
        return QString();
    const _SRealData *series = set->m_pCurrent->m_pRealData;
    const int n = series->m_ShowCount;
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

void PM2_5::timerEvent(QTimerEvent *)
{
    PollDevice(0);
}

bool PM2_5::PollDevice(int index)
{
    TAG_T_SPM25Data record{};
    return m_CodeUsb.ReadPM25Data(index, &record) != REPLY_NONE;
}

void PM2_5::SwitchLanguage(int language, const QString &file)
{
    m_Language = language;
    (void)m_Translator.load(file, QString(), QString(), QString());
    // Installed at most once: a second switch moves it to the front.
    QCoreApplication::removeTranslator(&m_Translator);
    QCoreApplication::installTranslator(&m_Translator);
    ui->retranslateUi(this);
}

void PM2_5::on_actionChinese_triggered()
{
    SwitchLanguage(1, QStringLiteral(":/cn.qm"));
}

void PM2_5::on_actionEnglish_triggered()
{
    SwitchLanguage(0, QStringLiteral(":/en.qm"));
}
