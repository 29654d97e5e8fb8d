// The simulated sensor's stored history as the device serves it: page numbers on both
// links, lost pages, six-value pages and three-page blocks with their dates.
#include "simsensor.h"

#include <algorithm>
#include <ctime>

namespace sim {

int SimSensor::historyPageOf(const Frame& f, Link link)
{
    if (f[2] == kCmdHistoryPage)
        return f[3];
    if (f[2] != kCmdHistoryBlock || isClearRequest(f))
        return -1;
    if (link == Link::Usb)
        return int(usbPage(f[3], f[4]));
    return f[3] + 256 * (f[17] & 3);
}

// A USB request carries only the low 8 bits of its page. A download asks its pages in order
// and may ask one again, so the sensor serves the page last served or the one after it when
// the bits match; any other request begins a new download.
unsigned SimSensor::usbPage(uint8_t low, uint8_t kind)
{
    if (kind != m_usbKind) {
        m_usbKind = kind;
        m_usbCursor = low;
    }
    unsigned page = low;
    for (unsigned next : {m_usbCursor, m_usbCursor + 1}) {
        if ((next & 0xFF) == low && next < historyPageLimit()) {
            page = next;
            break;
        }
    }
    m_usbCursor = page;
    return page;
}

unsigned SimSensor::historyPageLimit() const
{
    const std::size_t values = std::max<std::size_t>(m_history.size(), reportedCount());
    return unsigned(std::min<std::size_t>((values + 11) / 12 * 3, 1024));
}

void SimSensor::losePage(unsigned page, uint8_t kind, unsigned times)
{
    m_lostPages[{kind, page}] = times;
}

bool SimSensor::pageLost(unsigned page, uint8_t kind)
{
    for (const auto& key : {std::make_pair(kind, page), std::make_pair(uint8_t(0), page)}) {
        auto it = m_lostPages.find(key);
        if (it == m_lostPages.end() || it->second == 0)
            continue;
        if (it->second != kAlways)
            --it->second;
        ++m_stats.repliesDropped;
        return true;
    }
    return false;
}


uint16_t SimSensor::historyWord(std::size_t index, uint8_t kind) const
{
    if (index >= m_history.size())
        return 0;
    const HistoryValue& v = m_history[index];
    switch (kind) {
    case 5:
        return v.pm10;
    case 2:
    case 3:
        return v.second;
    default:
        return v.pm25;
    }
}

Frame SimSensor::historyPage(uint8_t page) const
{
    Frame f{};
    f[3] = page;
    for (std::size_t k = 0; k < 6; ++k)
        putFrameWord(f, 4 + 2 * k, historyWord(6U * page + k, 1));
    if (page == 0)
        putFrameWord(f, 16, reportedCount());
    return f;
}

std::array<uint8_t, 4> SimSensor::blockDate(std::size_t block) const
{
    const std::size_t first = 12 * block;
    if (first >= m_history.size())
        return {0, 0, 0, 0};
    // The program stamps the block's last value 5 minutes after the block date, whatever the
    // type's step.
    const std::size_t last = std::min(first + 11, m_history.size() - 1);
    const int64_t stamp = m_history[last].time - int64_t(kHistoryStep);
    std::tm tm{};
    if (m_config.utcOffsetSeconds) {
        const time_t t = time_t(stamp + *m_config.utcOffsetSeconds);
        gmtime_r(&t, &tm);
    } else {
        const time_t t = time_t(stamp);
        ::tzset();
        localtime_r(&t, &tm);
    }
    auto date = packBlockDate(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min);
    if (m_invalidDates.count(block))
        date[0] &= 0xF0; // month 0
    return date;
}

Frame SimSensor::historyBlock(unsigned page, uint8_t kind) const
{
    Frame f{};
    f[3] = uint8_t(page & 0xFF);
    f[17] = uint8_t((page >> 8) & 3);
    f[4] = kind;
    const std::size_t block = page / 3;
    const std::size_t base = 12 * block;
    switch (page % 3) {
    case 0: {
        const auto date = blockDate(block);
        std::copy(date.begin(), date.end(), f.begin() + 5);
        for (std::size_t k = 0; k < 3; ++k)
            putFrameWord(f, 9 + 2 * k, historyWord(base + k, kind));
        break;
    }
    case 1:
        for (std::size_t k = 0; k < 5; ++k)
            putFrameWord(f, 5 + 2 * k, historyWord(base + 3 + k, kind));
        break;
    default:
        for (std::size_t k = 0; k < 4; ++k)
            putFrameWord(f, 5 + 2 * k, historyWord(base + 8 + k, kind));
        break;
    }
    if (page == 0)
        putFrameWord(f, 15, reportedCount());
    return f;
}

Frame SimSensor::countReply() const
{
    Frame f{};
    f[3] = uint8_t(std::min(reportedCount() / 4, 255));
    f[4] = kSubCount;
    return f;
}

Frame SimSensor::cleared() const
{
    Frame f{};
    f[4] = kSubCleared;
    putFrameWord(f, 15, reportedCount());
    return f;
}


} // namespace sim
