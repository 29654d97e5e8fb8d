#include "libusbio.h"
#include "frame.h"

#include <QDebug>
#include <QThread>
#include <libusb.h>

LibUsbIO::LibUsbIO()
    : m_VendorId{0xFFF1, 0x16C0}
    , m_ProductId{0xFFF2, 0x05DF}
{
}

LibUsbIO::~LibUsbIO()
{
    if (m_bUsbOpen == 1 || m_LibUsbCtx)
        CloseUsbDevice();
}

int LibUsbIO::OpenUsbDevice()
{
    // A second open (a rescan) must not leak the handles and context of the first.
    if (m_bUsbOpen == 1 || m_LibUsbCtx)
        CloseUsbDevice();
    m_DevList.clear();
    libusb_init(&m_LibUsbCtx);
    if (!m_LibUsbCtx)
        return 0;
    libusb_set_option(m_LibUsbCtx, LIBUSB_OPTION_LOG_LEVEL, LIBUSB_LOG_LEVEL_NONE);
    OpenListed();
    QThread::msleep(100);
    return int(m_DevList.size());
}

void LibUsbIO::OpenListed()
{
    libusb_device **list = nullptr;
    const ssize_t n = libusb_get_device_list(m_LibUsbCtx, &list);
    m_BusyLocations.clear();
    ++m_Scans;
    for (ssize_t i = 0; i < n && (m_MaxSensors == 0 || int(m_DevList.size()) < m_MaxSensors); ++i)
        CheckAndOpenDevice(int(i), list);
    if (n >= 0)
        libusb_free_device_list(list, 1); // the opened handles keep their own references
}

int LibUsbIO::RescanUsbDevices()
{
    if (!m_LibUsbCtx)
        return 0; // libusb did not start: no USB at all (and no wait for it on every tick)
    CloseUsbHandles();
    m_bUsbLeft = false;
    OpenListed();
    // An announced sensor that could not be opened yet (udev may not have given access to it
    // yet) stays announced, so the caller looks again.
    if (!m_DevList.empty())
        m_bUsbArrived = false;
    return int(m_DevList.size());
}

void LibUsbIO::CloseUsbHandles()
{
    for (LibUsbDevice &dev : m_DevList) {
        if (dev.m_pHandle) {
            libusb_release_interface(dev.m_pHandle, 0);
            libusb_close(dev.m_pHandle);
            dev.m_pHandle = nullptr;
        }
    }
    m_DevList.clear();
    m_bUsbOpen = 0;
}

int LibUsbIO::HotplugEvent(libusb_context *, libusb_device *device, int event, void *self)
{
    auto *io = static_cast<LibUsbIO *>(self);
    if (event == LIBUSB_HOTPLUG_EVENT_DEVICE_LEFT) {
        // Only the departure of a device in use counts: another sensor, or any other device,
        // may come and go while one is read.
        io->m_bUsbLeft = io->m_bUsbLeft || io->IsOpen(device);
        return 0;
    }
    libusb_device_descriptor desc{};
    if (libusb_get_device_descriptor(device, &desc) == 0
        && io->IsAccepted(desc.idVendor, desc.idProduct))
        io->m_bUsbArrived = true;
    return 0; // stay registered
}

bool LibUsbIO::IsOpen(libusb_device *device) const
{
    for (const LibUsbDevice &dev : m_DevList)
        if (dev.m_pHandle && libusb_get_device(dev.m_pHandle) == device)
            return true;
    return false;
}

bool LibUsbIO::WatchHotplug()
{
    if (m_bHotplug)
        return true;
    if (!m_LibUsbCtx || !libusb_has_capability(LIBUSB_CAP_HAS_HOTPLUG))
        return false;
    const int events = LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED | LIBUSB_HOTPLUG_EVENT_DEVICE_LEFT;
    m_bHotplug = libusb_hotplug_register_callback(
                     m_LibUsbCtx, libusb_hotplug_event(events), libusb_hotplug_flag(0),
                     LIBUSB_HOTPLUG_MATCH_ANY, LIBUSB_HOTPLUG_MATCH_ANY, LIBUSB_HOTPLUG_MATCH_ANY,
                     [](libusb_context *ctx, libusb_device *device, libusb_hotplug_event event,
                        void *self) { return HotplugEvent(ctx, device, int(event), self); },
                     this, &m_HotplugHandle)
                 == LIBUSB_SUCCESS;
    return m_bHotplug;
}

