// Frame-level checks of the simulated sensor, without any bed.
#include "simsensor.h"

#include <QtTest>

using namespace sim;

namespace {

constexpr int64_t kT0 = 1735689540; // 2024-12-31 23:59:00 UTC

Frame usb(uint8_t command, std::initializer_list<std::pair<std::size_t, uint8_t>> data = {})
{
    return makeRequest(command, true, data);
}

// Sends one USB request and returns every frame it produced.
std::vector<Frame> ask(SimSensor& s, const Frame& request)
{
    s.handleUsbRequest(request.data());
    std::vector<Frame> out;
    while (auto f = s.takeUsbReport())
        out.push_back(*f);
    return out;
}

Frame askOne(SimSensor& s, const Frame& request)
{
    const auto frames = ask(s, request);
    if (frames.size() != 1)
        qFatal("expected one reply, got %d", int(frames.size()));
    return frames.front();
}

std::vector<uint8_t> wireOf(const Frame& f) { return {f.begin() + 1, f.end()}; }

bool wellFormed(const Frame& f)
{
    return f[1] == kHead && f[19] == kTail && f[18] == frameChecksum(f);
}

SimSensor utcSensor(std::size_t values, int64_t end = kT0 + 300)
{
    Config c;
    c.utcOffsetSeconds = 0;
    c.periodMs = 0;
    SimSensor s(c);
    s.generateHistory(values, end);
    return s;
}

} // namespace

class TestSimSensor : public QObject {
    Q_OBJECT

private slots:
    void identityReplies();
    void usbRequestsAreChecked();
    void serialFramerResyncs();
    void historyPages();
    void historyBlockPhases();
    void historyBlockPageNumbers();
    void historyBlockKinds();
    void blockDateStampsTheValues_data();
    void blockDateStampsTheValues();
    void blockDateFollowsProcessZone();
    void packedDate();
    void countReplies();
    void clearHistory();
    void measurementSchedule();
    void measurementValues();
    void seedsAreDeterministic();
    void faults();
    void serialWireFaults();
    void queueIsBounded();
};

void TestSimSensor::identityReplies()
{
    Config c;
    c.deviceType = 154;
    c.identity = {0xFF, 0x00, 0x00, 0x00};
    SimSensor s(c);
    const Frame info = askOne(s, usb(kCmdDeviceInfo));
    QVERIFY(wellFormed(info));
    QCOMPARE(info[0], kUsbReplyByte0);
    QCOMPARE(info[2], kCmdDeviceInfo);
    QCOMPARE(std::vector<uint8_t>(info.begin() + 3, info.begin() + 9),
             std::vector<uint8_t>(c.serial6.begin(), c.serial6.end()));
    QCOMPARE(std::vector<uint8_t>(info.begin() + 9, info.begin() + 13), (std::vector<uint8_t>{0xFF, 0, 0, 0}));
    QCOMPARE(info[13], uint8_t(154));

    const Frame id = askOne(s, usb(kCmdSerialId));
    QVERIFY(wellFormed(id));
    QCOMPARE(std::vector<uint8_t>(id.begin() + 3, id.begin() + 10),
             std::vector<uint8_t>(c.serial7.begin(), c.serial7.end()));
    QCOMPARE(id[10], uint8_t(0));
}

void TestSimSensor::usbRequestsAreChecked()
{
    SimSensor s;
    Frame bad = usb(kCmdDeviceInfo);
    bad[18] ^= 1;
    QVERIFY(ask(s, bad).empty());
    bad = usb(kCmdDeviceInfo);
    bad[19] = 0;
    QVERIFY(ask(s, bad).empty());
    const Frame good = usb(kCmdDeviceInfo);
    s.handleUsbRequest(good.data(), 19); // a short transfer
    QCOMPARE(s.pendingFrames(), size_t(0));
    QCOMPARE(s.stats().malformedRequests, 3u);
    QVERIFY(s.requests().empty());

    QVERIFY(ask(s, usb(0x42)).empty()); // unknown command: recorded, not answered
    QCOMPARE(s.requestCount(0x42, Link::Usb), size_t(1));
    QCOMPARE(s.requests().back().image[0], uint8_t(0x02));
}

