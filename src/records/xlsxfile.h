#pragma once
// Records as a spreadsheet for people: one sheet per local day, real date-time cells in local
// wall time and numeric value cells, so that every locale reads them right. Written in the
// library's constant-memory mode: two weeks of one-second samples fit in a few megabytes.
#include "csvfile.h"

#include <QString>

// What the head rows of every sheet say about the samples.
struct XlsxHead {
    QString m_Model;    // the sensor's model name
    QString m_Identity; // the identity text the sensor gives
    QString m_Source;   // "live", "history" or the file the samples came from
};

// Writes the image's measured records (times as for RecordsToCsv) to `path`, replacing it
// whole or not at all. False, with the reason in `error`, when the file could not be written.
bool RecordsToXlsx(const QString &path, const _SRecordData &image, uint32_t start, int unit,
                   const QVector<uint32_t> *stamps, const CsvLayout &layout, const XlsxHead &head,
                   QString *error);
