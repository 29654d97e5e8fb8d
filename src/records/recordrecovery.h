#pragma once
// Crash-safe copies of the live record images: one record file per channel and session in a
// recovery folder, replaced whole on every write, written off the caller's thread.
#include "recorddata.h"

#include <QDateTime>
#include <QString>
#include <future>
#include <vector>

class RecordRecovery
{
public:
    static constexpr int KEEP_DAYS = 14;

    // Files of this session are named after its start (UTC, to the second).
    RecordRecovery(QString folder, const QDateTime &sessionStart);
    ~RecordRecovery(); // waits for a write under way
    RecordRecovery(const RecordRecovery &) = delete;
    RecordRecovery &operator=(const RecordRecovery &) = delete;

    // The desktop's data location for this program + "/recovery".
    static QString DefaultFolder();
    // Removes the files of sessions that started more than KEEP_DAYS before `now`; returns
    // how many went.
    int RemoveOldSessions(const QDateTime &now) const;
    QString FileName(int channel) const;

    // Copies the images now (the caller may go on changing them) and writes the copies on a
    // worker thread. False, and nothing copied, while the previous write is still under way.
    bool WriteAsync(const std::vector<const _SRecordData *> &images);
    // Waits for a write under way; true when every file of the last write was written.
    bool Wait();

private:
    QString m_Folder;
    QString m_Session;
    std::future<bool> m_Pending;
};
