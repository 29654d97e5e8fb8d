// The device link through the real libusb and the real Qt SerialPort, against
// the simulated sensor presented by the umockdev bed.
#include "messagecapture.h"
#include "scodeusb.h"
#include "simbed.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSerialPort>
#include <QtTest>
#include <libusb.h>
#include <set>

namespace {

// Reads until one of the wanted codes arrives (or the time is up); the codes seen on the way are kept.
struct Reader {
    explicit Reader(SCodeUsb &l) : link(l) {}
    SCodeUsb &link;
    QList<int> seen;
    TAG_T_SPM25Data record{};

    int Until(std::set<int> wanted, int timeoutMs = 3000)
    {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < timeoutMs) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            const int code = link.ReadPM25Data(0, &record);
            if (code != REPLY_NONE)
                seen << code;
            if (wanted.count(code))
                return code;
        }
        return -1;
    }
};

QByteArray Image(const sim::Frame &f)
{
    return QByteArray(reinterpret_cast<const char *>(f.data()), int(f.size()));
}

QByteArray Hex(const char *hex)
{
    return QByteArray::fromHex(hex);
}

void OpenSerial(SCodeUsb &link)
{
    link.m_SerialPort.m_bPortOpen = link.m_SerialPort.OpenSerialPort();
    QCOMPARE(link.m_SerialPort.m_bPortOpen, 1);
}

} // namespace

class TestDeviceBed : public QObject
{
    Q_OBJECT

private slots:
    void noDeviceOpensNothing();
    void mixedIdsAreRefused();
    void twoDevicesAreBothListed();
    void openFailureSkipsTheDevice();
    void kernelDriverIsDetachedForTheClaim();
    void readsAndTheirDebugLines();
    void usbRoundTrips();
    void closeTwice();
    void serialDiscovery();
    void serialWithoutAcceptedPort();
    void serialRoundTrips();
    void serialFaultsCostOneFrame();
};

void TestDeviceBed::noDeviceOpensNothing()
{
    sim::SimBed bed;
    SCodeUsb link;
    QCOMPARE(link.OpenUsbDevice(), 0);
    QCOMPARE(link.HasDevice(), 0);
    QCOMPARE(link.m_bUsbOpen, 0);
    QVERIFY(link.m_LibUsbCtx != nullptr);
    unsigned char buf[FRAME_LEN];
    for (int index : {-1, 0, 1})
        QCOMPARE(link.ReadData(index, buf, FRAME_LEN), 0);
    QVERIFY(!link.AskDeviceInfoUsb(0));
    QVERIFY(link.AskHistoryPage(0, 0, 1)); // nothing is written, but the call succeeds
}

void TestDeviceBed::mixedIdsAreRefused()
{
    sim::SimBed bed;
    bed.addOtherUsbDevice(0x16C0, 0xFFF2);
    bed.addOtherUsbDevice(0xFFF1, 0x05DF);
    bed.addOtherUsbDevice(0x046D, 0xC52B);
    SCodeUsb link;
    QCOMPARE(link.OpenUsbDevice(), 0);
    QCOMPARE(link.m_bUsbOpen, 0);
}

void TestDeviceBed::twoDevicesAreBothListed()
{
    sim::SimBed bed;
    const int a = bed.addUsbSensor(0xFFF1, 0xFFF2);
    bed.addOtherUsbDevice(0x046D, 0xC52B);
    const int b = bed.addUsbSensor(0x16C0, 0x05DF);
    SCodeUsb link;
    QCOMPARE(link.OpenUsbDevice(), 2);
    QCOMPARE(link.HasDevice(), 1);
    QCOMPARE(link.m_bUsbOpen, 1);
    QVERIFY(link.m_DevList[0].m_pHandle && link.m_DevList[1].m_pHandle);
    QVERIFY(link.CheckIndex(1));
    QVERIFY(!link.CheckIndex(2));
    QVERIFY(link.GetDevName(0).isEmpty() && link.GetDevSerial(1).isEmpty());
    // Only device 0 is asked.
    QVERIFY(link.AskDeviceInfo());
    const size_t askedA = bed.with(a, [](sim::SimSensor &s) { return s.requestCount(0xA6); });
    const size_t askedB = bed.with(b, [](sim::SimSensor &s) { return s.requestCount(0xA6); });
    QCOMPARE(askedA + askedB, size_t(1));
}

