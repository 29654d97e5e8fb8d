// Screenshots of the real window (run under Xvfb): English and Chinese.
// Fonts differ between machines, so regions and colours are checked, never pixels.
#include "pm2_5.h"
#include "simbed.h"
#include "ui_pm2_5.h"

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
    bed.addUsbSensor();
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
}

QTEST_MAIN(TestAppScreenshot)
#include "test_app_screenshot.moc"
