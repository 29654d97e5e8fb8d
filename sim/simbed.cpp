#include "simbed.h"

#include "serialline.h"
#include "usbgadget.h"

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace sim {

namespace {

// Bus numbers no real host uses, so that a path missing from the bed never
// falls through to a real device node (umockdev passes such paths on). A bus
// holds 126 devices; replugs move on to the next bus, since no name is reused.
constexpr int kFirstBus = 77;
constexpr int kLastBus = 199;
constexpr int kDevicesPerBus = 126;

// Where Qt SerialPort looks for a port's lock file, in its order.
const char* const kLockDirs[] = {"/var/lock", "/etc/locks", "/var/spool/locks", "/var/spool/uucp",
                                 "/tmp", "/var/tmp", "/var/lock/lockdev", "/run/lock"};

bool lockFileExists(const std::string& tty)
{
    std::vector<std::string> dirs(std::begin(kLockDirs), std::end(kLockDirs));
    if (const char* tmp = std::getenv("TMPDIR"))
        dirs.push_back(tmp);
    for (const std::string& dir : dirs)
        if (::access((dir + "/LCK.." + tty).c_str(), F_OK) == 0)
            return true;
    return false;
}

std::atomic<bool> g_bedAlive{false};

[[noreturn]] void die(const std::string& why)
{
    std::fprintf(stderr, "SimBed: %s\n", why.c_str());
    std::abort();
}

std::string format(const char* fmt, unsigned a, unsigned b = 0)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, fmt, a, b);
    return buf;
}

// Device, configuration, interface (HID class), HID, endpoint 0x81 IN and 0x02 OUT,
// both interrupt with 64-byte packets.
std::string descriptorsHex(uint16_t vid, uint16_t pid)
{
    const std::string le = format("%02X%02X", vid & 0xFF, vid >> 8) + format("%02X%02X", pid & 0xFF, pid >> 8);
    return "1201000200000040" + le + "000100000001"
           "09022900010100803209040000020300000009211101000122220007058103400001070502034000" "01";
}

} // namespace

struct SimBed::Node {
    explicit Node(Config config) : sensor(std::move(config)) {}
    std::mutex mutex;
    SimSensor sensor; // unused by foreign devices
    std::vector<std::string> sysPaths; // removed on unplug, children first
    std::string devNode;
    std::string tty;
    std::unique_ptr<UsbGadget> usb;
    std::unique_ptr<SerialLine> serial;
    int foreignMaster = -1; // the pty of a foreign serial port
    bool unplugged = false;
};

SimBed::SimBed(Role role)
{
    if (g_bedAlive.exchange(true))
        die("a second test bed in one process; umockdev supports one at a time");
    const char* preload = std::getenv("LD_PRELOAD");
    if (role == Role::Launcher) {
        // The bed serves a child program that runs under the preload; this process
        // keeps the real /sys and /dev.
        m_testbed = umockdev_testbed_new();
        gchar* root = umockdev_testbed_get_root_dir(m_testbed);
        m_rootDir = root;
        g_free(root);
        return;
    }
    if (!preload || !std::strstr(preload, "libumockdev-preload"))
        die("libumockdev-preload.so.0 is not in LD_PRELOAD, so this process would see the real "
            "/sys and /dev. Run the test through ctest, or start it with "
            "LD_PRELOAD=libumockdev-preload.so.0.");
    m_testbed = umockdev_testbed_new();
    gchar* root = umockdev_testbed_get_root_dir(m_testbed);
    m_rootDir = root;
    g_free(root);

    // Named in LD_PRELOAD is not loaded: check that /sys really leads into the bed.
    const std::string marker = m_rootDir + "/sys/.simbed";
    if (FILE* f = std::fopen(marker.c_str(), "w"))
        std::fclose(f);
    const int fd = ::open("/sys/.simbed", O_RDONLY | O_CLOEXEC);
    std::remove(marker.c_str());
    if (fd < 0)
        die("the umockdev preload is named in LD_PRELOAD but not active; /sys is the real one.");
    ::close(fd);
}

