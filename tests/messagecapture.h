#pragma once
// Collects the debug lines written through the Qt message logger while it lives.
#include <QMutex>
#include <QMutexLocker>
#include <QStringList>
#include <QtGlobal>

class MessageCapture
{
public:
    MessageCapture() : m_Previous(qInstallMessageHandler(&MessageCapture::Handler))
    {
        Current() = this;
    }
    ~MessageCapture()
    {
        qInstallMessageHandler(m_Previous);
        Current() = nullptr;
    }
    QStringList Lines() const
    {
        QMutexLocker lock(&m_Mutex);
        return m_Lines;
    }
    int Count(const QString &line) const { return Lines().count(line); }
    int CountStartingWith(const QString &prefix) const
    {
        int n = 0;
        for (const QString &l : Lines())
            n += l.startsWith(prefix) ? 1 : 0;
        return n;
    }
    void Clear()
    {
        QMutexLocker lock(&m_Mutex);
        m_Lines.clear();
    }

private:
    static MessageCapture *&Current()
    {
        static MessageCapture *current = nullptr;
        return current;
    }
    static void Handler(QtMsgType, const QMessageLogContext &, const QString &msg)
    {
        if (MessageCapture *c = Current()) {
            QMutexLocker lock(&c->m_Mutex);
            c->m_Lines << msg;
        }
    }
    QtMessageHandler m_Previous;
    mutable QMutex m_Mutex;
    QStringList m_Lines;
};
