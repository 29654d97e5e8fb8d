#pragma once
// One data stream (live, file or history): the record image and the display series, filled
// side by side.
#include "frame.h"
#include "realdata.h"
#include "recorddata.h"

#include <QDateTime>
#include <QString>
#include <QVector>
#include <cstdint>

class GRecordDataPro
{
public:
    GRecordDataPro();
    ~GRecordDataPro();
    GRecordDataPro(const GRecordDataPro &) = delete;
    GRecordDataPro &operator=(const GRecordDataPro &) = delete;

    // 1000 for the second channel (thousandths), else 10 (tenths).
    double SetValueScale(int flag);
    bool SetStartTimeNow();
    void UpdateTimeOffset();
    // Appends one live sample to the series and the record image (the image keeps it also
    // when the series is full).
    bool AddOneData(const TAG_T_SPM25Data &rec, double scale);
    // The next `seconds` live positions hold no sample: gap records in the image, a jump in
    // time in the series.
    void SkipLiveSeconds(qint64 seconds);
    // Empties the live stream (series, image, positions); the next sample starts it again.
    void RestartLive();
    // Fills the series from a downloaded history in the record image; false when refused
    // (no series or image, non-positive seconds per record or width).
    bool RecordDataToRealData(uint32_t endTime, int channel, int secPerRecord, int width);
    // Fills the series from a record image read from a file; the caller picks the zoom.
    void RecordDataToRealData2(int channel);
    // The image's start time from the stream's (the live image is written without it).
    void StampImageStart();
    // Writes the record image as a record file; false when nothing could be written.
    bool SaveRecordFile(QString path, int channel, QString *error = nullptr);
    // Reads a record file into the image and the series; false (and the stream unchanged) when
    // the file cannot be read or is refused.
    bool LoadRecordFile(QString path, int channel);
    // Writes the stream as a tab-separated text: raw samples (mode 0, 1) or the downloaded
    // history (mode 2), stamped by the sensor (m_bStampedHistory: histTimes, one per record) or
    // from the download's end; a pause or a dropped block writes no rows. False when the file
    // could not be written (an older one then stays as it was).
    bool SaveTextFile(QString path, int mode, const QVector<uint32_t> &histTimes,
                      QString *error = nullptr);

    _SRealData *m_pRealData;     // null when it could not be allocated
    _SRecordData *m_pRecordData; // null when it could not be allocated
    QDateTime m_StartTime;
    double m_ValueScale;

    // Live samples appended so far, fillers included: the position of the next one in seconds
    // from m_StartTime. Keeps counting when the series is full.
    int m_LiveCount;
    // The values last appended, for gap fillers (the series stops holding them once full).
    double m_LastValue0;
    double m_LastValue1;

    // What the samples are, fixed when they were taken, whatever sensor is attached later:
    // values per sample (2: PM2.5 and PM10), and a history labelled from the sensor's own time
    // stamps (it starts at time 0).
    int m_ValueCount = 1;
    bool m_bStampedHistory = false;
};