SimBed::~SimBed()
{
    runClock(false);
    for (auto& n : m_nodes)
        if (n->serial)
            n->serial->stop();
    for (auto& n : m_nodes)
        if (n->usb)
            n->usb->detach();
    g_object_unref(m_testbed);
    m_nodes.clear();
    g_bedAlive = false;
}

SimBed::Node& SimBed::node(int id)
{
    std::lock_guard<std::mutex> lock(m_nodesMutex);
    if (id < 0 || std::size_t(id) >= m_nodes.size())
        die("no simulated sensor with id " + std::to_string(id));
    return *m_nodes[std::size_t(id)];
}

std::mutex& SimBed::mutexOf(Node& n) { return n.mutex; }
SimSensor& SimBed::sensorOf(Node& n) { return n.sensor; }

void SimBed::wake(Node& n)
{
    if (n.serial)
        n.serial->wake();
}

int SimBed::addNode(std::unique_ptr<Node> n)
{
    std::lock_guard<std::mutex> lock(m_nodesMutex);
    m_nodes.push_back(std::move(n));
    return int(m_nodes.size() - 1);
}

SimBed::UsbPort SimBed::nextUsbPort()
{
    std::lock_guard<std::mutex> lock(m_nodesMutex);
    const int bus = kFirstBus + m_usbDevices / kDevicesPerBus;
    const int devnum = 2 + m_usbDevices % kDevicesPerBus; // 1 is the root hub
    if (bus > kLastBus)
        die("too many USB devices added to the bed");
    ++m_usbDevices;
    const std::string hub = "/devices/pci0000:00/0000:00:14.0/usb" + std::to_string(bus) + "/";
    return {hub + format("%u-%u", unsigned(bus), unsigned(devnum - 1)), bus, devnum};
}

std::string SimBed::nextTtyName(const char* hint, int* minor)
{
    const std::string base = hint ? hint : "";
    if (base.empty() || base.find('/') != std::string::npos)
        die("a tty name must be one path component: \"" + base + "\"");
    std::lock_guard<std::mutex> lock(m_nodesMutex);
    *minor = m_nextTtyMinor++;
    std::string name;
    do
        name = base + "-" + std::to_string(::getpid()) + "-" + std::to_string(m_nextTty++);
    while (lockFileExists(name));
    return name;
}

void SimBed::addFromString(const std::string& description)
{
    std::lock_guard<std::mutex> lock(m_nodesMutex);
    GError* error = nullptr;
    if (!umockdev_testbed_add_from_string(m_testbed, description.c_str(), &error))
        die(std::string("umockdev rejected a device description: ") + (error ? error->message : "?"));
}

int SimBed::masterOf(const std::string& devNode)
{
    std::lock_guard<std::mutex> lock(m_nodesMutex);
    return umockdev_testbed_get_dev_fd(m_testbed, devNode.c_str());
}

