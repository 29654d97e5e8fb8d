// The serial receive path: the 19-byte framer over a byte source that the test feeds.
#include "gserialport.h"
#include "messagecapture.h"

#include <QIODevice>
#include <QtTest>

namespace {

// A byte source whose incoming data the test decides.
class FeedDevice : public QIODevice
{
public:
    FeedDevice() { open(QIODevice::ReadOnly); }
    void Feed(const QByteArray &bytes) { m_Pending += bytes; }
    qint64 Pending() const { return m_Pending.size(); }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        const qint64 n = qMin(maxSize, qint64(m_Pending.size()));
        memcpy(data, m_Pending.constData(), size_t(n));
        m_Pending.remove(0, int(n));
        return n;
    }
    qint64 writeData(const char *, qint64) override { return -1; }
    qint64 bytesAvailable() const override { return m_Pending.size() + QIODevice::bytesAvailable(); }

private:
    QByteArray m_Pending;
};

// A wire frame (19 bytes) whose first data byte tells frames apart.
QByteArray WireFrame(unsigned char tag, unsigned char command = 0xA5, unsigned char data3 = 0)
{
    QByteArray f(19, '\0');
    f[0] = char(0xAA);
    f[1] = char(command);
    f[2] = char(tag);
    f[3] = char(data3);
    unsigned sum = 0;
    for (int i = 2; i <= 16; ++i)
        sum += uint8_t(f[i]);
    f[17] = char(sum);
    f[18] = char(0xAB);
    return f;
}

struct Reader {
    GSerialPort port;
    FeedDevice dev;
    unsigned char frame[20];

    int Read() { return port.ReadBufFromDevice(&dev, frame, 20); }
    QByteArray Wire() const { return QByteArray(reinterpret_cast<const char *>(frame + 1), 19); }
};

} // namespace

class TestSerialFramer : public QObject
{
    Q_OBJECT

private slots:
    void framesSplitAcrossReads();
    void severalFramesInOneRead();
    void lostAndExtraBytesCostOneFrame();
    void garbageIsSkipped();
    void receiveBufferNeverOverflows();
    void requestsWithoutOpenPortSendNothing();
    void checksumsOnceTheSensorShowsItSendsThem();
};

void TestSerialFramer::framesSplitAcrossReads()
{
    Reader r;
    QCOMPARE(r.Read(), 0); // nothing at all
    const QByteArray f = WireFrame(7);
    r.dev.Feed(f.left(10));
    QCOMPARE(r.Read(), 0);
    QCOMPARE(r.port.m_RxCount, 10);
    r.dev.Feed(f.mid(10));
    QCOMPARE(r.Read(), 20);
    QCOMPARE(int(r.frame[0]), 0);
    QCOMPARE(r.Wire(), f);
    QCOMPARE(r.port.m_RxCount, 0);
    QCOMPARE(r.Read(), 0);
}

void TestSerialFramer::severalFramesInOneRead()
{
    Reader r;
    MessageCapture log;
    r.dev.Feed(WireFrame(1) + WireFrame(2) + WireFrame(3).left(7));
    QCOMPARE(r.Read(), 20);
    QCOMPARE(r.Wire(), WireFrame(1));
    QCOMPARE(log.Count("ReadBufFromPort:mResponse=45"), 1);
    QCOMPARE(log.Lines().value(1).split(' ').size(), 38); // hex dump of the buffer's head

    QCOMPARE(r.Read(), 20);
    QCOMPARE(r.Wire(), WireFrame(2));
    QCOMPARE(log.Count("ReadBufFromPort:mResponse=0"), 1);

    QCOMPARE(r.Read(), 0);
    QCOMPARE(r.port.m_RxCount, 7);
    r.dev.Feed(WireFrame(3).mid(7));
    QCOMPARE(r.Read(), 20);
    QCOMPARE(r.Wire(), WireFrame(3));
}

void TestSerialFramer::lostAndExtraBytesCostOneFrame()
{
    Reader r;
    QByteArray shortFrame = WireFrame(1);
    shortFrame.remove(5, 1);
    QByteArray longFrame = WireFrame(3);
    longFrame.insert(9, char(0x55));
    r.dev.Feed(shortFrame + WireFrame(2) + longFrame + WireFrame(4) + WireFrame(5));
    QList<unsigned char> tags;
    while (r.Read() == 20)
        tags << r.frame[3];
    QCOMPARE(tags, (QList<unsigned char>{2, 4, 5}));

    // A frame one byte short whose last byte happens to be 0xAB still yields to the next head.
    Reader s;
    QByteArray cut = WireFrame(6);
    cut.remove(18, 1);
    cut[17] = char(0xAB);
    s.dev.Feed(cut + WireFrame(7));
    QCOMPARE(s.Read(), 20);
    QCOMPARE(s.Wire(), WireFrame(7));
    QCOMPARE(s.Read(), 0);

    // A frame one byte short with a data byte 0xAA, followed by a good frame with a data byte
    // 0xAB 18 bytes later: head and tail alone would make a false frame of them and lose the
    // good one. Fed whole and split at every offset.
    QByteArray shortAA = WireFrame(8, 0xA5, 0xAA);
    shortAA.remove(10, 1);
    const QByteArray stream = shortAA + WireFrame(9, 0xA5, 0xAB) + WireFrame(10);
    for (int cutAt = 0; cutAt <= stream.size(); ++cutAt) {
        Reader t;
        t.dev.Feed(stream.left(cutAt));
        QList<QByteArray> frames;
        while (t.Read() == 20)
            frames << t.Wire();
        t.dev.Feed(stream.mid(cutAt));
        while (t.Read() == 20)
            frames << t.Wire();
        QCOMPARE(frames, (QList<QByteArray>{WireFrame(9, 0xA5, 0xAB), WireFrame(10)}));
    }
}

