#include "serialline.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace sim {

namespace {
constexpr std::size_t kMaxPending = 64 * 1024; // more than a pty holds; beyond it, drop the oldest
constexpr int kIdleMs = 200;
constexpr int kClosedPollMs = 10;
} // namespace

void SerialLine::prepareMaster(int masterFd)
{
    // The pty starts with a cooked line discipline: XON/XOFF, signal characters
    // and line editing would eat or change bytes of binary frames.
    termios t{};
    if (tcgetattr(masterFd, &t) == 0) {
        cfmakeraw(&t);
        t.c_cflag |= CLOCAL | CREAD;
        tcsetattr(masterFd, TCSANOW, &t);
    }
    // A child holding the master would keep the line up after an unplug.
    fcntl(masterFd, F_SETFD, FD_CLOEXEC);
}

SerialLine::SerialLine(std::mutex& mutex, SimSensor& sensor, int masterFd)
    : m_mutex(mutex), m_sensor(sensor), m_master(masterFd)
{
    prepareMaster(m_master);
    const int flags = fcntl(m_master, F_GETFL);
    fcntl(m_master, F_SETFL, flags | O_NONBLOCK);
    m_wake = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (m_wake < 0) {
        std::perror("SimBed: eventfd");
        std::abort();
    }
    m_thread = std::thread([this] { run(); });
}

SerialLine::~SerialLine()
{
    stop();
    closeWake();
}

void SerialLine::wake()
{
    const uint64_t one = 1;
    std::lock_guard<std::mutex> lock(m_wakeMutex);
    if (m_wake >= 0)
        (void)!write(m_wake, &one, sizeof one);
}

// A line that was hung up takes no descriptor but its retired pty: a long run replugs often.
void SerialLine::closeWake()
{
    std::lock_guard<std::mutex> lock(m_wakeMutex);
    if (m_wake >= 0)
        close(m_wake);
    m_wake = -1;
}

void SerialLine::drainWake()
{
    uint64_t count = 0;
    (void)!read(m_wake, &count, sizeof count);
}

void SerialLine::stop()
{
    if (!m_thread.joinable())
        return;
    m_stop = true;
    wake();
    m_thread.join();
}

void SerialLine::retireMaster(int masterFd)
{
    // A slave end opened through the master holds the pts number until the bed goes.
    int keep = ioctl(masterFd, TIOCGPTPEER, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (keep < 0)
        keep = open("/dev/null", O_RDWR | O_CLOEXEC);
    if (keep < 0) {
        std::perror("SimBed: retiring a pty");
        std::abort();
    }
    dup3(keep, masterFd, O_CLOEXEC);
    close(keep);
}

void SerialLine::hangUp()
{
    stop();
    closeWake();
    retireMaster(m_master);
}

bool SerialLine::readRequests()
{
    uint8_t buf[256];
    for (;;) {
        const ssize_t n = read(m_master, buf, sizeof buf);
        if (n > 0) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_sensor.feedSerialBytes(buf, std::size_t(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        // EAGAIN: all read. EIO: the port was closed.
        return n < 0 && errno == EAGAIN;
    }
}

void SerialLine::writePending()
{
    while (!m_pending.empty()) {
        const ssize_t n = write(m_master, m_pending.data(), m_pending.size());
        if (n > 0) {
            m_pending.erase(m_pending.begin(), m_pending.begin() + n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        return; // full: poll for POLLOUT
    }
}

void SerialLine::run()
{
    bool portOpen = false;
    while (!m_stop.load()) {
        if (!portOpen) {
            // A master whose port nobody has open reports POLLHUP at once, so
            // sleep on the wake-up instead of spinning.
            pollfd w{m_wake, POLLIN, 0};
            poll(&w, 1, kClosedPollMs);
            drainWake();
            if (m_stop.load())
                break;
        }
        pollfd fds[2] = {{m_master, short(POLLIN | (m_pending.empty() ? 0 : POLLOUT)), 0},
                         {m_wake, POLLIN, 0}};
        if (poll(fds, 2, portOpen ? kIdleMs : 0) < 0) {
            if (errno == EINTR)
                continue;
            std::perror("SimBed: serial line poll");
            return;
        }
        if (fds[1].revents & POLLIN)
            drainWake();
        portOpen = !(fds[0].revents & (POLLHUP | POLLERR | POLLNVAL));
        if ((fds[0].revents & POLLIN) && !readRequests())
            portOpen = false;

        std::vector<uint8_t> out;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            out = m_sensor.takeSerialBytes();
        }
        if (!portOpen) {
            // Like a real line: what is sent while the port is closed is lost.
            m_dropped += unsigned(out.size() + m_pending.size());
            m_pending.clear();
            continue;
        }
        m_pending.insert(m_pending.end(), out.begin(), out.end());
        if (m_pending.size() > kMaxPending) {
            const std::size_t excess = m_pending.size() - kMaxPending;
            m_dropped += unsigned(excess);
            m_pending.erase(m_pending.begin(), m_pending.begin() + std::ptrdiff_t(excess));
        }
        writePending();
    }
}

} // namespace sim
