#pragma once
// The main window: owns the device link, the record sets and the plot,
// polls the sensor every 200 ms and carries the user's commands.
#include "gqwtplot.h"
#include "scodeusb.h"

#include <QList>
#include <QMainWindow>
#include <QTranslator>

class GRecordDataSet;
class QAction;

namespace Ui {
class PM2_5;
}

class PM2_5 : public QMainWindow
{
    Q_OBJECT

public:
    static constexpr int TICK_MS = 200;
    static constexpr int SERIAL_INFO_PAUSE_MS = 50;

    explicit PM2_5(QWidget *parent = nullptr);
    ~PM2_5() override;

    void CreateRecordSets();
    void InitDeviceMenu();
    bool PollDevice(int index);
    // The recorded value(s) of the shown channel at the first display point at or after x.
    QString FormatValue(double x, double y) const;

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

protected:
    void timerEvent(QTimerEvent *event) override;

private slots:
    void on_actionChinese_triggered();
    void on_actionEnglish_triggered();

private:
    void SwitchLanguage(int language, const QString &file);
    void FreeRecordSets();
    // The set of a channel, or null when it does not exist (no sets yet, or fewer channels).
    GRecordDataSet *RecordSet(int channel) const;

    int m_RecordSetCount = 0; // entries of m_pRecordSets
};
