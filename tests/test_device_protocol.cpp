// Frame building and reply decoding of the device link, without any transport.
#include "messagecapture.h"
#include "scodeusb.h"

#include <QDateTime>
#include <QSet>
#include <QtTest>
#include <array>
#include <initializer_list>

namespace {

using Frame = std::array<unsigned char, FRAME_LEN>;

Frame Reply(unsigned char command, std::initializer_list<std::pair<int, int>> bytes = {})
{
    Frame f{};
    f[1] = FRAME_HEAD;
    f[2] = command;
    for (const auto &b : bytes)
        f[size_t(b.first)] = static_cast<unsigned char>(b.second);
    f[19] = FRAME_TAIL;
    return f;
}

void PutWord(Frame &f, int at, int value)
{
    f[size_t(at)] = static_cast<unsigned char>(value & 0xFF);
    f[size_t(at + 1)] = static_cast<unsigned char>((value >> 8) & 0xFF);
}

// One page of a history block: phase by page % 3, the block's values in order.
Frame BlockPage(int page, unsigned char sub, const std::array<int, 12> &values, uint32_t date = 0,
                int count = 0)
{
    Frame f = Reply(CMD_HIS_BLOCK, {{3, page & 0xFF}, {4, sub}, {17, (page >> 8) & 3}});
    const int phase = page % 3;
    if (phase == 0) {
        for (int k = 0; k < 4; ++k)
            f[size_t(5 + k)] = static_cast<unsigned char>(date >> (8 * k));
        for (int k = 0; k < 3; ++k)
            PutWord(f, 9 + 2 * k, values[size_t(k)]);
    } else if (phase == 1) {
        for (int k = 0; k < 5; ++k)
            PutWord(f, 5 + 2 * k, values[size_t(3 + k)]);
    } else {
        for (int k = 0; k < 4; ++k)
            PutWord(f, 5 + 2 * k, values[size_t(8 + k)]);
    }
    if (page == 0)
        PutWord(f, 15, count);
    return f;
}

uint32_t Packed(int year, int month, int day, int hour, int minute)
{
    return uint32_t(((year - 2015) << 4) | month) | uint32_t(day) << 8 | uint32_t(hour) << 16
           | uint32_t(minute) << 24;
}

unsigned char Decode(SCodeUsb &link, const Frame &f, TAG_T_SPM25Data *rec = nullptr, int index = 0)
{
    TAG_T_SPM25Data scratch{};
    return link.DecodePM25ReadData(index, f.data(), FRAME_LEN, rec ? rec : &scratch);
}

void SendBlock(SCodeUsb &link, int firstPage, unsigned char sub, const std::array<int, 12> &values,
               uint32_t date)
{
    for (int p = firstPage; p < firstPage + 3; ++p)
        QCOMPARE(Decode(link, BlockPage(p, sub, values, date)), REPLY_HIS_BLOCK);
}

} // namespace

class TestDeviceProtocol : public QObject
{
    Q_OBJECT

private slots:
    void usbRequestsNeedAnOpenDevice();
    void usbHistoryRequestFrames_data();
    void usbHistoryRequestFrames();
    void measurementDecoding();
    void rejectedFrames();
    void deviceInfoFillsTheListOnTheSerialLink();
    void identityUpdatesStayInsideTheList();
    void linkModeFourIdentity();
    void parameterPairs();
    void historyPages();
    void historyCountRaising_data();
    void historyCountRaising();
    void historyControlSubCodes();
    void blockAssemblyAndTimeStamps();
    void blocksFlushOnlyTheirValidPrefix();
    void fullStoresKeepValuesAndStampsPaired();
    void invalidBlockDatesContinueTheTimeLine();
    void packedDateIsLocalTime();
    void modelTableAndChannelRules();
};

void TestDeviceProtocol::usbRequestsNeedAnOpenDevice()
{
    SCodeUsb link;
    QVERIFY(!link.AskDeviceInfoUsb(0));
    QVERIFY(link.AskDeviceInfo());
    QCOMPARE(link.HasDevice(), 0);
    unsigned char buf[FRAME_LEN];
    QCOMPARE(link.ReadData(0, buf, FRAME_LEN), 0);
    QCOMPARE(link.ReadData(-1, buf, FRAME_LEN), 0);
    TAG_T_SPM25Data rec{};
    QCOMPARE(link.ReadPM25Data(0, &rec), REPLY_NONE);
    QCOMPARE(link.CloseUsbDevice(), 0);
    QCOMPARE(link.CloseUsbDevice(), 0);
}