void TestSimSensor::serialFramerResyncs()
{
    SimSensor s;
    const auto a = wireOf(makeRequest(kCmdDeviceInfo, false));
    const auto b = wireOf(makeRequest(kCmdSerialId, false));
    Frame badSum = makeRequest(kCmdDeviceInfo, false);
    badSum[18] ^= 0xFF;
    const auto c = wireOf(badSum);

    // Noise with a false head, a frame with a wrong checksum, then a frame split in two.
    std::vector<uint8_t> stream = {0x00, 0xAA, 0x13};
    stream.insert(stream.end(), c.begin(), c.end());
    stream.insert(stream.end(), a.begin(), a.end());
    stream.insert(stream.end(), b.begin(), b.begin() + 7);
    s.feedSerialBytes(stream.data(), stream.size());
    QCOMPARE(s.requests().size(), size_t(1));
    s.feedSerialBytes(b.data() + 7, b.size() - 7);
    QCOMPARE(s.requests().size(), size_t(2));
    QCOMPARE(s.requestCount(kCmdDeviceInfo, Link::Serial), size_t(1));
    QCOMPARE(s.requestCount(kCmdSerialId, Link::Serial), size_t(1));
    QCOMPARE(s.requests()[0].image[0], uint8_t(0));
    QCOMPARE(s.stats().skippedSerialBytes, unsigned(3 + c.size()));

    const auto bytes = s.takeSerialBytes();
    QCOMPARE(bytes.size(), 2 * kWireSize);
    QCOMPARE(bytes[1], kCmdDeviceInfo);
    QCOMPARE(bytes[kWireSize + 1], kCmdSerialId);
}

void TestSimSensor::historyPages()
{
    SimSensor s = utcSensor(14);
    // Each variant ignores the other's requests.
    QVERIFY(ask(s, usb(kCmdHistoryPage, {{3, 0}})).empty());
    s.setDeviceType(3);
    QVERIFY(ask(s, usb(kCmdHistoryBlock, {{3, 0}, {4, 1}})).empty());
    const Frame p0 = askOne(s, usb(kCmdHistoryPage, {{3, 0}}));
    QVERIFY(wellFormed(p0));
    QCOMPARE(p0[3], uint8_t(0));
    for (std::size_t k = 0; k < 6; ++k)
        QCOMPARE(frameWord(p0, 4 + 2 * k), s.history()[k].pm25);
    QCOMPARE(frameWord(p0, 16), uint16_t(14));

    const Frame p2 = askOne(s, usb(kCmdHistoryPage, {{3, 2}}));
    QCOMPARE(p2[3], uint8_t(2));
    QCOMPARE(frameWord(p2, 4), s.history()[12].pm25);
    QCOMPARE(frameWord(p2, 6), s.history()[13].pm25);
    for (std::size_t pos = 8; pos <= 17; ++pos)
        QCOMPARE(p2[pos], uint8_t(0)); // past the end, and no count on later pages
}

