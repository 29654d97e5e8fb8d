#include "publisher.h"

#include "log.h"

#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSysInfo>
#include <cmath>
#include <mosquitto.h>
#include <unistd.h>

namespace {

constexpr int QOS = 1;
constexpr int BACKOFF_MAX_SEC = 60;
constexpr int STOP_WAIT_MS = 2000;

QByteArray Number(double v, int decimals)
{
    return QByteArray::number(v, 'f', decimals);
}

// The entities a sensor has: key in the state JSON, name, class, unit, value template.
struct Entity {
    const char *key;
    const char *name;
    const char *deviceClass; // null: none
    const char *unit;        // null: none
    const char *value;
};

const Entity ENTITIES[] = {
    {"pm25", "PM2.5", "pm25", "µg/m³", "{{ value_json.pm25 }}"},
    {"pm10", "PM10", "pm10", "µg/m³", "{{ value_json.pm10 }}"},
    {"aqi", "Air quality index", "aqi", nullptr, "{{ value_json.aqi }}"},
    {"hcho", "Formaldehyde", nullptr, "mg/m³", "{{ value_json.hcho }}"},
    // Home Assistant's class for TVOC is in µg/m³: the sensor's mg/m³ converted.
    {"tvoc", "TVOC", "volatile_organic_compounds", "µg/m³",
     "{{ (value_json.tvoc * 1000) | round(0) }}"},
};

} // namespace

Publisher::Publisher(const RecorderOptions &options, const QString &version)
    : m_Options(options), m_Version(version),
      m_Standard(options.m_AqiStandard == QLatin1String("us-epa") ? AqiStandard::UsEpa
                                                                   : AqiStandard::China)
{
}

Publisher::~Publisher()
{
    Stop();
}

QByteArray Publisher::Topic(const QString &serial, const char *leaf) const
{
    QString t = m_Options.m_TopicPrefix;
    if (!serial.isEmpty())
        t += QLatin1Char('/') + serial;
    return (t + QLatin1Char('/') + QLatin1String(leaf)).toUtf8();
}

