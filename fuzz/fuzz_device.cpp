// libFuzzer target for everything the device sends: the decoder (any frame image, any
// reported length, any device index, in both link modes, outside and inside a history download
// of each kind) and the serial framer (any byte stream, cut into arbitrary reads).
#include "scodeusb.h"

#include <QByteArray>
#include <QIODevice>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

class Bytes : public QIODevice
{
public:
    Bytes() { open(QIODevice::ReadOnly); }
    QByteArray m_Data;

protected:
    qint64 readData(char *data, qint64 max) override
    {
        const qint64 n = qMin(max, qint64(m_Data.size()));
        std::memcpy(data, m_Data.constData(), size_t(n));
        m_Data.remove(0, int(n));
        return n;
    }
    qint64 writeData(const char *, qint64) override { return -1; }
};

void Silence(QtMsgType, const QMessageLogContext &, const QString &) {}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const bool quiet = (qInstallMessageHandler(Silence), true);
    (void)quiet;
    if (size < 2)
        return 0;
    const int index = int(int8_t(data[0])) % 4;
    const uint8_t control = data[1];
    const bool serialIdentity = control & 1;
    data += 2;
    size -= 2;

    // The decoder, frame by frame, with one link object so state carries over.
    static SCodeUsb link;
    if (serialIdentity)
        link.m_LinkMode = 4;
    static const int kinds[] = {0, HIS_SUB_PM25, HIS_SUB_GAS, HIS_SUB_TVOC, HIS_SUB_PM10};
    link.m_HisKind = kinds[(control >> 1) % 5];
    if (control & 0x80)
        link.ClearHistory(); // else the stores fill up for good across inputs
    TAG_T_SPM25Data record{};
    for (size_t at = 0; at + FRAME_LEN <= size; at += FRAME_LEN) {
        unsigned char frame[FRAME_LEN];
        std::memcpy(frame, data + at, FRAME_LEN);
        link.DecodePM25ReadData(index, frame, FRAME_LEN - (frame[0] & 1), &record);
    }

    // The framer, fed in reads whose sizes come from the input itself.
    GSerialPort port;
    Bytes stream;
    unsigned char out[FRAME_LEN];
    size_t fed = 0;
    while (fed < size) {
        const size_t chunk = std::min<size_t>(size - fed, 1 + data[fed] * 8u);
        stream.m_Data.append(reinterpret_cast<const char *>(data + fed), int(chunk));
        fed += chunk;
        while (port.ReadBufFromDevice(&stream, out, FRAME_LEN) == FRAME_LEN) {
        }
    }
    return 0;
}
