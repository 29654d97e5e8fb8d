// The file commands: record files saved and opened, the text export, the text import.
#include "pm2_5.h"
#include "ui_pm2_5.h"

#include "csvfile.h"
#include "grecorddataset.h"
#include "recordclock.h"
#include "recordfile.h"
#include "safesave.h"
#include "textimport.h"
#include "xlsxfile.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QSettings>
#include <QStandardPaths>
#include <QStatusBar>
#include <QtDebug>

namespace {

const char *const FOLDER_KEYS[] = {"folders/records", "folders/texts", "folders/pictures"};
// Far beyond the largest text a full series exports to: anything bigger is not ours.
constexpr qint64 MAX_IMPORT_BYTES = 256 << 20;

} // namespace

bool PM2_5::FileFailed(const QString &reason)
{
    if (m_FileFailure.isEmpty())
        m_FileFailure = reason;
    return false;
}

QString PM2_5::ReadFailure(int code, const QString &path) const
{
    if (code == -1)
        return tr("It could not be read: %1").arg(QFile(path).exists() ? tr("no permission")
                                                                        : tr("no such file"));
    if (code == -2)
        return tr("It is not a record file (its header is missing or impossible).");
    return tr("It holds fewer records than its header says: it is damaged or cut short.");
}

QString PM2_5::SaveFolder(FileSort sort, bool history) const
{
    const QString remembered = Settings()->value(FOLDER_KEYS[int(sort)]).toString();
    if (!remembered.isEmpty() && QFileInfo(remembered).isDir())
        return remembered + QLatin1Char('/');
    const QDir documents(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
    const QString folder =
        documents.filePath(history ? QStringLiteral("History_Data") : QStringLiteral("Data"));
    QDir().mkpath(folder); // a dialog offered a folder that is not there opens elsewhere
    return folder + QLatin1Char('/');
}

void PM2_5::RememberFolder(FileSort sort, const QString &chosen)
{
    Settings()->setValue(FOLDER_KEYS[int(sort)], QFileInfo(chosen).absolutePath());
}

QString PM2_5::BuildSaveFileName(int kind, QString dir)
{
    const QString ts =
        RecordClockNow().toLocalTime().toString(QStringLiteral("yyyy-MM-dd hh_mm_ss"));
    QString name = dir;
    if (m_Channel == 0)
        name += QStringLiteral("PM25");
    else
        name += m_Plot.m_bTVOC ? QStringLiteral("TVOC") : QStringLiteral("Form");
    const int mode = ShownMode();
    const QString identity = QString::fromLatin1(m_CodeUsb.GetDevName(0));
    if (mode == 1)
        name += QStringLiteral("FileHistory");
    else if (mode == 2)
        name += QStringLiteral("DeviceHistory") + identity;
    else
        name += identity;

    static const char *const extensions[] = {".str", ".xls", ".str", ".csv", ".xlsx"};
    const int k = kind >= 0 && kind <= 4 ? kind : 1;
    name += QStringLiteral("_") + ts + QLatin1String(extensions[k]);
    const QString filters[] = {tr("Str files (*.str)"), tr("Execl files (*.xls)"),
                               tr("Str files (*.str)"), tr("CSV files (*.csv)"),
                               tr("Spreadsheets (*.xlsx)")};
    const QString path = QFileDialog::getSaveFileName(this, tr("Save the file"), name, filters[k]);
    if (path.isEmpty()) {
        statusBar()->showMessage(tr("File open failed!"), NO_DEVICE_MESSAGE_MS);
        return QString();
    }
    RememberFolder(SortOfKind(kind), path);
    return path;
}

int PM2_5::ShownMode() const
{
    const GRecordDataSet *set = RecordSet(m_Channel);
    return set ? set->m_Mode : 0;
}

QString PM2_5::SaveFolderOfKind(int kind) const
{
    // A history's own files (kept records, exports) go beside each other; Save to bin keeps the
    // live samples, and goes with them.
    const bool history = ShownMode() == 2 && kind != 0;
    return SaveFolder(SortOfKind(kind), history);
}

void PM2_5::on_actionBinary_triggered()
{
    // Samples of a sensor that was unplugged can still be saved.
    if (m_bHistoryBusy || !RequireDevice(true))
        return;
    const QString path = BuildSaveFileName(0, SaveFolderOfKind(0));
    if (path.isEmpty())
        return;
    GRecordDataSet *set = RecordSet(m_Channel);
    GRecordDataPro *live = set ? set->m_pLive : nullptr;
    QString error = tr("There is nothing to save.");
    if (live) {
        live->StampImageStart();
        if (live->SaveRecordFile(path, m_Channel, &error))
            return;
    }
    ReportFileFailure(path, tr("It could not be written: %1").arg(error));
}

void PM2_5::SaveHistoryRecords()
{
    GRecordDataSet *set = RecordSet(m_Channel);
    if (m_bHistoryBusy || !set || set->m_Mode != 2)
        return;
    const QString path = BuildSaveFileName(2, SaveFolderOfKind(2));
    if (path.isEmpty())
        return;
    QString error;
    if (!set->SaveHistoryFile(path, m_Channel, &error))
        ReportFileFailure(path, tr("It could not be written: %1").arg(error));
}

void PM2_5::SaveShownSamples(int kind)
{
    if (m_bHistoryBusy) // a file opened without a sensor may be saved too
        return;
    const QString path = BuildSaveFileName(kind, SaveFolderOfKind(kind));
    if (path.isEmpty())
        return;
    GRecordDataSet *set = RecordSet(m_Channel);
    GRecordDataPro *current = set ? set->m_pCurrent : nullptr;
    const _SRecordData *image = current ? current->m_pRecordData : nullptr;
    if (!image || !current->m_pRealData) {
        ReportFileFailure(path,
                          tr("It could not be written: %1").arg(tr("There is nothing to save.")));
        return;
    }
    CsvLayout layout;
    layout.m_Channel = m_Channel;
    layout.m_ValueCount = current->m_ValueCount;
    layout.m_bTVOC = m_Channel != 0 && m_Plot.m_bTVOC;
    uint32_t start = image->m_StartTime;
    int unit = std::max(1, int(image->m_SecUnit));
    const QVector<uint32_t> *stamps = nullptr;
    XlsxHead head;
    head.m_Model = QString::fromLatin1(m_CodeUsb.GetModelName());
    head.m_Identity = QString::fromLatin1(m_CodeUsb.GetDevName(0));
    head.m_Source = QStringLiteral("live");
    if (set->m_Mode == 2) { // a history's image carries neither: the stream knows them
        start = uint32_t(current->m_StartTime.toSecsSinceEpoch());
        unit = std::max(1, int(current->m_pRealData->m_DataSecUnit));
        stamps = current->m_bStampedHistory ? &set->histtime : nullptr;
        head.m_Source = QStringLiteral("history");
    } else if (current == set->m_pLive) {
        current->StampImageStart();
        start = image->m_StartTime;
    } else {
        head.m_Source = m_OpenedFileName;
    }
    QString error;
    bool written;
    if (kind == 4) {
        written = RecordsToXlsx(path, *image, start, unit, stamps, layout, head, &error);
    } else {
        SafeSave file(path);
        written = file.Write(RecordsToCsv(*image, start, unit, stamps, layout)) && file.Commit();
        error = file.ErrorString();
    }
    if (!written)
        ReportFileFailure(path, tr("It could not be written: %1").arg(error));
}

bool PM2_5::ReadImportText(const QString &fileName, QByteArray *text)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return FileFailed(tr("It could not be read: %1").arg(file.errorString()));
    if (file.size() > MAX_IMPORT_BYTES)
        return FileFailed(tr("It is too large for a text of records."));
    *text = file.readAll();
    return true;
}

