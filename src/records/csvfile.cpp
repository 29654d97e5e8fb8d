#include "csvfile.h"

#include "civiltime.h"

#include <string_view>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <unordered_map>
#include <vector>

namespace {

const char *const HEADS[] = {"time,pm25_ugm3", "time,pm25_ugm3,pm10_ugm3", "time,hcho_mgm3",
                             "time,tvoc_mgm3"};

char *Digits(char *p, int64_t v, int width)
{
    for (int i = width - 1; i >= 0; --i, v /= 10)
        p[i] = char('0' + v % 10);
    return p + width;
}

// "2026-12-08T15:04:03+01:00"
char *FormatTime(char *p, int64_t t, int offset)
{
    const CivilTime c = CivilAt(t + offset);
    p = Digits(p, c.m_Year, 4);
    *p++ = '-';
    p = Digits(p, c.m_Month, 2);
    *p++ = '-';
    p = Digits(p, c.m_MonthDay, 2);
    *p++ = 'T';
    p = Digits(p, c.m_Hour, 2);
    *p++ = ':';
    p = Digits(p, c.m_Minute, 2);
    *p++ = ':';
    p = Digits(p, c.m_Second, 2);
    *p++ = offset < 0 ? '-' : '+';
    const int off = std::abs(offset);
    p = Digits(p, off / 3600, 2);
    *p++ = ':';
    return Digits(p, off / 60 % 60, 2);
}

// A raw word as a value: tenths with one decimal, thousandths with three.
char *FormatValue(char *p, uint16_t w, int decimals)
{
    const int scale = decimals == 1 ? 10 : 1000;
    const auto r = std::to_chars(p, p + 8, w / scale);
    p = r.ptr;
    *p++ = '.';
    return Digits(p, w % scale, decimals);
}

bool Fail(QString *why, qint64 row, const QString &reason)
{
    if (why)
        *why = row > 0 ? QStringLiteral("row %1: %2").arg(row).arg(reason) : reason;
    return false;
}

// A field without the double quotes RFC 4180 allows around it.
std::string_view Unquote(std::string_view f)
{
    if (f.size() >= 2 && f.front() == '"' && f.back() == '"')
        f = f.substr(1, f.size() - 2);
    return f;
}

bool Number(std::string_view f, int digits, int *out)
{
    if (f.size() != size_t(digits))
        return false;
    int v = 0;
    for (const char c : f) {
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + (c - '0');
    }
    *out = v;
    return true;
}

// "yyyy-MM-ddTHH:mm:ss" with "Z" or "+hh:mm" / "-hh:mm"; UTC seconds.
bool ParseTime(std::string_view f, int64_t *t)
{
    int y, mo, d, h, mi, s;
    if (f.size() < 20 || f[4] != '-' || f[7] != '-' || (f[10] != 'T' && f[10] != ' ')
        || f[13] != ':' || f[16] != ':' || !Number(f.substr(0, 4), 4, &y)
        || !Number(f.substr(5, 2), 2, &mo) || !Number(f.substr(8, 2), 2, &d)
        || !Number(f.substr(11, 2), 2, &h) || !Number(f.substr(14, 2), 2, &mi)
        || !Number(f.substr(17, 2), 2, &s))
        return false;
    static const int monthDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (mo < 1 || mo > 12 || d < 1 || d > monthDays[mo - 1] || h > 23 || mi > 59 || s > 59)
        return false;
    if (mo == 2 && d == 29 && !QDate::isLeapYear(y))
        return false;
    int offset = 0;
    const std::string_view zone = f.substr(19);
    if (zone != "Z") {
        int oh, om;
        if (zone.size() != 6 || (zone[0] != '+' && zone[0] != '-') || zone[3] != ':'
            || !Number(zone.substr(1, 2), 2, &oh) || !Number(zone.substr(4, 2), 2, &om)
            || oh > 23 || om > 59)
            return false;
        offset = (zone[0] == '-' ? -1 : 1) * (oh * 3600 + om * 60);
    }
    *t = DaysFromCivil(y, mo, d) * 86400 + h * 3600 + mi * 60 + s - offset;
    return true;
}

bool ParseValue(std::string_view f, double scale, uint16_t *word)
{
    double v = 0;
    const auto r = std::from_chars(f.data(), f.data() + f.size(), v);
    if (r.ec != std::errc() || r.ptr != f.data() + f.size() || !std::isfinite(v) || v < 0)
        return false;
    const double scaled = std::round(v * scale);
    if (scaled > 65535)
        return false;
    *word = uint16_t(scaled);
    return true;
}

struct Row {
    int64_t t;
    uint16_t a;
    uint16_t b;
};

// The step that most pairs of neighbouring rows have (the smallest of equals).
int64_t CommonStep(const std::vector<Row> &rows)
{
    std::unordered_map<int64_t, int> counts;
    for (size_t i = 1; i < rows.size(); ++i)
        ++counts[rows[i].t - rows[i - 1].t];
    int64_t best = 1;
    int most = 0;
    for (const auto &[step, n] : counts)
        if (n > most || (n == most && step < best)) {
            best = step;
            most = n;
        }
    return best;
}

} // namespace

