// The history command: the sensor's stored values downloaded behind a window-modal progress
// dialog that can cancel the download.
#include "pm2_5.h"
#include "ui_pm2_5.h"

#include "grecorddataset.h"
#include "historyprogress.h"
#include "recordclock.h"

#include <QCloseEvent>
#include <QStatusBar>
#include <utility>

void PM2_5::on_actionCollect_historical_data_triggered()
{
    if (m_bHistoryBusy || !RequireDevice())
        return;
    GRecordDataSet *set = RecordSet(m_Channel);
    // Page requests carry no kind: such a sensor's pages hold the first channel only.
    if (set && m_Channel != 0 && SCodeUsb::IsPageVariant(m_CodeUsb.m_DevType)) {
        statusBar()->showMessage(tr("This sensor keeps no history of this channel."),
                                 NO_DEVICE_MESSAGE_MS);
        return;
    }
    const bool binary = ui->actionBinary->isEnabled();
    const bool zoomIn = ui->actionTime_zoom_in->isEnabled();
    const bool zoomOut = ui->actionTime_zoom_out->isEnabled();
    const QDateTime baseTime = m_Plot.m_BaseTime;
    ui->actionBinary->setEnabled(false);
    ui->actionTime_zoom_in->setEnabled(false);
    ui->actionTime_zoom_out->setEnabled(false);
    statusBar()->showMessage(tr("Reading history data..."));
    m_Plot.m_BaseTime = RecordClockNow();
    const int n = set ? DownloadHistory(set) : 0;
    if (std::exchange(m_bTypeChanged, false) && m_pRecordSets)
        ApplyNewSensor();
    const bool complete = set && m_CodeUsb.m_HisEnd == HisEnd::Complete;
    if (n > 0 || complete) { // the history stream is shown (a complete one may be empty)
        SetCollectState(false);
        ui->actionTime_zoom_in->setEnabled(true); // zoom and pan work on a history too
        ui->actionTime_zoom_out->setEnabled(true);
    } else { // nothing was kept: the view stays as it was
        ui->actionBinary->setEnabled(binary);
        ui->actionTime_zoom_in->setEnabled(zoomIn);
        ui->actionTime_zoom_out->setEnabled(zoomOut);
        m_Plot.m_BaseTime = baseTime;
    }
    statusBar()->showMessage(complete ? tr("Finish reading history data.") + QString::number(n)
                                      : tr("History download stopped: %1 values kept.").arg(n),
                             HISTORY_MESSAGE_MS);
    FinishAfterHistory();
}

int PM2_5::DownloadHistory(GRecordDataSet *set)
{
    HistoryProgress progress(this, m_DevState == 2 ? 2 : 1); // a PM10 pass comes first
    HistoryCallbacks &callbacks = m_CodeUsb.m_HisCallbacks;
    callbacks.m_Progress = [&](int kind, int done, int total) {
        return progress.Update(kind, done, total) && !m_bHistoryCancel;
    };
    callbacks.m_Reply = [this](unsigned char code, const TAG_T_SPM25Data &record) {
        HandleReply(0, code, record);
    };
    m_bHistoryBusy = true;
    m_bHistoryCancel = false;
    const int n = set->StoreHistory(&m_CodeUsb, m_Channel, m_Plot.m_BaseTime, m_HisInterval,
                                    m_Plot.m_bTVOC, m_DevState);
    m_bHistoryBusy = false;
    callbacks = HistoryCallbacks();
    return n;
}

void PM2_5::FinishAfterHistory()
{
    switch (std::exchange(m_AfterHistory, AfterHistory::Nothing)) {
    case AfterHistory::Exit:
        on_actionExit_triggered();
        break;
    case AfterHistory::Close:
        close();
        break;
    case AfterHistory::Nothing:
        break;
    }
}

void PM2_5::closeEvent(QCloseEvent *event)
{
    if (m_bHistoryBusy) {
        m_bHistoryCancel = true;
        if (m_AfterHistory == AfterHistory::Nothing)
            m_AfterHistory = AfterHistory::Close;
        event->ignore();
        return;
    }
    FinishRecovery();
    QMainWindow::closeEvent(event);
}
