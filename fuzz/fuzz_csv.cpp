// libFuzzer target for the CSV reader: any bytes read as a CSV of records and, when accepted,
// the image checked against the limits the rest of the program relies on; written back, the
// text must read again to the same records.
#include "csvfile.h"

#include <QtGlobal>
#include <cstdint>
#include <cstring>

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
    CsvLayout layout;
    if (CsvToImage(text, &image, &layout, nullptr)) {
        if (image.m_Count <= 0 || image.m_Count > image.m_MaxCount
            || image.m_Count > RECORD_THIN_THRESHOLD || image.m_SecUnit <= 0
            || image.m_SecUnit > 86400 || image.m_Channel != layout.m_Channel
            || RecordIsGap(image.m_pItems[0]) || RecordIsGap(image.m_pItems[image.m_Count - 1]))
            __builtin_trap();
        // Our own text of it reads back to the same records.
        const QByteArray again = RecordsToCsv(image, image.m_StartTime, image.m_SecUnit, nullptr,
                                              layout);
        _SRecordData back;
        if (!CsvToImage(again, &back, nullptr, nullptr) || back.m_Count != image.m_Count
            || std::memcmp(back.m_pItems, image.m_pItems,
                           sizeof(_SRecordItem) * size_t(image.m_Count)) != 0)
            __builtin_trap();
        RecordDataFree(&back);
    }
    RecordDataFree(&image);
    return 0;
}