namespace {

// sysfs attributes end in a newline, as the kernel writes them; libusb checks.
std::string usbDescription(const std::string& path, int bus, int devnum, uint16_t vid, uint16_t pid,
                           bool node)
{
    const std::string name = format("bus/usb/%03u/%03u", unsigned(bus), unsigned(devnum));
    const std::string hex = descriptorsHex(vid, pid);
    std::string d = "P: " + path + "\n";
    if (node)
        d += "N: " + name + "=" + hex + "\n";
    d += "E: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nE: DEVNAME=/dev/" + name + "\n"
         "E: BUSNUM=" + format("%03u", unsigned(bus)) + "\nE: DEVNUM=" + format("%03u", unsigned(devnum)) + "\n"
         "E: ID_VENDOR_ID=" + format("%04x", vid) + "\nE: ID_MODEL_ID=" + format("%04x", pid) + "\n"
         "A: idVendor=" + format("%04x", vid) + "\\n\nA: idProduct=" + format("%04x", pid) + "\\n\n"
         "A: busnum=" + std::to_string(bus) + "\\n\nA: devnum=" + std::to_string(devnum) + "\\n\n"
         "A: speed=12\\n\nA: bConfigurationValue=1\\n\nA: bNumConfigurations=1\\n\n"
         "A: dev=189:" + std::to_string((bus - 1) * 128 + devnum - 1) + "\n"
         "H: descriptors=" + hex + "\n\n";
    return d;
}

// A USB-serial bridge with its tty, the way udev describes a CH34x adapter.
std::string serialDescription(const std::string& path, int bus, int devnum, const std::string& tty,
                              uint16_t vid, uint16_t pid, int minor)
{
    const std::string port = path.substr(path.rfind('/') + 1);
    const std::string intf = path + "/" + port + ":1.0";
    const std::string v = format("%04x", vid), p = format("%04x", pid);
    return "P: " + path + "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\n"
           "A: idVendor=" + v + "\\n\nA: idProduct=" + p + "\\n\n"
           "A: busnum=" + std::to_string(bus) + "\\n\nA: devnum=" + std::to_string(devnum) + "\\n\n\n"
           "P: " + intf + "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_interface\nE: DRIVER=ch341\n\n"
           "P: " + intf + "/" + tty + "\nE: SUBSYSTEM=usb-serial\nE: DRIVER=ch341-uart\n\n"
           "P: " + intf + "/" + tty + "/tty/" + tty + "\nN: " + tty + "\n"
           "E: SUBSYSTEM=tty\nE: DEVNAME=/dev/" + tty + "\n"
           "E: ID_VENDOR_ID=" + v + "\nE: ID_MODEL_ID=" + p + "\n"
           "E: ID_VENDOR=Simulated\nE: ID_MODEL=USB_Serial\nE: ID_BUS=usb\n"
           "A: dev=188:" + std::to_string(minor) + "\n\n";
}

// The paths a serial bridge leaves sysfs by, children first: each device goes on its own, or
// its class and bus links would stay behind.
std::vector<std::string> serialSysPaths(const std::string& usbPath, const std::string& tty)
{
    const std::string intf = usbPath + "/" + usbPath.substr(usbPath.rfind('/') + 1) + ":1.0";
    return {"/sys" + intf + "/" + tty + "/tty/" + tty, "/sys" + intf + "/" + tty, "/sys" + intf,
            "/sys" + usbPath};
}

} // namespace

int SimBed::addUsbSensor(uint16_t vid, uint16_t pid, UsbOptions opt)
{
    const UsbPort port = nextUsbPort();
    Config config;
    config.seed = uint32_t(port.devnum);
    auto n = std::make_unique<Node>(config);
    n->devNode = format("/dev/bus/usb/%03u/%03u", unsigned(port.bus), unsigned(port.devnum));
    n->sysPaths = {"/sys" + port.sysPath};
    addFromString(usbDescription(port.sysPath, port.bus, port.devnum, vid, pid, opt.withDevNode));
    n->usb = std::make_unique<UsbGadget>(n->mutex, n->sensor, opt);
    if (opt.withDevNode) {
        std::lock_guard<std::mutex> lock(m_nodesMutex);
        n->usb->attach(m_testbed, n->devNode);
    }
    return addNode(std::move(n));
}

int SimBed::addOtherUsbDevice(uint16_t vid, uint16_t pid)
{
    const UsbPort port = nextUsbPort();
    auto n = std::make_unique<Node>(Config{});
    n->devNode = format("/dev/bus/usb/%03u/%03u", unsigned(port.bus), unsigned(port.devnum));
    n->sysPaths = {"/sys" + port.sysPath};
    addFromString(usbDescription(port.sysPath, port.bus, port.devnum, vid, pid, true));
    return addNode(std::move(n));
}

