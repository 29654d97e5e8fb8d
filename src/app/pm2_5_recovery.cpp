// Crash-safe recording: the live record images copied to recovery files every minute and at
// a normal exit, so a crash or a power cut loses at most the last minute.
#include "pm2_5.h"

#include "grecorddataset.h"
#include "recordclock.h"
#include "recordrecovery.h"

#include <QDir>
#include <QStatusBar>
#include <QtDebug>
#include <utility>

void PM2_5::StartRecovery()
{
    const QDateTime now = RecordClockNow();
    m_Recovery = std::make_unique<RecordRecovery>(RecordRecovery::DefaultFolder(), now);
    m_Recovery->RemoveOldSessions(now);
    SetRecoveryInterval(RECOVERY_INTERVAL_MS);
}

void PM2_5::SetRecoveryInterval(int ms)
{
    if (m_RecoveryTimerId)
        killTimer(m_RecoveryTimerId);
    m_RecoveryTimerId = startTimer(ms, Qt::CoarseTimer);
}

bool PM2_5::WriteRecovery()
{
    if (!m_Recovery)
        return false;
    if (m_Recovery->TakeFailure() && !std::exchange(m_bRecoveryWarned, true)) {
        const QString folder = QDir::toNativeSeparators(RecordRecovery::DefaultFolder());
        statusBar()->showMessage(tr("Recovery files could not be written to %1").arg(folder),
                                 RECOVERY_MESSAGE_MS);
    }
    std::vector<const _SRecordData *> images;
    for (int i = 0; i < m_RecordSetCount; ++i) {
        GRecordDataPro *live = m_pRecordSets[i].m_pLive;
        if (live)
            live->StampImageStart();
        images.push_back(live ? live->m_pRecordData : nullptr);
    }
    return m_Recovery->WriteAsync(images);
}

void PM2_5::FinishRecovery()
{
    if (!m_Recovery)
        return;
    m_Recovery->Wait();
    WriteRecovery();
    if (!m_Recovery->Wait())
        qDebug("recovery files not written: %s\n", qPrintable(RecordRecovery::DefaultFolder()));
}