QString PM2_5::FileCsvToStr(const QString &fileName, int *valueCount)
{
    QByteArray text;
    if (!ReadImportText(fileName, &text))
        return QString();
    _SRecordData image;
    CsvLayout layout;
    QString why;
    const bool accepted = CsvToImage(text, &image, &layout, &why);
    const QString out = fileName + QStringLiteral(".tmp.str");
    QString error;
    const bool written = accepted
                         && RecordDataWrite(&image, out.toLocal8Bit().constData(),
                                            layout.m_Channel, &error) > 0;
    RecordDataFree(&image);
    if (!accepted)
        FileFailed(tr("It is not a CSV of records this program reads: %1").arg(why));
    else if (!written)
        FileFailed(tr("It could not be written: %1").arg(error));
    *valueCount = layout.m_ValueCount;
    return written ? out : QString();
}

void PM2_5::on_actionExecl_triggered()
{
    if (m_bHistoryBusy || !RequireDevice(true))
        return;
    const QString path = BuildSaveFileName(1, SaveFolderOfKind(1));
    if (path.isEmpty())
        return;
    GRecordDataSet *set = RecordSet(m_Channel);
    GRecordDataPro *current = set ? set->m_pCurrent : nullptr;
    QString error = tr("There is nothing to save.");
    if (!current || !current->SaveTextFile(path, set->m_Mode, set->histtime, &error))
        ReportFileFailure(path, tr("It could not be written: %1").arg(error));
}

