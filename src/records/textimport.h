#pragma once
// The text import: a table that begins with a date line and a count line, one row per record,
// converted into a channel-0 record image (values in tenths).
#include "recorddata.h"

#include <QByteArray>

// Fills `image` from the text's bytes (its earlier records are released). False when the
// text is not accepted: no "Date" or "Data Count" line, no valid date, a count below 1 or above
// the series capacity, no column head line, or rows 1 or 2 without a valid time of day. Other
// rows that cannot be stored are skipped.
bool RecordTextToImage(const QByteArray &text, _SRecordData *image);
