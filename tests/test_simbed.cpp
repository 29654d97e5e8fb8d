// The bed itself, driven through real libusb and Qt SerialPort: these tests talk
// to the simulated devices directly, without the program.
#include "simbed.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSerialPort>
#include <QSerialPortInfo>
#include <QtTest>

#include <fcntl.h>
#include <libusb.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <thread>

using namespace sim;

namespace {

// One libusb context with at most one open device.
struct Usb {
    libusb_context* ctx = nullptr;
    libusb_device_handle* handle = nullptr;

    Usb() { libusb_init(&ctx); }
    ~Usb()
    {
        if (handle)
            libusb_close(handle);
        libusb_exit(ctx);
    }
    QList<QPair<uint16_t, uint16_t>> ids() const
    {
        QList<QPair<uint16_t, uint16_t>> out;
        libusb_device** list = nullptr;
        const ssize_t n = libusb_get_device_list(ctx, &list);
        for (ssize_t i = 0; i < n; ++i) {
            libusb_device_descriptor d{};
            if (libusb_get_device_descriptor(list[i], &d) == 0)
                out.append({d.idVendor, d.idProduct});
        }
        libusb_free_device_list(list, 1);
        return out;
    }
    int open(uint16_t vid, uint16_t pid)
    {
        libusb_device** list = nullptr;
        const ssize_t n = libusb_get_device_list(ctx, &list);
        int rc = LIBUSB_ERROR_NOT_FOUND;
        for (ssize_t i = 0; i < n && !handle; ++i) {
            libusb_device_descriptor d{};
            if (libusb_get_device_descriptor(list[i], &d) == 0 && d.idVendor == vid && d.idProduct == pid)
                rc = libusb_open(list[i], &handle);
        }
        libusb_free_device_list(list, 1);
        return rc;
    }
    int send(const Frame& f)
    {
        Frame copy = f;
        int done = 0;
        const int rc = libusb_interrupt_transfer(handle, 0x02, copy.data(), int(copy.size()), &done, 200);
        return rc ? rc : done;
    }
    // Bytes received, or a libusb error.
    int receive(Frame& f, unsigned timeoutMs = 10)
    {
        f.fill(0);
        int done = 0;
        const int rc = libusb_interrupt_transfer(handle, 0x81, f.data(), int(f.size()), &done, timeoutMs);
        return rc ? rc : done;
    }
};

QByteArray wire(const Frame& f)
{
    return QByteArray(reinterpret_cast<const char*>(f.data()) + 1, int(kWireSize));
}

QByteArray readExactly(QSerialPort& port, int n)
{
    QByteArray got;
    QDeadlineTimer deadline(5000);
    while (got.size() < n && !deadline.hasExpired()) {
        if (port.bytesAvailable() || port.waitForReadyRead(50))
            got += port.read(n - got.size());
    }
    return got;
}

QByteArray readExactly(int fd, int n)
{
    QByteArray got;
    QDeadlineTimer deadline(5000);
    while (got.size() < n && !deadline.hasExpired()) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 50) <= 0)
            continue;
        char buf[64];
        const ssize_t r = read(fd, buf, size_t(std::min<int>(n - got.size(), int(sizeof buf))));
        if (r > 0)
            got.append(buf, int(r));
    }
    return got;
}

// Empty on success, else Qt's reason.
QString openSensorPort(QSerialPort& port, const QString& name)
{
    port.setPortName(name);
    const bool ok = port.open(QIODevice::ReadWrite) && port.setBaudRate(9600)
                    && port.setDataBits(QSerialPort::Data8) && port.setParity(QSerialPort::NoParity)
                    && port.setStopBits(QSerialPort::OneStop);
    return ok ? QString() : port.errorString();
}

} // namespace

class TestSimBed : public QObject {
    Q_OBJECT

private slots:
    void usbListsOnlyBedDevices();
    void usbRoundTrip();
    void usbKernelDriver_data();
    void usbKernelDriver();
    void usbWithoutDevNodeCannotOpen();
    void usbFaults();
    void serialDiscovery();
    void serialNamesAreThisBedsOwn();
    void serialRoundTrip();
    void serialBytesPassUnchanged();
    void serialDropsWhileClosedAndHangsUp();
    void replugRounds();
};

