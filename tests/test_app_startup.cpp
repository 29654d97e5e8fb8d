// Start-up of the main window against the simulated sensor: which link is
// opened, what is requested, what the user is told, and the form it shows.
#include "freshsettings.h"
#include "grecorddataset.h"
#include "pm2_5.h"
#include "simbed.h"
#include "ui_pm2_5.h"

#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QToolBar>
#include <QtTest>
#include <cstdio>
#include <memory>

namespace {

// Closes every modal box that opens while it lives and remembers its texts.
class BoxCloser : public QObject
{
public:
    BoxCloser()
    {
        connect(&m_Timer, &QTimer::timeout, this, [this] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                m_Boxes << QStringList{box->windowTitle(), box->text()};
                m_Parents << box->parentWidget();
                m_Icons << box->icon();
                m_Buttons << box->buttons().size();
                m_Informative << box->informativeText();
                box->done(QMessageBox::Ok);
            }
        });
        m_Timer.start(20);
    }
    QList<QStringList> m_Boxes;
    QList<QWidget *> m_Parents;
    QList<QMessageBox::Icon> m_Icons;
    QList<int> m_Buttons;
    QStringList m_Informative;

private:
    QTimer m_Timer;
};

QStringList ActionTexts(const QList<QAction *> &actions)
{
    QStringList texts;
    for (QAction *a : actions)
        texts << (a->isSeparator() ? QStringLiteral("|") : a->objectName().isEmpty() ? a->text() : a->objectName());
    return texts;
}

} // namespace

class TestAppStartup : public QObject
{
    Q_OBJECT

private slots:
    void init() { ForgetSettings(); }
    void withoutSensorWarnsOnceAndRunsWithTwoChannels();
    void usbSensorIsAskedOverUsb();
    void serialBridgeIsTheFallback();
    void heldBridgeSaysWhatToDo();
    void formLayoutAndInitialStates();
    void slotTable();
    void languageSwitch();
    void choicesAreRememberedAndTheLocaleChosesFirst();
};

void TestAppStartup::withoutSensorWarnsOnceAndRunsWithTwoChannels()
{
    sim::SimBed bed;
    BoxCloser closer;
    auto owned = std::make_unique<PM2_5>();
    PM2_5 &w = *owned;
    QCOMPARE(closer.m_Boxes.size(), 1);
    QCOMPARE(closer.m_Boxes[0],
             (QStringList{"open device error", "please check the device is connected!"}));
    QCOMPARE(closer.m_Parents[0], nullptr);
    QCOMPARE(closer.m_Icons[0], QMessageBox::Warning);
    QCOMPARE(closer.m_Buttons[0], 1);
    QCOMPARE(closer.m_Informative[0], QString()); // nothing attached: nothing more to say
    QCOMPARE(w.m_DevState, 0);
    QVERIFY(w.m_CurveActions.isEmpty());
    QVERIFY(w.m_DevInfoActions.isEmpty());
    QCOMPARE(ActionTexts(w.ui->menuDisplay->actions()),
             (QStringList{"actionFitValues", "|", "actionDisplay_all", "actionNodisplay"}));
    QVERIFY(w.ui->menuSetName->actions().isEmpty());
    QVERIFY(w.m_TimerId > 0);
    QCOMPARE(w.m_CodeUsb.m_SerialPort.m_bPortOpen, 0);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QVERIFY(w.ui->radioButtonPA->isVisible()); // two channels without a reported type
    QVERIFY(w.ui->lineEditPAValue->isVisible());
    QTest::qWait(450); // the timer ticks with nothing to read
    QCOMPARE(closer.m_Boxes.size(), 1);

    // The window works without a sensor: one record set per channel, both with their streams.
    QVERIFY(w.m_pRecordSets != nullptr);
    QCOMPARE(g_pRecordSets, w.m_pRecordSets);
    for (int channel : {0, 1}) {
        const GRecordDataSet &set = w.m_pRecordSets[channel];
        QVERIFY(set.m_pLive && set.m_pFile && set.m_pHistory);
    }
    owned.reset();
    QCOMPARE(g_pRecordSets, nullptr);
}

