#pragma once
// The test bed: presents simulated sensors to unchanged code through umockdev,
// as USB devices (usbdevfs ioctls answered in-process) and as USB-serial ports
// (a pty per port). One bed per process; the umockdev preload must be in
// LD_PRELOAD from process start, or the constructor aborts.
//
// Every method is thread-safe. Do not call libusb or the serial port from inside
// with(): the bed answers them on its own threads under the same lock.
#include "simsensor.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

struct _UMockdevTestbed;

namespace sim {

struct UsbOptions {
    bool withDevNode = true;        // false: listed in sysfs, but its /dev node is missing
    bool kernelDriverBound = false; // interface 0 held by a kernel driver ("usbhid")
    bool disconnectClaim = true;    // false: a kernel without USBDEVFS_DISCONNECT_CLAIM
};

// What the USB side of a sensor has seen; a snapshot.
struct UsbState {
    int configuration = 1;
    bool claimed = false;      // interface 0 claimed through usbfs
    bool driverBound = false;  // interface 0 held by the kernel driver
    unsigned submitted = 0;
    unsigned reaped = 0;
    unsigned discarded = 0;
    unsigned outReports = 0;   // OUT transfers handed to the sensor
    unsigned inReports = 0;    // IN transfers completed with data
    std::vector<unsigned long> unknownIoctls;
};

class UsbGadget;
class SerialLine;

class SimBed {
public:
    // Test: this process itself looks at the bed (needs the preload).
    // Launcher: the bed serves a child started with the preload in its environment.
    enum class Role { Test, Launcher };
    explicit SimBed(Role role = Role::Test);
    ~SimBed();
    SimBed(const SimBed&) = delete;
    SimBed& operator=(const SimBed&) = delete;

    // Every add returns an id for unplug(); a replug is a new add with a new id.
    int addUsbSensor(uint16_t vid = 0xFFF1, uint16_t pid = 0xFFF2, UsbOptions opt = {});
    int addOtherUsbDevice(uint16_t vid, uint16_t pid);
    // `tty` only starts the port's name: the bed adds this process's id and a count (see
    // ttyName()). Qt SerialPort locks a port with a file named after it in the host's
    // /var/lock, outside the bed, so beds in parallel processes must never share a name, and
    // a name whose lock file exists there is skipped.
    int addSerialSensor(const char* tty = "ttyUSB", uint16_t vid = 0x1A86, uint16_t pid = 0x7523);
    int addOtherSerialPort(const char* tty, uint16_t vid, uint16_t pid);

    // Runs f(SimSensor&) under that sensor's lock and returns its result.
    template <class F>
    auto with(int id, F&& f) -> decltype(f(std::declval<SimSensor&>()))
    {
        Node& n = node(id);
        struct Wake { // after the lock is gone: f may have queued frames
            SimBed* bed;
            Node& n;
            ~Wake() { bed->wake(n); }
        } wake{this, n};
        std::lock_guard<std::mutex> lock(mutexOf(n));
        return f(sensorOf(n));
    }

    // Moves every sensor's clock on and lets the serial lines send what it produced.
    void advance(uint32_t ms);
    // The device goes away: USB transfers fail with ENODEV, the serial line hangs up,
    // and the device leaves sysfs.
    void unplug(int id);
    // The next IN report of a USB sensor arrives with only this many bytes.
    void shortenNextUsbReport(int id, std::size_t bytes);
    UsbState usbState(int id);
    std::string devNode(int id);
    // A serial port's name as QSerialPortInfo lists it ("ttyUSB-4711-0"); empty for USB.
    std::string ttyName(int id);
    std::string rootDir() const { return m_rootDir; }

    // Drives advance() from the real clock about every 50 ms (for the demo).
    void runClock(bool on);

private:
    struct Node;

    Node& node(int id);
    static std::mutex& mutexOf(Node& n);
    static SimSensor& sensorOf(Node& n);
    void wake(Node& n);
    int addNode(std::unique_ptr<Node> n);
    struct UsbPort {
        std::string sysPath;
        int bus;
        int devnum;
    };
    UsbPort nextUsbPort();
    std::string nextTtyName(const char* hint, int* minor);
    std::unique_ptr<Node> serialNode(const char* tty, uint16_t vid, uint16_t pid);
    void addFromString(const std::string& description);
    int masterOf(const std::string& devNode); // the pty master umockdev made for a tty

    _UMockdevTestbed* m_testbed = nullptr;
    std::string m_rootDir;
    std::mutex m_nodesMutex;
    std::deque<std::unique_ptr<Node>> m_nodes;
    int m_usbDevices = 0;
    int m_nextTtyMinor = 0;
    unsigned m_nextTty = 0;

    std::mutex m_clockControl; // serialises runClock(on/off)
    std::thread m_clock;
    std::mutex m_clockMutex;
    std::condition_variable m_clockCv;
    bool m_clockStop = false;
};

} // namespace sim
