#include "simsensor.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <utility>

namespace sim {

namespace {

bool isFirstChannel(uint8_t kind) { return kind != 17 && kind != 33; }

// Spreads a seed over all bits; xorshift must never start from 0.
uint32_t mixSeed(uint32_t x)
{
    x ^= x >> 16;
    x *= 0x7feb352dU;
    x ^= x >> 15;
    x *= 0x846ca68bU;
    x ^= x >> 16;
    return x ? x : 0x9e3779b9U;
}

// Random walk step that stays inside [lo, hi].
uint16_t walk(uint16_t v, int step, uint16_t lo, uint16_t hi)
{
    int n = int(v) + step;
    if (n < lo)
        n = 2 * lo - n;
    if (n > hi)
        n = 2 * hi - n;
    return uint16_t(std::clamp(n, int(lo), int(hi)));
}

} // namespace

uint16_t frameWord(const Frame& f, std::size_t pos)
{
    return uint16_t(f[pos] | (f[pos + 1] << 8));
}

void putFrameWord(Frame& f, std::size_t pos, uint16_t value)
{
    f[pos] = uint8_t(value & 0xFF);
    f[pos + 1] = uint8_t(value >> 8);
}

uint8_t frameChecksum(const Frame& f)
{
    unsigned sum = 0;
    for (std::size_t i = 3; i <= 17; ++i)
        sum += f[i];
    return uint8_t(sum & 0xFF);
}

void sealFrame(Frame& f, uint8_t command)
{
    f[1] = kHead;
    f[2] = command;
    f[18] = frameChecksum(f);
    f[19] = kTail;
}

bool isClearRequest(const Frame& f)
{
    return f[2] == kCmdHistoryBlock && f[5] == 1 && f[3] == 0 && f[4] == 0;
}

Frame makeRequest(uint8_t command, bool usb, std::initializer_list<std::pair<std::size_t, uint8_t>> data)
{
    Frame f{};
    f[0] = usb ? 0x02 : 0x00;
    for (const auto& [pos, value] : data)
        f.at(pos) = value;
    sealFrame(f, command);
    return f;
}

uint32_t historyStep(uint8_t deviceType)
{
    return deviceType == 2 ? 311 : deviceType == 20 ? 297 : kHistoryStep;
}

std::array<uint8_t, 4> packBlockDate(int year, int month, int day, int hour, int minute)
{
    const int y = std::clamp(year, 2015, 2030) - 2015;
    return {uint8_t((y << 4) | (month & 0x0F)), uint8_t(day), uint8_t(hour), uint8_t(minute)};
}

SimSensor::SimSensor(Config config) : m_config(std::move(config))
{
    reseed(m_config.seed);
    m_nextDueMs = m_config.periodMs;
}

void SimSensor::setIdentity(const char* fourChars)
{
    std::array<uint8_t, 4> id{};
    std::memcpy(id.data(), fourChars, std::min<std::size_t>(4, std::strlen(fourChars)));
    m_config.identity = id;
}

void SimSensor::setPeriodMs(uint32_t ms)
{
    m_config.periodMs = ms;
    m_nextDueMs = m_nowMs + ms;
}

void SimSensor::reseed(uint32_t seed)
{
    m_config.seed = seed;
    // Separate streams, so that garbage or history never shifts the measurement values.
    m_measureRng = mixSeed(seed ^ 0x6d656173U);
    m_historyRng = mixSeed(seed ^ 0x68697374U);
    m_garbageRng = mixSeed(seed ^ 0x67617262U);
    m_walks.clear();
}

uint16_t SimSensor::identityAux() const
{
    return uint16_t(m_config.identity[0] | (m_config.identity[1] << 8));
}

uint32_t SimSensor::random(uint32_t& state)
{
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
}

void SimSensor::generateHistory(std::size_t n, int64_t endTime)
{
    m_history.clear();
    m_history.reserve(n);
    uint16_t pm25 = uint16_t(100 + random(m_historyRng) % 800);
    uint16_t gas = uint16_t(10 + random(m_historyRng) % 290);
    for (std::size_t i = 0; i < n; ++i) {
        HistoryValue v;
        pm25 = walk(pm25, int(random(m_historyRng) % 61) - 30, 100, 900);
        gas = walk(gas, int(random(m_historyRng) % 11) - 5, 10, 300);
        v.pm25 = pm25;
        v.pm10 = uint16_t(pm25 + 20 + random(m_historyRng) % 180);
        v.second = gas;
        v.time = endTime - int64_t(historyStep(m_config.deviceType)) * int64_t(n - 1 - i);
        m_history.push_back(v);
    }
}

uint16_t SimSensor::reportedCount() const
{
    if (m_reportedCount)
        return *m_reportedCount;
    return uint16_t(std::min<std::size_t>(m_history.size(), 0xFFFF));
}

void SimSensor::handleUsbRequest(const uint8_t* buf, std::size_t len)
{
    if (len < kFrameSize) {
        ++m_stats.malformedRequests;
        return;
    }
    Frame f;
    std::memcpy(f.data(), buf, kFrameSize);
    if (f[1] != kHead || f[19] != kTail || f[18] != frameChecksum(f)) {
        ++m_stats.malformedRequests;
        return;
    }
    handleRequest(f, Link::Usb);
}

void SimSensor::feedSerialBytes(const uint8_t* data, std::size_t len)
{
    m_serialIn.insert(m_serialIn.end(), data, data + len);
    std::size_t pos = 0;
    // Step one byte past anything that is not a whole, valid frame.
    while (m_serialIn.size() - pos >= 1) {
        const uint8_t* p = m_serialIn.data() + pos;
        if (p[0] != kHead) {
            ++pos;
            ++m_stats.skippedSerialBytes;
            continue;
        }
        if (m_serialIn.size() - pos < kWireSize)
            break;
        Frame f{};
        std::memcpy(f.data() + 1, p, kWireSize);
        if (f[19] != kTail || f[18] != frameChecksum(f)) {
            ++pos;
            ++m_stats.skippedSerialBytes;
            continue;
        }
        pos += kWireSize;
        handleRequest(f, Link::Serial);
    }
    m_serialIn.erase(m_serialIn.begin(), m_serialIn.begin() + std::ptrdiff_t(pos));
}

void SimSensor::handleRequest(const Frame& f, Link link)
{
    if (m_unplugged)
        return;
    if (m_requests.size() >= kMaxRecord)
        m_requests.erase(m_requests.begin(), m_requests.begin() + kMaxRecord / 4);
    const int page = historyPageOf(f, link);
    m_requests.push_back({link, f, page});
    ++m_stats.requestsByCommand[f[2]];
    if (page >= 0 && m_silentFromPage && unsigned(page) >= *m_silentFromPage)
        m_silent = true;
    if (m_silent)
        return;

    const bool paged = pagedHistory(m_config.deviceType);
    switch (f[2]) {
    case kCmdDeviceInfo:
        reply(deviceInfo(), kCmdDeviceInfo);
        break;
    case kCmdSerialId:
        reply(serialId(), kCmdSerialId);
        break;
    case kCmdHistoryPage:
        if (paged && !pageLost(f[3], 0))
            reply(historyPage(f[3]), kCmdHistoryPage);
        break;
    case kCmdHistoryBlock: {
        if (isClearRequest(f)) {
            m_history.clear();
            reply(cleared(), kCmdHistoryBlock);
            break;
        }
        const uint8_t kind = f[4];
        const bool known = kind == 1 || kind == 2 || kind == 3 || kind == 5;
        if (paged || !known || pageLost(unsigned(page), kind))
            break;
        if (page == 0 && m_countReply != CountReply::None) {
            reply(countReply(), kCmdHistoryBlock);
            if (m_countReply == CountReply::Instead)
                break;
        }
        reply(historyBlock(unsigned(page), kind), kCmdHistoryBlock);
        break;
    }
    default:
        break; // unknown requests go unanswered, as on a real device
    }
}

void SimSensor::reply(Frame f, uint8_t command)
{
    if (m_dropReplies > 0) {
        --m_dropReplies;
        ++m_stats.repliesDropped;
        return;
    }
    f[0] = kUsbReplyByte0;
    sealFrame(f, command);
    enqueueFrame(f);
    ++m_stats.replies;
}

void SimSensor::enqueue(Outgoing o)
{
    if (o.garbage.empty()) {
        o.loseAt = std::exchange(m_loseAt, std::nullopt);
        o.addAt = std::exchange(m_addAt, std::nullopt);
    }
    // Bounded like a device's buffer: with nobody reading, the oldest frames go.
    if (m_out.size() >= kMaxQueue) {
        m_out.pop_front();
        ++m_stats.overflowDropped;
    }
    m_out.push_back(std::move(o));
}

void SimSensor::enqueueFrame(const Frame& f)
{
    Outgoing o;
    o.frame = f;
    if (m_wrongSums)
        o.frame[18] = uint8_t(o.frame[18] ^ 0x5A);
    enqueue(std::move(o));
}

Frame SimSensor::deviceInfo() const
{
    Frame f{};
    std::copy(m_config.serial6.begin(), m_config.serial6.end(), f.begin() + 3);
    std::copy(m_config.identity.begin(), m_config.identity.end(), f.begin() + 9);
    f[13] = m_config.deviceType;
    return f;
}

Frame SimSensor::serialId() const
{
    Frame f{};
    std::copy(m_config.serial7.begin(), m_config.serial7.end(), f.begin() + 3);
    return f;
}

void SimSensor::advance(uint32_t ms)
{
    m_nowMs += ms;
    const uint64_t period = m_config.periodMs;
    if (period == 0 || m_nextDueMs > m_nowMs)
        return;
    // A long jump would only push its own frames out of the queue again.
    const uint64_t due = (m_nowMs - m_nextDueMs) / period + 1;
    if (due > kMaxQueue) {
        const uint64_t skip = due - kMaxQueue;
        m_nextDueMs += skip * period;
        if (!m_silent && !m_unplugged)
            m_stats.overflowDropped += unsigned(skip * m_config.kinds.size());
    }
    for (; m_nextDueMs <= m_nowMs; m_nextDueMs += period) {
        if (m_silent || m_unplugged)
            continue;
        for (uint8_t kind : m_config.kinds)
            emitMeasurement(kind);
    }
}

Measurement SimSensor::nextMeasurement(uint8_t kind)
{
    auto queued = m_nextMeasurements.find(kind);
    if (queued != m_nextMeasurements.end() && !queued->second.empty()) {
        Measurement m = queued->second.front();
        queued->second.pop_front();
        return m;
    }

    const bool first = isFirstChannel(kind);
    const uint16_t lo = first ? 100 : 10;
    const uint16_t hi = first ? 900 : 300;
    auto [it, fresh] = m_walks.try_emplace(kind);
    Walk& w = it->second;
    if (fresh) {
        w.value = uint16_t(lo + random(m_measureRng) % (hi - lo));
        w.base = uint16_t(2000 + random(m_measureRng) % 100);
    }
    const int span = first ? 41 : 11;
    w.value = walk(w.value, int(random(m_measureRng) % span) - span / 2, lo, hi);
    w.base = walk(w.base, int(random(m_measureRng) % 11) - 5, 1900, 2200);

    Measurement m;
    m.kind = kind;
    m.wordB = w.base;
    m.wordA = uint16_t(w.base + w.value / 2);
    m.value = w.value;
    m.aux = identityAux();
    m.pm10 = first ? uint16_t(w.value + 20 + random(m_measureRng) % 180) : 0;
    return m;
}

void SimSensor::emitMeasurement(uint8_t kind)
{
    if (m_unplugged)
        return;
    const Measurement m = nextMeasurement(kind);
    Frame f{};
    f[0] = kUsbReplyByte0;
    f[3] = m.kind;
    putFrameWord(f, 4, m.wordA);
    putFrameWord(f, 6, m.wordB);
    putFrameWord(f, 8, m.value);
    putFrameWord(f, 10, m.aux);
    putFrameWord(f, 12, m.pm10);
    f[15] = m_config.identity[2];
    f[16] = m_config.identity[3];
    sealFrame(f, kCmdMeasurement);
    enqueueFrame(f);
    ++m_stats.measurements;
}

void SimSensor::setNextMeasurement(const Measurement& m)
{
    m_nextMeasurements[m.kind].push_back(m);
}

void SimSensor::setNextMeasurement(uint8_t kind, uint16_t wordA, uint16_t wordB, uint16_t value,
                                   uint16_t aux, uint16_t pm10)
{
    setNextMeasurement(Measurement{kind, wordA, wordB, value, aux, pm10});
}

void SimSensor::queueParamPair(uint8_t slot, uint16_t w1, uint16_t w2)
{
    if (m_unplugged)
        return;
    Frame f{};
    f[0] = kUsbReplyByte0;
    f[4] = slot;
    putFrameWord(f, 5, w1);
    putFrameWord(f, 7, w2);
    sealFrame(f, kCmdParam);
    enqueueFrame(f);
}

void SimSensor::queueHistoryPage(uint8_t page, uint16_t value)
{
    if (m_unplugged)
        return;
    Frame f{};
    f[0] = kUsbReplyByte0;
    f[3] = page;
    for (std::size_t k = 0; k < 6; ++k)
        putFrameWord(f, 4 + 2 * k, value);
    sealFrame(f, kCmdHistoryPage);
    enqueueFrame(f);
}

void SimSensor::sendGarbage(std::size_t n)
{
    if (m_unplugged || n == 0)
        return;
    Outgoing o;
    o.garbage.resize(n);
    for (auto& b : o.garbage)
        b = uint8_t(random(m_garbageRng) >> 24);
    enqueue(std::move(o));
}

std::optional<Frame> SimSensor::takeUsbReport()
{
    if (m_unplugged || m_out.empty())
        return std::nullopt;
    Outgoing o = std::move(m_out.front());
    m_out.pop_front();
    if (o.garbage.empty())
        return o.frame;
    Frame g{};
    std::copy_n(o.garbage.begin(), std::min(o.garbage.size(), kFrameSize), g.begin());
    // Garbage must never pass for a frame head, or the fault would not be one.
    if (g[1] == kHead)
        g[1] = 0x55;
    return g;
}

std::vector<uint8_t> SimSensor::takeSerialBytes()
{
    std::vector<uint8_t> bytes;
    if (m_unplugged)
        return bytes;
    for (Outgoing& o : m_out) {
        if (!o.garbage.empty()) {
            bytes.insert(bytes.end(), o.garbage.begin(), o.garbage.end());
            continue;
        }
        std::vector<uint8_t> wire(o.frame.begin() + 1, o.frame.end());
        if (o.loseAt)
            wire.erase(wire.begin() + std::ptrdiff_t(std::min(*o.loseAt, wire.size() - 1)));
        if (o.addAt) {
            const std::size_t at = std::min(o.addAt->first, wire.size());
            wire.insert(wire.begin() + std::ptrdiff_t(at), o.addAt->second);
        }
        bytes.insert(bytes.end(), wire.begin(), wire.end());
    }
    m_out.clear();
    return bytes;
}

std::size_t SimSensor::requestCount(uint8_t command) const
{
    return std::size_t(std::count_if(m_requests.begin(), m_requests.end(),
                                     [&](const Request& r) { return r.image[2] == command; }));
}

std::size_t SimSensor::requestCount(uint8_t command, Link link) const
{
    return std::size_t(std::count_if(m_requests.begin(), m_requests.end(), [&](const Request& r) {
        return r.image[2] == command && r.link == link;
    }));
}

void SimSensor::clearRecord()
{
    m_requests.clear();
    m_stats = Stats{};
}

} // namespace sim
