#include "usbgadget.h"

#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace sim {

namespace {

constexpr uint8_t kEpIn = 0x81;
constexpr uint8_t kEpOut = 0x02;
constexpr const char* kKernelDriver = "usbhid";
constexpr const char* kUsbfs = "usbfs";

// The ioctl argument points at a value of type T in the client; read or write it.
template <class T>
bool readArg(UMockdevIoctlData* arg, T* out)
{
    GError* error = nullptr;
    UMockdevIoctlData* d = umockdev_ioctl_data_resolve(arg, 0, sizeof(T), &error);
    g_clear_error(&error);
    if (!d)
        return false;
    std::memcpy(out, d->data, sizeof(T));
    g_object_unref(d);
    return true;
}

template <class T>
bool writeArg(UMockdevIoctlData* arg, const T& value)
{
    GError* error = nullptr;
    UMockdevIoctlData* d = umockdev_ioctl_data_resolve(arg, 0, sizeof(T), &error);
    g_clear_error(&error);
    if (!d)
        return false;
    umockdev_ioctl_data_update(d, 0, reinterpret_cast<guint8*>(const_cast<T*>(&value)), int(sizeof(T)));
    g_object_unref(d);
    return true;
}

std::string driverName(const char* field, std::size_t size)
{
    return std::string(field, strnlen(field, size));
}

} // namespace

UsbGadget::UsbGadget(std::mutex& mutex, SimSensor& sensor, const UsbOptions& opt)
    : m_mutex(mutex), m_sensor(sensor), m_opt(opt), m_hasKernelDriver(opt.kernelDriverBound)
{
    m_state.driverBound = opt.kernelDriverBound;
}

UsbGadget::~UsbGadget()
{
    detach();
    for (Urb& u : m_urbs)
        release(u);
    setClaimer(nullptr);
}

void UsbGadget::attach(UMockdevTestbed* testbed, const std::string& devnode)
{
    m_testbed = testbed;
    m_devnode = devnode;
    m_handler = umockdev_ioctl_base_new();
    g_signal_connect(m_handler, "handle-ioctl", G_CALLBACK(onIoctl), this);
    GError* error = nullptr;
    if (!umockdev_testbed_attach_ioctl(testbed, devnode.c_str(), m_handler, &error)) {
        std::fprintf(stderr, "SimBed: cannot attach the USB handler to %s: %s\n", devnode.c_str(),
                     error ? error->message : "?");
        std::abort();
    }
}

void UsbGadget::detach()
{
    if (!m_handler)
        return;
    GError* error = nullptr;
    umockdev_testbed_detach_ioctl(m_testbed, m_devnode.c_str(), &error);
    g_clear_error(&error);
    g_signal_handlers_disconnect_by_data(m_handler, this);
    g_object_unref(m_handler);
    m_handler = nullptr;
}

void UsbGadget::unplug()
{
    m_unplugged = true;
    // As the kernel does on disconnect: whatever was in flight completes, and fails.
    for (Urb& u : m_urbs) {
        if (!u.done) {
            u.done = true;
            u.status = -ESHUTDOWN;
            u.actual = 0;
        }
    }
}

void UsbGadget::release(Urb& u)
{
    if (u.buffer)
        g_object_unref(u.buffer);
    if (u.urb)
        g_object_unref(u.urb);
    if (u.client)
        g_object_unref(u.client);
    u = Urb{};
}

void UsbGadget::setClaimer(UMockdevIoctlClient* client)
{
    if (client)
        g_object_ref(client);
    if (m_claimer)
        g_object_unref(m_claimer);
    m_claimer = client;
    m_state.claimed = client != nullptr;
}

bool UsbGadget::claimFor(UMockdevIoctlClient* client)
{
    if (m_claimer == client)
        return true;
    if (m_claimer || m_state.driverBound)
        return false;
    setClaimer(client);
    return true;
}

// A closed file releases its claim and drops its URBs, as in the kernel.
void UsbGadget::forgetVanishedClients()
{
    for (auto it = m_urbs.begin(); it != m_urbs.end();) {
        if (!umockdev_ioctl_client_get_connected(it->client)) {
            release(*it);
            it = m_urbs.erase(it);
        } else {
            ++it;
        }
    }
    if (m_claimer && !umockdev_ioctl_client_get_connected(m_claimer))
        setClaimer(nullptr);
}

gboolean UsbGadget::onIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self)
{
    return static_cast<UsbGadget*>(self)->handle(client);
}