void TestDeviceBed::openFailureSkipsTheDevice()
{
    {
        sim::SimBed bed;
        sim::UsbOptions noNode;
        noNode.withDevNode = false;
        bed.addUsbSensor(0xFFF1, 0xFFF2, noNode);
        SCodeUsb link;
        QCOMPARE(link.OpenUsbDevice(), 0);
        QCOMPARE(link.m_bUsbOpen, 0);
    }
    sim::SimBed bed;
    sim::UsbOptions noNode;
    noNode.withDevNode = false;
    bed.addUsbSensor(0xFFF1, 0xFFF2, noNode);
    const int good = bed.addUsbSensor(0x16C0, 0x05DF);
    SCodeUsb link;
    QCOMPARE(link.OpenUsbDevice(), 1);
    QCOMPARE(link.m_bUsbOpen, 1);
    link.AskDeviceInfo();
    QCOMPARE(bed.with(good, [](sim::SimSensor &s) { return s.requestCount(0xA6); }), size_t(1));
}

void TestDeviceBed::kernelDriverIsDetachedForTheClaim()
{
    // Both ways libusb detaches: the combined ioctl, and the older detach-then-claim.
    for (bool disconnectClaim : {true, false}) {
        sim::SimBed bed;
        sim::UsbOptions held;
        held.kernelDriverBound = true;
        held.disconnectClaim = disconnectClaim;
        const int id = bed.addUsbSensor(0x16C0, 0x05DF, held);
        SCodeUsb link;
        QCOMPARE(link.OpenUsbDevice(), 1);
        QVERIFY(bed.usbState(id).claimed);
        QVERIFY(!bed.usbState(id).driverBound);
        link.AskDeviceInfo();
        Reader r{link};
        QCOMPARE(r.Until({REPLY_DEVICE_INFO}), int(REPLY_DEVICE_INFO));
        link.CloseUsbDevice();
        QVERIFY(bed.usbState(id).driverBound); // handed back to the kernel on release
    }
}

void TestDeviceBed::readsAndTheirDebugLines()
{
    sim::SimBed bed;
    const int id = bed.addUsbSensor();
    SCodeUsb link;
    QCOMPARE(link.OpenUsbDevice(), 1);
    // A rescan closes what the first open holds (LeakSanitizer sees a lost context) and
    // leaves one working entry.
    QCOMPARE(link.OpenUsbDevice(), 1);
    QCOMPARE(link.m_DevList.size(), size_t(1));
    unsigned char buf[FRAME_LEN];
    {
        MessageCapture log;
        QCOMPARE(link.ReadData(0, buf, FRAME_LEN), 0); // nothing queued: time-out
        QVERIFY(log.Lines().isEmpty());
        buf[0] = 0x5A;
        QCOMPARE(link.ReadData(0, buf, -4), 0); // refused, nothing filled
        QCOMPARE(buf[0], 0x5A);
    }
    bed.with(id, [](sim::SimSensor &s) { s.emitMeasurement(1); });
    MessageCapture log;
    QCOMPARE(link.ReadData(0, buf, FRAME_LEN), FRAME_LEN);
    QCOMPARE(log.Lines().size(), 21);
    QCOMPARE(log.Lines().first(), QStringLiteral("01"));
    QCOMPARE(log.Lines()[1], QStringLiteral("aa"));
    QCOMPARE(log.Lines()[2], QStringLiteral("a5"));
    QCOMPARE(log.Lines().last(), QStringLiteral("=============="));

    // A short report is no frame: nothing is decoded from its zero-filled rest.
    bed.shortenNextUsbReport(id, 8);
    bed.with(id, [](sim::SimSensor &s) { s.emitMeasurement(1); });
    TAG_T_SPM25Data rec{7, 7, 7, 7, 7};
    QElapsedTimer t;
    t.start();
    while (link.m_ReadLen == 0 && t.elapsed() < 2000)
        link.ReadPM25Data(0, &rec);
    QCOMPARE(link.m_ReadLen, 8);
    QCOMPARE(rec.m_PM25, uint16_t(7));
}

