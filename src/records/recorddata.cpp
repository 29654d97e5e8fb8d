#include "recorddata.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace {

_SRecordItem *ZeroItems(int n)
{
    return n > 0 ? static_cast<_SRecordItem *>(std::calloc(size_t(n), sizeof(_SRecordItem)))
                 : nullptr;
}

} // namespace

_SRecordData *RecordDataCreate()
{
    return new (std::nothrow) _SRecordData();
}

void RecordDataInitHeader(_SRecordData *image)
{
    if (!image)
        return;
    std::free(image->m_pItems);
    *image = _SRecordData();
}

bool RecordDataAlloc(_SRecordData *image, int n)
{
    if (!image)
        return false;
    std::free(image->m_pItems);
    image->m_pItems = ZeroItems(n);
    image->m_Count = 0;
    image->m_NextIndex = 0;
    const bool ok = n == 0 || image->m_pItems;
    image->m_MaxCount = ok ? n : 0;
    return ok;
}

int RecordDataAdd(_SRecordData *image, uint16_t w0, uint16_t w1, uint16_t w2, uint16_t w3,
                  int index)
{
    if (!image || image->m_SecUnit <= 0 || image->m_MaxCount <= 0)
        return -1;
    if (!image->m_pItems) {
        image->m_pItems = ZeroItems(image->m_MaxCount);
        if (!image->m_pItems)
            return -1;
        image->m_Count = 0;
        image->m_NextIndex = 0;
    }
    int idx;
    if (index == -1)
        idx = image->m_NextIndex;
    else if (index >= 0)
        idx = index / image->m_SecUnit;
    else
        return -1;
    if (idx < 0 || idx >= image->m_MaxCount)
        return -1;
    const bool thin = idx + 1 > RECORD_THIN_THRESHOLD;
    if (thin && image->m_SecUnit > INT32_MAX / 2)
        return -1;
    if (index == -1)
        image->m_NextIndex = idx + 1;
    image->m_Count = idx + 1;

    if (thin) {
        // Keep the even records; record k then lies k * m_SecUnit seconds after the start.
        _SRecordItem *items = image->m_pItems;
        for (int k = 1; k < RECORD_THIN_THRESHOLD / 2; ++k)
            items[k] = items[2 * k];
        image->m_SecUnit *= 2;
        idx /= 2;
        image->m_Count = idx + 1;
        image->m_NextIndex = idx + 1;
    }
    image->m_pItems[idx] = _SRecordItem{w0, w1, w2, w3};
    return idx;
}

void RecordDataFree(_SRecordData *image)
{
    if (!image)
        return;
    std::free(image->m_pItems);
    image->m_pItems = nullptr;
    std::memset(image->m_Magic, 0, sizeof image->m_Magic);
    image->m_Version = 0;
    image->m_MaxCount = 0;
    image->m_Count = 0;
    image->m_StartTime = 0;
}

void RecordDataDestroy(_SRecordData **pimage)
{
    if (!pimage || !*pimage)
        return;
    std::free((*pimage)->m_pItems);
    delete *pimage;
    *pimage = nullptr;
}
