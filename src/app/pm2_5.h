#pragma once
// The main window: owns the device link, the record sets and the plot,
// polls the sensor every 200 ms and carries the user's commands.
#include "aqi.h"
#include "gqwtplot.h"
#include "recordrecovery.h"
#include "scodeusb.h"
#include "sensorwatch.h"

#include <QList>
#include <QMainWindow>
#include <QTranslator>
#include <memory>

class GRecordDataSet;
class QAction;
class QLabel;
class QScrollBar;
class QSettings;
struct _SRealData;

namespace Ui {
class PM2_5;
}

class PM2_5 : public QMainWindow
{
    Q_OBJECT

public:
    static constexpr int TICK_MS = 200;
    static constexpr int CLEARED_MESSAGE_MS = 3000;
    static constexpr int HISTORY_MESSAGE_MS = 3000;
    static constexpr int NO_DEVICE_MESSAGE_MS = 4000;
    static constexpr int RECOVERY_INTERVAL_MS = 60000;
    static constexpr int RECOVERY_MESSAGE_MS = 10000;

    explicit PM2_5(QWidget *parent = nullptr);
    ~PM2_5() override;

    void CreateRecordSets();
    // startLive: the live streams start now (not when curves are remade for a new sensor).
    int InitPlotView(bool startLive = true);
    void InitDeviceMenu();
    void UpdateDeviceName(int index);
    bool PollDevice(int index);
    // Acts on one reply as the tick does; also handed the replies a history download reads.
    bool HandleReply(int index, unsigned char code, const TAG_T_SPM25Data &record);
    bool ShowValue(int channel, int code);
    void SetCollectState(bool collect);
    // The recorded value(s) of the shown channel at the first display point at or after x.
    QString FormatValue(double x, double y) const;
    // The set of a channel, or null when it does not exist (no sets yet, or fewer channels).
    GRecordDataSet *RecordSet(int channel) const;
    int RecordSetCount() const { return m_RecordSetCount; }

    SCodeUsb m_CodeUsb;
    GRecordDataSet *m_pRecordSets = nullptr;
    int m_HisInterval = 0;
    Ui::PM2_5 *ui;
    QList<QAction *> m_CurveActions;
    QList<QAction *> m_DevInfoActions;
    GQwtPlot m_Plot;
    QTranslator m_Translator;
    int m_Language = 1;
    int m_TimerId = 0;
    int m_DevState = 0;
    int m_Channel = 0;
    int m_bDevInfoOk = 0;

    // Copies the live record images to the recovery files (written off the GUI thread);
    // false while the previous write is still under way.
    bool WriteRecovery();
    // The recovery write's period (a seam for tests); the next write comes one period later.
    void SetRecoveryInterval(int ms);
    RecordRecovery *Recovery() const { return m_Recovery.get(); }

    // True while a history download runs: every command refuses and the tick reads nothing.
    bool HistoryBusy() const { return m_bHistoryBusy; }

    // The air-quality index standard shown (remembered), and the averages of the live samples.
    void SetAqiStandard(AqiStandard standard);
    bool RefuseChoiceWhileBusy();
    AqiStandard GetAqiStandard() const { return m_AqiStandard; }
    const AqiAverager &Aqi() const { return m_Aqi; }
    // The permanent status-bar field with the link state.
    QLabel *LinkLabel() const { return m_pLinkLabel; }