void TestDeviceBed::usbRoundTrips()
{
    sim::SimBed bed;
    const int id = bed.addUsbSensor();
    bed.with(id, [](sim::SimSensor &s) {
        s.setDeviceType(20);
        s.setIdentity("q7x2");
        s.setSerial6({0xDE, 0xAD, 0xBE, 0xEF, 0x00, 0x0A});
        s.setKinds({1, 17});
        s.generateHistory(30, 1700000040);
    });
    SCodeUsb link;
    QCOMPARE(link.OpenUsbDevice(), 1);
    Reader r{link};

    link.AskDeviceInfo();
    QCOMPARE(r.Until({REPLY_DEVICE_INFO}), int(REPLY_DEVICE_INFO));
    QCOMPARE(link.m_DevType, 20);
    QCOMPARE(link.GetDevName(0), QByteArray("q7x2"));
    QCOMPARE(link.GetDevSerial(0), QByteArray("deadbeef000a"));
    const QByteArray sent = bed.with(id, [](sim::SimSensor &s) { return Image(s.requests().back().image); });
    QCOMPARE(sent, Hex("02aaa6000000000000000000000000000000" "00ab"));

    // Measurements arrive on the sensor's own schedule.
    bed.advance(1000);
    QCOMPARE(r.Until({DATA_PM_1}), int(DATA_PM_1));
    QVERIFY(r.record.m_PM25 > 0);
    QCOMPARE(r.Until({DATA_GAS_17}), int(DATA_GAS_17));

    bed.with(id, [](sim::SimSensor &s) { s.queueParamPair(3, 0x0102, 0x0304); });
    QCOMPARE(r.Until({REPLY_PARAM}), int(REPLY_PARAM));
    QCOMPARE(link.m_ParamPairs[3].m_Second, uint16_t(0x0304));

    // Block history: page 0 brings the count and the first block's date and values.
    for (int page = 0; page < 3; ++page) {
        link.AskHistoryPage(0, page, 1);
        QCOMPARE(r.Until({REPLY_HIS_BLOCK}), int(REPLY_HIS_BLOCK));
    }
    QCOMPARE(link.m_5MinutesCount, uint16_t(36));
    QCOMPARE(link.m_RealPM25Count, uint16_t(12));
    QCOMPARE(link.m_HisTimes.size(), size_t(12));
    const uint16_t first = bed.with(id, [](sim::SimSensor &s) { return s.history()[0].pm25; });
    QCOMPARE(link.m_PM25His[0], first);
    // The block's last value is stamped at its own minute (block dates have no seconds); type 20
    // keeps a value every 297 s, the stamps before it go back 300 s each.
    QCOMPARE(int64_t(link.m_HisTimes[11]),
             bed.with(id, [](sim::SimSensor &s) { return s.history()[11].time / 60 * 60; }));
    QCOMPARE(int64_t(link.m_HisTimes[0]), int64_t(link.m_HisTimes[11]) - 11 * 300);

    // Page history for the old sensors.
    bed.with(id, [](sim::SimSensor &s) { s.setDeviceType(3); });
    link.m_DevType = 3;
    link.AskHistoryPage(0, 3, 1);
    QCOMPARE(r.Until({REPLY_HIS_PAGE}), int(REPLY_HIS_PAGE));
    for (int k = 18; k < 24; ++k) // page 3 holds values 18 to 23, beyond the block above
        QCOMPARE(link.m_PM25His[k],
                 bed.with(id, [k](sim::SimSensor &s) { return s.history()[size_t(k)].pm25; }));
    const QByteArray pageRequest =
        bed.with(id, [](sim::SimSensor &s) { return Image(s.requests().back().image); });
    QCOMPARE(pageRequest, Hex("02aaac030000000000000000000000000000" "03ab"));
}