void TestSimBed::usbListsOnlyBedDevices()
{
    SimBed bed;
    bed.addUsbSensor();
    bed.addOtherUsbDevice(0x16C0, 0xFFF2);
    bed.addSerialSensor(); // its bridge has no usbfs node, as with a kernel serial driver
    Usb usb;
    auto ids = usb.ids();
    std::sort(ids.begin(), ids.end());
    QCOMPARE(ids, (QList<QPair<uint16_t, uint16_t>>{{0x16C0, 0xFFF2}, {0xFFF1, 0xFFF2}}));
}

void TestSimBed::usbRoundTrip()
{
    SimBed bed;
    const int id = bed.addUsbSensor(0x16C0, 0x05DF);
    bed.with(id, [](SimSensor& s) {
        s.setDeviceType(131);
        s.setIdentity("Zq9!");
    });
    Usb usb;
    QCOMPARE(usb.open(0x16C0, 0x05DF), 0);
    QCOMPARE(libusb_set_configuration(usb.handle, 1), 0);
    QCOMPARE(libusb_claim_interface(usb.handle, 0), 0);
    QCOMPARE(bed.usbState(id).claimed, true);

    QCOMPARE(usb.send(makeRequest(kCmdDeviceInfo, true)), 20);
    Frame reply;
    QCOMPARE(usb.receive(reply), 20);
    QCOMPARE(reply[2], kCmdDeviceInfo);
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(&reply[9]), 4), QByteArray("Zq9!"));
    QCOMPARE(reply[13], uint8_t(131));
    QCOMPARE(reply[19], kTail);
    bed.with(id, [](SimSensor& s) {
        QCOMPARE(s.requestCount(kCmdDeviceInfo, Link::Usb), size_t(1));
        QCOMPARE(s.requests().back().image[0], uint8_t(0x02));
    });

    // A read that times out is discarded by libusb; the next frame must still arrive whole.
    QCOMPARE(usb.receive(reply), int(LIBUSB_ERROR_TIMEOUT));
    QVERIFY(bed.usbState(id).discarded >= 1);
    bed.advance(1000);
    QCOMPARE(usb.receive(reply), 20);
    QCOMPARE(reply[2], kCmdMeasurement);
    QCOMPARE(usb.receive(reply), int(LIBUSB_ERROR_TIMEOUT));

    QCOMPARE(libusb_release_interface(usb.handle, 0), 0);
    QCOMPARE(bed.usbState(id).claimed, false);
    QVERIFY(bed.usbState(id).unknownIoctls.empty());
}

void TestSimBed::usbKernelDriver_data()
{
    QTest::addColumn<bool>("disconnectClaim");
    QTest::newRow("disconnect-and-claim") << true;
    QTest::newRow("detach, then claim") << false;
}

void TestSimBed::usbKernelDriver()
{
    QFETCH(bool, disconnectClaim);
    SimBed bed;
    UsbOptions opt;
    opt.kernelDriverBound = true;
    opt.disconnectClaim = disconnectClaim;
    const int id = bed.addUsbSensor(0xFFF1, 0xFFF2, opt);
    Usb usb;
    QCOMPARE(usb.open(0xFFF1, 0xFFF2), 0);
    QCOMPARE(libusb_kernel_driver_active(usb.handle, 0), 1);

    // Without detaching, neither claiming nor using the interface works.
    QCOMPARE(libusb_claim_interface(usb.handle, 0), int(LIBUSB_ERROR_BUSY));
    QCOMPARE(usb.send(makeRequest(kCmdDeviceInfo, true)), int(LIBUSB_ERROR_IO)); // libusb's word for EBUSY here
    QCOMPARE(bed.with(id, [](SimSensor& s) { return s.requests().size(); }), size_t(0));

    QCOMPARE(libusb_set_auto_detach_kernel_driver(usb.handle, 1), 0);
    QCOMPARE(libusb_claim_interface(usb.handle, 0), 0);
    QCOMPARE(bed.usbState(id).driverBound, false);
    QCOMPARE(bed.usbState(id).claimed, true);
    QCOMPARE(usb.send(makeRequest(kCmdDeviceInfo, true)), 20);
    Frame reply;
    QCOMPARE(usb.receive(reply), 20);
    QCOMPARE(reply[2], kCmdDeviceInfo);

    // Released with auto-detach, the interface goes back to the kernel driver.
    QCOMPARE(libusb_release_interface(usb.handle, 0), 0);
    QCOMPARE(bed.usbState(id).driverBound, true);
    QCOMPARE(libusb_kernel_driver_active(usb.handle, 0), 1);
}