void TestSimSensor::historyBlockPhases()
{
    // 13 values: a full block, one value in the second, nothing in the third.
    SimSensor s = utcSensor(13);
    const auto& h = s.history();
    const Frame p0 = askOne(s, usb(kCmdHistoryBlock, {{3, 0}, {4, 1}}));
    const Frame p1 = askOne(s, usb(kCmdHistoryBlock, {{3, 1}, {4, 1}}));
    const Frame p2 = askOne(s, usb(kCmdHistoryBlock, {{3, 2}, {4, 1}}));
    for (const Frame* f : {&p0, &p1, &p2}) {
        QVERIFY(wellFormed(*f));
        QCOMPARE((*f)[4], uint8_t(1));
    }
    QCOMPARE(frameWord(p0, 15), uint16_t(13)); // the raw count; rounding up is the program's
    QCOMPARE(frameWord(p0, 9), h[0].pm25);
    QCOMPARE(frameWord(p0, 13), h[2].pm25);
    QCOMPARE(frameWord(p1, 5), h[3].pm25);
    QCOMPARE(frameWord(p1, 13), h[7].pm25);
    QCOMPARE(frameWord(p1, 15), uint16_t(0));
    QCOMPARE(frameWord(p2, 5), h[8].pm25);
    QCOMPARE(frameWord(p2, 11), h[11].pm25);
    QCOMPARE(frameWord(p2, 13), uint16_t(0));

    const Frame p3 = askOne(s, usb(kCmdHistoryBlock, {{3, 3}, {4, 1}}));
    QCOMPARE(frameWord(p3, 9), h[12].pm25);
    QCOMPARE(frameWord(p3, 11), uint16_t(0));
    QCOMPARE(frameWord(p3, 15), uint16_t(0));
    QVERIFY(p3[5] != 0); // it has data, so it has a date

    const Frame p6 = askOne(s, usb(kCmdHistoryBlock, {{3, 6}, {4, 1}}));
    for (std::size_t pos = 5; pos <= 16; ++pos)
        QCOMPARE(p6[pos], uint8_t(0)); // a block without data: no date, no values
}

void TestSimSensor::historyBlockPageNumbers()
{
    SimSensor s = utcSensor(4100);
    const auto& h = s.history();
    // Serial: page 300 is 44 in byte 3 and 1 in byte 17; block 100 phase 0.
    s.feedSerialBytes(wireOf(makeRequest(kCmdHistoryBlock, false, {{3, 44}, {4, 1}, {17, 1}})).data(), kWireSize);
    std::vector<uint8_t> bytes = s.takeSerialBytes();
    QCOMPARE(bytes.size(), kWireSize);
    Frame f{};
    std::copy(bytes.begin(), bytes.end(), f.begin() + 1);
    QCOMPARE(f[3], uint8_t(44));
    QCOMPARE(f[17], uint8_t(1));
    QCOMPARE(frameWord(f, 9), h[1200].pm25);
    QCOMPARE(frameWord(f, 15), uint16_t(0)); // only page 0 carries the count

    // Only bits 0-1 of byte 17 count: page 1023 is the last one.
    s.feedSerialBytes(wireOf(makeRequest(kCmdHistoryBlock, false, {{3, 255}, {4, 1}, {17, 0xFF}})).data(), kWireSize);
    bytes = s.takeSerialBytes();
    std::copy(bytes.begin(), bytes.end(), f.begin() + 1);
    QCOMPARE(f[3], uint8_t(255));
    QCOMPARE(f[17], uint8_t(3));
    QCOMPARE(frameWord(f, 9), h[341 * 12].pm25);

    // USB carries the low 8 bits only: the sensor serves the page that continues its download
    // and names it in full, as on serial.
    const auto served = [&](uint8_t low, uint8_t kind = 1) -> int {
        const Frame u = askOne(s, usb(kCmdHistoryBlock, {{3, low}, {4, kind}}));
        const int page = s.requests().back().page;
        return page == u[3] + 256 * u[17] ? page : -1;
    };
    const Frame u = askOne(s, usb(kCmdHistoryBlock, {{3, 44}, {4, 1}}));
    QCOMPARE(u[17], uint8_t(0));
    QCOMPARE(frameWord(u, 11), h[14 * 12 + 11].pm25); // page 44: block 14, phase 2
    QCOMPARE(served(44), 44); // asked again
    QCOMPARE(served(0), 0);   // neither again nor next: a new download
    for (int page = 1; page < 1024; ++page)
        QCOMPARE(served(uint8_t(page)), page);
    QCOMPARE(served(1, 5), 1); // another kind: a new download
    QCOMPARE(served(2, 5), 2);
    for (int page = 3; page < 1024; ++page)
        served(uint8_t(page), 5);
    QCOMPARE(served(0, 5), 0); // 1024 is past the last page: a new download begins
}