QByteArray RecordsToCsv(const _SRecordData &image, uint32_t start, int unit,
                        const QVector<uint32_t> *stamps, const CsvLayout &layout)
{
    const int n = image.m_pItems ? std::clamp(int(image.m_Count), 0, int(image.m_MaxCount)) : 0;
    const int head = layout.m_Channel != 0 ? (layout.m_bTVOC ? 3 : 2)
                                           : (layout.m_ValueCount == 2 ? 1 : 0);
    const bool pm10 = head == 1;
    const int decimals = layout.m_Channel != 0 ? 3 : 1;
    QByteArray out(HEADS[head]);
    out += "\r\n";
    constexpr int ROW_BYTES = 25 + 2 * 10 + 4; // time, two values, separators, CRLF
    out.reserve(out.size() + n * ROW_BYTES);
    char row[64];
    LocalOffset offset;
    const bool stamped = stamps && stamps->size() >= n;
    for (int i = 0; i < n; ++i) {
        const _SRecordItem &r = image.m_pItems[i];
        if (RecordIsGap(r))
            continue; // a pause has no rows
        const int64_t t = stamped ? int64_t((*stamps)[i]) : int64_t(start) + int64_t(i) * unit;
        char *p = FormatTime(row, t, offset.At(t));
        *p++ = ',';
        p = FormatValue(p, r.m_PM25, decimals);
        if (pm10) {
            *p++ = ',';
            p = FormatValue(p, r.m_PM10, decimals);
        }
        *p++ = '\r';
        *p++ = '\n';
        out.append(row, int(p - row));
    }
    return out;
}

bool CsvToImage(const QByteArray &text, _SRecordData *image, CsvLayout *layout, QString *why)
{
    std::string_view rest(text.constData(), size_t(text.size()));
    if (rest.substr(0, 3) == "\xEF\xBB\xBF")
        rest.remove_prefix(3);
    auto nextLine = [&rest]() {
        const size_t end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        return line;
    };
    const std::string_view headLine = nextLine();
    int head = -1;
    for (int i = 0; i < 4; ++i)
        if (headLine == HEADS[i])
            head = i;
    if (head < 0)
        return Fail(why, 1, QStringLiteral("the head line is none of \"time,pm25_ugm3\", "
                                           "\"time,pm25_ugm3,pm10_ugm3\", \"time,hcho_mgm3\", "
                                           "\"time,tvoc_mgm3\""));
    CsvLayout found;
    found.m_Channel = head >= 2 ? 1 : 0;
    found.m_ValueCount = head == 1 ? 2 : 1;
    found.m_bTVOC = head == 3;
    const double scale = found.m_Channel ? 1000 : 10;
    const size_t fields = head == 1 ? 3 : 2;

    std::vector<Row> rows;
    for (qint64 line = 2; !rest.empty(); ++line) {
        const std::string_view cells = nextLine();
        if (cells.empty())
            continue;
        std::string_view field[3];
        size_t count = 0;
        for (std::string_view f = cells;; ++count) {
            const size_t comma = f.find(',');
            if (count < 3)
                field[count] = Unquote(f.substr(0, comma));
            if (comma == std::string_view::npos)
                break;
            f.remove_prefix(comma + 1);
        }
        if (count + 1 != fields)
            return Fail(why, line, QStringLiteral("%1 fields where the head names %2")
                                       .arg(count + 1)
                                       .arg(fields));
        Row r{0, 0, 0};
        if (!ParseTime(field[0], &r.t))
            return Fail(why, line,
                        QStringLiteral("the time is no ISO 8601 time with its offset"));
        if (!ParseValue(field[1], scale, &r.a)
            || (fields == 3 && !ParseValue(field[2], scale, &r.b)))
            return Fail(why, line, QStringLiteral("a value is no number from 0 to %1")
                                       .arg(65535 / scale));
        if (!rows.empty() && r.t <= rows.back().t)
            return Fail(why, line, QStringLiteral("its time is not after the row before"));
        if (rows.size() >= size_t(RECORD_THIN_THRESHOLD))
            return Fail(why, line,
                        QStringLiteral("more rows than %1").arg(RECORD_THIN_THRESHOLD));
        rows.push_back(r);
    }
    if (rows.empty())
        return Fail(why, 0, QStringLiteral("it has no rows"));
    const int64_t start = rows.front().t;
    if (start < 0 || start > int64_t(UINT32_MAX))
        return Fail(why, 2, QStringLiteral("the time is before 1970 or after 2106"));
    const int64_t step = CommonStep(rows);
    if (step > 86400)
        return Fail(why, 0, QStringLiteral("the rows are more than a day apart"));
    for (size_t i = 0; i < rows.size(); ++i) {
        const int64_t span = rows[i].t - start;
        if (span % step != 0)
            return Fail(why, qint64(i) + 2, QStringLiteral("its time is not a whole number of "
                                                           "%1 s steps after the first row")
                                                .arg(step));
        if (span / step >= RECORD_THIN_THRESHOLD)
            return Fail(why, qint64(i) + 2, QStringLiteral("the rows span more than %1 records")
                                                .arg(RECORD_THIN_THRESHOLD));
    }

    const int records = int((rows.back().t - start) / step) + 1;
    RecordDataFree(image);
    if (!RecordDataAlloc(image, records))
        return Fail(why, 0, QStringLiteral("there is not enough memory"));
    std::fill(image->m_pItems, image->m_pItems + records, RECORD_GAP_ITEM);
    for (const Row &r : rows)
        image->m_pItems[(r.t - start) / step] = _SRecordItem{0, 0, r.a, r.b};
    image->m_Count = records;
    image->m_NextIndex = records;
    image->m_StartTime = uint32_t(start);
    image->m_SecUnit = int32_t(step);
    image->m_Channel = found.m_Channel;
    if (layout)
        *layout = found;
    return true;
}
