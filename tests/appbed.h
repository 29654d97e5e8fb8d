#pragma once
// The window on the bed: a simulated sensor, the unchanged PM2_5, ticks driven by the test and
// a clock the test moves.
#include "freshsettings.h"
#include "grecorddataset.h"
#include "pm2_5.h"
#include "recordclock.h"
#include "simbed.h"

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPointer>
#include <QProgressDialog>
#include <QTimer>
#include <QtTest>
#include <cstdio>
#include <functional>
#include <memory>

inline constexpr uint16_t kAux = 0x6162; // identity bytes "ab"

// The test's clock: every sample arrives one second after the one before.
struct TestClock {
    QDateTime now = QDateTime::currentDateTime();
    TestClock()
    {
        RecordClockSet([this] { return now; });
    }
    ~TestClock() { RecordClockSet({}); }
    void Step(int secs = 1) { now = now.addSecs(secs); }
};

// A modal box the test answers itself: the ModalWatchdog leaves it alone.
inline void ClaimModal(QWidget *modal)
{
    if (modal)
        modal->setProperty("pm25ClaimedByTest", true);
}

inline bool ModalClaimed(const QWidget *modal)
{
    return modal->property("pm25ClaimedByTest").toBool();
}

// What a modal box says, for a failure message.
inline QString DescribeModal(QWidget *modal)
{
    QString text = QString::fromLatin1(modal->metaObject()->className()) + " \"" + modal->windowTitle()
                   + "\"";
    if (auto *box = qobject_cast<QMessageBox *>(modal))
        text += ": " + box->text() + (box->informativeText().isEmpty() ? "" : " / " + box->informativeText());
    else if (auto *d = qobject_cast<QFileDialog *>(modal))
        text += ": " + d->directory().path() + " " + d->selectedFiles().join(' ');
    return text;
}

// Ends the process, with the box's text, when a dialog that no handler claimed (OnNextModal,
// AnswerFileDialog, ClaimModal) stays open for graceMs: nobody would ever close it, and the
// test would wait for the CTest time-out. Progress dialogs close by themselves.
class ModalWatchdog
{
public:
    explicit ModalWatchdog(int graceMs = 2000) : m_GraceMs(graceMs)
    {
        QObject::connect(&m_Timer, &QTimer::timeout, [this] { Check(); });
        m_Timer.start(100);
    }

private:
    void Check()
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (!qobject_cast<QDialog *>(modal) || qobject_cast<QProgressDialog *>(modal)
            || ModalClaimed(modal)) {
            m_Seen = nullptr;
            return;
        }
        if (modal != m_Seen) {
            m_Seen = modal;
            m_Since.start();
            return;
        }
        if (m_Since.elapsed() < m_GraceMs)
            return;
        // Straight to stderr: a MessageCapture in the test would swallow the fatal message.
        const QByteArray what = DescribeModal(modal).toUtf8();
        std::fprintf(stderr, "Unexpected modal box, open for %d ms: %s\n", m_GraceMs, what.constData());
        std::fflush(stderr);
        qFatal("Unexpected modal box: %s", what.constData());
    }

    int m_GraceMs;
    QTimer m_Timer;
    QPointer<QWidget> m_Seen;
    QElapsedTimer m_Since;
};

// Runs f on the next modal widget that opens, then closes it.
inline void OnNextModal(std::function<void(QWidget *)> f)
{
    auto *timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer, f] {
        if (QWidget *modal = QApplication::activeModalWidget()) {
            timer->stop();
            ClaimModal(modal);
            f(modal);
            modal->close();
            timer->deleteLater();
        }
    });
    timer->start(10);
}

