// The monkey: the window on the bed, driven from a seed by random commands for a given time:
// every menu and tool bar action, picker drags, the channel buttons, file dialogs answered with
// saves, opens and cancels, boxes answered, history downloads cancelled at random moments,
// language switches, and the sensor unplugged, replugged as another model or on the other link,
// damaged, silenced or left behind by clock jumps. A crash, a sanitizer report, a box nobody
// answers or a GUI thread that stops ends the process. Every step is logged with its number;
// the seed replays the same choices (timing on the bed's threads still varies).
//
//   MONKEY_SECONDS  how long (60)          MONKEY_SEED  the seed (default: from the clock)
//   MONKEY_LINK     usb | serial | both    MONKEY_HANG_SECONDS  a GUI thread silent this long
//                   (both: each replug picks one)                 is a hang (10)
//   MONKEY_VERBOSE=1 keeps the program's debug lines
#include "appbed.h"
#include "grecorddataset.h"
#include "realdata.h"
#include "ui_pm2_5.h"

#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QScrollBar>
#include <QToolBar>
#include <QToolButton>
#include <QWheelEvent>
#include <qwt_plot.h>
#include <qwt_plot_canvas.h>

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <map>
#include <mutex>
#include <random>
#include <thread>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/common_interface_defs.h>
#else
#include <execinfo.h>
#endif

namespace {

int EnvInt(const char *name, int fallback)
{
    bool ok = false;
    const int v = qEnvironmentVariable(name).toInt(&ok);
    return ok ? v : fallback;
}

int64_t NowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// The steps so far, for the hang and fatal reports (which run on other threads or in a message
// handler, hence the lock).
class StepLog
{
public:
    void Start(uint32_t seed)
    {
        m_Seed = seed;
        m_Start = NowMs();
    }
    void Add(QString what)
    {
        what.replace(QLatin1Char('\n'), QLatin1String(" | "));
        const QByteArray line = QStringLiteral("[monkey] #%1 +%2s %3")
                                    .arg(++m_Steps)
                                    .arg((NowMs() - m_Start) / 1000.0, 0, 'f', 3)
                                    .arg(what)
                                    .toLocal8Bit();
        std::fprintf(stderr, "%s\n", line.constData());
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_Recent.push_back(line);
        if (m_Recent.size() > 40)
            m_Recent.pop_front();
    }
    void Dump(const char *why)
    {
        std::fprintf(stderr, "[monkey] %s; seed %u, step %d; the last steps:\n", why, m_Seed,
                     int(m_Steps));
        std::unique_lock<std::mutex> lock(m_Mutex, std::try_to_lock); // never wait in a handler
        if (lock.owns_lock())
            for (const QByteArray &l : m_Recent)
                std::fprintf(stderr, "  %s\n", l.constData());
        std::fflush(stderr);
    }
    int Steps() const { return m_Steps; }
    uint32_t Seed() const { return m_Seed; }

private:
    std::atomic<int> m_Steps{0};
    uint32_t m_Seed = 0;
    int64_t m_Start = 0;
    std::mutex m_Mutex;
    std::deque<QByteArray> m_Recent;
};

StepLog g_Log;
QtMessageHandler g_PreviousHandler = nullptr;
bool g_Verbose = false;

// The program's per-frame debug lines would bury the steps; its sensor events stay. The
// offscreen platform warns on every dialog that it cannot size windows.
void MessageHandler(QtMsgType type, const QMessageLogContext &context, const QString &msg)
{
    if (type == QtDebugMsg && !g_Verbose && !msg.startsWith(QLatin1String("sensor"))
        && !msg.startsWith(QLatin1String("serial port")))
        return;
    if (type == QtWarningMsg && msg.contains(QLatin1String("propagateSizeHints")))
        return;
    if (type == QtFatalMsg)
        g_Log.Dump("fatal message");
    g_PreviousHandler(type, context, msg);
}

pthread_t g_GuiThread;

void PrintGuiStack(int)
{
    static const char where[] = "[monkey] the GUI thread is here:\n";
    (void)!write(STDERR_FILENO, where, sizeof where - 1);
#if defined(__SANITIZE_ADDRESS__)
    __sanitizer_print_stack_trace();
#else
    void *frames[64];
    backtrace_symbols_fd(frames, backtrace(frames, 64), STDERR_FILENO);
#endif
    std::abort();
}

// Ends the process when the GUI thread handles no event for the given time: a timer on it
// beats, a thread of its own watches the beat.
class HangWatchdog
{
public:
    explicit HangWatchdog(int seconds) : m_LimitMs(int64_t(seconds) * 1000)
    {
        g_GuiThread = pthread_self();
        struct sigaction sa = {};
        sa.sa_handler = PrintGuiStack;
        sigaction(SIGUSR1, &sa, nullptr);
#if !defined(__SANITIZE_ADDRESS__)
        void *warm[1];
        backtrace(warm, 1); // loads what backtrace needs now, not in the signal handler
#endif
        m_Beat = NowMs();
        QObject::connect(&m_Timer, &QTimer::timeout, [this] { m_Beat = NowMs(); });
        m_Timer.start(100);
        m_Thread = std::thread([this] { Watch(); });
    }
    ~HangWatchdog()
    {
        m_Stop = true;
        m_Thread.join();
    }

private:
    void Watch()
    {
        while (!m_Stop) {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            const int64_t silent = NowMs() - m_Beat;
            if (silent < m_LimitMs)
                continue;
            g_Log.Dump(qPrintable(QStringLiteral("HANG: the GUI thread handled no event for %1 ms")
                                      .arg(silent)));
            pthread_kill(g_GuiThread, SIGUSR1);
            std::this_thread::sleep_for(std::chrono::seconds(5));
            std::abort(); // the GUI thread did not even take the signal
        }
    }

