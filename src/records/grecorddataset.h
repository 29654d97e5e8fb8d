#pragma once
// The record set of one measuring channel: live, file and history streams, one of them
// current (shown and exported).
#include "grecorddatapro.h"

#include <QDateTime>
#include <QVector>
#include <cstdint>

class SCodeUsb;

class GRecordDataSet
{
public:
    GRecordDataSet() = default;
    ~GRecordDataSet();
    GRecordDataSet(const GRecordDataSet &) = delete;
    GRecordDataSet &operator=(const GRecordDataSet &) = delete;

    // Makes the three streams; false when one could not be allocated (it stays null).
    bool Create();
    bool Destroy();
    // Exchanges everything the two sets hold (streams, stamps, mode).
    void Swap(GRecordDataSet &other);
    // 0 live, 1 file, 2 history; any other mode leaves m_pCurrent.
    int SetMode(unsigned char mode, unsigned char collect);
    GRecordDataPro *GetData(int index);
    bool StartLive();
    // flag 0: first channel (tenths), 1: second channel (thousandths). The first sample of the
    // live stream starts it at its own second; after a clock jump the stream starts again.
    void AddLiveData(const TAG_T_SPM25Data &rec, int flag);
    // Seconds by which the clock has jumped away from the live stream's time line: set back by
    // more than JUMP_BACK_SEC, or on by more than JUMP_ON_SEC; 0 otherwise (smaller steps are
    // pauses, or samples ahead of the clock).
    qint64 ClockJump() const;
    static constexpr qint64 JUMP_BACK_SEC = 60;
    static constexpr qint64 JUMP_ON_SEC = 3600;
    // Downloads the sensor's history of the channel (PM10 first when devState is 2) into the
    // history stream and makes it current. Returns the number of values kept; 0 also when
    // nothing changed (no reply, or a download that ended before keeping anything).
    uint16_t StoreHistory(SCodeUsb *link, int channel, QDateTime now, int secPerRecord,
                          int tvocFlag, int devState);

    // Writes the downloaded history as a record file that opens at the same times: its own
    // start and interval; a stamped history from its first stamp, each value in the slot of its
    // own stamp and the slots between as gap records. False (and the reason) when there is none
    // or the file could not be written.
    bool SaveHistoryFile(const QString &path, int channel, QString *error) const;

    GRecordDataPro *m_pLive = nullptr;
    GRecordDataPro *m_pFile = nullptr;
    GRecordDataPro *m_pHistory = nullptr;
    GRecordDataPro *m_pCurrent = nullptr; // not owned
    QVector<uint32_t> histtime;           // time stamps of the downloaded history values
    unsigned char m_bCollect = 0;
    unsigned char m_Mode = 0;
    int m_DevType = 0;
};

// The window's record-set array, for readers that cannot reach the window (time-axis labels);
// null while no sets exist.
extern GRecordDataSet *g_pRecordSets;