void TestSimBed::usbWithoutDevNodeCannotOpen()
{
    SimBed bed;
    UsbOptions opt;
    opt.withDevNode = false;
    const int id = bed.addUsbSensor(0xFFF1, 0xFFF2, opt);
    Usb usb;
    QVERIFY(usb.ids().contains({0xFFF1, 0xFFF2}));
    const int rc = usb.open(0xFFF1, 0xFFF2);
    QVERIFY2(rc == LIBUSB_ERROR_NO_DEVICE || rc == LIBUSB_ERROR_ACCESS, libusb_error_name(rc));
    QVERIFY(!usb.handle);
    QCOMPARE(bed.usbState(id).submitted, 0u);
}

void TestSimBed::usbFaults()
{
    SimBed bed;
    const int id = bed.addUsbSensor();
    Usb usb;
    QCOMPARE(usb.open(0xFFF1, 0xFFF2), 0);
    QCOMPARE(libusb_claim_interface(usb.handle, 0), 0);
    Frame reply;

    bed.shortenNextUsbReport(id, 8);
    bed.with(id, [](SimSensor& s) { s.emitMeasurement(1); });
    QCOMPARE(usb.receive(reply), 8);
    QCOMPARE(reply[2], kCmdMeasurement);
    QCOMPARE(reply[8], uint8_t(0)); // nothing past the short report

    bed.with(id, [](SimSensor& s) { s.sendGarbage(20); });
    QCOMPARE(usb.receive(reply), 20);
    QVERIFY(reply[1] != kHead);

    // A read in flight when the device goes must end with an error, not run into its time-out.
    bed.with(id, [](SimSensor& s) { s.setPeriodMs(0); });
    const unsigned submitted = bed.usbState(id).submitted;
    int inFlight = 0;
    std::thread reader([&] { inFlight = usb.receive(reply, 5000); });
    QTRY_VERIFY(bed.usbState(id).submitted > submitted);
    bed.unplug(id);
    reader.join();
    QCOMPARE(inFlight, int(LIBUSB_ERROR_NO_DEVICE));
    QCOMPARE(usb.send(makeRequest(kCmdDeviceInfo, true)), int(LIBUSB_ERROR_NO_DEVICE));
    QCOMPARE(bed.with(id, [](SimSensor& s) { return s.requests().size(); }), size_t(0));
    Usb fresh;
    QVERIFY(!fresh.ids().contains({0xFFF1, 0xFFF2}));
}

void TestSimBed::serialDiscovery()
{
    SimBed bed;
    const int sensor = bed.addSerialSensor("ttyUSB");
    const int other = bed.addOtherSerialPort("ttyUSB", 0x0403, 0x6001);
    QMap<QString, QPair<int, int>> found;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        found[info.systemLocation()] = {info.vendorIdentifier(), info.productIdentifier()};
    QCOMPARE(found.size(), 2);
    QCOMPARE(found.value(QString::fromStdString(bed.devNode(sensor))), qMakePair(0x1A86, 0x7523));
    QCOMPARE(found.value(QString::fromStdString(bed.devNode(other))), qMakePair(0x0403, 0x6001));
}

void TestSimBed::serialNamesAreThisBedsOwn()
{
    // Beds in parallel processes never pick the same name: the lock files live outside.
    SimBed bed;
    const QString pid = QString::number(::getpid());
    const QString held = "ttyHeld-" + pid + "-0";
    QVERIFY2(QFileInfo("/var/lock").isWritable(), "Qt SerialPort keeps its lock files in /var/lock");
    QFile lock("/var/lock/LCK.." + held);
    QVERIFY(lock.open(QIODevice::WriteOnly));
    lock.write(pid.toLatin1() + "\nother\nhost\n");
    lock.close();
    const int id = bed.addSerialSensor("ttyHeld");
    lock.remove();
    const QString name = QString::fromStdString(bed.ttyName(id));
    QVERIFY2(name.startsWith("ttyHeld-" + pid + "-") && name != held, qPrintable(name));
    QCOMPARE(QString::fromStdString(bed.devNode(id)), "/dev/" + name);

    const int second = bed.addSerialSensor("ttyHeld");
    QVERIFY(bed.ttyName(second) != bed.ttyName(id));
    QCOMPARE(bed.ttyName(bed.addUsbSensor()), std::string());
    QSerialPort port;
    QCOMPARE(openSensorPort(port, name), QString());
    QVERIFY(QFile::exists("/var/lock/LCK.." + name));
}

