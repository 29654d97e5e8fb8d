#pragma once
// The simulated air-quality sensor: device state, request handling, measurement
// schedule and fault switches. Pure logic: no I/O, no threads, no clock of its own.
// Written from the frame tables alone; it shares no code with the program.
#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace sim {

constexpr std::size_t kFrameSize = 20; // frame image; USB carries all of it
constexpr std::size_t kWireSize = 19;  // serial carries bytes 1..19
constexpr uint8_t kHead = 0xAA;
constexpr uint8_t kTail = 0xAB;
constexpr uint8_t kUsbReplyByte0 = 0x01;

constexpr uint8_t kCmdMeasurement = 0xA5;
constexpr uint8_t kCmdDeviceInfo = 0xA6;
constexpr uint8_t kCmdParam = 0xA9;
constexpr uint8_t kCmdHistoryPage = 0xAC;
constexpr uint8_t kCmdHistoryBlock = 0xAD;
constexpr uint8_t kCmdSerialId = 0xB5;

constexpr uint8_t kSubCleared = 0xFD;
constexpr uint8_t kSubCount = 0xFE;

constexpr uint32_t kHistoryStep = 300; // seconds between stored values on most types
// Seconds between stored values of a type: type 2 keeps one every 311 s, type 20 every 297 s.
uint32_t historyStep(uint8_t deviceType);

using Frame = std::array<uint8_t, kFrameSize>;

// Frame image helpers (little-endian words).
uint16_t frameWord(const Frame& f, std::size_t pos);
void putFrameWord(Frame& f, std::size_t pos, uint16_t value);
uint8_t frameChecksum(const Frame& f); // sum of bytes 3..17 mod 256
// Head, command, checksum and tail around the data bytes already in f.
void sealFrame(Frame& f, uint8_t command);
// A request frame image as the program would build it (byte 0 = 0x02 for USB, 0 for serial).
// A request that clears the stored history (a history-block request with byte 5 set).
bool isClearRequest(const Frame& f);
Frame makeRequest(uint8_t command, bool usb, std::initializer_list<std::pair<std::size_t, uint8_t>> data = {});

// Packed block date: year-2015 in the high nibble of byte 0, month in the low
// nibble, then day, hour, minute. Years outside 2015..2030 are clamped.
std::array<uint8_t, 4> packBlockDate(int year, int month, int day, int hour, int minute);

struct HistoryValue {
    uint16_t pm25 = 0;   // tenths
    uint16_t pm10 = 0;   // tenths
    uint16_t second = 0; // second channel, thousandths
    int64_t time = 0;    // UTC seconds
};

struct Measurement {
    uint8_t kind = 1;
    uint16_t wordA = 0;
    uint16_t wordB = 0;
    uint16_t value = 0;
    uint16_t aux = 0;
    uint16_t pm10 = 0;
};

enum class Link { Usb, Serial };

struct Request {
    Link link = Link::Usb;
    Frame image{}; // as received; serial requests have byte 0 = 0
    int page = -1; // history requests: the page served (on USB resolved from its low 8 bits)
};

// Where a history count reply with sub-code 0xFE goes relative to the page-0 reply.
enum class CountReply { None, Before, Instead };

struct Config {
    uint8_t deviceType = 4;
    std::array<uint8_t, 4> identity{{'a', 'b', '1', '2'}};
    std::array<uint8_t, 6> serial6{{0x01, 0x02, 0x0A, 0x0B, 0x10, 0xFF}};
    std::array<uint8_t, 7> serial7{{0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE}};
    std::vector<uint8_t> kinds{1};
    uint32_t seed = 1;
    uint32_t periodMs = 1000;
    // Offset of local time from UTC for block dates; unset = the process's time zone.
    std::optional<int32_t> utcOffsetSeconds;
};

struct Stats {
    std::map<uint8_t, unsigned> requestsByCommand;
    unsigned replies = 0;            // replies queued
    unsigned repliesDropped = 0;     // eaten by dropNextReplies
    unsigned measurements = 0;       // 0xA5 frames queued
    unsigned malformedRequests = 0;  // USB frames with bad head, tail or checksum
    unsigned skippedSerialBytes = 0; // bytes the serial framer stepped over
    unsigned overflowDropped = 0;    // frames pushed out of a full queue
};

class SimSensor {
public:
    static constexpr std::size_t kMaxQueue = 1024;
    static constexpr std::size_t kMaxRecord = 100000; // requests kept; the oldest go first

    explicit SimSensor(Config config = {});

    const Config& config() const { return m_config; }
    void setDeviceType(uint8_t type) { m_config.deviceType = type; }
    void setIdentity(const std::array<uint8_t, 4>& id) { m_config.identity = id; }
    void setIdentity(const char* fourChars);
    void setSerial6(const std::array<uint8_t, 6>& s) { m_config.serial6 = s; }
    void setSerial7(const std::array<uint8_t, 7>& s) { m_config.serial7 = s; }
    void setKinds(std::vector<uint8_t> kinds) { m_config.kinds = std::move(kinds); }
    void setPeriodMs(uint32_t ms);
    void setUtcOffset(std::optional<int32_t> seconds) { m_config.utcOffsetSeconds = seconds; }
    void reseed(uint32_t seed);
    // Aux word that carries identity bytes 1 and 2 in every measurement.
    uint16_t identityAux() const;

