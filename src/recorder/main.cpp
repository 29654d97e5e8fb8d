// pm25monitor-recorder: every attached sensor recorded to day files, without a display.
#include "log.h"
#include "recorder.h"
#include "recorderoptions.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int g_SignalFds[2] = {-1, -1};

void OnSignal(int)
{
    const char c = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_SignalFds[0], &c, 1);
}

// SIGTERM and SIGINT end the event loop, so the last samples are written before the exit.
bool CatchStopSignals(QCoreApplication *app)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_SignalFds) != 0)
        return false;
    auto *notifier = new QSocketNotifier(g_SignalFds[1], QSocketNotifier::Read, app);
    QObject::connect(notifier, &QSocketNotifier::activated, app, &QCoreApplication::quit);
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    return sigaction(SIGTERM, &action, nullptr) == 0 && sigaction(SIGINT, &action, nullptr) == 0;
}

// The device layer's debug lines (every frame byte by byte) are for the window's console;
// warnings go to the log.
void Messages(QtMsgType type, const QMessageLogContext &, const QString &text)
{
    if (type == QtDebugMsg || type == QtInfoMsg)
        return;
    Log(type == QtWarningMsg ? LogLevel::Warning : LogLevel::Error, text.trimmed());
}

} // namespace

int main(int argc, char *argv[])
{
    qInstallMessageHandler(Messages);
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("pm25monitor-recorder"));
    QCoreApplication::setOrganizationName(QStringLiteral("pm25monitor"));
    QCoreApplication::setApplicationVersion(QStringLiteral(PM25_VERSION));
    RecorderOptions options;
    QString message;
    switch (ParseRecorderOptions(app.arguments(), QStringLiteral("/etc/pm25monitor/recorder.conf"),
                                 &options, &message)) {
    case OptionsResult::Exit:
        std::fputs(qPrintable(message), stdout);
        return 0;
    case OptionsResult::Error:
        std::fprintf(stderr, "pm25monitor-recorder: %s\n", qPrintable(message));
        return 2;
    case OptionsResult::Run:
        break;
    }
    if (!CatchStopSignals(&app)) {
        Log(LogLevel::Error, QStringLiteral("cannot catch SIGTERM and SIGINT"));
        return 1;
    }
    Recorder recorder(options, QCoreApplication::applicationVersion());
    recorder.Start();
    const int code = app.exec();
    recorder.Stop();
    return code;
}
