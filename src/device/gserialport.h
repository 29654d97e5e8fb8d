#pragma once
// Serial half of the device link: a USB-to-serial bridge found by its ids,
// 9600 8N1, polled; the received stream is cut into 19-byte frames.
#include <QString>
#include <vector>

class QIODevice;
class QSerialPort;

struct SerialPortEntry {
    QString m_PortName;
    int m_ProductId = 0;
    int m_VendorId = 0;
};

class GSerialPort
{
public:
    static constexpr int VENDOR_ID = 0x1A86;
    static constexpr int PRODUCT_ID = 0x7523;
    static constexpr int RX_BUF_LEN = 2000;

    GSerialPort();
    ~GSerialPort();
    GSerialPort(const GSerialPort &) = delete;
    GSerialPort &operator=(const GSerialPort &) = delete;

    int FindSerialPort();
    int OpenSerialPort();
    // Looks for the bridge again (the list starts afresh) and opens it; 1 when open.
    int ReopenSerialPort();
    int ReadBufFromPort(unsigned char *buf, int len);
    // The framer behind ReadBufFromPort, on any byte source.
    int ReadBufFromDevice(QIODevice *dev, unsigned char *buf, int len);
    bool AskDeviceInfo(unsigned char *buf, int len);
    bool AskSerialId(unsigned char *buf, int len);
    bool AskHistoryData(int page, int kind, int mode);
    // A six-value history page (0xAC), sealed like the other serial requests.
    bool AskHistoryPage(int page);
    bool SendClear();
    bool SetCheckSum(unsigned char *frame);

    std::vector<SerialPortEntry> m_PortList;
    int m_bPortOpen = -1;
    QSerialPort *m_pPort;
    int m_RxCount = 0;
    unsigned char *m_RxBuf;
    // The open port reported an error (a bridge pulled out) and was closed.
    bool m_bPortLost = false;
    // The bridge was found but could not be opened: this user may not, or another program
    // holds it.
    bool m_bPortDenied = false;

    // Whether the sensor's replies carry checksums: learnt from its first replies, since not
    // every sensor may compute them. While they do, a frame with a wrong one is dropped.
    enum class SumMode { Learning, Verified, Unverified };
    static constexpr int SUMS_TO_TRUST = 20; // right checksums in a row that make a sensor trusted
    SumMode m_SumMode = SumMode::Learning;
    int m_GoodSums = 0; // right checksums in a row while learning
    int m_BadSums = 0;  // frames dropped for a wrong checksum

private:
    // Head, command, checksum and tail around the data bytes already in the image.
    void SealFrame(unsigned char *frame, unsigned char command);
    void WriteFrame(const unsigned char *frame);
    bool AskWithoutData(unsigned char *buf, int len, unsigned char command);
    bool FrameStartsAt(int pos, bool checked) const;
    bool SumRight(int pos) const;
    // Whether the piece at pos is taken as a frame; learns how the sensor sums on the way.
    bool Accept(int pos);
    void LearnSum(bool right);
    void ForgetSensor();

    bool m_bResync = false; // a candidate was rejected since the last frame
};