void TestDeviceProtocol::usbHistoryRequestFrames_data()
{
    QTest::addColumn<int>("devType");
    QTest::addColumn<int>("page");
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("command");
    QTest::addColumn<int>("byte3");
    QTest::addColumn<int>("byte4");
    QTest::newRow("page variant, type 3") << 3 << 7 << 1 << 0xAC << 7 << 0;
    QTest::newRow("page variant, type 7") << 7 << 258 << 5 << 0xAC << 2 << 0;
    QTest::newRow("block variant, page 300") << 20 << 300 << 1 << 0xAD << 44 << 1;
    QTest::newRow("block variant carries kind 2 as is") << 130 << 4 << 2 << 0xAD << 4 << 2;
    QTest::newRow("no type yet: block variant") << -1 << 0 << 5 << 0xAD << 0 << 5;
}

void TestDeviceProtocol::usbHistoryRequestFrames()
{
    QFETCH(int, devType);
    QFETCH(int, page);
    QFETCH(int, kind);
    QFETCH(int, command);
    QFETCH(int, byte3);
    QFETCH(int, byte4);
    SCodeUsb link;
    link.m_DevType = devType;
    QVERIFY(link.AskHistoryPage(0, page, kind));
    const unsigned char *f = link.m_SendBuf;
    QCOMPARE(int(f[0]), 0x02);
    QCOMPARE(int(f[1]), 0xAA);
    QCOMPARE(int(f[2]), command);
    QCOMPARE(int(f[3]), byte3);
    QCOMPARE(int(f[4]), byte4);
    QCOMPARE(int(f[17]), 0); // the USB request carries no high page bits
    QCOMPARE(int(f[18]), (byte3 + byte4) & 0xFF);
    QCOMPARE(int(f[19]), 0xAB);
}

void TestDeviceProtocol::measurementDecoding()
{
    SCodeUsb link;
    Frame f = Reply(CMD_MEASUREMENT, {{3, 17}});
    PutWord(f, 4, 500);
    PutWord(f, 6, 120);
    PutWord(f, 8, 355);
    PutWord(f, 10, 0x1234);
    PutWord(f, 12, 612);
    TAG_T_SPM25Data rec{};
    QCOMPARE(Decode(link, f, &rec), 17);
    QCOMPARE(rec.m_Diff, uint16_t(380));
    QCOMPARE(rec.m_Base, uint16_t(120));
    QCOMPARE(rec.m_PM25, uint16_t(355));
    QCOMPARE(rec.m_PM10, uint16_t(612));
    QCOMPARE(rec.m_Aux, uint16_t(0x1234));

    PutWord(f, 4, 120);
    PutWord(f, 6, 500);
    f[3] = 0; // kind 0 reads as "nothing" although the record is filled
    QCOMPARE(Decode(link, f, &rec), 0);
    QCOMPARE(rec.m_Diff, uint16_t(0));
    QCOMPARE(rec.m_Base, uint16_t(500));
    QVERIFY(link.m_DevList.empty()); // no identity without link mode 4
}

