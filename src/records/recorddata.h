#pragma once
// Record image of one stream: the raw words as the sensor sent them, one 8-byte record per
// m_SecUnit seconds, laid out like the record file.
#include <cstddef>
#include <cstdint>

constexpr int RECORD_DATA_CAPACITY = 1209712;  // series capacity + 112
constexpr int RECORD_THIN_THRESHOLD = 1209600; // an image that would hold more is halved
constexpr int RECORD_DATA_VERSION = 3;

struct _SRecordItem {
    uint16_t m_Diff;
    uint16_t m_Base;
    uint16_t m_PM25;
    uint16_t m_PM10;
};
static_assert(sizeof(_SRecordItem) == 8, "records are 8 bytes in memory and in files");

// A second without a sample (a pause of the sensor). A measured sample never carries both
// first words at 0xFFFF: its m_Diff + m_Base is one raw word of the sensor.
constexpr uint16_t RECORD_GAP_WORD = 0xFFFF;
constexpr _SRecordItem RECORD_GAP_ITEM = {RECORD_GAP_WORD, RECORD_GAP_WORD, 0, 0};
inline bool RecordIsGap(const _SRecordItem &r)
{
    return r.m_Diff == RECORD_GAP_WORD && r.m_Base == RECORD_GAP_WORD;
}

struct _SRecordData {
    char m_Magic[4] = {'T', 'R', 'A', 'C'};
    int32_t m_Version = RECORD_DATA_VERSION;
    int32_t m_MaxCount = RECORD_DATA_CAPACITY; // capacity of m_pItems once allocated
    int32_t m_Count = 0;
    uint32_t m_StartTime = 0; // seconds since 1970 (UTC) of record 0
    int32_t m_SecUnit = 1;
    _SRecordItem *m_pItems = nullptr; // owned; allocated on first use
    int32_t m_NextIndex = 0;
    int32_t m_Channel = 0;
};
// The first five fields are the first 20 bytes of a record file.
static_assert(offsetof(_SRecordData, m_StartTime) == 16, "file header layout");

// A new image with the default header, no records; null when out of memory.
_SRecordData *RecordDataCreate();
// Default header on an existing image; an array it owned is released.
void RecordDataInitHeader(_SRecordData *image);
// n zeroed records as the new capacity; false (and an empty image) when n is negative or the
// allocation fails.
bool RecordDataAlloc(_SRecordData *image, int n);
// Stores one record at m_NextIndex (index -1) or at index / m_SecUnit, thinning the image
// when it would pass the threshold. Returns the slot used, or -1 when refused.
int RecordDataAdd(_SRecordData *image, uint16_t w0, uint16_t w1, uint16_t w2, uint16_t w3,
                  int index);
// Releases the records and zeroes the first five fields.
void RecordDataFree(_SRecordData *image);
void RecordDataDestroy(_SRecordData **pimage);