void TestSimSensor::historyBlockKinds()
{
    SimSensor s = utcSensor(12);
    const auto& h = s.history();
    const Frame pm10 = askOne(s, usb(kCmdHistoryBlock, {{3, 1}, {4, 5}}));
    QCOMPARE(pm10[4], uint8_t(5));
    QCOMPARE(frameWord(pm10, 5), h[3].pm10);
    for (uint8_t kind : {uint8_t(2), uint8_t(3)}) {
        const Frame gas = askOne(s, usb(kCmdHistoryBlock, {{3, 0}, {4, kind}}));
        QCOMPARE(gas[4], kind);
        QCOMPARE(frameWord(gas, 9), h[0].second);
    }
    QVERIFY(ask(s, usb(kCmdHistoryBlock, {{3, 0}, {4, 7}})).empty());
    QVERIFY(ask(s, usb(kCmdHistoryBlock, {{3, 0}, {4, 0}})).empty());
}

void TestSimSensor::blockDateStampsTheValues_data()
{
    QTest::addColumn<int>("values");
    QTest::addColumn<int>("offset");
    QTest::newRow("full block, UTC") << 12 << 0;
    QTest::newRow("partial block, UTC+8") << 5 << 8 * 3600;
    QTest::newRow("partial block, UTC-5") << 17 << -5 * 3600;
}

// The program stamps value k of a block with date + 300 * (k - last + 1): the
// dates the sensor sends must give every value its own time back.
void TestSimSensor::blockDateStampsTheValues()
{
    QFETCH(int, values);
    QFETCH(int, offset);
    SimSensor s = utcSensor(std::size_t(values), kT0 + 7 * 300);
    s.setUtcOffset(offset);
    const auto& h = s.history();
    for (std::size_t block = 0; 12 * block < h.size(); ++block) {
        const Frame f = askOne(s, usb(kCmdHistoryBlock, {{3, uint8_t(3 * block)}, {4, 1}}));
        QDateTime local(QDate(2015 + (f[5] >> 4), f[5] & 0x0F, f[6]), QTime(f[7], f[8]), Qt::UTC);
        const int64_t date = local.toSecsSinceEpoch() - offset;
        const std::size_t last = std::min(h.size() - 1, 12 * block + 11) - 12 * block;
        for (std::size_t k = 0; k <= last; ++k)
            QCOMPARE(date + 300 * (int64_t(k) - int64_t(last) + 1), h[12 * block + k].time);
    }
}

void TestSimSensor::blockDateFollowsProcessZone()
{
    const QByteArray saved = qgetenv("TZ");
    const bool hadZone = qEnvironmentVariableIsSet("TZ");
    qputenv("TZ", "XST-8"); // eight hours east of UTC
    SimSensor zoned = utcSensor(12);
    zoned.setUtcOffset(std::nullopt);
    SimSensor fixed = utcSensor(12);
    fixed.setUtcOffset(8 * 3600);
    const Frame a = askOne(zoned, usb(kCmdHistoryBlock, {{3, 0}, {4, 1}}));
    const Frame b = askOne(fixed, usb(kCmdHistoryBlock, {{3, 0}, {4, 1}}));
    if (hadZone)
        qputenv("TZ", saved);
    else
        qunsetenv("TZ");
    tzset();
    QCOMPARE(std::vector<uint8_t>(a.begin() + 5, a.begin() + 9), std::vector<uint8_t>(b.begin() + 5, b.begin() + 9));
    QCOMPARE(a[7], uint8_t(7)); // last value 00:04 UTC, block date 23:59 UTC, 07:59 there
}

void TestSimSensor::packedDate()
{
    QCOMPARE(packBlockDate(2024, 12, 31, 23, 59), (std::array<uint8_t, 4>{0x9C, 0x1F, 0x17, 0x3B}));
    QCOMPARE(packBlockDate(2015, 1, 1, 0, 0), (std::array<uint8_t, 4>{0x01, 1, 0, 0}));
    QCOMPARE(packBlockDate(2040, 6, 1, 0, 0)[0], uint8_t(0xF6)); // the nibble cannot hold more
}