void TestAppStartup::usbSensorIsAskedOverUsb()
{
    sim::SimBed bed;
    const int usb = bed.addUsbSensor();
    const int serial = bed.addSerialSensor();
    BoxCloser closer;
    auto w = std::make_unique<PM2_5>();
    QVERIFY(closer.m_Boxes.isEmpty());
    QCOMPARE(w->m_DevState, 1);
    QCOMPARE(w->m_CodeUsb.HasDevice(), 1);
    QCOMPARE(w->m_CodeUsb.m_SerialPort.m_bPortOpen, -1); // never tried
    QCOMPARE(bed.with(usb, [](sim::SimSensor &s) {
        return s.requestCount(sim::kCmdDeviceInfo, sim::Link::Usb);
    }), size_t(1));
    QCOMPARE(bed.with(serial, [](sim::SimSensor &s) { return s.requests().size(); }), size_t(0));
    QCOMPARE(w->m_CurveActions.size(), 1);
    QCOMPARE(w->m_CurveActions[0]->text(), QStringLiteral("device0"));
    QVERIFY(w->m_CurveActions[0]->isCheckable() && w->m_CurveActions[0]->isChecked());
    QCOMPARE(w->m_DevInfoActions.size(), 1);
    QCOMPARE(w->m_DevInfoActions[0]->text(), QStringLiteral("device0"));
    QVERIFY(w->m_pRecordSets == nullptr); // created when the sensor identifies itself
    QCOMPARE(w->ui->menuDisplay->actions().last(), w->m_CurveActions[0]);
    QCOMPARE(w->ui->menuSetName->actions(), QList<QAction *>{w->m_DevInfoActions[0]});
    // The sensor's reply arrives on the next ticks.
    QTRY_COMPARE(w->m_CodeUsb.m_DevType, int(bed.with(usb, [](sim::SimSensor &s) {
        return s.config().deviceType;
    })));
}

void TestAppStartup::serialBridgeIsTheFallback()
{
    sim::SimBed bed;
    bed.addOtherSerialPort("ttyUSB", 0x0403, 0x6001);
    const int serial = bed.addSerialSensor("ttyUSB");
    bed.addOtherUsbDevice(0x16C0, 0xFFF2);
    BoxCloser closer;
    PM2_5 w;
    QVERIFY(closer.m_Boxes.isEmpty());
    QCOMPARE(w.m_DevState, 1);
    QCOMPARE(w.m_CodeUsb.HasDevice(), 0);
    QCOMPARE(w.m_CodeUsb.m_SerialPort.m_bPortOpen, 1);
    QTRY_COMPARE(bed.with(serial, [](sim::SimSensor &s) { return s.requests().size(); }), size_t(2));
    bed.with(serial, [](sim::SimSensor &s) {
        QCOMPARE(int(s.requests()[0].image[2]), 0xA6);
        QCOMPARE(int(s.requests()[1].image[2]), 0xB5);
        QVERIFY(s.requests()[0].link == sim::Link::Serial);
    });
    QCOMPARE(w.m_CurveActions.size(), 1);
    // The identity replies fill the device list through the serial link.
    QTRY_VERIFY(w.m_CodeUsb.HasDevice() == 1 && w.m_CodeUsb.m_LinkMode == 4);
}

void TestAppStartup::heldBridgeSaysWhatToDo()
{
    // Another program holds the bridge, as Qt SerialPort's lock file tells: the window says
    // what to do, not only that nothing is connected.
    sim::SimBed bed;
    const int id = bed.addSerialSensor();
    const QString lock = QStringLiteral("/var/lock/LCK..") + QString::fromStdString(bed.ttyName(id));
    QProcess holder;
    holder.start(QStringLiteral("flock"), {lock, QStringLiteral("sleep"), QStringLiteral("60")});
    QVERIFY(holder.waitForStarted());
    QTRY_VERIFY(QFile::exists(lock));
    {
        BoxCloser closer;
        PM2_5 w;
        QCOMPARE(w.m_DevState, 0);
        QCOMPARE(closer.m_Boxes.size(), 1);
        QCOMPARE(closer.m_Boxes[0][1], QStringLiteral("please check the device is connected!"));
        QVERIFY2(closer.m_Informative[0].contains(QLatin1String("dialout"))
                     && closer.m_Informative[0].contains(QLatin1String("udev")),
                 qPrintable(closer.m_Informative[0]));
        QCOMPARE(w.LinkLabel()->text(), QStringLiteral("No sensor: waiting for one"));
    }
    holder.kill();
    holder.waitForFinished();
    QFile::remove(lock);
}

