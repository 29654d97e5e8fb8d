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

    // Files of this session are named after its start (UTC, to the second) and the process, so
    // two sessions started in the same second never share a file.
    RecordRecovery(QString folder, const QDateTime &sessionStart);
    ~RecordRecovery(); // waits for a write under way
    RecordRecovery(const RecordRecovery &) = delete;
    RecordRecovery &operator=(const RecordRecovery &) = delete;

    // The desktop's data location for this program + "/recovery".
    static QString DefaultFolder();
    // Removes the files last written more than KEEP_DAYS before `now`, and the unfinished
    // files a session killed in mid-write left (those of processes that are gone); returns how
    // many went.
    int RemoveOldSessions(const QDateTime &now) const;
    QString FileName(int channel) const;
    // Later writes go to the files of a new session (a clock jump starts one).
    void NewSession(const QDateTime &sessionStart);

    // Copies the images now (the caller may go on changing them) and writes the copies on a
    // worker thread. False, and nothing copied, while the previous write is still under way.
    bool WriteAsync(const std::vector<const _SRecordData *> &images);
    // Waits for a write under way; true when every file of the last write was written.
    bool Wait();
    // True once for each finished write that failed (the files it would have replaced stay).
    bool TakeFailure();

private:
    void Collect(bool ok);

    QString m_Folder;
    QString m_Session;
    int m_Sessions = 0; // sessions this process started so far
    std::future<bool> m_Pending;
    bool m_bFailed = false;
};
