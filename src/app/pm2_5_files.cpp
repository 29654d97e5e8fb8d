// The file commands: record files saved and opened, the text export, the text import.
#include "pm2_5.h"
#include "ui_pm2_5.h"

#include "grecorddataset.h"
#include "recordclock.h"
#include "recordfile.h"
#include "textimport.h"

#include <QFile>
#include <QFileDialog>
#include <QStatusBar>
#include <QtDebug>

namespace {

const QString kDataDir = QStringLiteral("Data/");
// Far beyond the largest text a full series exports to: anything bigger is not ours.
constexpr qint64 MAX_IMPORT_BYTES = 256 << 20;

} // namespace

QString PM2_5::BuildSaveFileName(int kind, QString dir)
{
    const QString ts =
        RecordClockNow().toLocalTime().toString(QStringLiteral("yyyy-MM-dd hh_mm_ss"));
    QString name = dir;
    if (m_Channel == 0)
        name += QStringLiteral("PM25");
    else
        name += m_Plot.m_bTVOC ? QStringLiteral("TVOC") : QStringLiteral("Form");
    const GRecordDataSet *set = RecordSet(m_Channel);
    const int mode = set ? set->m_Mode : 0;
    const QString identity = QString::fromLatin1(m_CodeUsb.GetDevName(0));
    if (mode == 1)
        name += QStringLiteral("FileHistory");
    else if (mode == 2)
        name += QStringLiteral("DeviceHistory") + identity;
    else
        name += identity;

    QString filter;
    if (kind == 0) {
        name += QStringLiteral("_") + ts + QStringLiteral(".str");
        filter = tr("Str files (*.str)");
    } else {
        if (mode == 2)
            name = QStringLiteral("History_") + name;
        name += QStringLiteral("_") + ts + QStringLiteral(".xls");
        filter = tr("Execl files (*.xls)");
    }
    const QString path = QFileDialog::getSaveFileName(this, tr("Save the file"), name, filter);
    if (path.isEmpty()) {
        statusBar()->showMessage(tr("File open failed!"), NO_DEVICE_MESSAGE_MS);
        return QString();
    }
    return path;
}

void PM2_5::on_actionBinary_triggered()
{
    // Samples of a sensor that was unplugged can still be saved.
    if (m_bHistoryBusy || !RequireDevice(true))
        return;
    const QString path = BuildSaveFileName(0, kDataDir);
    if (path.isEmpty())
        return;
    GRecordDataSet *set = RecordSet(m_Channel);
    GRecordDataPro *live = set ? set->m_pLive : nullptr;
    bool saved = false;
    if (live) {
        live->StampImageStart();
        saved = live->SaveRecordFile(path, m_Channel);
    }
    if (!saved)
        statusBar()->showMessage(tr("File open failed!"), NO_DEVICE_MESSAGE_MS);
}

void PM2_5::on_actionExecl_triggered()
{
    if (m_bHistoryBusy || !RequireDevice(true))
        return;
    const QString path = BuildSaveFileName(1, kDataDir);
    if (path.isEmpty())
        return;
    GRecordDataSet *set = RecordSet(m_Channel);
    GRecordDataPro *current = set ? set->m_pCurrent : nullptr;
    if (!current
        || !current->SaveTextFile(path, set->m_Mode, set->histtime))
        statusBar()->showMessage(tr("File open failed!"), NO_DEVICE_MESSAGE_MS);
}

void PM2_5::on_actionOpen_triggered()
{
    if (m_bHistoryBusy)
        return;
    ui->actionBinary->setEnabled(false);
    QString path = QFileDialog::getOpenFileName(this, tr("Open the file"), kDataDir,
                                                tr("Str or excel files (*.str *.xls)"));
    if (path.endsWith(QLatin1String("xls")))
        path = FileExcelToStr(path);
    if (path.isEmpty() || !OpenRecordFile(path))
        statusBar()->showMessage(tr("File open failed!"), NO_DEVICE_MESSAGE_MS);
}

bool PM2_5::OpenRecordFile(const QString &path)
{
    // The header names the channel: learnt before any stream is touched.
    _SRecordData probe;
    if (RecordDataReadHeader(&probe, path.toLocal8Bit().constData()) < 0)
        return false;
    const int channel = probe.m_Channel;
    if (channel == 1 && m_CodeUsb.GetDataKind() == 1) {
        m_Channel = 0;
        return false;
    }
    GRecordDataSet *set = channel == 0 || channel == 1 ? RecordSet(channel) : nullptr;
    GRecordDataPro *file = set ? set->m_pFile : nullptr;
    if (!file || !file->LoadRecordFile(path, channel))
        return false;
    // The file says nothing of PM10: the sensor attached when it is opened does, for good.
    file->m_ValueCount = channel == 0 && m_DevState == 2 ? 2 : 1;
    m_Channel = channel;
    set->SetMode(1, 0);
    file->UpdateTimeOffset();
    RealDataShowAll(file->m_pRealData);
    const _SRealData *s = file->m_pRealData;
    const int n = std::min(s->m_DataCount, s->m_MaxDataCount);
    const qint64 end = n > 0 ? qint64(s->m_pDataSec[n - 1]) + s->m_DataSecUnit : 0;
    m_Plot.m_BaseTime = file->m_StartTime.addSecs(end); // a file with pauses ends later
    SetCollectState(false);
    return true;
}

QString PM2_5::FileExcelToStr(QString fileName)
{
    if (m_bHistoryBusy)
        return QString();
    const QString out = fileName + QStringLiteral(".tmp.str");
    QFile file(fileName);
    qDebug("file read\n");
    if (!file.open(QIODevice::ReadOnly) || file.size() > MAX_IMPORT_BYTES)
        return QString();
    _SRecordData image;
    const bool accepted = RecordTextToImage(file.readAll(), &image);
    // A failed write must not open an older side file of the same name.
    const bool written =
        accepted && RecordDataWrite(&image, out.toLocal8Bit().constData(), 0) > 0;
    RecordDataFree(&image);
    return written ? out : QString();
}