void TestAppStartup::formLayoutAndInitialStates()
{
    sim::SimBed bed;
    bed.addUsbSensor();
    PM2_5 w;
    Ui::PM2_5 *ui = w.ui;
    QCOMPARE(ActionTexts(ui->mainToolBar->actions()),
             (QStringList{"actionExecl", "actionOpen", "actionExit", "|", "actionTime_zoom_in",
                          "actionTime_zoom_out", "|", "actionCollection"}));
    QList<QMenu *> menus;
    for (QAction *a : ui->menuBar->actions())
        menus << a->menu();
    QCOMPARE(menus, (QList<QMenu *>{ui->menuFile, ui->menuExamine, ui->menuDisplay, ui->menuAqi,
                                    ui->menuSetName, ui->menuCollection, ui->menuLanguage,
                                    ui->menuAbout}));
    QCOMPARE(ActionTexts(ui->menuLanguage->actions()), (QStringList{"actionChinese", "actionEnglish"}));
    QCOMPARE(ActionTexts(ui->menuAqi->actions()), (QStringList{"actionAqiChina", "actionAqiEpa"}));
    // Every entry of every menu has a mnemonic (but the sensors' names), and the usual commands
    // their keys.
    for (QMenu *menu : ui->menuBar->findChildren<QMenu *>()) {
        QVERIFY2(menu->title().contains('&'), qPrintable(menu->title()));
        for (QAction *a : menu->actions())
            QVERIFY2(a->isSeparator() || a->menu() || a->text().contains('&')
                         || w.m_CurveActions.contains(a) || w.m_DevInfoActions.contains(a),
                     qPrintable(a->text()));
    }
    QCOMPARE(ui->actionOpen->shortcut(), QKeySequence(QKeySequence::Open));
    QCOMPARE(ui->actionBinary->shortcut(), QKeySequence(QKeySequence::Save));
    QCOMPARE(ui->actionExit->shortcut(), QKeySequence(QKeySequence::Quit));
    QCOMPARE(ui->actionTime_zoom_in->shortcut(), QKeySequence(QKeySequence::ZoomIn));
    QCOMPARE(ui->actionTime_zoom_out->shortcut(), QKeySequence(QKeySequence::ZoomOut));
    QCOMPARE(ui->actionExecl->shortcut(), QKeySequence(QStringLiteral("Ctrl+E")));
    QCOMPARE(ui->actionDisplay_all->shortcut(), QKeySequence(QStringLiteral("Ctrl+0")));
    QCOMPARE(ui->actionCollect_historical_data->shortcut(), QKeySequence(QStringLiteral("Ctrl+H")));
    QCOMPARE(ui->menuFile->actions().first()->menu(), ui->menuSave);
    QCOMPARE(ActionTexts(ui->menuFile->actions().mid(1)), (QStringList{"actionOpen", "actionExit"}));
    QCOMPARE(ActionTexts(ui->menuSave->actions()),
             (QStringList{"actionBinary", "actionHistoryBinary", "actionExecl", "actionCsv",
                          "actionXlsx", "actionSavePicture", "actionCopyPlot"}));
    QCOMPARE(ActionTexts(ui->menuExamine->actions()),
             (QStringList{"actionTime_zoom_in", "actionTime_zoom_out", "|", "actionPanEarlier",
                          "actionPanLater", "actionFirstSample", "actionNewestSample"}));
    QCOMPARE(ActionTexts(ui->menuCollection->actions()),
             (QStringList{"actionCollection", "actionCollect_historical_data",
                          "actionClear_history_data"}));
    QCOMPARE(ActionTexts(ui->menuAbout->actions()),
             (QStringList{"actionAbout_Quelmar", "actionAbout_Software"}));
    QVERIFY(ui->actionText->associatedWidgets().isEmpty());
    QCOMPARE(ui->actionText->icon().cacheKey(), ui->actionBinary->icon().cacheKey());

    QVERIFY(ui->actionCollection->isCheckable() && ui->actionCollection->isChecked());
    QVERIFY(!ui->actionCollect_historical_data->isCheckable());
    QVERIFY(ui->actionCollect_historical_data->isEnabled());
    QVERIFY(!ui->actionClear_history_data->isEnabled());
    QVERIFY(ui->radioButtonPM25->isChecked());
    // Values look like values: read-only, never greyed out, wide enough for 8888.8.
    for (QLineEdit *box : {ui->lineEditValue, ui->lineEditPM10Value, ui->lineEditPAValue}) {
        QVERIFY(box->isEnabled() && box->isReadOnly());
        QVERIFY(box->minimumWidth() > box->fontMetrics().horizontalAdvance("8888.8"));
    }
    QCOMPARE(ui->lineEditValue->maximumHeight(), 30);
    QCOMPARE(ui->lineEditValue->alignment(), Qt::AlignCenter);
    QVERIFY(ui->lineEditPM10Value->font().bold());
    QCOMPARE(ui->labelDevType->font().pointSize(), 14);
    QCOMPARE(ui->labelDevType->text(), QStringLiteral("AQ-130"));
    QCOMPARE(ui->labelState->text(), QString());
    QCOMPARE(w.size(), QSize(1005, 676));
    QCOMPARE(w.windowTitle(), QStringLiteral("Quelmar Air Quality Monitor V5.9"));
    QCOMPARE(ui->actionCollection->text(), QStringLiteral("&Stop Collect"));
    QCOMPARE(ui->actionBinary->statusTip(), QStringLiteral("Save to bin"));
    QVERIFY(!ui->actionExit->icon().isNull());
    QVERIFY(!ui->actionCollection->icon().isNull());

    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    for (QWidget *hidden : {static_cast<QWidget *>(ui->labelPM10),
                            static_cast<QWidget *>(ui->lineEditPM10Value),
                            static_cast<QWidget *>(ui->labelPM10Unit)})
        QVERIFY(!hidden->isVisible());
    QVERIFY(ui->qwtPlot->isVisible());
}