void TestSimSensor::countReplies()
{
    SimSensor s = utcSensor(13);
    s.setCountReply(CountReply::Before);
    auto frames = ask(s, usb(kCmdHistoryBlock, {{3, 0}, {4, 1}}));
    QCOMPARE(frames.size(), size_t(2));
    QCOMPARE(frames[0][4], kSubCount);
    QCOMPARE(frames[0][3], uint8_t(3)); // 13 / 4
    QCOMPARE(frames[1][4], uint8_t(1));
    QCOMPARE(ask(s, usb(kCmdHistoryBlock, {{3, 1}, {4, 1}})).size(), size_t(1)); // only page 0

    s.setCountReply(CountReply::Instead);
    s.setReportedCount(5000);
    frames = ask(s, usb(kCmdHistoryBlock, {{3, 0}, {4, 1}}));
    QCOMPARE(frames.size(), size_t(1));
    QCOMPARE(frames[0][4], kSubCount);
    QCOMPARE(frames[0][3], uint8_t(255)); // 1250 does not fit in a byte

    s.setCountReply(CountReply::None);
    s.setReportedCount(65535);
    QCOMPARE(frameWord(askOne(s, usb(kCmdHistoryBlock, {{3, 0}, {4, 1}})), 15), uint16_t(65535));
    s.setDeviceType(0);
    QCOMPARE(frameWord(askOne(s, usb(kCmdHistoryPage, {{3, 0}})), 16), uint16_t(65535));
    s.setReportedCount(std::nullopt);
    QCOMPARE(s.reportedCount(), uint16_t(13));
}

void TestSimSensor::clearHistory()
{
    SimSensor s = utcSensor(30);
    s.feedSerialBytes(wireOf(makeRequest(kCmdHistoryBlock, false, {{5, 1}})).data(), kWireSize);
    const auto bytes = s.takeSerialBytes();
    QCOMPARE(bytes.size(), kWireSize);
    QCOMPARE(bytes[1], kCmdHistoryBlock);
    QCOMPARE(bytes[2], uint8_t(0));   // page 0
    QCOMPARE(bytes[3], kSubCleared);
    QCOMPARE(bytes[14], uint8_t(0));  // count word, bytes 15-16 of the image
    QVERIFY(s.history().empty());

    // Byte 5 set beside a page or a kind is not the clear request.
    SimSensor t = utcSensor(30);
    QCOMPARE(askOne(t, usb(kCmdHistoryBlock, {{3, 1}, {4, 1}, {5, 1}}))[4], uint8_t(1));
    QCOMPARE(t.history().size(), size_t(30));
}

void TestSimSensor::measurementSchedule()
{
    Config c;
    c.kinds = {1, 17};
    SimSensor s(c);
    s.advance(999);
    QCOMPARE(s.pendingFrames(), size_t(0));
    s.advance(1);
    QCOMPARE(s.pendingFrames(), size_t(2));
    s.advance(2500);
    QCOMPARE(s.pendingFrames(), size_t(6));
    std::vector<uint8_t> kinds;
    while (auto f = s.takeUsbReport()) {
        QVERIFY(wellFormed(*f));
        QCOMPARE((*f)[2], kCmdMeasurement);
        kinds.push_back((*f)[3]);
    }
    QCOMPARE(kinds, (std::vector<uint8_t>{1, 17, 1, 17, 1, 17}));

    // A new period starts counting from now; 0 stops the schedule.
    s.setPeriodMs(200);
    s.advance(199);
    QCOMPARE(s.pendingFrames(), size_t(0));
    s.advance(1);
    QCOMPARE(s.pendingFrames(), size_t(2));
    s.setPeriodMs(0);
    s.advance(100000);
    QCOMPARE(s.pendingFrames(), size_t(2));

    // Replies and measurements share one queue, in order.
    s.handleUsbRequest(usb(kCmdDeviceInfo).data());
    s.emitMeasurement(33);
    s.takeUsbReport();
    s.takeUsbReport();
    QCOMPARE(s.takeUsbReport().value()[2], kCmdDeviceInfo);
    QCOMPARE(s.takeUsbReport().value()[3], uint8_t(33));
}

