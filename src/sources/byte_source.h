#pragma once
// A source of bus reads: a serial device, a bus capture replayed on its own
// clock, or a remote site's raw topic. It is opened for reading only (the
// program never transmits) and pushes every read to its listeners
// (base/read_listener.h) in the order they were added, so one read reaches
// the receive path, a capture and a publisher without passing through
// each other.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "base/read_listener.h"

namespace orlix {

enum class OpenResult {
    Ok,
    AlreadyOpen,  // the source is open already
    Failed,       // openError() says why
};

class ByteSource {
public:
    virtual ~ByteSource() = default;

    // What the source reads (a device path, a capture file, a site's URL
    // without credentials), for messages.
    virtual std::string name() const = 0;
    // Line rate; 8 data bits, no parity, one stop bit. Only a serial device
    // has one: the others keep their own pace.
    virtual void setBaudRate(int) {}

    virtual OpenResult open() = 0;
    // False when the source could not be closed.
    virtual bool close() = 0;
    virtual bool isOpen() const = 0;
    // Why the last open failed: the cause as the system or library gives it
    // ("No such file or directory"). Empty after a successful open.
    virtual std::string openError() const = 0;
    // What the user can do about the last failed open, as a sentence or two
    // (join the device's group ...); empty when there is nothing to add.
    virtual std::string openFailureHint() const { return {}; }
    // What the last port event was, as the source knows it ("read error:
    // Input/output error", "the broker connection is down"); for the log.
    virtual std::string troubleText() const { return {}; }
    // True once the source has given everything it ever will (a replayed
    // capture at its end): its Lost is final, and opening it again is no
    // retry but starts it over.
    virtual bool atEnd() const { return false; }
    // True when the last loss will not mend by opening again: the same
    // failure follows until the user changes a setting (a refused login, a
    // certificate that fails its check, a subscription that cannot be
    // made). troubleText() says which.
    virtual bool lostForGood() const { return false; }

    // Listeners are not owned; one is removed before it goes away.
    void addListener(ReadListener* listener);
    void removeListener(ReadListener* listener);

protected:
    void deliverRead(std::span<const std::uint8_t> bytes);
    void deliverEvent(PortTrouble trouble);
    void deliverUp();

private:
    std::vector<ReadListener*> listeners_;
};

// The device path of list item "ComN" (N = 1..): COMN on Windows,
// /dev/ttyS(N-1) elsewhere.
inline std::string comPortPath(int n) {
#ifdef _WIN32
    return "COM" + std::to_string(n);
#else
    return "/dev/ttyS" + std::to_string(n - 1);
#endif
}

}  // namespace orlix