gboolean UsbGadget::handle(UMockdevIoctlClient* c)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    forgetVanishedClients();
    const unsigned long request = umockdev_ioctl_client_get_request(c);
    UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(c);
    long result = 0;
    int err = 0;

    const unsigned req = unsigned(request);
    if (m_unplugged && req != USBDEVFS_REAPURB && req != USBDEVFS_REAPURBNDELAY
        && req != USBDEVFS_DISCARDURB) {
        err = ENODEV;
    } else {
        switch (req) {
        case USBDEVFS_GET_CAPABILITIES: {
            const uint32_t caps = USBDEVFS_CAP_BULK_CONTINUATION | USBDEVFS_CAP_NO_PACKET_SIZE_LIM
                                  | USBDEVFS_CAP_REAP_AFTER_DISCONNECT;
            err = writeArg(arg, caps) ? 0 : EFAULT;
            break;
        }
        case USBDEVFS_SETCONFIGURATION: {
            int config = 0;
            if (!readArg(arg, &config))
                err = EFAULT;
            else if (m_claimer || m_state.driverBound)
                err = EBUSY; // the kernel refuses while any interface is held
            else if (config == 1)
                m_state.configuration = 1;
            else if (config == 0 || config == -1)
                m_state.configuration = 0;
            else
                err = EINVAL;
            break;
        }
        case USBDEVFS_CLAIMINTERFACE: {
            unsigned iface = 0;
            if (!readArg(arg, &iface))
                err = EFAULT;
            else if (iface != 0 || m_state.configuration != 1)
                err = ENOENT;
            else if (!claimFor(c))
                err = EBUSY;
            break;
        }
        case USBDEVFS_RELEASEINTERFACE: {
            unsigned iface = 0;
            if (!readArg(arg, &iface))
                err = EFAULT;
            else if (iface != 0)
                err = ENOENT;
            else if (m_claimer != c)
                err = EINVAL;
            else
                setClaimer(nullptr);
            break;
        }
        case USBDEVFS_DISCONNECT_CLAIM:
            err = disconnectClaim(c, arg);
            break;
        case USBDEVFS_GETDRIVER:
            err = getDriver(arg);
            break;
        case USBDEVFS_IOCTL:
            err = driverIoctl(arg, &result);
            break;
        case USBDEVFS_SUBMITURB:
            err = submit(c, arg);
            break;
        case USBDEVFS_DISCARDURB:
            err = discard(c, arg);
            break;
        case USBDEVFS_REAPURB:      // must not block here; libusb only uses the non-blocking one
        case USBDEVFS_REAPURBNDELAY:
            err = reap(c, arg);
            break;
        default:
            m_state.unknownIoctls.push_back(request);
            err = ENOTTY;
            break;
        }
    }
    umockdev_ioctl_client_complete(c, err ? -1 : result, err);
    return TRUE;
}

int UsbGadget::submit(UMockdevIoctlClient* c, UMockdevIoctlData* arg)
{
    GError* error = nullptr;
    UMockdevIoctlData* data = umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_urb), &error);
    g_clear_error(&error);
    if (!data)
        return EFAULT;
    const auto* p = reinterpret_cast<const usbdevfs_urb*>(data->data);
    Urb u;
    u.client = static_cast<UMockdevIoctlClient*>(g_object_ref(c));
    u.urb = data;
    u.addr = data->client_addr;
    u.endpoint = p->endpoint;

    if (p->type == USBDEVFS_URB_TYPE_CONTROL) {
        // Nothing here answers control requests: the endpoint stalls.
        u.done = true;
        u.status = -EPIPE;
    } else {
        int err = 0;
        if (m_state.configuration != 1 || (p->endpoint != kEpIn && p->endpoint != kEpOut))
            err = ENOENT;
        else if (p->type == USBDEVFS_URB_TYPE_ISO)
            err = EINVAL;
        else if (!claimFor(c)) // usbfs claims on first use, and fails where a driver sits
            err = EBUSY;
        if (!err && p->buffer_length > 0) {
            u.buffer = umockdev_ioctl_data_resolve(data, offsetof(usbdevfs_urb, buffer),
                                                   std::size_t(p->buffer_length), &error);
            g_clear_error(&error);
            if (!u.buffer)
                err = EFAULT;
        }
        if (err) {
            release(u);
            return err;
        }
        if (!(p->endpoint & 0x80)) {
            const std::size_t len = std::size_t(p->buffer_length);
            m_sensor.handleUsbRequest(u.buffer ? u.buffer->data : nullptr, u.buffer ? len : 0);
            ++m_state.outReports;
            u.done = true;
            u.actual = p->buffer_length;
        }
    }
    ++m_state.submitted;
    m_urbs.push_back(u);
    // A report already waiting goes out at once, as the host controller would fetch
    // it on the next poll; done now, a libusb time-out cannot race it.
    fillInUrbs();
    return 0;
}