    int64_t m_LimitMs;
    std::atomic<int64_t> m_Beat{0};
    std::atomic<bool> m_Stop{false};
    QTimer m_Timer;
    std::thread m_Thread;
};

struct Model {
    uint8_t type;
    std::vector<uint8_t> kinds;
};

class Monkey
{
public:
    Monkey(uint32_t seed, int seconds, const QString &link)
        : m_Rng(seed), m_Seconds(seconds), m_Link(link)
    {
    }

    void Run();

private:
    // ---- random choices -----------------------------------------------------------------
    int Int(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(m_Rng); }
    bool Chance(double p) { return std::uniform_real_distribution<double>(0, 1)(m_Rng) < p; }
    template <class T>
    const T &Pick(const std::vector<T> &v) { return v[size_t(Int(0, int(v.size()) - 1))]; }
    void Step(const QString &what) { g_Log.Add(what); }

    // ---- the window ---------------------------------------------------------------------
    void CreateWindow();
    void DestroyWindow();
    QList<QAction *> Actions() const;
    void TriggerAction(QAction *a, const char *how);

    // ---- one step of the main loop, or of the answerer while a box is open --------------
    void MainStep();
    void CommandStep();
    void BedStep();
    void Drag();
    void Wheel();
    void MoveScrollBar();
    void AgeLiveStream();
    void ClickRadio();
    void ClickToolButton();
    void PressShortcut();

    // ---- the open box -------------------------------------------------------------------
    void Answer();
    void AnswerFileDialog(QFileDialog *d);
    void AnswerDuringDownload(QProgressDialog *d);
    QString SavePath(QFileDialog *d);
    QString OpenPath();

    // ---- the bed ------------------------------------------------------------------------
    void Plug();
    void Unplug();
    void Damage();
    void JumpClock();
    void AdvanceTime();

    std::mt19937 m_Rng;
    int m_Seconds;
    QString m_Link;

    TestClock m_Clock;
    sim::SimBed m_Bed;
    ModalWatchdog m_Boxes;
    QTemporaryDir m_Files;
    std::unique_ptr<PM2_5> m_W;
    int m_Windows = 0;

    int m_Sensor = -1; // plugged in, or -1
    bool m_SensorSerial = false;
    bool m_Silent = false;
    std::vector<int> m_Foreign;
    int64_t m_LastAdvance = 0;
    int m_Saved = 0;

    // The open box and when it is answered.
    QPointer<QWidget> m_Box;
    int64_t m_AnswerAt = 0;
    bool m_InDownload = false;

