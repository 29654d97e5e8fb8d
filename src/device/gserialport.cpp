#include "gserialport.h"
#include "frame.h"

#include <QDebug>
#include <QSerialPort>
#include <QSerialPortInfo>
#include <cstring>

GSerialPort::GSerialPort()
    : m_pPort(new QSerialPort)
    , m_RxBuf(new unsigned char[RX_BUF_LEN]())
{
    // A vanished port reports ReadError again on every pass of the event loop: close it at
    // the first one.
    QObject::connect(m_pPort, &QSerialPort::errorOccurred, [this](QSerialPort::SerialPortError e) {
        if (e == QSerialPort::NoError || e == QSerialPort::TimeoutError || !m_pPort->isOpen())
            return;
        qDebug("serial port %s lost: error %d", qPrintable(m_pPort->portName()), int(e));
        m_pPort->close();
        m_bPortLost = true;
        m_bPortOpen = 0;
        m_RxCount = 0;
    });
}

GSerialPort::~GSerialPort()
{
    m_pPort->close();
    delete m_pPort;
    delete[] m_RxBuf;
}

int GSerialPort::FindSerialPort()
{
    const auto ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : ports)
        m_PortList.push_back({info.portName(), info.productIdentifier(), info.vendorIdentifier()});
    return int(m_PortList.size());
}

int GSerialPort::OpenSerialPort()
{
    const int n = FindSerialPort();
    for (int i = 0; i < n; ++i) {
        const SerialPortEntry &e = m_PortList[size_t(i)];
        if (e.m_VendorId != VENDOR_ID || e.m_ProductId != PRODUCT_ID)
            continue;
        m_pPort->setPortName(e.m_PortName);
        if (!m_pPort->open(QIODevice::ReadWrite)) {
            m_bPortDenied = m_pPort->error() == QSerialPort::PermissionError;
            return 0;
        }
        m_bPortDenied = false;
        m_pPort->setBaudRate(QSerialPort::Baud9600, QSerialPort::AllDirections);
        m_pPort->setDataBits(QSerialPort::Data8);
        m_pPort->setParity(QSerialPort::NoParity);
        m_pPort->setStopBits(QSerialPort::OneStop);
        return 1;
    }
    return 0;
}

int GSerialPort::ReopenSerialPort()
{
    if (m_pPort->isOpen())
        return m_bPortOpen = 1; // a second open would fail and close the port in use
    m_PortList.clear();
    m_bPortLost = false;
    m_RxCount = 0;
    m_bResync = false;
    ForgetSensor(); // the sensor behind the port may be another one
    m_bPortOpen = OpenSerialPort();
    return m_bPortOpen;
}

void GSerialPort::ForgetSensor()
{
    m_SumMode = SumMode::Learning;
    m_GoodSums = 0;
}

int GSerialPort::ReadBufFromPort(unsigned char *buf, int len)
{
    return ReadBufFromDevice(m_pPort, buf, len);
}

bool GSerialPort::FrameStartsAt(int pos, bool checked) const
{
    // Wire byte i is byte i + 1 of the frame image.
    const unsigned char *wire = m_RxBuf + pos;
    if (wire[0] != FRAME_HEAD || wire[SERIAL_FRAME_LEN - 1] != FRAME_TAIL)
        return false;
    return !checked || SumRight(pos);
}

bool GSerialPort::SumRight(int pos) const
{
    const unsigned char *wire = m_RxBuf + pos;
    unsigned sum = 0;
    for (int k = 3; k <= 17; ++k)
        sum += wire[k - 1];
    return static_cast<unsigned char>(sum) == wire[FRAME_CHECKSUM - 1];
}

void GSerialPort::LearnSum(bool right)
{
    if (m_SumMode != SumMode::Learning)
        return;
    if (!right) {
        m_SumMode = SumMode::Unverified; // this sensor's replies do not carry them
        qDebug("ReadBufFromPort: replies carry no checksum; read without it");
    } else if (++m_GoodSums >= SUMS_TO_TRUST) {
        m_SumMode = SumMode::Verified;
    }
}

bool GSerialPort::Accept(int pos)
{
    if (!FrameStartsAt(pos, false))
        return false;
    const bool right = SumRight(pos);
    switch (m_SumMode) {
    case SumMode::Verified:
        if (!right) {
            ++m_BadSums;
            qDebug("ReadBufFromPort: wrong checksum, frame dropped (%d so far)", m_BadSums);
        }
        return right;
    case SumMode::Unverified:
        return true; // head and tail, as such a sensor allows
    case SumMode::Learning:
        break;
    }
    // After a rejected candidate, head and tail alone are too weak (data bytes can be 0xAA and
    // 0xAB), unless a second frame lines up right behind this one: then the stream is aligned
    // and a wrong checksum says only that this sensor does not sum.
    if (m_bResync && !right) {
        const bool lined = pos + 2 * SERIAL_FRAME_LEN <= m_RxCount
                           && FrameStartsAt(pos + SERIAL_FRAME_LEN, false);
        if (!lined)
            return false;
    }
    LearnSum(right);
    return true;
}