void TestDeviceBed::closeTwice()
{
    sim::SimBed bed;
    bed.addUsbSensor();
    SCodeUsb link;
    QCOMPARE(link.OpenUsbDevice(), 1);
    QCOMPARE(link.CloseUsbDevice(), 0);
    QCOMPARE(link.m_bUsbOpen, 0);
    QVERIFY(link.m_LibUsbCtx == nullptr);
    QCOMPARE(link.HasDevice(), 0);
    QCOMPARE(link.CloseUsbDevice(), 0);
    unsigned char buf[FRAME_LEN];
    QCOMPARE(link.ReadData(0, buf, FRAME_LEN), 0);
}

void TestDeviceBed::serialDiscovery()
{
    sim::SimBed bed;
    bed.addOtherSerialPort("ttyUSB", 0x0403, 0x6001);
    bed.addOtherSerialPort("ttyUSB", 0x1A86, 0x7522);
    const int first = bed.addSerialSensor("ttyUSB");
    bed.addSerialSensor("ttyUSB");
    GSerialPort port;
    QCOMPARE(port.OpenSerialPort(), 1);
    QCOMPARE(port.m_pPort->portName(), QString::fromStdString(bed.ttyName(first)));
    QCOMPARE(port.m_PortList.size(), size_t(4));
    QCOMPARE(port.m_pPort->baudRate(), 9600);
    QCOMPARE(port.m_pPort->dataBits(), QSerialPort::Data8);
    QCOMPARE(port.m_pPort->parity(), QSerialPort::NoParity);
    QCOMPARE(port.m_pPort->stopBits(), QSerialPort::OneStop);
    QCOMPARE(port.FindSerialPort(), 8); // the list is not emptied first
}

void TestDeviceBed::serialWithoutAcceptedPort()
{
    sim::SimBed bed;
    bed.addOtherSerialPort("ttyUSB", 0x0403, 0x6001);
    GSerialPort port;
    QCOMPARE(port.OpenSerialPort(), 0);
    QVERIFY(!port.m_pPort->isOpen());
    QCOMPARE(port.m_PortList.size(), size_t(1));
}