void TestSerialFramer::garbageIsSkipped()
{
    Reader r;
    QByteArray noise;
    for (int i = 0; i < 300; ++i)
        noise += char((i * 37 + 11) & 0xFF);
    r.dev.Feed(noise + WireFrame(9) + QByteArray(5, char(0xAA)) + WireFrame(10));
    QCOMPARE(r.Read(), 20);
    QCOMPARE(r.Wire(), WireFrame(9));
    QCOMPARE(r.Read(), 20);
    QCOMPARE(r.Wire(), WireFrame(10));
    QCOMPARE(r.Read(), 0);
    QVERIFY(r.port.m_RxCount < 19);
}

void TestSerialFramer::receiveBufferNeverOverflows()
{
    Reader r;
    QByteArray stream;
    for (int i = 0; i < 250; ++i) // 4750 bytes, well past the 2000-byte buffer
        stream += WireFrame(static_cast<unsigned char>(i));
    r.dev.Feed(stream);
    for (int i = 0; i < 250; ++i) {
        QCOMPARE(r.Read(), 20);
        QCOMPARE(int(r.frame[3]), i);
        QVERIFY(r.port.m_RxCount <= GSerialPort::RX_BUF_LEN);
    }
    QCOMPARE(r.Read(), 0);
    QCOMPARE(r.dev.Pending(), 0);
}

void TestSerialFramer::requestsWithoutOpenPortSendNothing()
{
    GSerialPort port;
    QCOMPARE(port.m_bPortOpen, -1);
    MessageCapture log;
    QVERIFY(port.SendClear());
    unsigned char buf[20];
    QVERIFY(port.AskDeviceInfo(buf, 20));
    QCOMPARE(int(buf[2]), 0xA6);
    QCOMPARE(int(buf[18]), 0);
    QCOMPARE(int(buf[19]), 0xAB);
    QVERIFY(port.AskSerialId(buf, 20));
    QCOMPARE(int(buf[2]), 0xB5);
    for (const QString &line : log.Lines())
        QVERIFY2(!line.contains("not open"), qPrintable(line));
    QCOMPARE(port.ReadBufFromPort(buf, 20), 0);
}

void TestSerialFramer::checksumsOnceTheSensorShowsItSendsThem()
{
    auto wrong = [](unsigned char tag) {
        QByteArray f = WireFrame(tag);
        f[17] = char(f[17] ^ 0x5A);
        return f;
    };
    auto readAll = [](Reader &r) {
        QList<unsigned char> tags;
        while (r.Read() == 20)
            tags << r.frame[3];
        return tags;
    };
    // Twenty right checksums in a row: from then on a frame needs its own.
    Reader r;
    QByteArray stream;
    for (int i = 0; i < GSerialPort::SUMS_TO_TRUST - 1; ++i)
        stream += WireFrame(1);
    r.dev.Feed(stream);
    QCOMPARE(readAll(r).size(), GSerialPort::SUMS_TO_TRUST - 1);
    QVERIFY(r.port.m_SumMode == GSerialPort::SumMode::Learning);
    MessageCapture log;
    r.dev.Feed(WireFrame(2) + wrong(3) + WireFrame(4) + wrong(5) + wrong(6) + WireFrame(7));
    QCOMPARE(readAll(r), (QList<unsigned char>{2, 4, 7}));
    QCOMPARE(r.port.m_BadSums, 3);
    QCOMPARE(log.CountStartingWith("ReadBufFromPort: wrong checksum, frame dropped"), 3);

    // A sensor that sends none is read on head and tail alone, also after a lost byte.
    Reader s;
    QByteArray cut = wrong(11);
    cut.remove(9, 1);
    s.dev.Feed(wrong(10) + cut + wrong(12) + wrong(13) + wrong(14));
    QCOMPARE(readAll(s), (QList<unsigned char>{10, 12, 13, 14}));
    QVERIFY(s.port.m_SumMode == GSerialPort::SumMode::Unverified);
    QCOMPARE(s.port.m_BadSums, 0);

    // Damage before the sensor has shown anything: a sum that is wrong is not enough to give
    // up checksums while the frames do not line up.
    Reader t;
    QByteArray shifted = WireFrame(21);
    shifted.remove(3, 1);
    t.dev.Feed(shifted + WireFrame(22) + WireFrame(23));
    QCOMPARE(readAll(t), (QList<unsigned char>{22, 23}));
    QVERIFY(t.port.m_SumMode == GSerialPort::SumMode::Learning);
}

QTEST_GUILESS_MAIN(TestSerialFramer)
#include "test_serial_framer.moc"