std::unique_ptr<SimBed::Node> SimBed::serialNode(const char* tty, uint16_t vid, uint16_t pid)
{
    const UsbPort port = nextUsbPort();
    int minor = 0;
    const std::string name = nextTtyName(tty, &minor);
    Config config;
    config.seed = uint32_t(port.devnum);
    auto n = std::make_unique<Node>(config);
    n->tty = name;
    n->devNode = "/dev/" + name;
    n->sysPaths = serialSysPaths(port.sysPath, name);
    addFromString(serialDescription(port.sysPath, port.bus, port.devnum, name, vid, pid, minor));
    return n;
}

int SimBed::addSerialSensor(const char* tty, uint16_t vid, uint16_t pid)
{
    auto n = serialNode(tty, vid, pid);
    const int master = masterOf(n->devNode);
    if (master < 0)
        die("umockdev made no pty for " + n->devNode);
    n->serial = std::make_unique<SerialLine>(n->mutex, n->sensor, master);
    return addNode(std::move(n));
}

int SimBed::addOtherSerialPort(const char* tty, uint16_t vid, uint16_t pid)
{
    auto n = serialNode(tty, vid, pid);
    n->foreignMaster = masterOf(n->devNode);
    if (n->foreignMaster >= 0)
        SerialLine::prepareMaster(n->foreignMaster);
    return addNode(std::move(n));
}

void SimBed::advance(uint32_t ms)
{
    std::vector<Node*> nodes;
    {
        std::lock_guard<std::mutex> lock(m_nodesMutex);
        for (auto& n : m_nodes)
            nodes.push_back(n.get());
    }
    for (Node* n : nodes) {
        {
            std::lock_guard<std::mutex> lock(n->mutex);
            n->sensor.advance(ms);
        }
        wake(*n);
    }
}

void SimBed::unplug(int id)
{
    Node& n = node(id);
    {
        std::lock_guard<std::mutex> lock(n.mutex);
        if (n.unplugged)
            return;
        n.unplugged = true;
        n.sensor.setUnplugged(true);
        if (n.usb)
            n.usb->unplug();
    }
    if (n.serial)
        n.serial->hangUp();
    if (n.foreignMaster >= 0)
        SerialLine::retireMaster(n.foreignMaster);
    std::lock_guard<std::mutex> lock(m_nodesMutex);
    // The "remove" uevent first: udev monitors (libusb's hot-plug among them) see the device
    // go only through it.
    for (const std::string& path : n.sysPaths) {
        umockdev_testbed_uevent(m_testbed, path.c_str(), "remove");
        umockdev_testbed_remove_device(m_testbed, path.c_str());
    }
}

void SimBed::shortenNextUsbReport(int id, std::size_t bytes)
{
    Node& n = node(id);
    std::lock_guard<std::mutex> lock(n.mutex);
    if (n.usb)
        n.usb->shortenNextReport(bytes);
}

UsbState SimBed::usbState(int id)
{
    Node& n = node(id);
    std::lock_guard<std::mutex> lock(n.mutex);
    return n.usb ? n.usb->state() : UsbState{};
}

std::string SimBed::devNode(int id)
{
    return node(id).devNode;
}

std::string SimBed::ttyName(int id)
{
    return node(id).tty;
}

void SimBed::runClock(bool on)
{
    std::lock_guard<std::mutex> control(m_clockControl);
    if (on) {
        if (m_clock.joinable())
            return;
        m_clockStop = false;
        m_clock = std::thread([this] {
            using namespace std::chrono;
            auto last = steady_clock::now();
            std::unique_lock<std::mutex> lock(m_clockMutex);
            while (!m_clockStop) {
                m_clockCv.wait_for(lock, milliseconds(50));
                if (m_clockStop)
                    break;
                const auto elapsed = duration_cast<milliseconds>(steady_clock::now() - last);
                last += elapsed; // keep the remainder for the next step
                lock.unlock();
                if (elapsed.count() > 0)
                    advance(uint32_t(elapsed.count()));
                lock.lock();
            }
        });
        return;
    }
    if (!m_clock.joinable())
        return;
    {
        std::lock_guard<std::mutex> lock(m_clockMutex);
        m_clockStop = true;
    }
    m_clockCv.notify_all();
    m_clock.join();
}

} // namespace sim
