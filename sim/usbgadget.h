#pragma once
// The USB face of one simulated sensor: answers the usbdevfs ioctls that libusb
// issues on the device node. Runs on umockdev's worker thread; every entry takes
// the sensor's mutex and never blocks.
#include "simbed.h"

#include <umockdev.h>

#include <deque>
#include <mutex>
#include <optional>
#include <string>

namespace sim {

class UsbGadget {
public:
    UsbGadget(std::mutex& mutex, SimSensor& sensor, const UsbOptions& opt);
    ~UsbGadget();
    UsbGadget(const UsbGadget&) = delete;
    UsbGadget& operator=(const UsbGadget&) = delete;

    // Call without holding the mutex: umockdev may wait for its worker thread.
    void attach(UMockdevTestbed* testbed, const std::string& devnode);
    void detach();

    // The caller holds the mutex for these.
    void unplug();
    void shortenNextReport(std::size_t bytes) { m_shortNext = bytes; }
    UsbState state() const { return m_state; }

private:
    struct Urb {
        UMockdevIoctlClient* client = nullptr; // owned reference
        UMockdevIoctlData* urb = nullptr;      // owned reference
        UMockdevIoctlData* buffer = nullptr;   // owned reference; null for zero length
        unsigned long addr = 0;                // the URB's address in the client
        uint8_t endpoint = 0;
        bool done = false;
        int status = 0;
        int actual = 0;
    };

    static gboolean onIoctl(UMockdevIoctlBase* base, UMockdevIoctlClient* client, gpointer self);
    gboolean handle(UMockdevIoctlClient* client);
    void forgetVanishedClients();
    void fillInUrbs();
    static void release(Urb& u);
    bool claimFor(UMockdevIoctlClient* client);
    void setClaimer(UMockdevIoctlClient* client);

    // Handlers return the errno to complete with (0 = success).
    int submit(UMockdevIoctlClient* c, UMockdevIoctlData* arg);
    int discard(UMockdevIoctlClient* c, UMockdevIoctlData* arg);
    int reap(UMockdevIoctlClient* c, UMockdevIoctlData* arg);
    int disconnectClaim(UMockdevIoctlClient* c, UMockdevIoctlData* arg);
    int getDriver(UMockdevIoctlData* arg);
    int driverIoctl(UMockdevIoctlData* arg, long* result);

    std::mutex& m_mutex;
    SimSensor& m_sensor;
    const UsbOptions m_opt;
    UMockdevIoctlBase* m_handler = nullptr;
    UMockdevTestbed* m_testbed = nullptr;
    std::string m_devnode;

    std::deque<Urb> m_urbs;
    UMockdevIoctlClient* m_claimer = nullptr; // owned reference
    bool m_hasKernelDriver = false;
    bool m_unplugged = false;
    std::optional<std::size_t> m_shortNext;
    UsbState m_state;
};

} // namespace sim