void TestDeviceProtocol::rejectedFrames()
{
    SCodeUsb link;
    TAG_T_SPM25Data rec{1, 2, 3, 4, 5};
    Frame misaligned = Reply(CMD_DEVICE_INFO, {{13, 20}});
    misaligned[1] = 0xAB;
    QCOMPARE(Decode(link, misaligned, &rec), REPLY_NONE);
    QCOMPARE(link.m_DevType, -1);

    // A short USB read would otherwise hand zero-filled words on as values.
    Frame measurement = Reply(CMD_MEASUREMENT, {{3, 1}, {8, 0x55}});
    QCOMPARE(link.DecodePM25ReadData(0, measurement.data(), 19, &rec), REPLY_NONE);
    QCOMPARE(link.DecodePM25ReadData(0, measurement.data(), 0, &rec), REPLY_NONE);
    QCOMPARE(rec.m_PM25, uint16_t(3));

    QCOMPARE(Decode(link, Reply(0x77), &rec), REPLY_NONE);
    QCOMPARE(rec.m_Diff, uint16_t(1));

    // Other replies never touch the caller's record; wrong checksum and tail are not checked.
    Frame info = Reply(CMD_DEVICE_INFO, {{13, 4}, {18, 0x99}, {19, 0}});
    QCOMPARE(Decode(link, info, &rec), REPLY_DEVICE_INFO);
    QCOMPARE(rec.m_Aux, uint16_t(5));
    QCOMPARE(link.m_DevType, 4);
}

void TestDeviceProtocol::deviceInfoFillsTheListOnTheSerialLink()
{
    SCodeUsb link;
    const Frame f = Reply(CMD_DEVICE_INFO, {{3, 0x01}, {4, 0x02}, {5, 0x0A}, {6, 0x0B}, {7, 0x10},
                                            {8, 0xFF}, {9, 0xFF}, {13, 3}});
    QCOMPARE(Decode(link, f), REPLY_DEVICE_INFO);
    QCOMPARE(int(link.m_DevList.size()), 1);
    QCOMPARE(link.GetDevName(0), QByteArray("ffff"));
    QCOMPARE(link.GetDevSerial(0), QByteArray("01020a0b10ff"));
    QCOMPARE(link.m_DevType, 3);
    QVERIFY(link.m_DevList[0].m_pHandle == nullptr);

    QCOMPARE(Decode(link, f), REPLY_DEVICE_INFO);
    QCOMPARE(int(link.m_DevList.size()), 1);
    QCOMPARE(link.GetDevName(0), QByteArray("\xff")); // up to the first NUL

    const Frame named = Reply(CMD_DEVICE_INFO, {{9, 'a'}, {10, 'b'}, {11, '1'}, {12, '2'}, {13, 20}});
    QCOMPARE(Decode(link, named), REPLY_DEVICE_INFO);
    QCOMPARE(link.GetDevName(0), QByteArray("ab12"));
    QCOMPARE(link.GetDevSerial(0), QByteArray("000000000000"));
    // A name that starts with NUL is no name: the one known stays.
    QCOMPARE(Decode(link, Reply(CMD_DEVICE_INFO, {{10, 'x'}, {13, 20}})), REPLY_DEVICE_INFO);
    QCOMPARE(link.GetDevName(0), QByteArray("ab12"));

    SCodeUsb other;
    const Frame serialId = Reply(CMD_SERIAL_ID, {{3, 0xDE}, {4, 0xAD}, {5, 0x01}, {6, 0x02},
                                                 {7, 0x03}, {8, 0x0C}, {9, 0xF0}});
    QCOMPARE(Decode(other, serialId), REPLY_SERIAL_ID);
    QCOMPARE(other.m_LinkMode, 4);
    QCOMPARE(int(other.m_DevList.size()), 1);
    QCOMPARE(other.GetDevName(0), QByteArray());
    QCOMPARE(other.GetDevSerial(0), QByteArray("dead0102030cf0"));
    QCOMPARE(other.m_DevType, -1);
}

void TestDeviceProtocol::identityUpdatesStayInsideTheList()
{
    SCodeUsb link;
    QCOMPARE(Decode(link, Reply(CMD_DEVICE_INFO, {{9, 'a'}, {13, 20}})), REPLY_DEVICE_INFO);
    const Frame info = Reply(CMD_DEVICE_INFO, {{3, 0x11}, {9, 'z'}, {13, 130}});
    QCOMPARE(Decode(link, info, nullptr, 1), REPLY_DEVICE_INFO);
    QCOMPARE(Decode(link, info, nullptr, -1), REPLY_DEVICE_INFO);
    QCOMPARE(Decode(link, Reply(CMD_SERIAL_ID, {{3, 0x22}}), nullptr, 5), REPLY_SERIAL_ID);
    QCOMPARE(int(link.m_DevList.size()), 1);
    QCOMPARE(link.GetDevName(0).left(1), QByteArray("a"));
    QCOMPARE(link.GetDevSerial(0), QByteArray("000000000000"));
    QCOMPARE(link.m_DevType, 130); // the type is no identity: it follows the reply
    QCOMPARE(link.GetDevName(1), QByteArray());
    QCOMPARE(link.GetDevSerial(-1), QByteArray());

    Frame m = Reply(CMD_MEASUREMENT, {{3, 1}, {10, 0x0A}, {11, 0x1B}, {15, 0x2C}, {16, 0x03}});
    QCOMPARE(Decode(link, m, nullptr, 3), 1);
    QCOMPARE(link.GetDevName(0).left(1), QByteArray("a"));
}

