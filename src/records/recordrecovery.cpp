#include "recordrecovery.h"

#include "recordfile.h"

#include <QDir>
#include <QRegularExpression>
#include <QStandardPaths>
#include <chrono>
#include <cstdlib>
#include <cstring>

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

} // namespace

RecordRecovery::RecordRecovery(QString folder, const QDateTime &sessionStart)
    : m_Folder(std::move(folder)), m_Session(sessionStart.toUTC().toString(kStampFormat))
{
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

QString RecordRecovery::FileName(int channel) const
{
    return QDir(m_Folder).filePath(QStringLiteral("%1-ch%2.str").arg(m_Session).arg(channel));
}

int RecordRecovery::RemoveOldSessions(const QDateTime &now) const
{
    static const QRegularExpression name(QStringLiteral("^(\\d{8}-\\d{6})-ch\\d+\\.str$"));
    const QDateTime limit = now.toUTC().addDays(-KEEP_DAYS);
    QDir dir(m_Folder);
    int removed = 0;
    for (const QString &file : dir.entryList(QDir::Files)) {
        const QRegularExpressionMatch m = name.match(file);
        if (!m.hasMatch())
            continue; // not ours
        QDateTime start = QDateTime::fromString(m.captured(1), kStampFormat);
        start.setTimeSpec(Qt::UTC);
        if (start.isValid() && start < limit && dir.remove(file))
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
        m_Pending.get();
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
    return m_Pending.valid() ? m_Pending.get() : true;
}