void TestAppStartup::slotTable()
{
    // Twenty private slots in a fixed order: their indices are part of the window's interface.
    const QMetaObject &mo = PM2_5::staticMetaObject;
    QStringList names;
    for (int i = mo.methodOffset(); i < mo.methodCount(); ++i) {
        const QMetaMethod m = mo.method(i);
        QCOMPARE(m.access(), QMetaMethod::Private);
        QCOMPARE(m.methodType(), QMetaMethod::Slot);
        names << QString::fromLatin1(m.methodSignature());
    }
    QCOMPARE(names, (QStringList{
        "on_actionExit_triggered()", "on_actionBinary_triggered()", "on_actionOpen_triggered()",
        "on_actionChinese_triggered()", "on_actionEnglish_triggered()",
        "on_actionTime_zoom_in_triggered()", "on_actionTime_zoom_out_triggered()",
        "my_actionDevice1_triggered()", "my_actionSetDevice1_triggered()",
        "on_actionAbout_Software_triggered()", "on_actionDisplay_all_triggered()",
        "on_actionNodisplay_triggered()", "on_actionCollection_triggered()",
        "on_actionCollect_historical_data_triggered()", "on_radioButtonPM25_clicked()",
        "on_radioButtonPA_clicked()", "on_actionAbout_Quelmar_triggered()",
        "on_actionExecl_triggered()", "on_actionClear_history_data_triggered()",
        "FileExcelToStr(QString)"}));
}

