#pragma once
// The serial face of one simulated sensor: a thread on the pty master that feeds
// request bytes to the sensor and writes what the sensor sends.
#include "simsensor.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace sim {

class SerialLine {
public:
    SerialLine(std::mutex& mutex, SimSensor& sensor, int masterFd);
    ~SerialLine();
    SerialLine(const SerialLine&) = delete;
    SerialLine& operator=(const SerialLine&) = delete;

    // Makes a pty pass every byte unchanged and keeps it out of child processes.
    static void prepareMaster(int masterFd);
    // Closes the master, so that the port's user sees a hang-up, but keeps the pty itself:
    // umockdev aborts when a later port gets a pts number it has seen. The descriptor number
    // stays taken, since umockdev closes it once more when the bed goes.
    static void retireMaster(int masterFd);

    void wake();
    void stop();
    // Stops and closes this end of the line: the port's user sees a hang-up.
    void hangUp();
    // Bytes the sensor sent while nobody had the port open.
    unsigned droppedWhileClosed() const { return m_dropped.load(); }

private:
    void run();
    void drainWake();
    void closeWake();
    bool readRequests();
    void writePending();

    std::mutex& m_mutex;
    SimSensor& m_sensor;
    int m_master;
    std::mutex m_wakeMutex; // wake() comes from other threads while a hang-up closes m_wake
    int m_wake = -1;
    std::atomic<bool> m_stop{false};
    std::atomic<unsigned> m_dropped{0};
    std::vector<uint8_t> m_pending;
    std::thread m_thread;
};

} // namespace sim
