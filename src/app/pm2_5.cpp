// The main window: start-up, the record sets with the plot set-up, the per-device entries.
#include "pm2_5.h"
#include "ui_pm2_5.h"

#include "gqwtplotpicker.h"
#include "grecorddataset.h"

#include <QMessageBox>

PM2_5::PM2_5(QWidget *parent)
    : QMainWindow(parent)
    , ui(new Ui::PM2_5)
{
    ui->setupUi(this);
    InitView();

    m_DevState = m_Watch.OpenAtStart(); // USB first, else the serial bridge

    m_bHadDevice = m_DevState != 0;
    m_CodeUsb.WatchHotplug();
    InitDeviceMenu();
    m_Plot.m_BaseTime = QDateTime::currentDateTime();

    if (m_DevState == 0) {
        QMessageBox box(QMessageBox::Warning, tr("open device error"),
                        tr("please check the device is connected!"), QMessageBox::Ok);
        // Attached but not to be opened: say what to do about it.
        if (m_CodeUsb.m_bUsbDenied || m_CodeUsb.m_SerialPort.m_bPortDenied)
            box.setInformativeText(
                tr("A sensor is attached but could not be opened: another program may hold it, "
                   "or this user may not use it. For a USB sensor install the package's udev "
                   "rule; for the USB-serial bridge join the dialout group (sudo adduser $USER "
                   "dialout) and log in again. The README's section \"Running with a real "
                   "sensor\" says more."));
        box.exec();
        CreateRecordSets();
    }

    m_TimerId = startTimer(TICK_MS, Qt::CoarseTimer);
    StartRecovery();
    ShowLinkState();
}

PM2_5::~PM2_5()
{
    m_Plot.ClearCurves();
    FreeRecordSets();
    close();
    if (QWidget *canvas = ui->qwtPlot->canvas())
        canvas->removeEventFilter(this); // the filter reads ui, which goes first
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

void PM2_5::GrowRecordSets(int count)
{
    if (!m_pRecordSets || count <= m_RecordSetCount)
        return;
    auto *sets = new GRecordDataSet[size_t(count)];
    for (int i = 0; i < m_RecordSetCount; ++i)
        sets[i].Swap(m_pRecordSets[i]);
    for (int i = m_RecordSetCount; i < count; ++i) {
        sets[i].Create();
        sets[i].StartLive();
        sets[i].m_bCollect = ui->actionCollection->isChecked() ? 1 : 0;
    }
    delete[] m_pRecordSets;
    m_pRecordSets = sets;
    g_pRecordSets = sets;
    m_RecordSetCount = count;
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
    if (!RecordSet(m_Channel)) { // chosen before a one-channel sensor identified itself
        m_Channel = 0;
        ui->radioButtonPM25->setChecked(true);
    }
    InitPlotView();
    if (n != 2) {
        ui->radioButtonPA->hide();
        ui->lineEditPAValue->hide();
        ui->label_2->hide();
    }
}

int PM2_5::InitPlotView(bool startLive)
{
    for (int i = 0; startLive && i < m_RecordSetCount; ++i) {
        m_pRecordSets[i].StartLive();
        if (m_pRecordSets[i].m_pLive)
            m_pRecordSets[i].m_pLive->UpdateTimeOffset();
    }
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
    ui->qwtPlot->canvas()->installEventFilter(this); // a new canvas each set-up
    return 1;
}

void PM2_5::UpdateShownPlot(bool resetTimeAxis)
{
    m_Plot.UpdatePlot(m_pRecordSets, m_RecordSetCount, m_Channel, m_Language, resetTimeAxis);
    UpdateScrollBar();
    const GRecordDataSet *set = RecordSet(m_Channel);
    ui->actionHistoryBinary->setEnabled(set && set->m_Mode == 2);
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
    RebuildDeviceEntries(m_DevState);
}

void PM2_5::RebuildDeviceEntries(int count)
{
    qDeleteAll(m_CurveActions); // out of their menus too
    qDeleteAll(m_DevInfoActions);
    m_CurveActions.clear();
    m_DevInfoActions.clear();
    for (int i = 0; i < count; ++i) {
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
    ui->actionClear_history_data->setEnabled(m_CodeUsb.m_DevType == 130);
    ui->labelDevType->setText(QString::fromLatin1(m_CodeUsb.GetModelName()));
}