    // History, oldest first.
    void setHistory(std::vector<HistoryValue> values) { m_history = std::move(values); }
    const std::vector<HistoryValue>& history() const { return m_history; }
    // n values from the seed, historyStep() of the type apart, the last at endTime.
    void generateHistory(std::size_t n, int64_t endTime);
    // Count reported in page 0 instead of the real one; nullopt restores the real one.
    void setReportedCount(std::optional<uint16_t> count) { m_reportedCount = count; }
    uint16_t reportedCount() const;
    void setCountReply(CountReply mode) { m_countReply = mode; }
    // Types 0, 1, 3 and 7 answer history requests with six-value pages (0xAC), the others
    // with 12-value blocks (0xAD); each ignores the other kind of request.
    static bool pagedHistory(uint8_t type) { return type == 0 || type == 1 || type == 3 || type == 7; }

    // Requests in.
    void handleUsbRequest(const uint8_t* buf, std::size_t len = kFrameSize);
    void feedSerialBytes(const uint8_t* data, std::size_t len);

    // Own schedule: the caller supplies the time.
    void advance(uint32_t ms);
    uint64_t nowMs() const { return m_nowMs; }
    void emitMeasurement(uint8_t kind);
    void setNextMeasurement(const Measurement& m);
    void setNextMeasurement(uint8_t kind, uint16_t wordA, uint16_t wordB, uint16_t value,
                            uint16_t aux, uint16_t pm10);
    void queueParamPair(uint8_t slot, uint16_t w1, uint16_t w2);
    // A six-value history page with every value `value`, sent unasked (a stray reply).
    void queueHistoryPage(uint8_t page, uint16_t value);

    // Outgoing FIFO shared by replies and measurements.
    std::size_t pendingFrames() const { return m_out.size(); }
    std::optional<Frame> takeUsbReport();
    std::vector<uint8_t> takeSerialBytes();

    // Faults.
    void setSilent(bool on) { m_silent = on; }
    bool silent() const { return m_silent; }
    void dropNextReplies(unsigned n) { m_dropReplies = n; }
    // Serial line faults for the next frame the sensor produces (not one already queued).
    void loseByteInNextFrame(std::size_t pos = 9) { m_loseAt = pos; }
    void addByteInNextFrame(std::size_t pos = 9, uint8_t value = 0x00) { m_addAt = std::make_pair(pos, value); }
    void sendGarbage(std::size_t n);
    void setUnplugged(bool on) { m_unplugged = on; }
    // A sensor that does not compute the checksum of what it sends: every frame carries a wrong
    // one (it still checks the requests it gets).
    void setWrongChecksums(bool on) { m_wrongSums = on; }
    static constexpr unsigned kAlways = ~0u;
    // Requests for this history page (of this kind; 0 = any) go unanswered, `times` times.
    void losePage(unsigned page, uint8_t kind = 0, unsigned times = kAlways);
    // The block's date goes out with month 0, which no calendar has.
    void setInvalidBlockDate(std::size_t block) { m_invalidDates.insert(block); }
    // At the first history request for this page or a later one the sensor falls silent.
    void setSilentFromPage(std::optional<unsigned> page) { m_silentFromPage = page; }
    bool unplugged() const { return m_unplugged; }

    // What came in.
    const std::vector<Request>& requests() const { return m_requests; }
    std::size_t requestCount(uint8_t command) const;
    std::size_t requestCount(uint8_t command, Link link) const;
    const Stats& stats() const { return m_stats; }
    void clearRecord();

private:
    struct Outgoing {
        Frame frame{};
        std::vector<uint8_t> garbage; // non-empty: raw bytes instead of a frame
        std::optional<std::size_t> loseAt;
        std::optional<std::pair<std::size_t, uint8_t>> addAt;
    };
    struct Walk {
        uint16_t value = 0;
        uint16_t base = 0;
    };

    void handleRequest(const Frame& f, Link link);
    void reply(Frame f, uint8_t command);
    void enqueue(Outgoing o);
    void enqueueFrame(const Frame& f);
    Frame deviceInfo() const;
    Frame serialId() const;
    Frame historyPage(uint8_t page) const;
    Frame historyBlock(unsigned page, uint8_t kind) const;
    Frame countReply() const;
    int historyPageOf(const Frame& f, Link link);
    unsigned usbPage(uint8_t low, uint8_t kind);
    unsigned historyPageLimit() const;
    bool pageLost(unsigned page, uint8_t kind);
    Frame cleared() const;
    Measurement nextMeasurement(uint8_t kind);
    uint16_t historyWord(std::size_t index, uint8_t kind) const;
    std::array<uint8_t, 4> blockDate(std::size_t block) const;
    uint32_t random(uint32_t& state);

    Config m_config;
    std::vector<HistoryValue> m_history;
    std::optional<uint16_t> m_reportedCount;
    CountReply m_countReply = CountReply::None;

    uint64_t m_nowMs = 0;
    uint64_t m_nextDueMs = 0;
    uint32_t m_measureRng = 0;
    uint32_t m_historyRng = 0;
    uint32_t m_garbageRng = 0;
    std::map<uint8_t, Walk> m_walks;
    std::map<uint8_t, std::deque<Measurement>> m_nextMeasurements;

    std::deque<Outgoing> m_out;
    std::vector<uint8_t> m_serialIn;

    bool m_silent = false;
    bool m_unplugged = false;
    bool m_wrongSums = false;
    unsigned m_dropReplies = 0;
    std::optional<std::size_t> m_loseAt;
    std::optional<std::pair<std::size_t, uint8_t>> m_addAt;
    std::map<std::pair<uint8_t, unsigned>, unsigned> m_lostPages; // (kind, page) -> times left
    std::set<std::size_t> m_invalidDates;
    std::optional<unsigned> m_silentFromPage;
    unsigned m_usbCursor = 0; // the block page last served over USB
    uint8_t m_usbKind = 0;

    std::vector<Request> m_requests;
    Stats m_stats;
};

} // namespace sim