void TestDeviceProtocol::linkModeFourIdentity()
{
    SCodeUsb link;
    QCOMPARE(Decode(link, Reply(CMD_SERIAL_ID)), REPLY_SERIAL_ID);
    const Frame m =
        Reply(CMD_MEASUREMENT, {{3, 3}, {10, 0x0A}, {11, 0x1B}, {15, 0x2C}, {16, 0x03}});
    QCOMPARE(Decode(link, m), 3);
    QCOMPARE(link.GetDevName(0), QByteArray("0A1B-2C03"));
    const Frame m2 = Reply(CMD_MEASUREMENT, {{3, 1}, {10, 0xFF}, {11, 0x00}, {15, 0xab}, {16, 0x10}});
    QCOMPARE(Decode(link, m2), 1);
    QCOMPARE(link.GetDevName(0), QByteArray("FF00-AB10"));
}

void TestDeviceProtocol::parameterPairs()
{
    SCodeUsb link;
    Frame f = Reply(CMD_PARAM, {{4, 4}});
    PutWord(f, 5, 0x1234);
    PutWord(f, 7, 0xBEEF);
    QCOMPARE(Decode(link, f), REPLY_PARAM);
    QCOMPARE(link.m_ParamPairs[4].m_First, uint16_t(0x1234));
    QCOMPARE(link.m_ParamPairs[4].m_Second, uint16_t(0xBEEF));

    // Slots above 4 do not exist: the pair is ignored, the code stays.
    for (int slot : {5, 7, 255}) {
        f[4] = static_cast<unsigned char>(slot);
        PutWord(f, 5, 1);
        QCOMPARE(Decode(link, f), REPLY_PARAM);
    }
    QCOMPARE(link.m_ParamPairs[4].m_First, uint16_t(0x1234));
    QCOMPARE(link.m_DevType, -1);
    QCOMPARE(link.m_5MinutesCount, uint16_t(0));
}

void TestDeviceProtocol::historyPages()
{
    SCodeUsb link;
    Frame page0 = Reply(CMD_HIS_PAGE, {{3, 0}});
    for (int k = 0; k < 6; ++k)
        PutWord(page0, 4 + 2 * k, 100 + k);
    PutWord(page0, 16, 30);
    QCOMPARE(Decode(link, page0), REPLY_HIS_PAGE);
    QCOMPARE(link.m_5MinutesCount, uint16_t(30));
    QCOMPARE(link.m_PM25His[0], uint16_t(100));
    QCOMPARE(link.m_PM25His[5], uint16_t(105));

    Frame last = Reply(CMD_HIS_PAGE, {{3, 255}});
    PutWord(last, 4, 7);
    PutWord(last, 14, 9);
    PutWord(last, 16, 999); // only page 0 carries the count
    QCOMPARE(Decode(link, last), REPLY_HIS_PAGE);
    QCOMPARE(link.m_PM25His[1530], uint16_t(7));
    QCOMPARE(link.m_PM25His[1535], uint16_t(9));
    QCOMPARE(link.m_5MinutesCount, uint16_t(30));
    QCOMPARE(link.m_RealPM25Count, uint16_t(0));
    QVERIFY(link.m_HisTimes.empty());
}