int GSerialPort::ReadBufFromDevice(QIODevice *dev, unsigned char *buf, int len)
{
    if (len < FRAME_LEN)
        return 0;
    std::memset(buf, 0, size_t(len));

    // Take no more than fits: later bytes wait in the port instead of being lost.
    QByteArray data;
    if (dev && dev->isOpen())
        data = dev->read(RX_BUF_LEN - m_RxCount);
    if (data.isEmpty() && m_RxCount == 0)
        return 0;
    std::memcpy(m_RxBuf + m_RxCount, data.constData(), size_t(data.size()));
    m_RxCount += data.size();

    // Resynchronise after lost or extra bytes: skip to the next position that looks like a
    // whole frame, so a damaged frame never swallows the next head.
    int skip = 0;
    while (skip + SERIAL_FRAME_LEN <= m_RxCount && !Accept(skip)) {
        ++skip;
        m_bResync = true;
    }
    if (skip > 0) {
        m_RxCount -= skip;
        std::memmove(m_RxBuf, m_RxBuf + skip, size_t(m_RxCount));
    }
    if (m_RxCount < SERIAL_FRAME_LEN)
        return 0;
    m_bResync = false;

    qDebug("ReadBufFromPort:mResponse=%d", int(data.size()));
    qDebug("%s", QByteArray(reinterpret_cast<const char *>(m_RxBuf), 2 * SERIAL_FRAME_LEN)
                     .toHex(' ')
                     .constData());

    std::memcpy(buf + 1, m_RxBuf, SERIAL_FRAME_LEN);
    m_RxCount -= SERIAL_FRAME_LEN;
    std::memmove(m_RxBuf, m_RxBuf + SERIAL_FRAME_LEN, size_t(m_RxCount));
    return len;
}

bool GSerialPort::SetCheckSum(unsigned char *frame)
{
    unsigned sum = 0;
    for (int k = 3; k <= 17; ++k)
        sum += frame[k];
    frame[FRAME_CHECKSUM] = static_cast<unsigned char>(sum);
    return true;
}

void GSerialPort::SealFrame(unsigned char *frame, unsigned char command)
{
    frame[1] = FRAME_HEAD;
    frame[2] = command;
    SetCheckSum(frame);
    frame[19] = FRAME_TAIL;
}

void GSerialPort::WriteFrame(const unsigned char *frame)
{
    if (!m_pPort->isOpen())
        return; // e.g. clearing while the USB link is in use: nothing to send to
    m_pPort->write(reinterpret_cast<const char *>(frame + 1), SERIAL_FRAME_LEN);
    // Push the bytes out now: the callers poll for the reply without running the event loop.
    m_pPort->flush();
}

bool GSerialPort::AskWithoutData(unsigned char *buf, int len, unsigned char command)
{
    if (len < FRAME_LEN)
        return false;
    std::memset(buf, 0, size_t(len));
    SealFrame(buf, command);
    WriteFrame(buf);
    return true;
}

bool GSerialPort::AskDeviceInfo(unsigned char *buf, int len)
{
    return AskWithoutData(buf, len, CMD_DEVICE_INFO);
}

bool GSerialPort::AskSerialId(unsigned char *buf, int len)
{
    return AskWithoutData(buf, len, CMD_SERIAL_ID);
}

bool GSerialPort::AskHistoryData(int page, int kind, int mode)
{
    unsigned char frame[FRAME_LEN] = {};
    frame[3] = static_cast<unsigned char>(page & 0xFF);
    frame[4] = static_cast<unsigned char>(mode == 1 && kind == 2 ? 3 : kind & 0xFF);
    frame[17] = static_cast<unsigned char>((page >> 8) & 0xFF);
    SealFrame(frame, CMD_HIS_BLOCK);
    qDebug("s=%s", QByteArray(reinterpret_cast<const char *>(frame + 1), SERIAL_FRAME_LEN)
                       .toHex(' ')
                       .constData());
    qDebug("==============");
    WriteFrame(frame);
    return true;
}

bool GSerialPort::AskHistoryPage(int page)
{
    unsigned char frame[FRAME_LEN] = {};
    frame[3] = static_cast<unsigned char>(page & 0xFF);
    SealFrame(frame, CMD_HIS_PAGE);
    WriteFrame(frame);
    return true;
}

bool GSerialPort::SendClear()
{
    unsigned char frame[FRAME_LEN] = {};
    frame[5] = 1;
    SealFrame(frame, CMD_HIS_BLOCK);
    WriteFrame(frame);
    return true;
}
