#pragma once
// Sensors coming and going on a device link: what every tick looks at before it reads a
// reply. Shared by the window (one sensor on either link) and the recorder (one watch per
// link); the caller reacts to what it reports.
#include "scodeusb.h"

class SensorWatch
{
public:
    static constexpr int SERIAL_WATCH_TICKS = 5; // while no sensor is open: a look once a second
    static constexpr int USB_LOOKS = 10;         // looks for an announced USB sensor

    enum class Links { Usb = 1, Serial = 2, Both = 3 };
    enum class Event { None, Gone, PluggedUsb, PluggedSerial };

    explicit SensorWatch(SCodeUsb &link, Links links = Links::Both) : m_Link(link), m_Links(links)
    {
    }

    // Opens what is attached at start: the USB sensors, else (or on a serial-only link) the
    // serial bridge, and asks the sensor who it is. The USB count (as LibUsbIO::HasDevice), or
    // 1 for the bridge; 0 when nothing could be opened.
    int OpenAtStart();
    // One tick's look. `open`: a sensor is open now. Gone: the open sensor went away (the
    // link has forgotten it); Plugged*: a sensor was opened on that link.
    Event Step(bool open);

private:
    bool Watches(Links l) const { return (int(m_Links) & int(l)) != 0; }
    void Forget();
    Event LookForArrival();

    SCodeUsb &m_Link;
    Links m_Links;
    int m_WatchTicks = 0;
    int m_UsbLooks = 0; // looks for the announced USB sensor so far
};