void TestDeviceBed::serialRoundTrips()
{
    sim::SimBed bed;
    const int id = bed.addSerialSensor();
    bed.with(id, [](sim::SimSensor &s) {
        s.setDeviceType(130);
        s.setKinds({1, 3, 17, 33});
        s.generateHistory(40, 1700000040);
    });
    SCodeUsb link;
    OpenSerial(link);
    Reader r{link};

    link.AskDeviceInfo();
    QCOMPARE(r.Until({REPLY_SERIAL_ID}), int(REPLY_SERIAL_ID));
    QVERIFY(r.seen.contains(REPLY_DEVICE_INFO));
    QCOMPARE(link.m_DevType, 130);
    QCOMPARE(link.m_LinkMode, 4);
    QCOMPARE(int(link.m_DevList.size()), 1);
    QCOMPARE(link.GetDevSerial(0), QByteArray("123456789abcde"));
    bed.with(id, [](sim::SimSensor &s) {
        QCOMPARE(s.requestCount(0xA6, sim::Link::Serial), size_t(1));
        QCOMPARE(s.requestCount(0xB5, sim::Link::Serial), size_t(1));
    });

    bed.advance(1000);
    for (int kind : {1, 3, 17, 33})
        QCOMPARE(r.Until({kind}), kind);
    // Link mode 4: the identity comes from bytes 10, 11, 15 and 16 of every measurement ("ab12").
    QCOMPARE(link.GetDevName(0), QByteArray("6162-3132"));

    // A block download over the serial link: 40 values reported, raised to 48.
    for (int page = 0; page < 3; ++page) {
        link.m_SerialPort.AskHistoryData(page, 1, 0);
        QCOMPARE(r.Until({REPLY_HIS_BLOCK}), int(REPLY_HIS_BLOCK));
    }
    QCOMPARE(link.m_5MinutesCount, uint16_t(48));
    QCOMPARE(link.m_RealPM25Count, uint16_t(12));
    QCOMPARE(int64_t(link.m_HisTimes.front()),
             bed.with(id, [](sim::SimSensor &s) { return s.history()[0].time; }));

    // History requests carry the page in bytes 3 and 17 and the TVOC kind on this link only.
    const size_t before = bed.with(id, [](sim::SimSensor &s) { return s.requestCount(0xAD); });
    link.m_SerialPort.AskHistoryData(258, 1, 0);
    link.m_SerialPort.AskHistoryData(4, 2, 1);
    link.m_SerialPort.AskHistoryData(4, 2, 0);
    link.m_SerialPort.AskHistoryData(4, 1, 1); // the TVOC flag changes kind 2 only
    link.m_SerialPort.AskHistoryData(4, 5, 1);
    link.m_SerialPort.SendClear();
    QTRY_COMPARE(bed.with(id, [](sim::SimSensor &s) { return s.requestCount(0xAD); }), before + 6);
    const QList<QByteArray> images = bed.with(id, [](sim::SimSensor &s) {
        QList<QByteArray> out;
        for (const sim::Request &q : s.requests())
            if (q.image[2] == 0xAD)
                out << Image(q.image).mid(1);
        return out.mid(out.size() - 6);
    });
    QCOMPARE(images[0], Hex("aaad0201" "000000000000000000000000" "0104ab"));
    QCOMPARE(int(images[1][3]), 3);
    QCOMPARE(int(images[2][3]), 2);
    QCOMPARE(int(images[3][3]), 1);
    QCOMPARE(int(images[4][3]), 5);
    QCOMPARE(images[5], Hex("aaad000001" "000000000000000000000000" "01ab"));
    QCOMPARE(r.Until({REPLY_CLEARED}), int(REPLY_CLEARED));
    QVERIFY(bed.with(id, [](sim::SimSensor &s) { return s.history().empty(); }));
}

void TestDeviceBed::serialFaultsCostOneFrame()
{
    sim::SimBed bed;
    const int id = bed.addSerialSensor();
    SCodeUsb link;
    OpenSerial(link);
    Reader r{link};
    bed.with(id, [](sim::SimSensor &s) {
        s.setNextMeasurement(1, 10, 0, 111, 0, 0);
        s.loseByteInNextFrame();
        s.emitMeasurement(1);
        s.setNextMeasurement(1, 10, 0, 222, 0, 0);
        s.emitMeasurement(1);
        s.sendGarbage(57);
        s.setNextMeasurement(1, 10, 0, 333, 0, 0);
        s.addByteInNextFrame();
        s.emitMeasurement(1);
        s.setNextMeasurement(1, 10, 0, 444, 0, 0);
        s.emitMeasurement(1);
    });
    QList<int> values;
    QElapsedTimer t;
    t.start();
    while (values.size() < 2 && t.elapsed() < 3000) {
        if (r.Until({DATA_PM_1}, 200) == DATA_PM_1)
            values << r.record.m_PM25;
    }
    QCOMPARE(values, (QList<int>{222, 444}));
}

QTEST_GUILESS_MAIN(TestDeviceBed)
#include "test_device_bed.moc"