void TestAppStartup::languageSwitch()
{
    sim::SimBed bed;
    bed.addUsbSensor();
    PM2_5 w;
    Ui::PM2_5 *ui = w.ui;
    // English is the form's own texts: no translator.
    ui->actionEnglish->trigger();
    QCOMPARE(w.m_Language, 0);
    QVERIFY(ui->actionEnglish->isChecked() && !ui->actionChinese->isChecked());
    QCOMPARE(ui->actionBinary->text(), QStringLiteral("&Binary"));
    QCOMPARE(ui->actionBinary->statusTip(), QStringLiteral("Save to bin"));
    QCOMPARE(ui->actionExecl->text(), QStringLiteral("&Execl"));
    QCOMPARE(ui->menuExamine->title(), QStringLiteral("&Examine"));
    QCOMPARE(ui->actionNodisplay->text(), QStringLiteral("&Nodisplay"));
    QCOMPARE(ui->actionText->text(), QStringLiteral("&Text"));

    const QString unit = ui->label_3->text();
    ui->actionChinese->trigger();
    QCOMPARE(w.m_Language, 1);
    QCOMPARE(w.windowTitle(), QString::fromUtf8("Quelmar 空气质量监测仪 V5.9"));
    QCOMPARE(ui->menuFile->title(), QString::fromUtf8("文件(&F)"));
    QCOMPARE(ui->menuCollection->title(), QString::fromUtf8("采集(&C)"));
    QCOMPARE(ui->menuLanguage->title(), QString::fromUtf8("语言(&L)"));
    QCOMPARE(ui->actionCollection->text(), QString::fromUtf8("停止采集(&S)"));
    QCOMPARE(w.LinkLabel()->text(), QString::fromUtf8("USB：…"));
    QCOMPARE(ui->radioButtonPM25->text(), QStringLiteral("PM2.5"));
    QCOMPARE(ui->labelPM10->text(), QStringLiteral("PM10"));
    QCOMPARE(ui->label_3->text(), unit);
    QCOMPARE(ui->labelDevType->text(), QStringLiteral("AQ-130"));
    QCOMPARE(ui->radioButtonPA->text(), QString::fromUtf8("甲醛"));

    // Back to English: the translator goes.
    ui->actionEnglish->trigger();
    QCOMPARE(ui->menuExamine->title(), QStringLiteral("&Examine"));
    QCOMPARE(QCoreApplication::translate("PM2_5", "&Examine"), QStringLiteral("&Examine"));
    QCOMPARE(w.LinkLabel()->text(), QStringLiteral("USB: …"));
}

void TestAppStartup::choicesAreRememberedAndTheLocaleChosesFirst()
{
    if (qEnvironmentVariableIsSet("PM25_LOCALE_CHILD")) { // a first start under a Chinese locale
        sim::SimBed bed;
        bed.addUsbSensor();
        PM2_5 w;
        std::printf("language %d\n", w.m_Language);
        return;
    }
    {
        sim::SimBed bed;
        bed.addUsbSensor();
        PM2_5 w;
        QCOMPARE(w.m_Language, 0); // C.UTF-8: English
        QVERIFY(w.ui->actionAqiChina->isChecked());
        w.ui->actionChinese->trigger();
        w.ui->actionAqiEpa->trigger();
        QCOMPARE(w.GetAqiStandard(), AqiStandard::UsEpa);
        QVERIFY(!w.ui->actionAqiChina->isChecked());
    }
    {
        sim::SimBed bed;
        bed.addUsbSensor();
        PM2_5 w; // the next start: as it was left
        QCOMPARE(w.m_Language, 1);
        QVERIFY(w.ui->actionChinese->isChecked());
        QCOMPARE(w.ui->menuFile->title(), QString::fromUtf8("文件(&F)"));
        QCOMPARE(w.GetAqiStandard(), AqiStandard::UsEpa);
        QVERIFY(w.ui->actionAqiEpa->isChecked());
        w.ui->actionEnglish->trigger();
    }
    QTemporaryDir config;
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("PM25_LOCALE_CHILD", "1");
    env.insert("LANG", "zh_CN.UTF-8");
    env.insert("LC_ALL", "zh_CN.UTF-8");
    env.insert("XDG_CONFIG_HOME", config.path());
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(), {"choicesAreRememberedAndTheLocaleChosesFirst"});
    QVERIFY(child.waitForFinished(60000));
    QVERIFY2(child.readAllStandardOutput().contains("language 1"), "a first start in zh_CN is Chinese");
}

QTEST_MAIN(TestAppStartup)
#include "test_app_startup.moc"