struct Live {
    explicit Live(bool serial, uint8_t type, std::vector<uint8_t> kinds = {1, 17},
                  const std::function<void(sim::SimSensor &)> &setup = {})
    {
        id = serial ? bed.addSerialSensor() : bed.addUsbSensor();
        bed.with(id, [&](sim::SimSensor &s) {
            s.setDeviceType(type);
            s.setKinds(std::move(kinds));
            if (setup)
                setup(s);
        });
        ForgetSettings();
        w = std::make_unique<PM2_5>();
        w->killTimer(w->m_TimerId); // the test drives the ticks
    }
    // The window started without a sensor (its "open device error" box closed at once).
    struct NoSensor {};
    explicit Live(NoSensor)
    {
        OnNextModal([](QWidget *) {});
        ForgetSettings();
        w = std::make_unique<PM2_5>();
        w->killTimer(w->m_TimerId);
    }
    ~Live() { w.reset(); }

    // Ticks until cond holds (events run between ticks, as the timer would let them).
    bool TickUntil(const std::function<bool()> &cond, int timeoutMs = 5000)
    {
        QElapsedTimer t;
        t.start();
        while (!cond()) {
            if (t.elapsed() > timeoutMs)
                return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            w->PollDevice(0);
        }
        return true;
    }
    bool Identify() { return TickUntil([this] { return w->m_bDevInfoOk == 1; }); }
    // One measurement frame with exact words; ticks until the window has stored it.
    bool Measure(uint8_t kind, uint16_t value, uint16_t pm10 = 0, int timeoutMs = 3000)
    {
        clock.Step();
        const int channel = kind == 17 || kind == 33 ? 1 : 0;
        GRecordDataSet *set = w->RecordSet(channel);
        const int before = set ? set->m_pLive->m_pRealData->m_DataCount : -1;
        bed.with(id, [&](sim::SimSensor &s) {
            s.setNextMeasurement(kind, 500, 100, value, kAux, pm10);
            s.emitMeasurement(kind);
        });
        return TickUntil([&] {
            return set && set->m_pLive->m_pRealData->m_DataCount > before;
        }, timeoutMs);
    }
    size_t Requests(uint8_t command)
    {
        return bed.with(id, [&](sim::SimSensor &s) { return s.requestCount(command); });
    }

    TestClock clock;
    sim::SimBed bed;
    int id = 0;
    ModalWatchdog watchdog; // before the window: its constructor may open a box
    std::unique_ptr<PM2_5> w;
};

inline void LinkRows()
{
    QTest::addColumn<bool>("serial");
    QTest::newRow("usb") << false;
    QTest::newRow("serial") << true;
}

// Answers every message box that opens while it lives (OK) and keeps their texts; file dialogs
// are left to AnswerFileDialog.
class BoxAnswerer
{
public:
    BoxAnswerer()
    {
        QObject::connect(&m_Timer, &QTimer::timeout, [this] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            ClaimModal(box);
            m_Texts << box->windowTitle() + ": " + box->text()
                           + (box->informativeText().isEmpty() ? "" : " / " + box->informativeText());
            box->done(QMessageBox::Ok);
        });
        m_Timer.start(10);
    }
    QStringList m_Texts;

private:
    QTimer m_Timer;
};

// Answers the next file dialog with `path`, or cancels it when `path` is empty; `suggested`
// gets the file name the dialog offered.
inline void AnswerFileDialog(const QString &path, QString *suggested = nullptr)
{
    auto *timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [=] {
        auto *d = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (!d)
            return;
        timer->stop();
        timer->deleteLater();
        ClaimModal(d);
        if (suggested) // the name offered, or for an open dialog its folder
            *suggested = d->selectedFiles().value(0, d->directory().absolutePath());
        if (path.isEmpty()) {
            d->reject();
            return;
        }
        d->setOption(QFileDialog::DontConfirmOverwrite);
        d->selectFile(path);
        // The name field wins over the selection: it still holds the suggested name.
        if (auto *edit = d->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")))
            edit->setText(path);
        QMetaObject::invokeMethod(d, "accept", Qt::QueuedConnection);
    });
    timer->start(10);
}