void TestDeviceProtocol::historyCountRaising_data()
{
    QTest::addColumn<int>("reported");
    QTest::addColumn<int>("count");
    QTest::newRow("13 becomes 24") << 13 << 24;
    QTest::newRow("24 stays") << 24 << 24;
    QTest::newRow("0 stays") << 0 << 0;
    QTest::newRow("1 becomes 12") << 1 << 12;
    QTest::newRow("65525 reaches 65532") << 65525 << 65532;
    QTest::newRow("65535 saturates, never wraps to 8") << 65535 << 65535;
    QTest::newRow("65533 saturates") << 65533 << 65535;
}

void TestDeviceProtocol::historyCountRaising()
{
    QFETCH(int, reported);
    QFETCH(int, count);
    SCodeUsb link;
    // The count rides on page 0 whatever the sub-code.
    QCOMPARE(Decode(link, BlockPage(0, 2, {}, 0, reported)), REPLY_HIS_BLOCK);
    QCOMPARE(int(link.m_5MinutesCount), count);
    QCOMPARE(Decode(link, BlockPage(3, 1, {}, 0, 0)), REPLY_HIS_BLOCK);
    QCOMPARE(int(link.m_5MinutesCount), count);
}

void TestDeviceProtocol::historyControlSubCodes()
{
    SCodeUsb link;
    // Only bits 0-1 of byte 17 count: 0xFC on page byte 0 is still page 0.
    QCOMPARE(Decode(link, Reply(CMD_HIS_BLOCK, {{3, 0}, {4, 1}, {15, 13}, {17, 0xFC}})),
             REPLY_HIS_BLOCK);
    QCOMPARE(link.m_5MinutesCount, uint16_t(24));
    // A clearing confirmation on page 0 carries the count too, before it returns 253.
    QCOMPARE(Decode(link, Reply(CMD_HIS_BLOCK, {{3, 0}, {4, 0xFD}, {15, 25}})), REPLY_CLEARED);
    QCOMPARE(link.m_5MinutesCount, uint16_t(36));
    MessageCapture log;
    QCOMPARE(Decode(link, Reply(CMD_HIS_BLOCK, {{3, 10}, {4, 0xFE}})), REPLY_HIS_BLOCK);
    QCOMPARE(link.m_5MinutesCount, uint16_t(40));
    QCOMPARE(log.Count("+++++++++++++"), 1);

    QCOMPARE(Decode(link, Reply(CMD_HIS_BLOCK, {{3, 5}, {4, 0xFD}})), REPLY_CLEARED);
    QCOMPARE(log.Count("+++++++++++++"), 1);
    QCOMPARE(link.m_5MinutesCount, uint16_t(40));

    // Second-channel blocks are kept only by a download of that channel, which in turn keeps
    // no other channel's blocks.
    const std::array<int, 12> gas = {5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    SendBlock(link, 0, HIS_SUB_GAS, gas, Packed(2024, 5, 1, 10, 0));
    QCOMPARE(link.m_RealPM25Count, uint16_t(0));
    QCOMPARE(link.m_RealPM10Count, uint16_t(0));
    QCOMPARE(link.m_HisBaseTime, uint32_t(0));
    link.m_HisKind = HIS_SUB_GAS;
    SendBlock(link, 3, HIS_SUB_PM25, gas, Packed(2024, 5, 1, 10, 0));
    SendBlock(link, 6, HIS_SUB_PM10, gas, Packed(2024, 5, 1, 10, 0));
    SendBlock(link, 9, HIS_SUB_TVOC, gas, Packed(2024, 5, 1, 10, 0));
    QCOMPARE(link.m_RealPM25Count, uint16_t(12));
    QCOMPARE(link.m_RealPM10Count, uint16_t(0));
    QCOMPARE(link.m_PM25His[11], uint16_t(16));
    QCOMPARE(link.m_HisTimes.size(), size_t(12));
}

void TestDeviceProtocol::blockAssemblyAndTimeStamps()
{
    SCodeUsb link;
    const uint32_t date = Packed(2024, 3, 10, 8, 30);
    int64_t base = 0;
    QVERIFY(SCodeUsb::PackedDateToSecs(date, &base));
    MessageCapture log;
    SendBlock(link, 0, HIS_SUB_PM25, {5, 6, 0, 7}, date);
    QCOMPARE(link.m_RealPM25Count, uint16_t(4));
    QCOMPARE(link.m_PM25His[0], uint16_t(5));
    QCOMPARE(link.m_PM25His[2], uint16_t(0));
    QCOMPARE(link.m_PM25His[3], uint16_t(7));
    QCOMPARE(link.m_HisBaseTime, date);
    const std::vector<uint32_t> expected = {uint32_t(base - 600), uint32_t(base - 300),
                                            uint32_t(base), uint32_t(base + 300)};
    QCOMPARE(link.m_HisTimes, expected);
    QCOMPARE(log.CountStartingWith("mTimeSec="), 4);
    QVERIFY(log.Lines().contains(QStringLiteral("mTimeSec=24-03-10 08:35:00\n")));

    // A block whose third page has not arrived is not flushed.
    const std::array<int, 12> full = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    QCOMPARE(Decode(link, BlockPage(3, HIS_SUB_PM25, full, Packed(2024, 3, 10, 9, 30))),
             REPLY_HIS_BLOCK);
    QCOMPARE(Decode(link, BlockPage(4, HIS_SUB_PM25, full)), REPLY_HIS_BLOCK);
    QCOMPARE(link.m_RealPM25Count, uint16_t(4));
    QCOMPARE(Decode(link, BlockPage(5, HIS_SUB_PM25, full)), REPLY_HIS_BLOCK);
    QCOMPARE(link.m_RealPM25Count, uint16_t(16));
    QCOMPARE(link.m_PM25His[15], uint16_t(12));
    QCOMPARE(link.m_HisTimes.size(), size_t(16));
    int64_t second = 0;
    QVERIFY(SCodeUsb::PackedDateToSecs(Packed(2024, 3, 10, 9, 30), &second));
    QCOMPARE(int64_t(link.m_HisTimes[15]), second + 300); // stamped from its own block date
    QCOMPARE(int64_t(link.m_HisTimes[4]), second - 3000);

    // A block decoded twice is stored once. A block with a lost page is dropped whole, and
    // none of its values reach the block after it.
    SendBlock(link, 3, HIS_SUB_PM25, full, Packed(2024, 3, 10, 9, 30));
    for (int lost : {6, 7, 8}) {
        for (int p = 6; p < 9; ++p)
            if (p != lost)
                Decode(link, BlockPage(p, HIS_SUB_PM25, {9, 9, 9, 9, 9, 9, 9, 9, 9}));
    }
    QCOMPARE(link.m_RealPM25Count, uint16_t(16));
    QCOMPARE(Decode(link, BlockPage(10, HIS_SUB_PM25, full)), REPLY_HIS_BLOCK); // no first page
    SendBlock(link, 12, HIS_SUB_PM25, {21, 22}, Packed(2024, 3, 10, 10, 30));
    QCOMPARE(Decode(link, BlockPage(14, HIS_SUB_PM25, {0, 0, 0, 0, 0, 0, 0, 0, 1})), REPLY_HIS_BLOCK);
    QCOMPARE(link.m_RealPM25Count, uint16_t(18));
    QCOMPARE(link.m_PM25His[17], uint16_t(22));
    QCOMPARE(link.m_HisTimes.size(), size_t(18));
    QCOMPARE(link.m_PM25Spans.size(), size_t(3));
    QCOMPARE(link.m_PM25Spans.back().m_Block, 4);

    // PM10 blocks fill their own store and leave the PM2.5 date and stamps alone.
    SendBlock(link, 18, HIS_SUB_PM10, {40, 41, 42}, Packed(2030, 1, 1, 0, 0));
    QCOMPARE(link.m_RealPM10Count, uint16_t(3));
    QCOMPARE(link.m_PM10His[2], uint16_t(42));
    QCOMPARE(link.m_HisTimes.size(), size_t(18));
    QCOMPARE(link.m_HisBaseTime, Packed(2024, 3, 10, 10, 30));
}

void TestDeviceProtocol::blocksFlushOnlyTheirValidPrefix()
{
    SCodeUsb link;
    SendBlock(link, 0, HIS_SUB_PM25, {}, Packed(2024, 3, 10, 8, 30));
    SendBlock(link, 3, HIS_SUB_PM25, {0xFFFF, 0, 0xFFFF, 0, 0, 0, 0, 0, 0, 0, 0, 0xFFFF},
              Packed(2024, 3, 10, 8, 30));
    QCOMPARE(link.m_RealPM25Count, uint16_t(0));
    QVERIFY(link.m_HisTimes.empty());

    SendBlock(link, 6, HIS_SUB_PM25, {0xFFFF, 3, 0, 0xFFFF, 9, 0xFFFF}, Packed(2024, 3, 10, 8, 30));
    QCOMPARE(link.m_RealPM25Count, uint16_t(5));
    QCOMPARE(link.m_PM25His[0], uint16_t(0xFFFF));
    QCOMPARE(link.m_PM25His[4], uint16_t(9));
    QCOMPARE(link.m_HisTimes.size(), size_t(5));
}

void TestDeviceProtocol::fullStoresKeepValuesAndStampsPaired()
{
    SCodeUsb link;
    const std::array<int, 12> full = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    const uint32_t date = Packed(2024, 3, 10, 8, 30);
    SendBlock(link, 0, HIS_SUB_PM25, {1, 2, 3, 4, 5}, date);
    for (int b = 1; b <= 335; ++b)
        SendBlock(link, 3 * b, HIS_SUB_PM25, full, date);
    QCOMPARE(link.m_RealPM25Count, uint16_t(4025));
    // Only 7 of the next block's 12 values fit; they keep their own stamps.
    const uint32_t last = Packed(2024, 3, 10, 9, 30);
    int64_t base = 0;
    QVERIFY(SCodeUsb::PackedDateToSecs(last, &base));
    SendBlock(link, 1008, HIS_SUB_PM25, full, last);
    QCOMPARE(link.m_RealPM25Count, uint16_t(4032));
    QCOMPARE(link.m_HisTimes.size(), size_t(4032));
    QCOMPARE(link.m_PM25His[4031], uint16_t(7));
    QCOMPARE(int64_t(link.m_HisTimes.back()), base - 1200);
    SendBlock(link, 1011 % 1024, HIS_SUB_PM25, full, last);
    QCOMPARE(link.m_RealPM25Count, uint16_t(4032));
    QCOMPARE(link.m_HisTimes.size(), size_t(4032));

    for (int b = 0; b < 340; ++b)
        SendBlock(link, 3 * b, HIS_SUB_PM10, full, 0);
    QCOMPARE(link.m_RealPM10Count, uint16_t(4032));
    QCOMPARE(link.m_HisTimes.size(), size_t(4032));
}

void TestDeviceProtocol::invalidBlockDatesContinueTheTimeLine()
{
    SCodeUsb link;
    const std::array<int, 12> three = {1, 2, 3};
    // No earlier value to count from: dropped, never stamped from the epoch.
    SendBlock(link, 0, HIS_SUB_PM25, three, Packed(2024, 0, 10, 8, 30));
    QCOMPARE(link.m_RealPM25Count, uint16_t(0));
    QVERIFY(link.m_HisTimes.empty());

    const uint32_t good = Packed(2024, 3, 10, 8, 30);
    int64_t base = 0;
    QVERIFY(SCodeUsb::PackedDateToSecs(good, &base));
    SendBlock(link, 3, HIS_SUB_PM25, three, good);
    QCOMPARE(int64_t(link.m_HisTimes.back()), base + 300);
    // Each value of a block lies 12 places after its partner in the block before: 3600 s.
    int page = 6;
    for (uint32_t bad : {Packed(2024, 13, 1, 0, 0), Packed(2024, 2, 30, 0, 0),
                         Packed(2024, 1, 0, 0, 0), Packed(2024, 1, 1, 24, 0),
                         Packed(2024, 1, 1, 0, 60)}) {
        const int64_t before = link.m_HisTimes.back();
        SendBlock(link, page, HIS_SUB_PM25, three, bad);
        page += 3;
        QCOMPARE(int64_t(link.m_HisTimes.back()), before + 3600);
    }
    // A block with fewer values continues from the place of the last value before it.
    SendBlock(link, page, HIS_SUB_PM25, {1, 2, 3, 4, 5}, Packed(2024, 0, 1, 0, 0));
    page += 3;
    QCOMPARE(int64_t(link.m_HisTimes.back()), base + 300 + 6 * 3600 + 2 * 300);
    QCOMPARE(link.m_HisTimes.size(), size_t(link.m_RealPM25Count));

    // The block before was dropped (a lost page): nothing to continue from, dropped too.
    const uint16_t kept = link.m_RealPM25Count;
    Decode(link, BlockPage(page, HIS_SUB_PM25, three, good));
    Decode(link, BlockPage(page + 2, HIS_SUB_PM25, three, good));
    SendBlock(link, page + 3, HIS_SUB_PM25, three, Packed(2024, 0, 1, 0, 0));
    QCOMPARE(link.m_RealPM25Count, kept);
    QCOMPARE(link.m_HisTimes.size(), size_t(kept));
}

void TestDeviceProtocol::packedDateIsLocalTime()
{
    int64_t secs = 0;
    const uint32_t packed = 0x9Cu | 0x1Fu << 8 | 0x17u << 16 | 0x3Bu << 24;
    QVERIFY(SCodeUsb::PackedDateToSecs(packed, &secs));
    const QDateTime local = QDateTime::fromSecsSinceEpoch(secs);
    QCOMPARE(local.date(), QDate(2024, 12, 31));
    QCOMPARE(local.time(), QTime(23, 59, 0));
    QVERIFY(SCodeUsb::PackedDateToSecs(Packed(2030, 12, 31, 23, 59), &secs));
    QVERIFY(SCodeUsb::PackedDateToSecs(Packed(2024, 2, 29, 0, 0), &secs));
    QVERIFY(!SCodeUsb::PackedDateToSecs(Packed(2023, 2, 29, 0, 0), &secs));

    // 02:30 on this day does not exist in New York (clocks jump from 2:00 to 3:00): it is read
    // with the offset in force before the jump, elsewhere it is an ordinary time.
    QVERIFY(SCodeUsb::PackedDateToSecs(Packed(2024, 3, 10, 2, 30), &secs));
    const QDateTime halfPastMidnight(QDate(2024, 3, 10), QTime(0, 30), Qt::LocalTime);
    QCOMPARE(secs, halfPastMidnight.toSecsSinceEpoch() + 2 * 3600);
}

void TestDeviceProtocol::modelTableAndChannelRules()
{
    SCodeUsb link;
    QCOMPARE(link.GetDataKind(), 2);
    QCOMPARE(link.GetModelName(), QByteArray("error"));
    QCOMPARE(link.GetHisInterval(), 300);
    const struct {
        int type;
        const char *name;
        int channels;
        int interval;
    } rows[] = {
        {0, "AQ-110", 1, 300},     {2, "AQ-110-2", 1, 311},  {6, "error", 2, 300},
        {7, "error", 2, 300},      {20, "AQ-130", 2, 297},   {60, "AQ-150", 2, 300},
        {130, "AQ-410", 1, 300},   {131, "AQ-420", 1, 300},  {132, "AQ-510", 2, 300},
        {153, "AQ-520-4", 1, 300}, {154, "error", 2, 300},   {155, "AQ-520-5", 1, 300},
        {159, "AQ-520-9", 2, 300}, {161, "AQ-520-11", 2, 300}, {255, "AQ-110-9", 1, 300},
    };
    for (const auto &r : rows) {
        link.m_DevType = r.type;
        QCOMPARE(link.GetModelName(), QByteArray(r.name));
        QCOMPARE(link.GetDataKind(), r.channels);
        QCOMPARE(link.GetHisInterval(), r.interval);
    }
    // The channel count of every type code, not a sample of them.
    const QSet<int> oneChannel = {0,   1,   2,   3,   4,   5,   8,   40,  50,  100, 120,
                                  130, 131, 150, 151, 152, 153, 155, 156, 157, 158, 255};
    for (int type = -1; type <= 255; ++type) {
        link.m_DevType = type;
        QCOMPARE(link.GetDataKind(), oneChannel.contains(type) ? 1 : 2);
    }
}

QTEST_GUILESS_MAIN(TestDeviceProtocol)
#include "test_device_protocol.moc"
