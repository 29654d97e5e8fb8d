#pragma once
// A real screenshot of a shown top-level window (under Xvfb), saved in the build's
// tests/screenshots/ for a person to look at.
#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QScreen>
#include <QWidget>
#include <QWindow>
#include <QtTest>

inline QImage SaveScreenshot(QWidget &w, const QString &name)
{
    QCoreApplication::processEvents();
    QTest::qWait(200);
    QImage image = w.windowHandle()->screen()->grabWindow(w.winId()).toImage();
    QDir().mkpath(QStringLiteral("screenshots"));
    image.save(QStringLiteral("screenshots/%1.png").arg(name));
    return image;
}
