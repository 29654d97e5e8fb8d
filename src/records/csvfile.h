#pragma once
// Records as comma-separated text for other programs (RFC 4180, UTF-8): a head line naming the
// columns, one row per sample with its local time in ISO 8601 and its UTC offset, no rows for a
// pause. Read back into a record image whose step is the most common one between rows.
#include "recorddata.h"

#include <QByteArray>
#include <QString>
#include <QVector>
#include <cstdint>

struct CsvLayout {
    int m_Channel = 0;     // 0: PM2.5 (and PM10) in µg/m³, tenths; 1: HCHO or TVOC in mg/m³
    int m_ValueCount = 1;  // 2: a PM10 column too (channel 0 only)
    bool m_bTVOC = false;  // channel 1 names its column tvoc_mgm3
};

// The image's measured records from `start` (UTC seconds) `unit` seconds apart, or at their own
// `stamps` when given (one per record).
QByteArray RecordsToCsv(const _SRecordData &image, uint32_t start, int unit,
                        const QVector<uint32_t> *stamps, const CsvLayout &layout);

// Fills `image` from a CSV text (its earlier records are released). False, with the row and the
// reason in `why`, when the text is refused: an unknown head line, a row without its fields, a
// time that is no ISO 8601 time with an offset or is not after the row before or off the step,
// a value out of range, or rows spanning more records than an image holds.
bool CsvToImage(const QByteArray &text, _SRecordData *image, CsvLayout *layout, QString *why);
