#include "recordrecovery.h"

#include "recordfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QRegularExpression>
#include <QStandardPaths>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace {

const QString kStampFormat = QStringLiteral("yyyyMMdd-hhmmss");

// An image with its own copy of the records, for a writer on another thread.
struct Copy {
    _SRecordData image;
    QString path;

    Copy() = default;
    Copy(const Copy &) = delete;
    Copy(Copy &&other) noexcept : image(other.image), path(std::move(other.path))
    {
        other.image.m_pItems = nullptr;
    }
    ~Copy() { std::free(image.m_pItems); }
};

bool CopyImage(const _SRecordData &from, Copy *to)
{
    to->image = from;
    to->image.m_pItems = nullptr;
    const int n = std::min(from.m_Count, from.m_MaxCount);
    if (!from.m_pItems || n < 1)
        return false;
    to->image.m_pItems = static_cast<_SRecordItem *>(std::malloc(size_t(n) * sizeof(_SRecordItem)));
    if (!to->image.m_pItems)
        return false;
    std::memcpy(to->image.m_pItems, from.m_pItems, size_t(n) * sizeof(_SRecordItem));
    to->image.m_Count = n;
    to->image.m_MaxCount = n;
    return true;
}

// A process of that id exists (ours to signal or not): its session may be writing.
bool ProcessRuns(qint64 pid)
{
    return pid > 0 && pid <= INT32_MAX && (::kill(pid_t(pid), 0) == 0 || errno == EPERM);
}

} // namespace

RecordRecovery::RecordRecovery(QString folder, const QDateTime &sessionStart)
    : m_Folder(std::move(folder))
{
    NewSession(sessionStart);
}

RecordRecovery::~RecordRecovery()
{
    Wait();
}

QString RecordRecovery::DefaultFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)
           + QStringLiteral("/recovery");
}

void RecordRecovery::NewSession(const QDateTime &sessionStart)
{
    m_Session = sessionStart.toUTC().toString(kStampFormat) + QLatin1Char('-')
                + QString::number(QCoreApplication::applicationPid());
    if (++m_Sessions > 1)
        m_Session += QLatin1Char('-') + QString::number(m_Sessions);
}

QString RecordRecovery::FileName(int channel) const
{
    return QDir(m_Folder).filePath(QStringLiteral("%1-ch%2.str").arg(m_Session).arg(channel));
}

int RecordRecovery::RemoveOldSessions(const QDateTime &now) const
{
    // <start>[-<pid>[-<n>]]-ch<N>.str, and QSaveFile's unfinished <name>.XXXXXX beside it.
    static const QRegularExpression name(
        QStringLiteral("^\\d{8}-\\d{6}(?:-(\\d+)(?:-\\d+)?)?-ch\\d+\\.str(\\.[A-Za-z0-9]{6})?$"));
    const QDateTime limit = now.toUTC().addDays(-KEEP_DAYS);
    QDir dir(m_Folder);
    int removed = 0;
    for (const QFileInfo &file : dir.entryInfoList(QDir::Files | QDir::Hidden)) {
        const QRegularExpressionMatch m = name.match(file.fileName());
        if (!m.hasMatch())
            continue; // not ours
        // A session that ran for weeks is judged by its last write, not by its start.
        bool remove = file.lastModified() < limit;
        if (!m.captured(2).isEmpty() && !m.captured(1).isEmpty())
            remove = remove || !ProcessRuns(m.captured(1).toLongLong());
        if (remove && dir.remove(file.fileName()))
            ++removed;
    }
    return removed;
}

bool RecordRecovery::WriteAsync(const std::vector<const _SRecordData *> &images)
{
    if (m_Pending.valid()
        && m_Pending.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
        return false;
    if (m_Pending.valid())
        Collect(m_Pending.get());
    std::vector<Copy> copies;
    for (size_t channel = 0; channel < images.size(); ++channel) {
        Copy c;
        if (!images[channel] || !CopyImage(*images[channel], &c))
            continue; // nothing recorded on this channel yet
        c.image.m_Channel = int(channel);
        c.path = FileName(int(channel));
        copies.push_back(std::move(c));
    }
    const QString folder = m_Folder;
    m_Pending = std::async(std::launch::async, [folder, copies = std::move(copies)]() mutable {
        bool ok = QDir().mkpath(folder);
        for (Copy &c : copies)
            ok = RecordDataWrite(&c.image, c.path.toLocal8Bit().constData(), c.image.m_Channel)
                     > 0
                 && ok;
        return ok;
    });
    return true;
}

bool RecordRecovery::Wait()
{
    if (!m_Pending.valid())
        return true;
    const bool ok = m_Pending.get();
    Collect(ok);
    return ok;
}

void RecordRecovery::Collect(bool ok)
{
    m_bFailed = m_bFailed || !ok;
}

bool RecordRecovery::TakeFailure()
{
    if (m_Pending.valid()
        && m_Pending.wait_for(std::chrono::seconds(0)) == std::future_status::ready)
        Collect(m_Pending.get());
    return std::exchange(m_bFailed, false);
}
