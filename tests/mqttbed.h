#pragma once
// A real broker for the tests: mosquitto on a free loopback port with a config the test writes,
// and a subscriber (libmosquitto) that keeps every message it receives.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>
#include <arpa/inet.h>
#include <functional>
#include <mosquitto.h>
#include <mutex>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

// A loopback port nobody listens on (asked of the kernel, then let go).
inline int FreePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    ::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a);
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len);
    ::close(fd);
    return ntohs(a.sin_port);
}

inline bool PortAnswers(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(uint16_t(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0;
    ::close(fd);
    return ok;
}

// Runs the event loop until cond holds or ms pass.
inline bool WaitUntil(const std::function<bool()> &cond, int ms)
{
    QElapsedTimer t;
    t.start();
    while (!cond()) {
        if (t.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}

class Broker
{
public:
    // `config`: lines after the first listener's (listener PORT 127.0.0.1).
    Broker(const QString &dir, const QByteArray &config) : m_Dir(dir), m_Port(FreePort())
    {
        QFile conf(m_Dir + "/mosquitto.conf");
        conf.open(QIODevice::WriteOnly);
        conf.write("listener " + QByteArray::number(m_Port) + " 127.0.0.1\n" + config);
    }
    ~Broker() { Stop(); }
    static bool Installed() { return !QStandardPaths::findExecutable("mosquitto", {"/usr/sbin"}).isEmpty(); }
    bool Start()
    {
        m_Process.setWorkingDirectory(m_Dir);
        m_Process.setProcessChannelMode(QProcess::MergedChannels);
        m_Process.start(QStandardPaths::findExecutable("mosquitto", {"/usr/sbin"}),
                        {"-c", m_Dir + "/mosquitto.conf"});
        return m_Process.waitForStarted() && WaitUntil([this] { return PortAnswers(m_Port); }, 10000);
    }
    void Stop()
    {
        if (m_Process.state() == QProcess::NotRunning)
            return;
        m_Process.terminate();
        m_Process.waitForFinished(10000);
    }
    int Port() const { return m_Port; }
    QByteArray Output() { return m_Process.readAll(); }

private:
    QString m_Dir;
    int m_Port;
    QProcess m_Process;
};

struct Received {
    QByteArray topic;
    QByteArray payload;
    bool retained = false;
};

class Subscriber
{
public:
    // A persistent session (clean false) keeps what arrives while this subscriber is away.
    Subscriber(int port, const char *id, bool clean = true)
    {
        mosquitto_lib_init();
        m_Mosq = mosquitto_new(id, clean, this);
        mosquitto_message_callback_set(m_Mosq, [](mosquitto *, void *self, const mosquitto_message *m) {
            auto *s = static_cast<Subscriber *>(self);
            std::lock_guard<std::mutex> lock(s->m_Mutex);
            s->m_Messages.push_back({QByteArray(m->topic),
                                     QByteArray(static_cast<const char *>(m->payload), m->payloadlen),
                                     m->retain});
        });
        mosquitto_connect_callback_set(m_Mosq, [](mosquitto *m, void *, int rc) {
            if (rc == 0)
                mosquitto_subscribe(m, nullptr, "#", 1);
        });
        mosquitto_reconnect_delay_set(m_Mosq, 1, 1, false);
        mosquitto_connect(m_Mosq, "127.0.0.1", port, 30);
        mosquitto_loop_start(m_Mosq);
    }
    ~Subscriber()
    {
        mosquitto_disconnect(m_Mosq);
        mosquitto_loop_stop(m_Mosq, true);
        mosquitto_destroy(m_Mosq);
    }
    std::vector<Received> Messages()
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        return m_Messages;
    }
    std::vector<Received> On(const QByteArray &topic)
    {
        std::vector<Received> out;
        for (const Received &r : Messages())
            if (r.topic == topic)
                out.push_back(r);
        return out;
    }
    bool WaitFor(const QByteArray &topic, const QByteArray &payload, int ms = 10000)
    {
        return WaitUntil([&] {
            for (const Received &r : Messages())
                if (r.topic == topic && (payload.isNull() || r.payload == payload))
                    return true;
            return false;
        }, ms);
    }

private:
    mosquitto *m_Mosq = nullptr;
    std::mutex m_Mutex;
    std::vector<Received> m_Messages;
};
