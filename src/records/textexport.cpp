// The text export (".xls"): tab-separated rows a spreadsheet opens as a table.
#include "grecorddatapro.h"

#include "safesave.h"

#include <QVector>
#include <charconv>
#include <cstring>

namespace {

constexpr int FLUSH_BYTES = 1 << 16;

// Local clock texts for UTC seconds, converted once per minute: the zone's offset changes only
// on whole minutes, so the seconds of a row follow from its minute.
class LocalTimes
{
public:
    enum Format { Seconds, Minutes, DayMinutes }; // hh:mm:ss, hh:mm, MM.dd hh:mm

    explicit LocalTimes(Format format) : m_Format(format) {}

    void Append(QByteArray &out, qint64 utc)
    {
        const qint64 minute = utc - Mod60(utc);
        if (minute != m_Minute || !m_WholeMinute) {
            const QDateTime local = QDateTime::fromSecsSinceEpoch(minute);
            m_Minute = minute;
            m_Date = local.date();
            m_Time = local.time();
            m_WholeMinute = m_Time.second() == 0;
            if (!m_WholeMinute) // an offset with seconds (old local mean times)
                m_Time = QDateTime::fromSecsSinceEpoch(utc).time();
        }
        if (m_Format == DayMinutes) {
            Two(out, m_Date.month());
            out += '.';
            Two(out, m_Date.day());
            out += ' ';
        }
        Two(out, m_Time.hour());
        out += ':';
        Two(out, m_Time.minute());
        if (m_Format == Seconds) {
            out += ':';
            Two(out, m_WholeMinute ? int(utc - minute) : m_Time.second());
        }
    }

private:
    static qint64 Mod60(qint64 t) { return ((t % 60) + 60) % 60; }
    static void Two(QByteArray &out, int v)
    {
        out += char('0' + v / 10 % 10);
        out += char('0' + v % 10);
    }

    Format m_Format;
    qint64 m_Minute = -1;
    bool m_WholeMinute = false;
    QDate m_Date;
    QTime m_Time;
};

// "%g" with six significant digits, whatever the C locale's decimal point.
void AppendValue(QByteArray &out, double v)
{
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 6);
    out.append(buf, int(r.ptr - buf));
}

// The row number left-aligned in five characters; longer numbers whole.
void AppendNumber(QByteArray &out, int n)
{
    char buf[16];
    const auto r = std::to_chars(buf, buf + sizeof buf, n);
    const int len = int(r.ptr - buf);
    out.append(buf, len);
    for (int i = len; i < 5; ++i)
        out += ' ';
}

class TextOut
{
public:
    explicit TextOut(const QString &path) : m_File(path) {}

    QByteArray &Buffer() { return m_Buf; }
    void EndLine()
    {
        m_Buf += "\r\n";
        if (m_Buf.size() >= FLUSH_BYTES)
            Flush();
    }
    bool Commit(QString *error)
    {
        Flush();
        if (m_File.Commit())
            return true;
        if (error)
            *error = m_File.ErrorString();
        return false;
    }

private:
    void Flush()
    {
        m_File.Write(m_Buf);
        m_Buf.clear();
    }

    SafeSave m_File;
    QByteArray m_Buf;
};

void AppendRow(TextOut &out, int number, LocalTimes &times, qint64 utc, double a, double b,
               bool twoValues)
{
    QByteArray &line = out.Buffer();
    AppendNumber(line, number);
    line += '\t';
    times.Append(line, utc);
    line += '\t';
    AppendValue(line, a);
    if (twoValues) {
        line += "       \t";
        AppendValue(line, b);
    }
    out.EndLine();
}

} // namespace

bool GRecordDataPro::SaveTextFile(QString path, int mode, const QVector<uint32_t> &histTimes,
                                  QString *error)
{
    const _SRealData *s = m_pRealData;
    const _SRecordData *image = m_pRecordData;
    if (!s || !image)
        return false;
    TextOut out(path);
    const bool twoValues = m_ValueCount == 2;
    QByteArray &head = out.Buffer();
    head += "Data Count:" + QByteArray::number(s->m_DataCount);
    out.EndLine();
    out.EndLine();
    head += twoValues ? "number\ttime       \tPM25Value\tPM10Value\t" : "number\ttime        \tValue\t";
    out.EndLine();

    const qint64 start = m_StartTime.toSecsSinceEpoch();
    if (mode != 2) {
        LocalTimes times(LocalTimes::Seconds);
        const int n = qBound(0, int(s->m_DataCount), int(s->m_MaxDataCount));
        for (int i = 0; i < n; ++i)
            AppendRow(out, i + 1, times, start + qint64(s->m_pDataSec[i]), s->m_pData0[i],
                      s->m_pData1[i], twoValues); // a pause leaves no rows
        return out.Commit(error);
    }
    // A history is written as the sensor sent it, one row per value, whatever the zoom.
    LocalTimes times(m_bStampedHistory ? LocalTimes::DayMinutes : LocalTimes::Minutes);
    const int n = image->m_pItems ? qBound(0, int(image->m_Count), int(image->m_MaxCount)) : 0;
    const double scale = m_ValueScale > 0 ? m_ValueScale : 10;
    int row = 0;
    for (int i = 0; i < n; ++i) {
        const _SRecordItem &r = image->m_pItems[i];
        if (RecordIsGap(r))
            continue; // a block the download dropped
        if (m_bStampedHistory && i >= histTimes.size())
            break; // a value without its stamp would be written at the epoch
        const qint64 utc =
            m_bStampedHistory ? histTimes[i] : start + qint64(i) * s->m_DataSecUnit;
        AppendRow(out, ++row, times, utc, r.m_PM25 / scale, r.m_PM10 / scale, twoValues);
    }
    return out.Commit(error);
}
