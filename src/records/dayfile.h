#pragma once
// A record file that grows while a sensor is recorded: records are kept in memory until the
// next flush, which appends them, makes them durable, and only then counts them in the
// header. A crash or a power cut loses at most the records since the last flush; a file cut
// between the two writes holds uncounted bytes past its records, which the next open cuts off
// (and which the window's reader ignores).
#include "recorddata.h"

#include <QString>
#include <cstdint>
#include <vector>

class DayFile
{
public:
    DayFile() = default;
    ~DayFile();
    DayFile(const DayFile &) = delete;
    DayFile &operator=(const DayFile &) = delete;

    // Opens `path` to record `channel`, `unit` seconds a record. An existing file of that
    // channel and unit is continued; one that is not a record file of them is set aside as
    // "<path>.damaged" and a new one starts at `start` (UTC seconds); a new file is made by
    // the first flush. False, with the system's reason, when the file cannot be opened.
    bool Open(const QString &path, int channel, uint32_t start, int unit, QString *error);
    void Close();
    bool IsOpen() const { return m_bOpen; }

    // The record of the second `t`: the records between the last one and `t` become gap
    // records. False (nothing stored) for a time before the end of the file, or so far after
    // it that the file would hold more records than a record file may.
    bool Add(uint32_t t, const _SRecordItem &record);
    // Appends the records added since the last flush and syncs, then writes the header with
    // the new count and syncs again. False, with the reason, when a write failed; the records
    // stay pending for the next try.
    bool Flush(QString *error);

    QString Path() const { return m_Path; }
    uint32_t StartTime() const { return m_Start; }
    // The first second after the last record (written or pending).
    int64_t EndTime() const;
    int Count() const { return m_Written + int(m_Pending.size()); }
    int Written() const { return m_Written; }
    int Pending() const { return int(m_Pending.size()); }

private:
    bool Continue(QString *error);
    bool WriteHeader(int count, QString *error);

    QString m_Path;
    int m_Fd = -1;      // opened by the first flush of a new file
    bool m_bOpen = false;
    int m_Channel = 0;
    int m_Unit = 1;
    uint32_t m_Start = 0;
    int m_Written = 0; // records counted in the header on disk
    std::vector<_SRecordItem> m_Pending;
};