void TestSimSensor::measurementValues()
{
    SimSensor s;
    s.setIdentity("ab12");
    s.setNextMeasurement(1, 500, 120, 345, 0x1B0A, 400);
    s.emitMeasurement(1);
    const Frame f = *s.takeUsbReport();
    QVERIFY(wellFormed(f));
    QCOMPARE(f[3], uint8_t(1));
    QCOMPARE(frameWord(f, 4), uint16_t(500));
    QCOMPARE(frameWord(f, 6), uint16_t(120));
    QCOMPARE(frameWord(f, 8), uint16_t(345));
    QCOMPARE(frameWord(f, 10), uint16_t(0x1B0A));
    QCOMPARE(frameWord(f, 12), uint16_t(400));
    QCOMPARE(f[15], uint8_t('1'));
    QCOMPARE(f[16], uint8_t('2'));

    // Generated values: particulates in tenths with PM10 above PM2.5, identity in the aux word.
    for (int i = 0; i < 200; ++i) {
        s.emitMeasurement(3);
        s.emitMeasurement(33);
        const Frame pm = *s.takeUsbReport();
        const Frame gas = *s.takeUsbReport();
        QVERIFY(frameWord(pm, 8) >= 100 && frameWord(pm, 8) <= 900);
        QVERIFY(frameWord(pm, 12) > frameWord(pm, 8));
        QVERIFY(frameWord(pm, 4) > frameWord(pm, 6));
        QCOMPARE(frameWord(pm, 10), s.identityAux());
        QCOMPARE(pm[10], uint8_t('a'));
        QVERIFY(frameWord(gas, 8) >= 10 && frameWord(gas, 8) <= 300);
        QCOMPARE(gas[15], uint8_t('1'));
    }
}

void TestSimSensor::seedsAreDeterministic()
{
    auto run = [](uint32_t seed, bool garbage) {
        Config c;
        c.seed = seed;
        SimSensor s(c);
        if (garbage)
            s.sendGarbage(40); // must shift neither history nor measurements
        s.generateHistory(50, kT0);
        s.advance(5000);
        std::vector<uint8_t> out;
        for (const auto& v : s.history())
            out.push_back(uint8_t(v.pm25));
        const auto bytes = s.takeSerialBytes();
        out.insert(out.end(), bytes.begin() + (garbage ? 40 : 0), bytes.end());
        return out;
    };
    QCOMPARE(run(7, false), run(7, false));
    QVERIFY(run(7, false) != run(8, false));
    QCOMPARE(run(7, true), run(7, false));
}