void TestSimBed::serialRoundTrip()
{
    SimBed bed;
    const int id = bed.addSerialSensor();
    QSerialPort port;
    QCOMPARE(openSensorPort(port, QString::fromStdString(bed.ttyName(id))), QString());

    // Two requests in one write, the second split from the first by garbage.
    port.write(wire(makeRequest(kCmdDeviceInfo, false)) + QByteArray("\x01\xAA\x07", 3)
               + wire(makeRequest(kCmdSerialId, false)));
    QVERIFY(port.waitForBytesWritten(1000));
    const QByteArray replies = readExactly(port, 2 * int(kWireSize));
    QCOMPARE(replies.size(), 2 * int(kWireSize));
    QCOMPARE(uint8_t(replies[0]), kHead);
    QCOMPARE(uint8_t(replies[1]), kCmdDeviceInfo);
    QCOMPARE(uint8_t(replies[19]), kHead);
    QCOMPARE(uint8_t(replies[20]), kCmdSerialId);
    QCOMPARE(uint8_t(replies[37]), kTail);
    bed.with(id, [](SimSensor& s) {
        QCOMPARE(s.requestCount(kCmdDeviceInfo, Link::Serial), size_t(1));
        QCOMPARE(s.requestCount(kCmdSerialId, Link::Serial), size_t(1));
        QCOMPARE(s.requests().front().image[0], uint8_t(0));
    });
}