    // pm2_5_pan.cpp: the shown window moves over the series, by points of the zoom level.
    void PanBy(int points);
    void PanTo(int first);
    // One zoom level in or out, keeping the moment at axis second `sec` at `fraction` of the
    // width; a following view keeps following when zoomed by command (sec NaN).
    void ZoomAt(bool in, double sec, double fraction);
    QScrollBar *TimeScrollBar() const { return m_pTimeBar; }
    // Fit values to the window (remembered).
    void SetFitValues(bool fit);
    // The plot as shown, drawn at `size` as "png", "svg" or "pdf".
    QByteArray PlotPicture(const QString &format, const QSize &size) const;

protected:
    void timerEvent(QTimerEvent *event) override;
    // A close during a history download cancels it and closes once it has returned.
    void closeEvent(QCloseEvent *event) override;
    // The plot canvas: wheel, drags with the right or middle button, resizes.
    bool eventFilter(QObject *watched, QEvent *event) override;

private slots:
    void on_actionExit_triggered();
    void on_actionBinary_triggered();
    void on_actionOpen_triggered();
    void on_actionChinese_triggered();
    void on_actionEnglish_triggered();
    void on_actionTime_zoom_in_triggered();
    void on_actionTime_zoom_out_triggered();
    void my_actionDevice1_triggered();
    void my_actionSetDevice1_triggered();
    void on_actionAbout_Software_triggered();
    void on_actionDisplay_all_triggered();
    void on_actionNodisplay_triggered();
    void on_actionCollection_triggered();
    void on_actionCollect_historical_data_triggered();
    void on_radioButtonPM25_clicked();
    void on_radioButtonPA_clicked();
    void on_actionAbout_Quelmar_triggered();
    void on_actionExecl_triggered();
    void on_actionClear_history_data_triggered();
    QString FileExcelToStr(QString fileName);

private:
    void SwitchLanguage(int language, const QString &file);
    // pm2_5_view.cpp: the index, the link state, the remembered choices, the keys.
    void InitView();
    void ShowAqi();
    void ShowLinkState();
    void StyleValueBoxes();
    void SaveLanguage(int language);
    void FreeRecordSets();
    // More channels for a sensor that has them; the sets there keep their streams.
    void GrowRecordSets(int count);
    void HandleDeviceInfo(int index);
    // Stores a sample in its channel's live stream; a clock jump starts every live stream again.
    void StoreLiveSample(int channel, const TAG_T_SPM25Data &record);
    void RestartLiveStreams(qint64 jump);
    void ShowChannel(int channel);
    void ZoomTime(bool in);
    void ShowAllCurves(bool show);
    void ShowCurve(int index, bool visible);
    void UpdateShownPlot(bool resetTimeAxis);
    void InitPan();
    _SRealData *ShownSeries() const;
    void RedrawShownPlot();
    void UpdateScrollBar();
    // A sensor open, or (orEarlier) one was open before and its samples may be saved.
    bool RequireDevice(bool orEarlier = false);
    // Once per tick: a sensor that went away is closed, one that arrived is opened.
    void WatchDevice();
    // The window's share of a sensor that went (the link has forgotten it) or was opened.
    void DeviceGone();
    bool OpenArrivedDevice();
    // Widgets, curves and entries after the sensor's type is known (again).
    void ApplyDeviceType();
    // The record sets, widgets and curves a sensor that identified itself needs.
    void ApplyNewSensor();
    void RebuildDeviceEntries(int count);
    int DownloadHistory(GRecordDataSet *set);
    void FinishAfterHistory();
    // "Save history to bin": the downloaded history shown, as a record file.
    void SaveHistoryRecords();
    // pm2_5_picture.cpp: the plot saved as a picture, or copied.
    void SavePlotPicture();
    void CopyPlot();
    // Suggests a name after the shown stream and asks for the path; null when cancelled.
    // kind 0 record file, 1 text, 2 a history's record file, 3 CSV, 4 spreadsheet; `dir` is
    // the folder offered (SaveFolder of the kind).
    QString BuildSaveFileName(int kind, QString dir);
    // The folders the file dialogs open in, one per sort of file; the first time the documents
    // folder's "Data" ("History_Data" for a downloaded history's files).
    enum class FileSort { Records, Texts, Pictures };
    QString SaveFolder(FileSort sort, bool history) const;
    static void RememberFolder(FileSort sort, const QString &chosen);
    QString SaveFolderOfKind(int kind) const;
    int ShownMode() const; // 0 live, 1 a file, 2 a downloaded history
    static FileSort SortOfKind(int kind) { return kind == 0 || kind == 2 ? FileSort::Records : FileSort::Texts; }
    // The remembered choices: $XDG_CONFIG_HOME/pm25monitor/pm25monitor.conf.
    static std::unique_ptr<QSettings> Settings();
    // Opens a record file into the file stream of its channel; false leaves every stream.
    // valueCount: 2 when the file holds PM10 too; -1 leaves it to the sensor attached.
    bool OpenRecordFile(const QString &path, int valueCount = -1);
    // A text to import, bounded in size; false (and m_FileFailure) when it cannot be read.
    bool ReadImportText(const QString &fileName, QByteArray *text);
    // A CSV converted to a side record file to open; empty (and m_FileFailure) when refused.
    QString FileCsvToStr(const QString &fileName, int *valueCount);
    // "CSV" (kind 3) and "Spreadsheet (.xlsx)" (kind 4): the shown stream's samples.
    void SaveShownSamples(int kind);
    // A file that could not be saved or opened: the status message, and a box with the file and
    // the reason, for the user to act on.
    void ReportFileFailure(const QString &path, const QString &reason);
    // Keeps the first reason an open failed for; returns false.
    bool FileFailed(const QString &reason);
    QString ReadFailure(int code, const QString &path) const;

    enum class AfterHistory { Nothing, Close, Exit };

    void StartRecovery();
    // The last write of a normal exit, waited for.
    void FinishRecovery();

    int m_RecordSetCount = 0; // entries of m_pRecordSets
    QString m_OpenedFileName; // of the file stream, for the head of its exports
    std::unique_ptr<RecordRecovery> m_Recovery;
    SensorWatch m_Watch{m_CodeUsb}; // sensors coming and going
    bool m_bLiveRestarted = false; // a live stream started with the last sample: reset the axis
    bool m_bRecoveryWarned = false;
    bool m_bTypeChanged = false; // a sensor identified itself during a history download
    QString m_FileFailure;       // why the open under way failed
    AqiAverager m_Aqi;
    AqiStandard m_AqiStandard = AqiStandard::China;
    QLabel *m_pLinkLabel = nullptr;
    QScrollBar *m_pTimeBar = nullptr; // under the plot: where the view is in the recording
    int m_DragX = -1;                 // a pan drag under way: where it started
    int m_DragFirst = 0;
    bool m_bHadDevice = false; // a sensor was open at some time: its samples stay savable
    int m_RecoveryTimerId = 0;
    bool m_bHistoryBusy = false;
    bool m_bHistoryCancel = false;
    AfterHistory m_AfterHistory = AfterHistory::Nothing;
};