void TestSimSensor::faults()
{
    SimSensor s;
    s.setSilent(true);
    s.advance(3000);
    QVERIFY(ask(s, usb(kCmdDeviceInfo)).empty());
    QCOMPARE(s.requestCount(kCmdDeviceInfo), size_t(1)); // heard, not answered
    s.setSilent(false);

    s.dropNextReplies(2);
    QVERIFY(ask(s, usb(kCmdDeviceInfo)).empty());
    QVERIFY(ask(s, usb(kCmdSerialId)).empty());
    QCOMPARE(ask(s, usb(kCmdDeviceInfo)).size(), size_t(1));
    QCOMPARE(s.stats().repliesDropped, 2u);

    s.queueParamPair(7, 0x1234, 0xABCD);
    const Frame p = *s.takeUsbReport();
    QVERIFY(wellFormed(p));
    QCOMPARE(p[2], kCmdParam);
    QCOMPARE(p[4], uint8_t(7));
    QCOMPARE(frameWord(p, 5), uint16_t(0x1234));
    QCOMPARE(frameWord(p, 7), uint16_t(0xABCD));

    s.sendGarbage(5);
    const Frame g = *s.takeUsbReport();
    QVERIFY(g[1] != kHead);

    // History faults: lost pages (once, or of one kind only), a month-0 date, silence.
    s.generateHistory(60, kT0);
    s.losePage(0, 0, 1);
    s.losePage(4, 5);
    s.setInvalidBlockDate(1);
    QVERIFY(ask(s, usb(kCmdHistoryBlock, {{3, 0}, {4, 1}})).empty());
    QCOMPARE(ask(s, usb(kCmdHistoryBlock, {{3, 0}, {4, 1}})).size(), size_t(1));
    QCOMPARE(askOne(s, usb(kCmdHistoryBlock, {{3, 3}, {4, 1}}))[5] & 0x0F, 0);
    QCOMPARE(ask(s, usb(kCmdHistoryBlock, {{3, 4}, {4, 1}})).size(), size_t(1));
    QVERIFY(ask(s, usb(kCmdHistoryBlock, {{3, 4}, {4, 5}})).empty());
    QVERIFY(ask(s, usb(kCmdHistoryBlock, {{3, 4}, {4, 5}})).empty());
    s.setSilentFromPage(7);
    QCOMPARE(ask(s, usb(kCmdHistoryBlock, {{3, 6}, {4, 5}})).size(), size_t(1));
    QVERIFY(ask(s, usb(kCmdHistoryBlock, {{3, 7}, {4, 5}})).empty());
    QVERIFY(s.silent());
    s.setSilent(false);
    s.setSilentFromPage(std::nullopt);

    s.setUnplugged(true);
    s.advance(5000);
    s.emitMeasurement(1);
    QVERIFY(ask(s, usb(kCmdDeviceInfo)).empty());
    QVERIFY(s.takeSerialBytes().empty());
    QCOMPARE(s.requestCount(kCmdDeviceInfo), size_t(3)); // a device that is gone hears nothing
}

void TestSimSensor::serialWireFaults()
{
    SimSensor s;
    s.setPeriodMs(0);
    s.emitMeasurement(1); // already queued: not touched by faults armed later
    s.loseByteInNextFrame(0);
    s.emitMeasurement(1);
    s.addByteInNextFrame(19, 0xEE); // armed in a row, each hits its own frame
    s.emitMeasurement(1);
    s.emitMeasurement(1);
    std::vector<uint8_t> bytes = s.takeSerialBytes();
    QCOMPARE(bytes.size(), 4 * kWireSize);
    QCOMPARE(bytes[kWireSize - 1], kTail);
    QCOMPARE(bytes[kWireSize], kCmdMeasurement); // the second frame lost its head
    QCOMPARE(bytes[2 * kWireSize - 1], kHead);
    QCOMPARE(bytes[3 * kWireSize - 2], kTail); // the third gained a byte after its tail
    QCOMPARE(bytes[3 * kWireSize - 1], uint8_t(0xEE));
    QCOMPARE(bytes[3 * kWireSize], kHead);

    // Garbage and dropped replies do not use up the fault.
    s.loseByteInNextFrame();
    s.dropNextReplies(1);
    s.handleUsbRequest(usb(kCmdDeviceInfo).data());
    s.sendGarbage(7);
    s.emitMeasurement(1);
    bytes = s.takeSerialBytes();
    QCOMPARE(bytes.size(), 7 + kWireSize - 1);
}

void TestSimSensor::queueIsBounded()
{
    SimSensor s;
    s.advance(10 * 3600 * 1000); // ten hours with nobody reading
    QCOMPARE(s.pendingFrames(), SimSensor::kMaxQueue);
    QVERIFY(s.stats().overflowDropped >= 36000 - SimSensor::kMaxQueue);
    QVERIFY(s.stats().overflowDropped <= 36000);
}

QTEST_GUILESS_MAIN(TestSimSensor)
#include "test_simsensor.moc"
