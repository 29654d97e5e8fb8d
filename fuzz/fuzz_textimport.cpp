// libFuzzer target for the text import: any bytes parsed as an import text and, when accepted,
// the image checked against the limits the rest of the program relies on.
#include "realdata.h"
#include "textimport.h"

#include <QtGlobal>
#include <cstdint>

namespace {

void Silence(QtMsgType, const QMessageLogContext &, const QString &) {}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const bool quiet = (qInstallMessageHandler(Silence), true);
    (void)quiet;
    const QByteArray text = QByteArray::fromRawData(reinterpret_cast<const char *>(data),
                                                    int(std::min<size_t>(size, INT32_MAX)));
    _SRecordData image;
    if (RecordTextToImage(text, &image)) {
        if (image.m_Count < 0 || image.m_Count > image.m_MaxCount
            || image.m_MaxCount > REAL_DATA_CAPACITY || image.m_SecUnit <= 0
            || image.m_SecUnit > 86400 || image.m_Channel != 0)
            __builtin_trap();
    }
    RecordDataFree(&image);
    return 0;
}