void TestSimBed::serialBytesPassUnchanged()
{
    SimBed bed;
    const int id = bed.addSerialSensor();
    // Line-discipline specials: LF, CR, XON, XOFF, 0xFF, INTR, QUIT, ERASE, EOF, KILL,
    // LNEXT, REPRINT, WERASE, SUSP, DISCARD.
    const uint8_t specials[15] = {0x0A, 0x0D, 0x11, 0x13, 0xFF, 0x03, 0x1C, 0x7F,
                                  0x04, 0x15, 0x16, 0x12, 0x17, 0x1A, 0x0F};
    bed.with(id, [&](SimSensor& s) {
        s.setSerial6({specials[0], specials[1], specials[2], specials[3], specials[4], specials[5]});
        s.setIdentity({specials[6], specials[7], specials[8], specials[9]});
        s.setDeviceType(specials[10]);
    });
    Frame odd = makeRequest(0x13, false);
    for (std::size_t i = 0; i < 15; ++i)
        odd[3 + i] = specials[i];
    sealFrame(odd, 0x13);
    Frame expected{};
    std::copy(specials, specials + 6, expected.begin() + 3);
    std::copy(specials + 6, specials + 10, expected.begin() + 9);
    expected[13] = specials[10];
    sealFrame(expected, kCmdDeviceInfo);

    // First on a port opened without any line settings: the bed's own raw mode must do.
    {
        const int fd = ::open(bed.devNode(id).c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        QVERIFY(fd >= 0);
        const QByteArray req = wire(odd) + wire(makeRequest(kCmdDeviceInfo, false));
        QCOMPARE(::write(fd, req.constData(), size_t(req.size())), ssize_t(req.size()));
        QCOMPARE(readExactly(fd, int(kWireSize)), wire(expected));
        ::close(fd);
    }
    // Then through Qt, which sets raw mode itself.
    QSerialPort port;
    QCOMPARE(openSensorPort(port, QString::fromStdString(bed.ttyName(id))), QString());
    port.write(wire(odd) + wire(makeRequest(kCmdDeviceInfo, false)));
    QCOMPARE(readExactly(port, int(kWireSize)), wire(expected));
    bed.with(id, [&](SimSensor& s) {
        QCOMPARE(s.requestCount(0x13), size_t(2));
        QVERIFY(s.requests()[0].image == odd);
        QCOMPARE(s.stats().skippedSerialBytes, 0u);
    });
}

void TestSimBed::serialDropsWhileClosedAndHangsUp()
{
    SimBed bed;
    const int id = bed.addSerialSensor();
    // Sent while nobody has the port open: lost, as on a real line.
    bed.with(id, [](SimSensor& s) {
        for (int i = 0; i < 3; ++i)
            s.setNextMeasurement(1, 0, 0, 111, 0, 0);
    });
    bed.advance(3000);
    QTRY_COMPARE(bed.with(id, [](SimSensor& s) { return s.pendingFrames(); }), size_t(0));

    QSerialPort port;
    QCOMPARE(openSensorPort(port, QString::fromStdString(bed.ttyName(id))), QString());
    bed.with(id, [](SimSensor& s) { s.setNextMeasurement(1, 0, 0, 222, 0, 0); });
    bed.advance(1000);
    const QByteArray m = readExactly(port, int(kWireSize));
    QCOMPARE(m.size(), int(kWireSize));
    QCOMPARE(uint8_t(m[7]), uint8_t(222)); // value word at frame bytes 8-9

    bed.unplug(id);
    QTRY_VERIFY(port.error() == QSerialPort::ResourceError || port.error() == QSerialPort::ReadError);
    port.close();
    bool listed = false;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        listed = listed || info.portName() == QString::fromStdString(bed.ttyName(id));
    QVERIFY(!listed);
}

void TestSimBed::replugRounds()
{
    // Each round plugs in new devices after the last ones went: umockdev aborts on a sysfs
    // path, tty name or pts number it has seen before.
    SimBed bed;
    for (int round = 0; round < 4; ++round) {
        const char identity[5] = {'R', char('0' + round), 'x', 'y', 0};
        const int serial = bed.addSerialSensor();
        const int otherSerial = bed.addOtherSerialPort("ttyS", 0x0403, 0x6001);
        const int usbSensor = bed.addUsbSensor();
        const int otherUsb = bed.addOtherUsbDevice(0x046D, 0xC52B);
        for (int id : {serial, usbSensor})
            bed.with(id, [&](SimSensor& s) { s.setIdentity(identity); });

        // The bridge found by its ids, as the program finds it.
        QStringList bridges;
        int listed = 0;
        for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
            ++listed;
            if (info.vendorIdentifier() == 0x1A86 && info.productIdentifier() == 0x7523)
                bridges << info.portName();
        }
        QCOMPARE(listed, 2);
        QCOMPARE(bridges, QStringList{QString::fromStdString(bed.ttyName(serial))});
        QSerialPort port;
        QCOMPARE(openSensorPort(port, bridges[0]), QString());
        port.write(wire(makeRequest(kCmdDeviceInfo, false)));
        const QByteArray reply = readExactly(port, int(kWireSize));
        QCOMPARE(reply.mid(8, 4), QByteArray(identity));

        Usb usb;
        auto ids = usb.ids();
        std::sort(ids.begin(), ids.end());
        QCOMPARE(ids, (QList<QPair<uint16_t, uint16_t>>{{0x046D, 0xC52B}, {0xFFF1, 0xFFF2}}));
        QCOMPARE(usb.open(0xFFF1, 0xFFF2), 0);
        QCOMPARE(libusb_claim_interface(usb.handle, 0), 0);
        QCOMPARE(usb.send(makeRequest(kCmdDeviceInfo, true)), 20);
        Frame f;
        QCOMPARE(usb.receive(f, 1000), 20);
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(&f[9]), 4), QByteArray(identity));

        for (int id : {serial, otherSerial, usbSensor, otherUsb})
            bed.unplug(id);
        QTRY_VERIFY(port.error() == QSerialPort::ResourceError || port.error() == QSerialPort::ReadError);
        port.close();
        QCOMPARE(usb.send(makeRequest(kCmdDeviceInfo, true)), int(LIBUSB_ERROR_NO_DEVICE));
        QCOMPARE(QSerialPortInfo::availablePorts().size(), 0);
        QVERIFY(Usb().ids().isEmpty());
        // Nothing left behind that a real unplug would have removed, dangling links included.
        const QDir bus(QString::fromStdString(bed.rootDir()) + "/sys/bus");
        QCOMPARE(bus.entryList({"*"}, QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot), QStringList());
    }
}

QTEST_GUILESS_MAIN(TestSimBed)
#include "test_simbed.moc"
