#pragma once
// What a byte source hands to whoever listens to it: every read of the bus,
// in order, and every other port event. The receive path, a bus capture, a
// remote-site publisher and a window all listen to the same source; each
// gets every read, in the order they were added.
#include <cstdint>
#include <span>

namespace orlix {

enum class PortTrouble {
    Lost,   // the source went away (adapter unplugged, pseudo-terminal closed, site offline, end of a replay)
    Other,  // any other port event (framing, parity, overrun, break, a replayed port event)
};

class ReadListener {
public:
    virtual ~ReadListener() = default;
    // One read: the bytes as the source got them.
    virtual void onRead(std::span<const std::uint8_t> bytes) = 0;
    // A port event other than a read; the source may be unusable after Lost.
    virtual void onPortEvent(PortTrouble trouble) = 0;
    // The source delivers (again): a device was opened, a remote site's
    // subscription stands. Not raised for a failed open.
    virtual void onSourceUp() {}
    // The program closed the port (Stop, a loss being handled, the end).
    virtual void onPortClosed() {}
};

}  // namespace orlix
