#pragma once
// Frame layout shared by the USB and serial links and the reply codes a read returns.
#include <cstdint>

constexpr int FRAME_LEN = 20;          // frame image; the serial wire omits byte 0
constexpr int SERIAL_FRAME_LEN = 19;
constexpr int SEND_BUF_LEN = 100;
constexpr unsigned char FRAME_USB_REQUEST = 0x02;
constexpr unsigned char FRAME_HEAD = 0xAA;
constexpr unsigned char FRAME_TAIL = 0xAB;
constexpr int FRAME_CHECKSUM = 18;

// Commands (byte 2).
constexpr unsigned char CMD_MEASUREMENT = 0xA5;
constexpr unsigned char CMD_DEVICE_INFO = 0xA6;
constexpr unsigned char CMD_PARAM = 0xA9;
constexpr unsigned char CMD_HIS_PAGE = 0xAC;
constexpr unsigned char CMD_HIS_BLOCK = 0xAD;
constexpr unsigned char CMD_SERIAL_ID = 0xB5;

// Sub-codes of a history-block reply (byte 4).
constexpr unsigned char HIS_SUB_PM25 = 1;
constexpr unsigned char HIS_SUB_GAS = 2;  // second channel
constexpr unsigned char HIS_SUB_TVOC = 3; // second channel asked as TVOC
constexpr unsigned char HIS_SUB_PM10 = 5;
constexpr unsigned char HIS_SUB_CLEARED = 0xFD;
constexpr unsigned char HIS_SUB_COUNT = 0xFE;

// Reply codes returned by every read.
enum ReplyCode : unsigned char {
    REPLY_NONE = 0,
    DATA_PM_1 = 1,
    DATA_PM_3 = 3,
    DATA_GAS_17 = 17,
    DATA_GAS_33 = 33,
    REPLY_DEVICE_INFO = 166,
    REPLY_PARAM = 169,
    REPLY_HIS_PAGE = 172,
    REPLY_HIS_BLOCK = 173,
    REPLY_SERIAL_ID = 181,
    REPLY_CLEARED = 253,
};

// One decoded measurement, raw device units.
struct TAG_T_SPM25Data {
    uint16_t m_Diff;
    uint16_t m_Base;
    uint16_t m_PM25;
    uint16_t m_PM10;
    uint16_t m_Aux;
};

inline uint16_t FrameWord(const unsigned char *f, int at)
{
    return uint16_t(f[at] | (f[at + 1] << 8));
}
