#include "sensorwatch.h"

#include <QThread>
#include <QtDebug>

namespace {

constexpr int SERIAL_INFO_PAUSE_MS = 50; // the bridge answers before the first tick reads

} // namespace

int SensorWatch::OpenAtStart()
{
    if (Watches(Links::Usb)) {
        m_Link.OpenUsbDevice();
        m_Link.AskDeviceInfo();
        if (const int usb = m_Link.HasDevice())
            return usb;
    }
    if (!Watches(Links::Serial))
        return 0;
    GSerialPort &serial = m_Link.m_SerialPort;
    serial.m_bPortOpen = serial.OpenSerialPort();
    if (serial.m_bPortOpen != 1)
        return 0;
    m_Link.AskDeviceInfo();
    QThread::msleep(SERIAL_INFO_PAUSE_MS);
    return 1;
}

SensorWatch::Event SensorWatch::Step(bool open)
{
    m_Link.PollHotplug();
    if (open) {
        if (!m_Link.m_bUsbLeft && !m_Link.m_SerialPort.m_bPortLost)
            return Event::None;
        Forget();
        return Event::Gone;
    }
    return LookForArrival();
}

void SensorWatch::Forget()
{
    qDebug("sensor gone: waiting for it\n");
    m_Link.CloseUsbHandles();
    // Both flags go with the sensor: a stale one would close the next sensor at once.
    m_Link.m_bUsbLeft = false;
    m_Link.m_SerialPort.m_bPortLost = false;
    m_Link.m_LinkMode = 2; // the next sensor may come on either link
    m_Link.m_DevType = -1;
}

SensorWatch::Event SensorWatch::LookForArrival()
{
    // USB sensors are announced: looked for at once, and while an announced one cannot be
    // opened yet (udev may not have given access to it) once a second for a while. The serial
    // bridge is looked for once a second.
    const bool second = ++m_WatchTicks % SERIAL_WATCH_TICKS == 0;
    const bool lookSerial = second && Watches(Links::Serial);
    bool lookUsb = !m_Link.WatchHotplug();
    if (m_Link.m_bUsbArrived && (m_UsbLooks == 0 || second)) {
        lookUsb = true;
        if (++m_UsbLooks > USB_LOOKS) { // announced, but never to be opened: give up
            m_Link.m_bUsbArrived = false;
            m_UsbLooks = 0;
            lookUsb = false;
        }
    }
    Event event = Event::None;
    if (lookUsb && Watches(Links::Usb) && m_Link.RescanUsbDevices() > 0) {
        qDebug("sensor plugged in: USB\n");
        event = Event::PluggedUsb;
    } else if (lookSerial && m_Link.m_SerialPort.ReopenSerialPort() == 1) {
        qDebug("sensor plugged in: serial\n");
        event = Event::PluggedSerial;
    } else {
        return Event::None;
    }
    m_UsbLooks = 0;
    return event;
}
