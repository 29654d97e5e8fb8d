#pragma once
// The record file (".str"): a 28-byte header and the raw records of one record image.
#include "recorddata.h"

#include <QString>

constexpr int RECORD_FILE_HEADER = 28;    // version 3
constexpr int RECORD_FILE_HEADER_V1 = 24; // version 1 has no channel word

// Writes the image's m_Count records with the channel word; the file is replaced only once it
// is complete. -1: no records, or the file could not be written; -2: no record array. A file of
// that name is left untouched on failure. Positive on success.
// `error` (optional) gets the system's reason for a failed write.
int RecordDataWrite(_SRecordData *image, const char *path, int channel, QString *error = nullptr);
// Reads a record file into the image. -1: cannot be opened; -2: header short or impossible
// (no or negative counts, a second count above the first, more than the image capacity, seconds per
// record not positive); -3: fewer records than the header announces. The image is untouched
// on failure. Positive on success; the capacity then equals the count read at offset 8.
int RecordDataRead(_SRecordData *image, const char *path);
// The header checks of RecordDataRead without reading the records: fills the header fields
// and m_Channel of `header` (its record array is not touched). Same results.
int RecordDataReadHeader(_SRecordData *header, const char *path);
