#include "recordfile.h"

#include "safesave.h"

#include <QFile>
#include <QString>
#include <QtEndian>
#include <cstdlib>
#include <cstring>

namespace {

// Records are converted to file order in slices, so a write needs no second full-size buffer.
constexpr int SLICE = 4096;

template <typename T>
void Put(char *at, T value)
{
    qToLittleEndian(value, at);
}

template <typename T>
T Get(const char *at)
{
    return qFromLittleEndian<T>(at);
}

void ToFileOrder(const _SRecordItem *items, int n, char *out)
{
    for (int i = 0; i < n; ++i) {
        char *r = out + 8 * i;
        Put<uint16_t>(r, items[i].m_Diff);
        Put<uint16_t>(r + 2, items[i].m_Base);
        Put<uint16_t>(r + 4, items[i].m_PM25);
        Put<uint16_t>(r + 6, items[i].m_PM10);
    }
}

void FromFileOrder(_SRecordItem *items, int n)
{
    if (QSysInfo::ByteOrder == QSysInfo::LittleEndian)
        return;
    for (int i = 0; i < n; ++i) {
        _SRecordItem &r = items[i];
        r = {qFromLittleEndian(r.m_Diff), qFromLittleEndian(r.m_Base),
             qFromLittleEndian(r.m_PM25), qFromLittleEndian(r.m_PM10)};
    }
}

struct Header {
    _SRecordData fields; // header fields only; its record array stays null
    bool hasChannel = true;
};

// Reads and checks the header; the file is left positioned at the first record.
int ReadHeader(QFile &file, Header *h)
{
    char raw[RECORD_FILE_HEADER];
    if (file.read(raw, 20) != 20)
        return -2;
    _SRecordData &f = h->fields;
    std::memcpy(f.m_Magic, raw, 4);
    f.m_Version = Get<int32_t>(raw + 4);
    f.m_MaxCount = Get<int32_t>(raw + 8);
    f.m_Count = Get<int32_t>(raw + 12);
    f.m_StartTime = Get<uint32_t>(raw + 16);
    h->hasChannel = f.m_Version != 1;
    const int rest = h->hasChannel ? 8 : 4;
    if (file.read(raw + 20, rest) != rest)
        return -2;
    if (h->hasChannel)
        f.m_Channel = Get<int32_t>(raw + 20);
    f.m_SecUnit = Get<int32_t>(raw + 20 + rest - 4);
    // Checked before anything is allocated: a header may claim anything.
    if (f.m_MaxCount < 1 || f.m_Count < 0 || f.m_Count > f.m_MaxCount
        || f.m_MaxCount > RECORD_DATA_CAPACITY || f.m_SecUnit <= 0)
        return -2;
    const qint64 held = (file.size() - file.pos()) / qint64(sizeof(_SRecordItem));
    if (held < f.m_MaxCount)
        return -3;
    return 1;
}

// The header's fields into the image with `items` as its records; a version-1 file has no
// channel word, and the image keeps the channel it had.
void Adopt(_SRecordData *image, const Header &h, _SRecordItem *items)
{
    const int32_t channel = h.hasChannel ? h.fields.m_Channel : image->m_Channel;
    *image = h.fields;
    image->m_pItems = items;
    image->m_NextIndex = 0;
    image->m_Channel = channel;
}

int OpenAndReadHeader(QFile &file, const char *path, Header *h)
{
    file.setFileName(QString::fromLocal8Bit(path ? path : ""));
    if (!path || !file.open(QIODevice::ReadOnly))
        return -1;
    return ReadHeader(file, h);
}

} // namespace

int RecordDataWrite(_SRecordData *image, const char *path, int channel, QString *error)
{
    if (!image)
        return -2;
    image->m_Channel = channel;
    if (image->m_Count < 1)
        return -1;
    if (!image->m_pItems)
        return -2;
    if (!path)
        return -1;
    // A count beyond the array would read past it.
    const int n = std::min(image->m_Count, image->m_MaxCount);
    SafeSave file(QString::fromLocal8Bit(path));
    char head[RECORD_FILE_HEADER];
    std::memcpy(head, image->m_Magic, 4);
    Put<int32_t>(head + 4, image->m_Version);
    Put<int32_t>(head + 8, n);
    Put<int32_t>(head + 12, n);
    Put<uint32_t>(head + 16, image->m_StartTime);
    Put<int32_t>(head + 20, image->m_Channel);
    Put<int32_t>(head + 24, image->m_SecUnit);
    bool ok = file.Write(head, sizeof head);
    char slice[SLICE * 8];
    for (int at = 0; ok && at < n; at += SLICE) {
        const int m = std::min(SLICE, n - at);
        ToFileOrder(image->m_pItems + at, m, slice);
        ok = file.Write(slice, qint64(m) * 8);
    }
    if (file.Commit())
        return 1;
    if (error)
        *error = file.ErrorString();
    return -1;
}

namespace {

// The reader behind both entry points: the header always, the records when asked.
int Read(_SRecordData *image, const char *path, bool withRecords)
{
    if (!image)
        return -1;
    QFile file;
    Header h;
    const int result = OpenAndReadHeader(file, path, &h);
    if (result < 0)
        return result;
    if (!withRecords) {
        Adopt(image, h, image->m_pItems);
        return 1;
    }
    const int n = h.fields.m_MaxCount;
    auto *items = static_cast<_SRecordItem *>(std::malloc(size_t(n) * 8));
    if (!items)
        return -3; // out of memory: as if the records could not be read
    const qint64 bytes = qint64(n) * 8;
    if (file.read(reinterpret_cast<char *>(items), bytes) != bytes) {
        std::free(items);
        return -3;
    }
    FromFileOrder(items, n);
    std::free(image->m_pItems);
    Adopt(image, h, items);
    return 1;
}

} // namespace

int RecordDataReadHeader(_SRecordData *header, const char *path)
{
    return Read(header, path, false);
}

int RecordDataRead(_SRecordData *image, const char *path)
{
    return Read(image, path, true);
}