    std::map<QString, int> m_Counts;
};

const std::vector<Model> kModels = {
    {4, {1}}, {4, {1, 33}}, {7, {1}}, {7, {1, 17}}, {20, {1, 17}}, {20, {1, 33}},
    {130, {1}}, {130, {1, 17}}, {131, {1}}, {131, {1, 33}},
};

void Monkey::Run()
{
    HangWatchdog hang(EnvInt("MONKEY_HANG_SECONDS", 10));
    QVERIFY(m_Files.isValid());
    QTimer answerer;
    QObject::connect(&answerer, &QTimer::timeout, [this] { Answer(); });
    answerer.start(30);
    QTimer time; // the sensor's clock and the records' clock run on in every loop, boxes too
    QObject::connect(&time, &QTimer::timeout, [this] { AdvanceTime(); });
    m_LastAdvance = NowMs();
    time.start(50);

    Plug();
    CreateWindow();
    const int64_t end = NowMs() + int64_t(m_Seconds) * 1000;
    while (NowMs() < end) {
        QTest::qWait(Int(0, 40));
        if (!m_W->isVisible()) { // Exit, or the window closed: a new one, as a restart would
            Step(QStringLiteral("window closed: a new one"));
            DestroyWindow();
            CreateWindow();
        }
        MainStep();
    }
    Step(QStringLiteral("end: Exit"));
    m_W->ui->actionExit->trigger();
    DestroyWindow();

    QString counts;
    for (const auto &c : m_Counts)
        counts += QStringLiteral(" %1=%2").arg(c.first).arg(c.second);
    std::fprintf(stderr, "[monkey] seed %u: %d steps in %d s (%.1f per second), %d windows;%s\n",
                 g_Log.Seed(), g_Log.Steps(), m_Seconds, g_Log.Steps() / double(m_Seconds),
                 m_Windows, qPrintable(counts));
}

void Monkey::CreateWindow()
{
    ++m_Windows;
    m_W = std::make_unique<PM2_5>(); // no sensor: its warning box is answered like any other
    m_W->SetRecoveryInterval(Int(300, 3000));
    m_W->resize(Int(500, 1400), Int(400, 1000));
    m_W->show();
    Step(QStringLiteral("window %1 open, state %2").arg(m_Windows).arg(m_W->m_DevState));
}

void Monkey::DestroyWindow()
{
    m_W.reset();
}

QList<QAction *> Monkey::Actions() const
{
    QList<QAction *> out;
    for (QAction *a : m_W->findChildren<QAction *>())
        if (!a->isSeparator() && !a->menu() && a != m_W->ui->actionExit)
            out << a;
    return out;
}

void Monkey::TriggerAction(QAction *a, const char *how)
{
    const QString name = a->objectName().isEmpty() ? a->text() : a->objectName();
    ++m_Counts[a->objectName().isEmpty() ? QStringLiteral("device entry") : name];
    Step(QStringLiteral("%1 %2%3").arg(how, name, a->isEnabled() ? "" : " (disabled)"));
    QPointer<PM2_5> w = m_W.get();
    a->trigger();
    if (w && a == w->ui->actionCollect_historical_data && !m_InDownload)
        Step(QStringLiteral("download over: \"%1\"").arg(w->statusBar()->currentMessage()));
}

void Monkey::MainStep()
{
    const int r = Int(0, 99);
    if (r < 12) {
        const int n = Int(1, 5);
        Step(QStringLiteral("tick x%1").arg(n));
        for (int i = 0; i < n && m_W->isVisible(); ++i)
            m_W->PollDevice(0);
    } else if (r < 42) {
        CommandStep();
    } else if (r < 50) {
        Drag();
    } else if (r < 53) {
        Wheel();
    } else if (r < 55) {
        MoveScrollBar();
    } else if (r < 61) {
        ClickRadio();
    } else if (r < 65) {
        ClickToolButton();
    } else if (r < 67) {
        PressShortcut();
    } else if (r < 68) {
        const QSize s(Int(300, 1400), Int(250, 1000));
        Step(QStringLiteral("resize %1x%2").arg(s.width()).arg(s.height()));
        m_W->resize(s);
    } else if (r < 69) {
        Step(QStringLiteral("close the window"));
        m_W->close();
    } else if (r < 70) {
        Step(QStringLiteral("actionExit"));
        ++m_Counts["actionExit"];
        m_W->ui->actionExit->trigger();
    } else {
        BedStep();
    }
}

void Monkey::CommandStep()
{
    const QList<QAction *> actions = Actions();
    // The commands with most to do come more often than a plain pick would give them.
    const std::vector<QAction *> favoured = {
        m_W->ui->actionCollect_historical_data, m_W->ui->actionBinary, m_W->ui->actionExecl,
        m_W->ui->actionOpen, m_W->ui->actionTime_zoom_in, m_W->ui->actionTime_zoom_out,
        m_W->ui->actionCollection, m_W->ui->actionPanEarlier, m_W->ui->actionNewestSample,
        m_W->ui->actionFitValues};
    QAction *a = Chance(0.4) ? Pick(favoured) : actions.value(Int(0, actions.size() - 1));
    if (a)
        TriggerAction(a, "menu");
}

void Monkey::ClickToolButton()
{
    QToolBar *bar = m_W->ui->mainToolBar;
    QList<QToolButton *> buttons;
    for (QAction *a : bar->actions())
        if (auto *b = qobject_cast<QToolButton *>(bar->widgetForAction(a)))
            if (a != m_W->ui->actionExit && b->isVisible())
                buttons << b;
    if (buttons.isEmpty())
        return;
    QToolButton *b = buttons.value(Int(0, buttons.size() - 1));
    ++m_Counts[b->defaultAction()->objectName()];
    Step(QStringLiteral("tool bar %1").arg(b->defaultAction()->objectName()));
    QTest::mouseClick(b, Qt::LeftButton);
}

// A command by its key, as a person at the keyboard would give it (Quit aside).
void Monkey::PressShortcut()
{
    QList<QAction *> keyed;
    for (QAction *a : Actions())
        if (!a->shortcut().isEmpty())
            keyed << a;
    if (keyed.isEmpty())
        return;
    QAction *a = keyed.value(Int(0, keyed.size() - 1));
    ++m_Counts[a->objectName()];
    Step(QStringLiteral("key %1 (%2)").arg(a->shortcut().toString(), a->objectName()));
    m_W->activateWindow();
    QTest::keySequence(m_W.get(), a->shortcut());
}

void Monkey::ClickRadio()
{
    QRadioButton *b = Chance(0.5) ? m_W->ui->radioButtonPM25 : m_W->ui->radioButtonPA;
    if (!b->isVisibleTo(m_W.get()) || !b->isEnabled())
        return;
    ++m_Counts["radio"];
    Step(QStringLiteral("click %1").arg(b->objectName()));
    QTest::mouseClick(b, Qt::LeftButton);
}

// A picker drag over the canvas, at times leaving it; a few hovers between.
void Monkey::Drag()
{
    // A sensor that identifies itself gets a new canvas, also in the middle of a drag.
    QPointer<QWidget> canvas = m_W->ui->qwtPlot->canvas();
    const QRect r = canvas->rect().adjusted(-20, -20, 20, 20);
    auto point = [&] { return QPoint(Int(r.left(), r.right()), Int(r.top(), r.bottom())); };
    const Qt::MouseButton button = Chance(0.7)   ? Qt::LeftButton // the picker
                                   : Chance(0.7) ? Qt::RightButton // a pan
                                                 : Qt::MiddleButton;
    const int moves = Int(0, 8);
    ++m_Counts["drag"];
    QPoint p = point();
    Step(QStringLiteral("drag %1 from %2,%3, %4 moves")
             .arg(button == Qt::LeftButton    ? "left"
                  : button == Qt::RightButton ? "right"
                                              : "middle")
             .arg(p.x())
             .arg(p.y())
             .arg(moves));
    QTest::mousePress(canvas, button, Qt::NoModifier, p);
    for (int i = 0; i < moves; ++i) {
        p = point();
        QMouseEvent move(QEvent::MouseMove, p, canvas->mapToGlobal(p), Qt::NoButton, button,
                         Qt::NoModifier);
        QApplication::sendEvent(canvas, &move);
        if (Chance(0.3))
            QCoreApplication::processEvents();
        if (!canvas) {
            Step(QStringLiteral("drag: the canvas was replaced"));
            return;
        }
    }
    QTest::mouseRelease(canvas, button, Qt::NoModifier, p);
}

// Wheel notches over the canvas: a pan, or with Ctrl a zoom around the pointer.
void Monkey::Wheel()
{
    QWidget *canvas = m_W->ui->qwtPlot->canvas();
    const QPointF at(Int(0, std::max(0, canvas->width() - 1)),
                     Int(0, std::max(0, canvas->height() - 1)));
    const int notches = Chance(0.5) ? Int(1, 3) : -Int(1, 3);
    const bool zoom = Chance(0.4);
    ++m_Counts[zoom ? "wheel zoom" : "wheel"];
    Step(QStringLiteral("wheel %1%2 at %3,%4")
             .arg(zoom ? "Ctrl " : "")
             .arg(notches)
             .arg(at.x())
             .arg(at.y()));
    QWheelEvent wheel(at, QPointF(canvas->mapToGlobal(at.toPoint())), QPoint(),
                      QPoint(0, 120 * notches), Qt::NoButton,
                      zoom ? Qt::ControlModifier : Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(canvas, &wheel);
}

void Monkey::MoveScrollBar()
{
    QScrollBar *bar = m_W->TimeScrollBar();
    if (!bar || !bar->isEnabled()) {
        AgeLiveStream(); // something to move over next time
        return;
    }
    const int to = Int(bar->minimum(), bar->maximum());
    ++m_Counts["scroll bar"];
    Step(QStringLiteral("scroll bar to %1 of %2").arg(to).arg(bar->maximum()));
    bar->setValue(to);
}

// Hours of samples put straight into the live series of the shown channel, as if the window
// had run that long: panning then has somewhere to go.
void Monkey::AgeLiveStream()
{
    const GRecordDataSet *set = m_W->RecordSet(m_W->m_Channel);
    _SRealData *s = set && set->m_pLive ? set->m_pLive->m_pRealData : nullptr;
    if (!s)
        return;
    const int n = Int(300, 20000);
    std::vector<double> values(static_cast<size_t>(n));
    for (double &v : values)
        v = Int(0, 6000) / 10.0;
    ++m_Counts["aged"];
    Step(QStringLiteral("live stream aged by %1 samples").arg(n));
    RealDataAddMany(s, values.data(), values.data(), n, 1, s->org_pts);
}

// ---- the bed ------------------------------------------------------------------------------

void Monkey::BedStep()
{
    const int r = Int(0, 99);
    if (m_Sensor < 0) {
        if (r < 40)
            Plug();
        else if (r < 50)
            JumpClock();
        return; // the window waits for a sensor; the other steps go on
    }
    if (r < 10) {
        Unplug();
    } else if (r < 14) {
        Unplug();
        Plug();
    } else if (r < 45) {
        Damage();
    } else if (r < 55) {
        m_Silent = !m_Silent;
        Step(QStringLiteral("sensor %1").arg(m_Silent ? "pauses" : "goes on"));
        m_Bed.with(m_Sensor, [&](sim::SimSensor &s) { s.setSilent(m_Silent); });
    } else if (r < 65) {
        JumpClock();
    } else if (r < 70) {
        const uint32_t ms = uint32_t(Pick(std::vector<int>{100, 200, 500, 1000, 1000, 3000}));
        Step(QStringLiteral("sensor period %1 ms").arg(ms));
        m_Bed.with(m_Sensor, [&](sim::SimSensor &s) { s.setPeriodMs(ms); });
    } else if (r < 85) {
        // Values at the edges of what the frames carry, the next measurement of a kind the
        // sensor sends.
        const uint16_t value = uint16_t(Pick(std::vector<int>{0, 1, 9, 10, 999, 1000, 5004, 9999,
                                                              10000, 32767, 32768, 65534, 65535}));
        const uint16_t pm10 = uint16_t(Pick(std::vector<int>{0, 5, 10000, 65535}));
        Step(QStringLiteral("sensor measures %1 / %2").arg(value).arg(pm10));
        m_Bed.with(m_Sensor, [&](sim::SimSensor &s) {
            const uint8_t kind = s.config().kinds[size_t(Int(0, int(s.config().kinds.size()) - 1))];
            s.setNextMeasurement(kind, uint16_t(Int(0, 65535)), uint16_t(Int(0, 65535)), value,
                                 s.identityAux(), pm10);
            s.emitMeasurement(kind);
        });
    } else if (r < 93) {
        if (!m_Foreign.empty() && Chance(0.5)) {
            const int id = m_Foreign.back();
            m_Foreign.pop_back();
            Step(QStringLiteral("foreign device %1 unplugged").arg(id));
            m_Bed.unplug(id);
        } else {
            const bool serial = Chance(0.5);
            const int id = serial ? m_Bed.addOtherSerialPort("ttyS", 0x0403, 0x6001)
                                  : m_Bed.addOtherUsbDevice(0x046D, 0xC52B);
            m_Foreign.push_back(id);
            Step(QStringLiteral("foreign %1 device %2 plugged in").arg(serial ? "serial" : "USB").arg(id));
        }
    } else {
        const unsigned n = unsigned(Int(1, 4));
        Step(QStringLiteral("sensor drops its next %1 replies").arg(n));
        m_Bed.with(m_Sensor, [&](sim::SimSensor &s) { s.dropNextReplies(n); });
    }
}

void Monkey::Plug()
{
    if (m_Sensor >= 0)
        return;
    m_SensorSerial = m_Link == "serial" || (m_Link == "both" && Chance(0.5));
    const Model &m = Pick(kModels);
    const int history = Chance(0.1) ? Int(300, 3000) : Int(0, 150);
    const int64_t end = m_Clock.now.toSecsSinceEpoch() / 300 * 300;
    m_Sensor = m_SensorSerial ? m_Bed.addSerialSensor() : m_Bed.addUsbSensor();
    m_Silent = false;
    ++m_Counts["plug"];
    m_Bed.with(m_Sensor, [&](sim::SimSensor &s) {
        s.setDeviceType(m.type);
        s.setKinds(m.kinds);
        s.reseed(uint32_t(m_Rng()));
        s.generateHistory(size_t(history), end);
    });
    QString kinds;
    for (uint8_t k : m.kinds)
        kinds += QString::number(k) + " ";
    Step(QStringLiteral("sensor %1 plugged in: %2, type %3, kinds %4, %5 stored values")
             .arg(m_Sensor)
             .arg(m_SensorSerial ? QString::fromStdString("serial " + m_Bed.ttyName(m_Sensor))
                                 : QStringLiteral("USB"))
             .arg(m.type)
             .arg(kinds.trimmed())
             .arg(history));
}

void Monkey::Unplug()
{
    if (m_Sensor < 0)
        return;
    ++m_Counts["unplug"];
    Step(QStringLiteral("sensor %1 unplugged").arg(m_Sensor));
    m_Bed.unplug(m_Sensor);
    m_Sensor = -1;
}

void Monkey::Damage()
{
    ++m_Counts["damage"];
    const int r = Int(0, 3);
    if (r == 0 || !m_SensorSerial) {
        const size_t n = size_t(Int(1, 45));
        if (!m_SensorSerial && Chance(0.5)) {
            const size_t bytes = size_t(Int(0, 19));
            Step(QStringLiteral("next USB report cut to %1 bytes").arg(bytes));
            m_Bed.shortenNextUsbReport(m_Sensor, bytes);
            return;
        }
        Step(QStringLiteral("sensor sends %1 garbage bytes").arg(n));
        m_Bed.with(m_Sensor, [&](sim::SimSensor &s) { s.sendGarbage(n); });
    } else if (r == 1) {
        const size_t pos = size_t(Int(0, 18));
        Step(QStringLiteral("next frame loses byte %1").arg(pos));
        m_Bed.with(m_Sensor, [&](sim::SimSensor &s) { s.loseByteInNextFrame(pos); });
    } else {
        const size_t pos = size_t(Int(0, 19));
        const uint8_t value = uint8_t(Pick(std::vector<int>{0x00, 0xAA, 0xAB, 0xFF, Int(0, 255)}));
        Step(QStringLiteral("next frame gains 0x%1 at %2").arg(value, 2, 16, QLatin1Char('0')).arg(pos));
        m_Bed.with(m_Sensor, [&](sim::SimSensor &s) { s.addByteInNextFrame(pos, value); });
    }
}

void Monkey::JumpClock()
{
    ++m_Counts["clock jump"];
    const int secs = Chance(0.1) ? -Int(1, 30) : Chance(0.1) ? Int(3600, 86400) : Int(2, 600);
    Step(QStringLiteral("clock jumps %1 s").arg(secs));
    m_Clock.Step(secs);
}

// The sensor's schedule and the records' clock follow the real time between two calls.
void Monkey::AdvanceTime()
{
    const int64_t now = NowMs();
    const int64_t ms = std::min<int64_t>(now - m_LastAdvance, 2000);
    m_LastAdvance = now;
    if (ms <= 0)
        return;
    m_Clock.now = m_Clock.now.addMSecs(ms);
    m_Bed.advance(uint32_t(ms));
}

// ---- boxes ----------------------------------------------------------------------------------

// Runs on a timer, so also inside every box's own event loop and the download's.
void Monkey::Answer()
{
    QWidget *modal = QApplication::activeModalWidget();
    if (!modal) {
        m_Box = nullptr;
        return;
    }
    if (modal != m_Box) {
        m_Box = modal;
        ClaimModal(modal);
        m_AnswerAt = NowMs() + (Chance(0.7) ? Int(0, 150) : Int(150, 1200));
        auto *progress = qobject_cast<QProgressDialog *>(modal);
        Step(QStringLiteral("box: %1").arg(progress ? "progress " + progress->labelText()
                                                    : DescribeModal(modal)));
    }
    if (auto *d = qobject_cast<QProgressDialog *>(modal)) {
        AnswerDuringDownload(d);
        return;
    }
    if (Chance(0.05) && m_Sensor >= 0 && !m_InDownload) { // the sensor does not wait for the user
        if (Chance(0.5))
            Damage();
        else
            Unplug();
    }
    if (NowMs() < m_AnswerAt)
        return;
    if (auto *d = qobject_cast<QFileDialog *>(modal)) {
        AnswerFileDialog(d);
    } else if (auto *box = qobject_cast<QMessageBox *>(modal)) {
        const QList<QAbstractButton *> buttons = box->buttons();
        if (!buttons.isEmpty() && Chance(0.85)) {
            QAbstractButton *b = buttons.value(Int(0, buttons.size() - 1));
            Step(QStringLiteral("box answered: %1").arg(b->text()));
            b->click();
        } else {
            Step(QStringLiteral("box answered: Escape"));
            QTest::keyClick(box, Qt::Key_Escape);
        }
    } else if (auto *dialog = qobject_cast<QDialog *>(modal)) {
        Step(QStringLiteral("dialog closed"));
        if (auto *b = dialog->findChild<QPushButton *>(); b && Chance(0.5))
            b->click();
        else
            dialog->reject();
    }
    m_Box = nullptr;
}

QString Monkey::SavePath(QFileDialog *d)
{
    const QString suggested = d->selectedFiles().value(0);
    const QString suffix = suggested.section('.', -1);
    const int r = Int(0, 9);
    if (r == 0)
        return m_Files.filePath(QStringLiteral("missing/folder/x.") + suffix);
    if (r == 1 && m_Saved > 0) // over an earlier one: the dialog asks first
        return m_Files.filePath(QStringLiteral("saved%1.%2").arg(Int(0, m_Saved - 1)).arg(suffix));
    return m_Files.filePath(QStringLiteral("saved%1.%2").arg(m_Saved++).arg(suffix));
}

QString Monkey::OpenPath()
{
    QDir dir(m_Files.path());
    const QStringList saved = dir.entryList({"*.str", "*.xls", "*.csv"}, QDir::Files, QDir::Name);
    const int r = Int(0, 9);
    if (r < 6 && !saved.isEmpty())
        return dir.filePath(saved.value(Int(0, saved.size() - 1)));
    if (r == 6) { // what a crash leaves: the newest recovery file, perhaps mid-write
        QDir recovery(RecordRecovery::DefaultFolder());
        const QStringList files = recovery.entryList({"*.str"}, QDir::Files, QDir::Time);
        if (!files.isEmpty())
            return recovery.filePath(files.value(Int(0, files.size() - 1)));
    }
    if (r == 7 && !saved.isEmpty()) { // a copy cut short, or with a byte changed
        QFile f(dir.filePath(saved.value(Int(0, saved.size() - 1))));
        QByteArray bytes = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        if (Chance(0.5))
            bytes.truncate(Int(0, bytes.size()));
        else if (!bytes.isEmpty())
            bytes[Int(0, bytes.size() - 1)] = char(Int(0, 255));
        const QString path =
            dir.filePath(QStringLiteral("damaged%1.%2").arg(m_Saved++).arg(f.fileName().section('.', -1)));
        QFile out(path);
        if (out.open(QIODevice::WriteOnly))
            out.write(bytes);
        return path;
    }
    if (r == 8)
        return dir.filePath(QStringLiteral("absent.str"));
    return QString();
}

void Monkey::AnswerFileDialog(QFileDialog *d)
{
    if (Chance(0.2)) {
        ++m_Counts["file cancel"];
        Step(QStringLiteral("file dialog cancelled"));
        d->reject();
        return;
    }
    const bool save = d->acceptMode() == QFileDialog::AcceptSave;
    const QString path = save ? SavePath(d) : OpenPath();
    if (path.isEmpty()) {
        Step(QStringLiteral("file dialog cancelled"));
        d->reject();
        return;
    }
    ++m_Counts[save ? "file save" : "file open"];
    Step(QStringLiteral("file dialog: %1 %2").arg(save ? "save" : "open", path));
    d->selectFile(path);
    if (auto *edit = d->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")))
        edit->setText(path);
    // Queued: an overwrite question opens from the dialog's loop, where this timer answers it.
    QMetaObject::invokeMethod(d, "accept", Qt::QueuedConnection);
}

// While a download runs, the user goes on clicking; the sensor may go, the clock jump.
void Monkey::AnswerDuringDownload(QProgressDialog *d)
{
    m_InDownload = true;
    const int r = Int(0, 99);
    if (r < 3) {
        ++m_Counts["download cancel"];
        Step(QStringLiteral("download: Cancel"));
        if (auto *b = d->findChild<QPushButton *>())
            b->click();
        else
            d->cancel();
    } else if (r < 13) {
        const QList<QAction *> actions = Actions();
        if (QAction *a = actions.value(Int(0, actions.size() - 1)))
            TriggerAction(a, "during download:");
    } else if (r < 16) {
        Step(QStringLiteral("during download: tick"));
        m_W->PollDevice(0);
    } else if (r < 18) {
        Drag();
    } else if (r < 20) {
        ClickRadio();
    } else if (r < 21) {
        Step(QStringLiteral("during download: close the window"));
        m_W->close();
    } else if (r < 22) {
        Step(QStringLiteral("during download: actionExit"));
        ++m_Counts["actionExit"];
        m_W->ui->actionExit->trigger();
    } else if (r < 24 && m_Sensor >= 0) {
        if (Chance(0.3))
            Unplug();
        else
            Damage();
    } else if (r < 25) {
        JumpClock();
    }
    m_InDownload = false;
}

} // namespace

class TestAppMonkey : public QObject
{
    Q_OBJECT

private slots:
    void run();
    void guardsEndTheRun_data();
    void guardsEndTheRun();
};

void TestAppMonkey::run()
{
    const uint32_t seed = qEnvironmentVariableIsSet("MONKEY_SEED")
                              ? uint32_t(qEnvironmentVariable("MONKEY_SEED").toULong())
                              : uint32_t(std::random_device{}());
    const int seconds = EnvInt("MONKEY_SECONDS", 60);
    const QString link = qEnvironmentVariable("MONKEY_LINK", QStringLiteral("both"));
    QVERIFY2(link == "usb" || link == "serial" || link == "both", "MONKEY_LINK: usb, serial or both");
    g_Verbose = qEnvironmentVariableIntValue("MONKEY_VERBOSE") != 0;
    std::fprintf(stderr, "[monkey] seed %u, %d s, link %s (MONKEY_SEED=%u replays it)\n", seed,
                 seconds, qPrintable(link), seed);
    g_Log.Start(seed);
    g_PreviousHandler = qInstallMessageHandler(MessageHandler);
    {
        Monkey monkey(seed, seconds, link);
        monkey.Run();
    }
    qInstallMessageHandler(g_PreviousHandler);
}

// The guards themselves, each in a child process that they must end: a box nobody answers,
// a GUI thread that stops.
void TestAppMonkey::guardsEndTheRun_data()
{
    QTest::addColumn<QString>("role");
    QTest::addColumn<QString>("said");
    QTest::newRow("unanswered box") << "box" << "Software version";
    QTest::newRow("hang") << "hang" << "HANG";
}

void TestAppMonkey::guardsEndTheRun()
{
    QFETCH(QString, role);
    QFETCH(QString, said);
    const QString child = qEnvironmentVariable("MONKEY_GUARD_CHILD");
    if (child == "box") {
        Live live(false, 20);
        live.w->ui->actionAbout_Software->trigger(); // nobody answers: the watchdog must end it
        return;
    }
    if (child == "hang") {
        g_Log.Start(7);
        HangWatchdog hang(1);
        g_Log.Add(QStringLiteral("the GUI thread stops"));
        std::this_thread::sleep_for(std::chrono::seconds(60));
        return;
    }
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("MONKEY_GUARD_CHILD", role);
    env.insert("ASAN_OPTIONS", env.value("ASAN_OPTIONS") + ":handle_abort=0");
    p.setProcessEnvironment(env);
    QElapsedTimer t;
    t.start();
    p.start(QCoreApplication::applicationFilePath(), {"guardsEndTheRun:" + QString(QTest::currentDataTag())});
    QVERIFY2(p.waitForFinished(30000), "the guard did not end the child");
    const QString err = QString::fromLocal8Bit(p.readAllStandardError());
    QVERIFY2(p.exitStatus() == QProcess::CrashExit || p.exitCode() != 0, qPrintable(err));
    QVERIFY2(err.contains(said), qPrintable(err));
    if (role == "hang")
        QVERIFY2(err.contains("seed 7") && err.contains("the GUI thread stops"), qPrintable(err));
}

QTEST_MAIN(TestAppMonkey)
#include "test_app_monkey.moc"
