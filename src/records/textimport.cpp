#include "textimport.h"

#include "realdata.h"

#include <QDateTime>
#include <QtDebug>
#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cmath>
#include <optional>
#include <string_view>

namespace {

constexpr int SECONDS_PER_DAY = 86400;

class Lines
{
public:
    explicit Lines(const QByteArray &text) : m_Rest(text.constData(), size_t(text.size())) {}

    // The next line without its LF (and a CR before it); false at the end of the text.
    bool Next(std::string_view *line)
    {
        if (m_Rest.empty())
            return false;
        const size_t lf = m_Rest.find('\n');
        *line = m_Rest.substr(0, lf);
        m_Rest = lf == std::string_view::npos ? std::string_view() : m_Rest.substr(lf + 1);
        if (!line->empty() && line->back() == '\r')
            line->remove_suffix(1);
        return true;
    }

private:
    std::string_view m_Rest;
};

void DebugLine(std::string_view text)
{
    qDebug("mOneLine=%.*s\n", int(text.size()), text.data());
}

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

std::string_view NextWord(std::string_view *rest)
{
    size_t i = 0;
    while (i < rest->size() && IsSpace((*rest)[i]))
        ++i;
    size_t j = i;
    while (j < rest->size() && !IsSpace((*rest)[j]))
        ++j;
    const std::string_view word = rest->substr(i, j - i);
    rest->remove_prefix(j);
    return word;
}

template <typename T>
std::optional<T> Number(std::string_view word)
{
    if (!word.empty() && word.front() == '+')
        word.remove_prefix(1);
    T v{};
    const auto r = std::from_chars(word.data(), word.data() + word.size(), v);
    if (word.empty() || r.ec != std::errc() || r.ptr != word.data() + word.size())
        return std::nullopt;
    return v;
}

// Splits at the first `sep`: the part before it, the rest after it; nothing without `sep`.
std::optional<std::string_view> UpTo(std::string_view *rest, char sep)
{
    const size_t at = rest->find(sep);
    if (at == std::string_view::npos)
        return std::nullopt;
    const std::string_view part = rest->substr(0, at);
    rest->remove_prefix(at + 1);
    return part;
}

// "Date:yyyy.M.d-..." (the rest of the line, usually a time, is not used).
std::optional<QDate> DateLine(std::string_view line)
{
    const auto token = UpTo(&line, ':');
    DebugLine(token.value_or(line));
    if (token != std::string_view("Date"))
        return std::nullopt;
    const auto y = UpTo(&line, '.');
    const auto m = y ? UpTo(&line, '.') : std::nullopt;
    const auto d = m ? UpTo(&line, '-') : std::nullopt;
    DebugLine(line);
    if (!d)
        return std::nullopt;
    const auto year = Number<int>(*y), month = Number<int>(*m), day = Number<int>(*d);
    if (!year || !month || !day || !QDate::isValid(*year, *month, *day))
        return std::nullopt;
    return QDate(*year, *month, *day);
}

std::optional<int> CountLine(std::string_view line)
{
    const auto token = UpTo(&line, ':');
    DebugLine(token.value_or(line));
    if (token != std::string_view("Data Count"))
        return std::nullopt;
    DebugLine(line);
    const auto count = Number<int>(NextWord(&line));
    // A larger count would thin the image half-way through the rows.
    if (!count || *count < 1 || *count > REAL_DATA_CAPACITY)
        return std::nullopt;
    return count;
}

// "h:m:s"; a negative second reads as 0.
std::optional<QTime> TimeOfDay(std::string_view word)
{
    const auto h = UpTo(&word, ':');
    const auto m = h ? UpTo(&word, ':') : std::nullopt;
    if (!m)
        return std::nullopt;
    const auto hour = Number<int>(*h), minute = Number<int>(*m), second = Number<int>(word);
    if (!hour || !minute || !second)
        return std::nullopt;
    const int s = std::max(0, *second);
    if (!QTime::isValid(*hour, *minute, s))
        return std::nullopt;
    return QTime(*hour, *minute, s);
}

// A value field: missing at the end of the row reads as 0.
std::optional<double> Value(std::string_view word)
{
    if (word.empty())
        return 0.0;
    return Number<double>(word);
}

// A value in tenths as the value display truncates it (20.4 is 204, 12.36 is 123); nothing
// for values a record word cannot hold.
std::optional<uint16_t> Tenths(double v)
{
    if (!std::isfinite(v) || v < 0)
        return std::nullopt;
    const double tenths = std::trunc(v * 10 + 1e-6);
    if (tenths > 65535)
        return std::nullopt;
    return uint16_t(tenths);
}

struct Row {
    int number;
    std::string_view time;
    bool valued; // false: a value cannot be stored; the row still has its place and time
    uint16_t a;
    uint16_t b;
};

std::optional<Row> DataRow(std::string_view line)
{
    const auto number = Number<int>(NextWord(&line));
    if (!number || *number <= 0)
        return std::nullopt;
    const std::string_view time = NextWord(&line);
    const auto a = Value(NextWord(&line));
    const auto b = Value(NextWord(&line));
    if (a && b)
        qDebug("index=%d. time=%.*s pm25=%f pm10=%f\n", *number, int(time.size()), time.data(),
               *a, *b);
    const auto ta = a ? Tenths(*a) : std::nullopt;
    const auto tb = b ? Tenths(*b) : std::nullopt;
    return Row{*number, time, ta && tb, ta.value_or(0), tb.value_or(0)};
}

} // namespace

bool RecordTextToImage(const QByteArray &text, _SRecordData *image)
{
    if (!image)
        return false;
    Lines lines(text);
    std::string_view line;
    const auto date = lines.Next(&line) ? DateLine(line) : std::nullopt;
    if (!date)
        return false;
    const auto count = lines.Next(&line) ? CountLine(line) : std::nullopt;
    if (!count)
        return false;
    bool head = false;
    while (!head && lines.Next(&line)) {
        DebugLine(line);
        head = line.find("number\ttime") != std::string_view::npos;
    }
    if (!head)
        return false;

    RecordDataInitHeader(image);
    if (!RecordDataAlloc(image, *count))
        return false;
    // A row that is missing or cannot be stored is a gap, not a measured zero.
    std::fill(image->m_pItems, image->m_pItems + *count, RECORD_GAP_ITEM);
    std::optional<QTime> first, second;
    int highest = 0;
    while (lines.Next(&line)) {
        const auto row = DataRow(line);
        if (!row)
            continue;
        // Rows 1 and 2 date the image: their times must be real times of day.
        std::optional<QTime> time;
        if (row->number <= 2 && !(time = TimeOfDay(row->time)))
            return false;
        if (row->number > *count)
            continue; // beyond the count
        if (row->valued)
            RecordDataAdd(image, 0, 0, row->a, row->b, row->number - 1);
        highest = std::max(highest, row->number);
        if (row->number == 1)
            first = time;
        else if (row->number == 2)
            second = time;
    }
    image->m_Count = highest; // the count follows the highest row, not the last one stored
    int interval = 1;
    if (first && second) {
        interval = first->secsTo(*second);
        if (interval < 0)
            interval += SECONDS_PER_DAY; // row 2 is past midnight
        if (interval == 0)
            interval = 1;
    }
    image->m_SecUnit = interval;
    const QDateTime start(*date, first.value_or(QTime(0, 0)), Qt::LocalTime);
    const qint64 secs = start.toSecsSinceEpoch();
    if (!start.isValid() || secs < 0 || secs > qint64(UINT32_MAX))
        return false;
    image->m_StartTime = uint32_t(secs);
    image->m_Channel = 0;
    return true;
}
