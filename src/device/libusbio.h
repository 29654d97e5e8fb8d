#pragma once
// USB half of the device link: finds the sensors by id, opens them through
// libusb's synchronous API and performs the interrupt transfers.
#include <QByteArray>
#include <cstdint>
#include <vector>

struct libusb_context;
struct libusb_device;
struct libusb_device_handle;

struct LibUsbDevice {
    libusb_device_handle *m_pHandle = nullptr; // null for an entry a serial reply added
    QByteArray m_DevName;                      // identity text
    QByteArray m_DevSerial;                    // serial number, hexadecimal digits
    uint32_t m_Location = 0;                   // bus number << 8 | device address
};

class LibUsbIO
{
public:
    static constexpr unsigned char EP_OUT = 0x02;
    static constexpr unsigned char EP_IN = 0x81;
    static constexpr unsigned WRITE_TIMEOUT_MS = 200;
    static constexpr unsigned READ_TIMEOUT_MS = 10;

    LibUsbIO();
    virtual ~LibUsbIO();
    LibUsbIO(const LibUsbIO &) = delete;
    LibUsbIO &operator=(const LibUsbIO &) = delete;

    int OpenUsbDevice();
    bool CheckAndOpenDevice(int i, libusb_device **list);
    int ReadData(int index, unsigned char *buf, int len);
    bool CheckIndex(int index) const;
    int HasDevice() const;
    QByteArray GetDevName(int index) const;
    QByteArray GetDevSerial(int index) const;
    int CloseUsbDevice();
    // Closes the open devices and empties the list; the context (and the hot-plug watch) stay.
    void CloseUsbHandles();
    // Lists and opens the sensors again within the same context; returns how many.
    int RescanUsbDevices();
    // Asks libusb to announce sensors coming and going, where it can; false where it cannot.
    bool WatchHotplug();
    // Services hot-plug notifications without waiting (once per tick).
    void PollHotplug();

    bool m_bUsbArrived = false; // a sensor was announced and no rescan has opened one since
    bool m_bUsbLeft = false;    // an open sensor went away (announced, or a transfer found it gone)
    bool m_bUsbDenied = false;  // a sensor was found that this user may not open
    // 0: every sensor found is opened (the window). N: at most N, each only once its interface
    // is claimed, so that several links in one process never share a sensor (the recorder).
    int m_MaxSensors = 0;
    // With m_MaxSensors: the sensors the last scan found claimed by someone else.
    std::vector<uint32_t> m_BusyLocations;
    int m_Scans = 0; // scans of the bus so far

    std::vector<LibUsbDevice> m_DevList;
    uint16_t m_VendorId[2];
    uint16_t m_ProductId[2];
    libusb_context *m_LibUsbCtx = nullptr;
    int m_bUsbOpen = 0;

protected:
    void OpenListed();

    // Interrupt-OUT of one 20-byte request; nothing is sent when the index is not usable.
    void WriteRequest(int index, unsigned char *frame);
    bool IsAccepted(uint16_t vendor, uint16_t product) const;
    // One of the devices this link has open.
    bool IsOpen(libusb_device *device) const;

private:
    static int HotplugEvent(libusb_context *ctx, libusb_device *device, int event, void *self);
    int m_HotplugHandle = 0;
    bool m_bHotplug = false;
};