void PM2_5::ReportFileFailure(const QString &path, const QString &reason)
{
    statusBar()->showMessage(tr("File open failed!"), NO_DEVICE_MESSAGE_MS);
    QMessageBox::warning(this, tr("File open failed!"),
                         QDir::toNativeSeparators(path) + QStringLiteral("\n\n") + reason);
}

void PM2_5::on_actionOpen_triggered()
{
    if (m_bHistoryBusy)
        return;
    ui->actionBinary->setEnabled(false);
    const QString chosen = QFileDialog::getOpenFileName(
        this, tr("Open the file"), SaveFolder(FileSort::Records, false),
        tr("Str, excel or CSV files (*.str *.xls *.csv)"));
    if (!chosen.isEmpty())
        RememberFolder(FileSort::Records, chosen);
    m_FileFailure.clear();
    QString path = chosen;
    int valueCount = -1; // the file does not say: the sensor attached decides
    if (path.endsWith(QLatin1String("xls")))
        path = FileExcelToStr(path);
    else if (path.endsWith(QLatin1String("csv"), Qt::CaseInsensitive))
        path = FileCsvToStr(path, &valueCount);
    if (!path.isEmpty() && OpenRecordFile(path, valueCount)) {
        m_OpenedFileName = QFileInfo(chosen).fileName();
        return;
    }
    if (m_FileFailure.isEmpty()) // the dialog was cancelled
        statusBar()->showMessage(tr("File open failed!"), NO_DEVICE_MESSAGE_MS);
    else
        ReportFileFailure(chosen, m_FileFailure);
}

bool PM2_5::OpenRecordFile(const QString &path, int valueCount)
{
    // The header names the channel: learnt before any stream is touched.
    _SRecordData probe;
    const int read = RecordDataReadHeader(&probe, path.toLocal8Bit().constData());
    if (read < 0)
        return FileFailed(ReadFailure(read, path));
    const int channel = probe.m_Channel;
    if (channel == 1 && m_CodeUsb.GetDataKind() == 1) {
        m_Channel = 0;
        return FileFailed(tr("It holds the second channel, which this sensor does not have."));
    }
    GRecordDataSet *set = channel == 0 || channel == 1 ? RecordSet(channel) : nullptr;
    if (!set)
        return FileFailed(tr("Its channel word names no channel of this program."));
    GRecordDataPro *file = set->m_pFile;
    if (!file || !file->m_pRealData)
        return FileFailed(tr("There is not enough memory to show it."));
    if (!file->LoadRecordFile(path, channel))
        return FileFailed(tr("It could not be read whole (or memory ran short)."));
    // The file says nothing of PM10: the sensor attached when it is opened does, for good.
    file->m_ValueCount = valueCount > 0 ? valueCount : channel == 0 && m_DevState == 2 ? 2 : 1;
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
    qDebug("file read\n");
    QByteArray text;
    if (!ReadImportText(fileName, &text))
        return QString();
    _SRecordData image;
    const bool accepted = RecordTextToImage(text, &image);
    // A failed write must not open an older side file of the same name.
    QString error;
    const bool written =
        accepted && RecordDataWrite(&image, out.toLocal8Bit().constData(), 0, &error) > 0;
    RecordDataFree(&image);
    if (!accepted)
        FileFailed(tr("It is not a text this program can import: it begins with a line "
                      "\"Date:yyyy.mm.dd-...\" and a line \"Data Count:N\", then a line with "
                      "\"number\" and \"time\", then a row for each record."));
    else if (!written)
        FileFailed(tr("It could not be written: %1").arg(error.isEmpty() ? tr("no rows") : error));
    return written ? out : QString();
}