void LibUsbIO::PollHotplug()
{
    if (!m_LibUsbCtx || !m_bHotplug)
        return;
    timeval zero{0, 0};
    libusb_handle_events_timeout_completed(m_LibUsbCtx, &zero, nullptr);
}

bool LibUsbIO::IsAccepted(uint16_t vendor, uint16_t product) const
{
    for (int k = 0; k < 2; ++k)
        if (vendor == m_VendorId[k] && product == m_ProductId[k])
            return true;
    return false;
}

bool LibUsbIO::CheckAndOpenDevice(int i, libusb_device **list)
{
    libusb_device_descriptor desc{};
    if (libusb_get_device_descriptor(list[i], &desc) != 0)
        return false;
    if (!IsAccepted(desc.idVendor, desc.idProduct))
        return false;

    libusb_device_handle *handle = nullptr;
    const int rc = libusb_open(list[i], &handle);
    m_bUsbDenied = m_bUsbDenied || rc == LIBUSB_ERROR_ACCESS;
    if (rc != 0)
        return false;
    const uint32_t location =
        uint32_t(libusb_get_bus_number(list[i])) << 8 | libusb_get_device_address(list[i]);

    // A HID-class sensor is held by the kernel's HID driver; detach it for the claim.
    libusb_set_auto_detach_kernel_driver(handle, 1);
    libusb_set_configuration(handle, 1);
    const int claimed = libusb_claim_interface(handle, 0);
    if (m_MaxSensors > 0 && claimed != 0) { // another program or link holds it
        m_BusyLocations.push_back(location);
        libusb_close(handle);
        return false;
    }
    m_bUsbOpen = 1;

    LibUsbDevice dev;
    dev.m_pHandle = handle;
    dev.m_Location = location;
    m_DevList.push_back(dev);
    return true;
}

bool LibUsbIO::CheckIndex(int index) const
{
    return m_LibUsbCtx && m_bUsbOpen != 0 && index >= 0 && index < int(m_DevList.size());
}

int LibUsbIO::ReadData(int index, unsigned char *buf, int len)
{
    if (!buf || len <= 0 || !CheckIndex(index) || !m_DevList[size_t(index)].m_pHandle)
        return 0;
    std::fill(buf, buf + len, 0);
    int transferred = 0;
    const int rc = libusb_interrupt_transfer(m_DevList[size_t(index)].m_pHandle, EP_IN, buf, len,
                                             &transferred, READ_TIMEOUT_MS);
    if (rc == LIBUSB_ERROR_NO_DEVICE)
        m_bUsbLeft = true;
    if (rc != 0 || transferred <= 0)
        return 0;
    for (int k = 0; k < transferred; ++k)
        qDebug("%02x", buf[k]);
    qDebug("==============");
    return transferred;
}

void LibUsbIO::WriteRequest(int index, unsigned char *frame)
{
    if (!CheckIndex(index) || !m_DevList[size_t(index)].m_pHandle)
        return;
    int transferred = 0;
    libusb_interrupt_transfer(m_DevList[size_t(index)].m_pHandle, EP_OUT, frame, FRAME_LEN,
                              &transferred, WRITE_TIMEOUT_MS);
}

int LibUsbIO::HasDevice() const
{
    return m_DevList.empty() ? 0 : 1;
}

QByteArray LibUsbIO::GetDevName(int index) const
{
    if (index < 0 || index >= int(m_DevList.size()))
        return {};
    return m_DevList[size_t(index)].m_DevName;
}

QByteArray LibUsbIO::GetDevSerial(int index) const
{
    if (index < 0 || index >= int(m_DevList.size()))
        return {};
    return m_DevList[size_t(index)].m_DevSerial;
}

int LibUsbIO::CloseUsbDevice()
{
    m_bUsbOpen = 0;
    if (!m_LibUsbCtx)
        return 0;
    CloseUsbHandles();
    if (m_bHotplug)
        libusb_hotplug_deregister_callback(m_LibUsbCtx, m_HotplugHandle);
    m_bHotplug = false;
    libusb_exit(m_LibUsbCtx);
    m_LibUsbCtx = nullptr;
    return 0;
}
