#pragma once
// One data stream (live, file or history): the record image and the display series, filled
// side by side.
#include "frame.h"
#include "realdata.h"
#include "recorddata.h"

#include <QDateTime>
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
    // Fills the series from a downloaded history in the record image; false when refused
    // (no series or image, non-positive seconds per record or width).
    bool RecordDataToRealData(uint32_t endTime, int channel, int secPerRecord, int width);
    // Fills the series from a record image read from a file; the caller picks the zoom.
    void RecordDataToRealData2(int channel);

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
};
