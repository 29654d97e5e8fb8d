#pragma once
// The recorder's samples published to an MQTT broker: every publish interval the means of each
// sensor's samples as JSON on <prefix>/<serial>/state, availability of the recorder and of each
// sensor, and Home Assistant discovery. libmosquitto runs its network loop on its own thread;
// the ticks only hand messages over, so they never wait for the network. While the broker is
// away the states of the last hour wait here and go out in order after the reconnect.
#include "aqi.h"
#include "frame.h"
#include "recorderoptions.h"

#include <QByteArray>
#include <QObject>
#include <QSet>
#include <QString>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

struct mosquitto;

class Publisher : public QObject
{
    Q_OBJECT

public:
    static constexpr qint64 KEEP_SECONDS = 3600; // states kept while the broker is away
    static constexpr int KEEPALIVE_SEC = 30;

    Publisher(const RecorderOptions &options, const QString &version);
    ~Publisher() override;

    // Starts connecting (the network loop's thread); false, with a log line, when it cannot.
    bool Start();
    // "offline" for every sensor and the recorder, then the connection closed.
    void Stop();

    // What the recorder learns of its sensors.
    void SensorOnline(const QString &serial, const QString &model, bool pm10);
    void SensorOffline(const QString &serial);
    void Sample(const QString &serial, unsigned char code, qint64 t, const TAG_T_SPM25Data &r);
    // Publishes the intervals that ended by `now` (UTC seconds); the tick calls it.
    void Tick(qint64 now);

    bool IsConnected() const { return m_bConnected; }
    int Waiting() const { return int(m_Waiting.size()); }

private:
    struct Sensor {
        QString m_Model;
        bool m_bPM10 = false;
        bool m_bOnline = false;
        QString m_Gas;        // "hcho" or "tvoc" once it sent one
        QSet<QString> m_Told; // entities announced since the last connect
        double m_Sum[3] = {}; // pm25, pm10 (m_Count samples), gas (m_GasCount)
        int m_Count = 0;
        int m_GasCount = 0;
        AqiAverager m_Aqi;
    };
    struct Message {
        QByteArray m_Topic;
        QByteArray m_Payload;
        qint64 m_Time = 0;
    };

    void Send(const QByteArray &topic, const QByteArray &payload, bool retain);
    void SendState(const QByteArray &topic, const QByteArray &payload, qint64 t);
    void Announce(const QString &serial, Sensor &s);
    void PublishInterval(qint64 end);
    QByteArray StateJson(Sensor &s, qint64 end) const;
    QByteArray Topic(const QString &serial, const char *leaf) const;

    // The network thread: connects, runs the library's loop, reconnects after 1 s, 2 s, ... 60 s.
    void Network();
    void Pause(int seconds);

    // On the Qt thread, posted from the network loop's callbacks.
    Q_INVOKABLE void Connected(int rc);
    Q_INVOKABLE void Disconnected(int rc);
    Q_INVOKABLE void Received(const QByteArray &topic, const QByteArray &payload);
    Q_INVOKABLE void LibraryError(const QByteArray &line);

    RecorderOptions m_Options;
    QString m_Version;
    AqiStandard m_Standard = AqiStandard::China;
    mosquitto *m_Mosq = nullptr;
    std::thread m_Thread;
    std::atomic<bool> m_bStop{false};  // no more connecting
    std::atomic<bool> m_bAbort{false}; // leave the connection as it is
    std::atomic<bool> m_bDone{false};  // the network thread ended
    std::atomic<bool> m_bConnectedOnce{false}; // since the last pause: the backoff starts again
    std::mutex m_PauseMutex;
    std::condition_variable m_Wake;
    bool m_bConnected = false; // on the Qt thread: the broker took our CONNECT
    bool m_bStarted = false;
    std::map<QString, Sensor> m_Sensors;
    std::deque<Message> m_Waiting;
    qint64 m_Dropped = 0;
    qint64 m_Interval = -1; // the interval under way: floor(t / publish interval)
};
