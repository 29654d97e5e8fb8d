// Screenshots of the real window (run under Xvfb): English and Chinese.
// Fonts differ between machines, so regions and colours are checked, never pixels.
#include "pm2_5.h"
#include "simbed.h"
#include "ui_pm2_5.h"

#include <QDateTime>
#include <QProgressDialog>
#include <QStatusBar>
#include <QTimer>

#include <QDir>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QScreen>
#include <QToolBar>
#include <QWindow>
#include <QtTest>

#include "screenshot.h"

namespace {


// Count of pixels in a rectangle that are clearly darker than the background (text, outlines).
int DarkPixels(const QImage &image, const QRect &area)
{
    int dark = 0;
    const QRect r = area.intersected(image.rect());
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            dark += qGray(image.pixel(x, y)) < 100 ? 1 : 0;
    return dark;
}

int ColouredPixels(const QImage &image, const QRect &area)
{
    int n = 0;
    const QRect r = area.intersected(image.rect());
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            n += c.saturation() > 80 ? 1 : 0;
        }
    return n;
}

QRect Area(PM2_5 &w, QWidget *child)
{
    return QRect(child->mapTo(&w, QPoint(0, 0)), child->size());
}

} // namespace

class TestAppScreenshot : public QObject
{
    Q_OBJECT

private slots:
    void englishAndChinese();
};

void TestAppScreenshot::englishAndChinese()
{
    QVERIFY2(QGuiApplication::platformName() == QLatin1String("xcb"), "run me under xvfb-run");
    sim::SimBed bed;
    const int id = bed.addUsbSensor();
    bed.with(id, [](sim::SimSensor &s) {
        s.setDeviceType(130);
        s.generateHistory(144, QDateTime::currentSecsSinceEpoch() / 300 * 300);
    });
    PM2_5 w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));

    const QImage en = SaveScreenshot(w, QStringLiteral("main-window-en"));
    QCOMPARE(en.size(), QSize(1005, 676));
    QVERIFY(DarkPixels(en, Area(w, w.ui->menuBar)) > 50);          // menu titles
    QVERIFY(ColouredPixels(en, Area(w, w.ui->mainToolBar)) > 100); // icons
    QVERIFY(DarkPixels(en, Area(w, w.ui->labelDevType)) > 30);     // model name

    w.ui->actionChinese->trigger();
    QVERIFY(!QFontDatabase().families(QFontDatabase::SimplifiedChinese).isEmpty());
    const QFontMetrics menuFont(w.ui->menuBar->font());
    for (const QString &title : {w.ui->menuFile->title(), w.ui->menuCollection->title()})
        for (const QChar c : title)
            QVERIFY2(menuFont.inFontUcs4(c.unicode()), "no glyph: Chinese would show as boxes");
    const QImage cn = SaveScreenshot(w, QStringLiteral("main-window-cn"));
    QVERIFY(DarkPixels(cn, Area(w, w.ui->menuBar)) > 50);
    QVERIFY(cn != en);

    // The history download: its progress dialog over the window, then the history shown.
    QTRY_VERIFY(w.m_bDevInfoOk == 1);
    w.ui->actionChinese->trigger(); // the model name outlives a language switch
    QCOMPARE(w.ui->labelDevType->text(), QStringLiteral("AQ-410"));
    QImage progress;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto *d = w.findChild<QProgressDialog *>();
        if (d && d->value() >= 20 && progress.isNull())
            progress = SaveScreenshot(*d, QStringLiteral("history-progress-cn"));
    });
    poll.start(0);
    w.ui->actionCollect_historical_data->trigger();
    QVERIFY(DarkPixels(progress, progress.rect()) > 100); // label, bar text, button
    QCOMPARE(w.statusBar()->currentMessage(), QString::fromUtf8("历史数据读取完成。144"));
    const QImage history = SaveScreenshot(w, QStringLiteral("history-cn"));
    QVERIFY(ColouredPixels(history, Area(w, w.ui->qwtPlot)) > 1000);
}

QTEST_MAIN(TestAppScreenshot)
#include "test_app_screenshot.moc"
