// The user's commands (the history download and the file commands have files of their own).
#include "pm2_5.h"
#include "ui_pm2_5.h"

#include <cmath>

#include "deviceinfodialog.h"
#include "grecorddataset.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QStatusBar>
#include <qwt_plot_curve.h>

void PM2_5::on_actionExit_triggered()
{
    if (m_bHistoryBusy) {
        // The download's caller still uses the record sets: cancel, and exit once it returns.
        m_bHistoryCancel = true;
        m_AfterHistory = AfterHistory::Exit;
        return;
    }
    FinishRecovery();
    m_Plot.ClearCurves();
    FreeRecordSets();
    close();
}

bool PM2_5::RequireDevice(bool orEarlier)
{
    if (m_DevState != 0 || (orEarlier && m_bHadDevice))
        return true;
    statusBar()->showMessage(tr("Please check the device is connected!"), NO_DEVICE_MESSAGE_MS);
    return false;
}

void PM2_5::SwitchLanguage(int language, const QString &file)
{
    m_Language = language;
    // English is the form's own texts: no translator at all. The Chinese one is installed at
    // most once: a second switch moves it to the front.
    QCoreApplication::removeTranslator(&m_Translator);
    if (language == 1) {
        (void)m_Translator.load(file, QString(), QString(), QString());
        QCoreApplication::installTranslator(&m_Translator);
    }
    m_Plot.ReSetAxisTitle(m_Language, m_Channel);
    ui->retranslateUi(this);
    (language == 1 ? ui->actionChinese : ui->actionEnglish)->setChecked(true);
    SaveLanguage(language);
    // The form's texts would otherwise hide the model and that the second channel is TVOC.
    UpdateDeviceName(0);
    if (m_Plot.m_bTVOC)
        ui->radioButtonPA->setText(QStringLiteral("TVOC"));
    UpdateShownPlot(true); // the legend's names
    ShowAqi();
    ShowLinkState();
}

// Refused while a download runs; the group has already moved its check mark, so put it back.
bool PM2_5::RefuseChoiceWhileBusy()
{
    if (!m_bHistoryBusy)
        return false;
    (m_Language == 1 ? ui->actionChinese : ui->actionEnglish)->setChecked(true);
    (m_AqiStandard == AqiStandard::China ? ui->actionAqiChina : ui->actionAqiEpa)->setChecked(true);
    return true;
}

void PM2_5::on_actionChinese_triggered()
{
    if (RefuseChoiceWhileBusy())
        return;
    SwitchLanguage(1, QStringLiteral(":/cn.qm"));
}

void PM2_5::on_actionEnglish_triggered()
{
    if (RefuseChoiceWhileBusy())
        return;
    SwitchLanguage(0, QStringLiteral(":/en.qm"));
}

void PM2_5::ZoomTime(bool in)
{
    // A view the user moved keeps its middle; a following one keeps following.
    const _SRealData *s = ShownSeries();
    const bool follow = !s || s->m_PanBack == 0;
    ZoomAt(in, follow ? std::nan("") : (s->m_ShowStartSec + s->m_ShowEndSec) / 2, 0.5);
}

void PM2_5::on_actionTime_zoom_in_triggered()
{
    if (m_bHistoryBusy)
        return;
    ZoomTime(true);
}

void PM2_5::on_actionTime_zoom_out_triggered()
{
    if (m_bHistoryBusy)
        return;
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
    if (m_bHistoryBusy) { // the entry has toggled already: back to what the curve shows
        if (i < m_Plot.m_Curves.size())
            m_CurveActions[i]->setChecked(m_Plot.m_Curves[i]->isVisible());
        return;
    }
    ShowCurve(i, m_CurveActions[i]->isChecked());
}

void PM2_5::my_actionSetDevice1_triggered()
{
    if (m_bHistoryBusy)
        return;
    const int i = m_DevInfoActions.indexOf(qobject_cast<QAction *>(sender()));
    if (i < 0)
        return;
    DeviceInfoDialog dialog(nullptr);
    dialog.SetDeviceInfo(i, this);
    dialog.exec();
}

void PM2_5::on_actionAbout_Software_triggered()
{
    if (m_bHistoryBusy)
        return;
    QMessageBox::information(nullptr, tr("Software version"), tr("Quelmar Air Quality Monitor 5.9"),
                             QMessageBox::Ok);
}

void PM2_5::on_actionAbout_Quelmar_triggered()
{
    if (m_bHistoryBusy)
        return;
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
    if (m_bHistoryBusy)
        return;
    ShowAllCurves(true);
}

void PM2_5::on_actionNodisplay_triggered()
{
    if (m_bHistoryBusy)
        return;
    ShowAllCurves(false);
}

void PM2_5::on_actionCollection_triggered()
{
    if (m_bHistoryBusy) { // the action has toggled already
        ui->actionCollection->setChecked(!ui->actionCollection->isChecked());
        return;
    }
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
        ui->actionCollection->setText(tr("&Stop Collect"));
        ui->actionCollection->setIcon(QIcon(QStringLiteral(":/icons/Icons/Pause.bmp")));
    } else {
        ui->actionCollection->setText(tr("&Start Collect"));
        ui->actionCollection->setIcon(QIcon(QStringLiteral(":/icons/Icons/Play.bmp")));
        ui->actionCollection->setChecked(false);
        ui->radioButtonPM25->setChecked(m_Channel == 0);
        ui->radioButtonPA->setChecked(m_Channel != 0);
    }
    UpdateShownPlot(true);
}

void PM2_5::ShowChannel(int channel)
{
    if (m_bHistoryBusy) { // the button is checked already
        ui->radioButtonPM25->setChecked(m_Channel == 0);
        ui->radioButtonPA->setChecked(m_Channel != 0);
        return;
    }
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
    if (m_bHistoryBusy)
        return;
    m_CodeUsb.m_SerialPort.SendClear();
}