bool Publisher::Start()
{
    mosquitto_lib_init();
    const QByteArray id = (m_Options.m_TopicPrefix + QStringLiteral("-recorder-")
                           + QSysInfo::machineHostName())
                              .toUtf8()
                              .left(64);
    // A session the broker keeps: what was in flight when it went is sent again.
    m_Mosq = mosquitto_new(id.constData(), false, this);
    if (!m_Mosq) {
        Log(LogLevel::Error, QStringLiteral("MQTT: the client could not be made"));
        return false;
    }
    mosquitto_threaded_set(m_Mosq, true);
    mosquitto_int_option(m_Mosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    const QByteArray status = Topic(QString(), "status");
    mosquitto_will_set(m_Mosq, status.constData(), 7, "offline", QOS, true);
    if (!m_Options.m_MqttUser.isEmpty() || !m_Options.m_MqttPasswordFile.isEmpty()) {
        QByteArray password;
        QFile file(m_Options.m_MqttPasswordFile);
        if (!m_Options.m_MqttPasswordFile.isEmpty()) {
            if (!file.open(QIODevice::ReadOnly)) {
                Log(LogLevel::Error, QStringLiteral("MQTT: %1: %2")
                                         .arg(file.fileName(), file.errorString()));
                return false;
            }
            password = file.readLine().trimmed();
        }
        mosquitto_username_pw_set(m_Mosq, m_Options.m_MqttUser.toUtf8().constData(),
                                  password.isEmpty() ? nullptr : password.constData());
    }
    if (!m_Options.m_MqttTlsCa.isEmpty()) {
        const int rc = mosquitto_tls_set(m_Mosq, QFile::encodeName(m_Options.m_MqttTlsCa),
                                         nullptr, nullptr, nullptr, nullptr);
        if (rc != MOSQ_ERR_SUCCESS) {
            Log(LogLevel::Error, QStringLiteral("MQTT: TLS: %1")
                                     .arg(QString::fromUtf8(mosquitto_strerror(rc))));
            return false;
        }
    }
    mosquitto_connect_callback_set(m_Mosq, [](mosquitto *, void *self, int rc) {
        if (rc == 0)
            static_cast<Publisher *>(self)->m_bConnectedOnce = true;
        QMetaObject::invokeMethod(static_cast<Publisher *>(self), "Connected",
                                  Qt::QueuedConnection, Q_ARG(int, rc));
    });
    mosquitto_disconnect_callback_set(m_Mosq, [](mosquitto *, void *self, int rc) {
        QMetaObject::invokeMethod(static_cast<Publisher *>(self), "Disconnected",
                                  Qt::QueuedConnection, Q_ARG(int, rc));
    });
    mosquitto_message_callback_set(
        m_Mosq, [](mosquitto *, void *self, const mosquitto_message *m) {
            const QByteArray topic(m->topic);
            const QByteArray payload(static_cast<const char *>(m->payload), m->payloadlen);
            QMetaObject::invokeMethod(static_cast<Publisher *>(self), "Received",
                                      Qt::QueuedConnection, Q_ARG(QByteArray, topic),
                                      Q_ARG(QByteArray, payload));
        });
    mosquitto_log_callback_set(m_Mosq, [](mosquitto *, void *self, int level, const char *text) {
        if (level & MOSQ_LOG_ERR)
            QMetaObject::invokeMethod(static_cast<Publisher *>(self), "LibraryError",
                                      Qt::QueuedConnection, Q_ARG(QByteArray, QByteArray(text)));
    });
    m_bStarted = true;
    m_Thread = std::thread([this] { Network(); });
    return true;
}

void Publisher::Pause(int seconds)
{
    std::unique_lock<std::mutex> lock(m_PauseMutex);
    m_Wake.wait_for(lock, std::chrono::seconds(seconds), [this] { return m_bStop.load(); });
}

void Publisher::Network()
{
    const int port = m_Options.m_MqttPort > 0 ? m_Options.m_MqttPort
                     : m_Options.m_MqttTlsCa.isEmpty() ? 1883
                                                       : 8883;
    const QByteArray host = m_Options.m_MqttHost.toUtf8();
    int backoff = 1;
    bool first = true;
    while (!m_bStop) {
        const int rc = first ? mosquitto_connect(m_Mosq, host.constData(), port, KEEPALIVE_SEC)
                             : mosquitto_reconnect(m_Mosq);
        if (rc == MOSQ_ERR_SUCCESS) {
            first = false;
            // Also after Stop: the last messages and the DISCONNECT go out first.
            int loop = MOSQ_ERR_SUCCESS;
            while (!m_bAbort && loop == MOSQ_ERR_SUCCESS)
                loop = mosquitto_loop(m_Mosq, 100, 1);
            if (m_bStop)
                break;
        } else {
            const QByteArray why = rc == MOSQ_ERR_ERRNO ? QByteArray(strerror(errno))
                                                        : QByteArray(mosquitto_strerror(rc));
            QMetaObject::invokeMethod(this, "LibraryError", Qt::QueuedConnection,
                                      Q_ARG(QByteArray, "cannot connect to " + host + ":"
                                                            + QByteArray::number(port) + ": "
                                                            + why));
        }
        if (m_bConnectedOnce.exchange(false))
            backoff = 1; // the broker had taken us: the next try in a second
        Pause(backoff);
        backoff = std::min(backoff * 2, BACKOFF_MAX_SEC);
    }
    m_bDone = true;
}

void Publisher::Stop()
{
    if (!m_bStarted)
        return;
    m_bStarted = false;
    if (m_bConnected) {
        for (auto &[serial, s] : m_Sensors)
            if (s.m_bOnline)
                Send(Topic(serial, "status"), "offline", true);
        Send(Topic(QString(), "status"), "offline", true);
    }
    {
        std::lock_guard<std::mutex> lock(m_PauseMutex);
        m_bStop = true;
    }
    m_Wake.notify_all();
    mosquitto_disconnect(m_Mosq); // queued after the last messages
    // A broker that never answers does not hold the exit for long.
    for (int i = 0; i < STOP_WAIT_MS / 50 && !m_bDone; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    m_bAbort = true;
    if (m_Thread.joinable())
        m_Thread.join();
    mosquitto_destroy(m_Mosq);
    m_Mosq = nullptr;
    mosquitto_lib_cleanup();
}

void Publisher::Send(const QByteArray &topic, const QByteArray &payload, bool retain)
{
    if (!m_Mosq || !m_bConnected)
        return;
    mosquitto_publish(m_Mosq, nullptr, topic.constData(), payload.size(), payload.constData(),
                      QOS, retain);
}

void Publisher::SendState(const QByteArray &topic, const QByteArray &payload, qint64 t)
{
    if (m_bConnected && m_Mosq
        && mosquitto_publish(m_Mosq, nullptr, topic.constData(), payload.size(),
                             payload.constData(), QOS, false)
               == MOSQ_ERR_SUCCESS)
        return;
    m_Waiting.push_back({topic, payload, t});
    // Only the last hour waits: the rest is dropped, and counted.
    while (!m_Waiting.empty() && m_Waiting.front().m_Time < t - KEEP_SECONDS) {
        m_Waiting.pop_front();
        ++m_Dropped;
    }
}

void Publisher::Connected(int rc)
{
    if (rc != 0) {
        Log(LogLevel::Error, QStringLiteral("MQTT: the broker refused the connection: %1")
                                 .arg(QString::fromUtf8(mosquitto_connack_string(rc))));
        return;
    }
    m_bConnected = true;
    Log(LogLevel::Info, QStringLiteral("MQTT: connected to %1").arg(m_Options.m_MqttHost));
    Send(Topic(QString(), "status"), "online", true);
    if (!m_Options.m_DiscoveryPrefix.isEmpty()) {
        const QByteArray ha = (m_Options.m_DiscoveryPrefix + QStringLiteral("/status")).toUtf8();
        mosquitto_subscribe(m_Mosq, nullptr, ha.constData(), QOS);
    }
    for (auto &[serial, s] : m_Sensors) {
        s.m_Told.clear();
        if (s.m_bOnline)
            Announce(serial, s);
        else // it went while the broker was away: its retained "online" is stale
            Send(Topic(serial, "status"), "offline", true);
    }
    if (m_Dropped > 0)
        Log(LogLevel::Warning, QStringLiteral("MQTT: %1 states older than an hour were dropped "
                                              "while the broker was away")
                                   .arg(m_Dropped));
    m_Dropped = 0;
    std::deque<Message> waiting;
    waiting.swap(m_Waiting);
    for (const Message &m : waiting)
        SendState(m.m_Topic, m.m_Payload, m.m_Time);
}

void Publisher::Disconnected(int rc)
{
    const bool was = m_bConnected;
    m_bConnected = false;
    if (was && !m_bStop)
        Log(LogLevel::Warning, QStringLiteral("MQTT: the connection to %1 was lost (%2); "
                                              "connecting again")
                                   .arg(m_Options.m_MqttHost,
                                        QString::fromUtf8(mosquitto_strerror(rc))));
}

void Publisher::Received(const QByteArray &topic, const QByteArray &payload)
{
    // Home Assistant started again: it learns the sensors anew.
    if (topic == (m_Options.m_DiscoveryPrefix + QStringLiteral("/status")).toUtf8()
        && payload == "online") {
        for (auto &[serial, s] : m_Sensors) {
            s.m_Told.clear();
            if (s.m_bOnline)
                Announce(serial, s);
        }
    }
}

void Publisher::LibraryError(const QByteArray &line)
{
    Log(LogLevel::Error, QStringLiteral("MQTT: %1").arg(QString::fromUtf8(line)));
}

void Publisher::SensorOnline(const QString &serial, const QString &model, bool pm10)
{
    Sensor &s = m_Sensors[serial];
    s.m_Model = model;
    s.m_bPM10 = pm10;
    s.m_bOnline = true;
    s.m_Told.clear();
    Announce(serial, s);
}

void Publisher::SensorOffline(const QString &serial)
{
    auto it = m_Sensors.find(serial);
    if (it == m_Sensors.end())
        return;
    it->second.m_bOnline = false;
    Send(Topic(serial, "status"), "offline", true);
}

void Publisher::Announce(const QString &serial, Sensor &s)
{
    if (!m_bConnected)
        return; // on the next connect
    if (s.m_Told.isEmpty()) // the sensor's own availability comes with its first entities
        Send(Topic(serial, "status"), "online", true);
    if (m_Options.m_DiscoveryPrefix.isEmpty())
        return;
    const QString object = QStringLiteral("pm25monitor_") + serial;
    const QJsonObject device{{"identifiers", QJsonArray{object}},
                             {"name", QStringLiteral("Air-quality sensor ") + serial},
                             {"model", s.m_Model},
                             {"sw_version", m_Version}};
    const QJsonObject origin{{"name", "pm25monitor-recorder"}, {"sw_version", m_Version}};
    const QJsonArray availability{
        QJsonObject{{"topic", QString::fromUtf8(Topic(QString(), "status"))}},
        QJsonObject{{"topic", QString::fromUtf8(Topic(serial, "status"))}}};
    for (const Entity &e : ENTITIES) {
        const QString key = QLatin1String(e.key);
        const bool has = key == QLatin1String("pm25") || key == QLatin1String("aqi")
                         || (key == QLatin1String("pm10") && s.m_bPM10) || key == s.m_Gas;
        if (!has || s.m_Told.contains(key))
            continue;
        QJsonObject config{{"name", QLatin1String(e.name)},
                           {"unique_id", object + QLatin1Char('_') + key},
                           {"object_id", object + QLatin1Char('_') + key},
                           {"state_topic", QString::fromUtf8(Topic(serial, "state"))},
                           {"value_template", QLatin1String(e.value)},
                           {"state_class", "measurement"},
                           {"availability", availability},
                           {"availability_mode", "all"},
                           {"device", device},
                           {"origin", origin}};
        if (e.deviceClass)
            config.insert("device_class", QLatin1String(e.deviceClass));
        if (e.unit)
            config.insert("unit_of_measurement", QString::fromUtf8(e.unit));
        const QByteArray topic = (m_Options.m_DiscoveryPrefix + QStringLiteral("/sensor/")
                                  + object + QLatin1Char('/') + key + QStringLiteral("/config"))
                                     .toUtf8();
        Send(topic, QJsonDocument(config).toJson(QJsonDocument::Compact), true);
        s.m_Told.insert(key);
    }
}

void Publisher::Sample(const QString &serial, unsigned char code, qint64 t,
                       const TAG_T_SPM25Data &r)
{
    auto it = m_Sensors.find(serial);
    if (it == m_Sensors.end())
        return;
    Sensor &s = it->second;
    Tick(t); // an interval that ended before this sample goes out first
    if (code == DATA_GAS_17 || code == DATA_GAS_33) {
        const QString gas = code == DATA_GAS_33 ? QStringLiteral("tvoc") : QStringLiteral("hcho");
        if (s.m_Gas != gas) {
            s.m_Gas = gas;
            Announce(serial, s); // a new entity
        }
        s.m_Sum[2] += r.m_PM25 / 1000.0;
        ++s.m_GasCount;
        return;
    }
    const double pm25 = r.m_PM25 / 10.0;
    const double pm10 = s.m_bPM10 ? r.m_PM10 / 10.0 : -1;
    s.m_Sum[0] += pm25;
    if (s.m_bPM10)
        s.m_Sum[1] += pm10;
    ++s.m_Count;
    s.m_Aqi.Add(t, pm25, pm10);
}

void Publisher::Tick(qint64 now)
{
    const qint64 interval = now / m_Options.m_PublishInterval;
    if (m_Interval < 0)
        m_Interval = interval;
    if (interval == m_Interval)
        return;
    PublishInterval(interval * m_Options.m_PublishInterval);
    m_Interval = interval;
}

QByteArray Publisher::StateJson(Sensor &s, qint64 end) const
{
    QByteArray json = "{\"time\":\""
                      + QDateTime::fromSecsSinceEpoch(end, Qt::UTC)
                            .toString(Qt::ISODate)
                            .toLatin1()
                      + "\"";
    if (s.m_Count > 0) {
        json += ",\"pm25\":" + Number(s.m_Sum[0] / s.m_Count, 1);
        if (s.m_bPM10)
            json += ",\"pm10\":" + Number(s.m_Sum[1] / s.m_Count, 1);
    }
    if (s.m_GasCount > 0)
        json += ",\"" + s.m_Gas.toLatin1() + "\":" + Number(s.m_Sum[2] / s.m_GasCount, 3);
    const AqiReading aqi = s.m_Aqi.Read(m_Standard, end);
    if (aqi.m_bAny && !aqi.m_bProvisional)
        json += ",\"aqi\":" + QByteArray::number(aqi.m_Index);
    json += ",\"samples\":" + QByteArray::number(std::max(s.m_Count, s.m_GasCount)) + "}";
    return json;
}

void Publisher::PublishInterval(qint64 end)
{
    for (auto &[serial, s] : m_Sensors) {
        if (s.m_Count == 0 && s.m_GasCount == 0)
            continue; // no message for an interval without samples
        SendState(Topic(serial, "state"), StateJson(s, end), end);
        s.m_Sum[0] = s.m_Sum[1] = s.m_Sum[2] = 0;
        s.m_Count = s.m_GasCount = 0;
    }
}