int UsbGadget::discard(UMockdevIoctlClient* c, UMockdevIoctlData* arg)
{
    unsigned long addr = 0;
    std::memcpy(&addr, arg->data, std::min<std::size_t>(sizeof addr, std::size_t(arg->data_len)));
    for (Urb& u : m_urbs) {
        if (u.client == c && u.addr == addr && !u.done) {
            u.done = true;
            u.status = -ENOENT;
            u.actual = 0;
            ++m_state.discarded;
            return 0;
        }
    }
    return EINVAL; // unknown or already complete: libusb then reaps it as usual
}

// IN transfers complete when the host looks for them and the sensor has something.
void UsbGadget::fillInUrbs()
{
    for (Urb& u : m_urbs) {
        if (u.done || u.endpoint != kEpIn)
            continue;
        std::optional<Frame> report = m_sensor.takeUsbReport();
        if (!report)
            break;
        std::size_t n = report->size();
        if (m_shortNext) {
            n = std::min(n, *m_shortNext);
            m_shortNext.reset();
        }
        const std::size_t room = u.buffer ? std::size_t(u.buffer->data_len) : 0;
        if (n > room) {
            u.status = -EOVERFLOW; // the device sent more than the host asked for
            n = room;
        }
        if (n > 0)
            umockdev_ioctl_data_update(u.buffer, 0, report->data(), int(n));
        u.actual = int(n);
        u.done = true;
        ++m_state.inReports;
    }
}

int UsbGadget::reap(UMockdevIoctlClient* c, UMockdevIoctlData* arg)
{
    fillInUrbs();
    for (auto it = m_urbs.begin(); it != m_urbs.end(); ++it) {
        if (it->client != c || !it->done)
            continue;
        GError* error = nullptr;
        UMockdevIoctlData* slot = umockdev_ioctl_data_resolve(arg, 0, sizeof(void*), &error);
        g_clear_error(&error);
        if (!slot)
            return EFAULT;
        umockdev_ioctl_data_update(it->urb, offsetof(usbdevfs_urb, status),
                                   reinterpret_cast<guint8*>(&it->status), int(sizeof(int)));
        umockdev_ioctl_data_update(it->urb, offsetof(usbdevfs_urb, actual_length),
                                   reinterpret_cast<guint8*>(&it->actual), int(sizeof(int)));
        umockdev_ioctl_data_set_ptr(slot, 0, it->urb);
        g_object_unref(slot);
        release(*it);
        m_urbs.erase(it);
        ++m_state.reaped;
        return 0;
    }
    return m_unplugged ? ENODEV : EAGAIN;
}

int UsbGadget::disconnectClaim(UMockdevIoctlClient* c, UMockdevIoctlData* arg)
{
    if (!m_opt.disconnectClaim)
        return ENOTTY;
    usbdevfs_disconnect_claim dc{};
    if (!readArg(arg, &dc))
        return EFAULT;
    if (dc.interface != 0 || m_state.configuration != 1)
        return EINVAL;
    const std::string wanted = driverName(dc.driver, sizeof dc.driver);
    const char* current = m_state.driverBound ? kKernelDriver : (m_claimer ? kUsbfs : nullptr);
    if (current) {
        if ((dc.flags & USBDEVFS_DISCONNECT_CLAIM_IF_DRIVER) && wanted != current)
            return EBUSY;
        if ((dc.flags & USBDEVFS_DISCONNECT_CLAIM_EXCEPT_DRIVER) && wanted == current)
            return EBUSY;
        m_state.driverBound = false;
        setClaimer(nullptr);
    }
    setClaimer(c);
    return 0;
}

int UsbGadget::getDriver(UMockdevIoctlData* arg)
{
    usbdevfs_getdriver gd{};
    if (!readArg(arg, &gd))
        return EFAULT;
    const char* current = m_state.driverBound ? kKernelDriver : (m_claimer ? kUsbfs : nullptr);
    if (gd.interface != 0 || !current)
        return ENODATA;
    std::snprintf(gd.driver, sizeof gd.driver, "%s", current);
    return writeArg(arg, gd) ? 0 : EFAULT;
}

int UsbGadget::driverIoctl(UMockdevIoctlData* arg, long* result)
{
    usbdevfs_ioctl cmd{};
    if (!readArg(arg, &cmd))
        return EFAULT;
    if (cmd.ifno != 0)
        return EINVAL;
    switch (unsigned(cmd.ioctl_code)) {
    case USBDEVFS_DISCONNECT:
        if (m_state.driverBound)
            m_state.driverBound = false;
        else if (m_claimer)
            setClaimer(nullptr);
        else
            return ENODATA;
        return 0;
    case USBDEVFS_CONNECT:
        if (m_state.driverBound || m_claimer)
            return EBUSY;
        // The kernel answers 1 when a driver took the interface, 0 when none wanted it.
        m_state.driverBound = m_hasKernelDriver;
        *result = m_hasKernelDriver ? 1 : 0;
        return 0;
    default:
        return ENOTTY;
    }
}

} // namespace sim
