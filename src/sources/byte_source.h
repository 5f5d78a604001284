#pragma once
// The serial port as the monitor sees it: a port that is opened for reading
// only, delivers whatever bytes are waiting and reports trouble. The real
// port lives in qt_serial_link.h; tests use a fake.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace orlix {

enum class OpenResult {
    Ok,
    AlreadyOpen,  // the port object is open already
    Failed,       // missing device, not a tty, in use elsewhere, no permission
};

enum class PortTrouble {
    Lost,   // the device went away (adapter unplugged, pseudo-terminal closed)
    Other,  // any other error the port reports (framing, parity, overrun ...)
};

class SerialPort {
public:
    virtual ~SerialPort() = default;

    // Device path (/dev/ttyS0, COM1, a pseudo-terminal ...). Takes effect at
    // the next open.
    virtual void setPortPath(const std::string& path) = 0;
    virtual std::string portPath() const = 0;
    // Line rate; 8 data bits, no parity, one stop bit. Applies at once when
    // the port is open.
    virtual void setBaudRate(int baud) = 0;
    virtual int baudRate() const = 0;

    // Opens for reading only: nothing is ever transmitted.
    virtual OpenResult open() = 0;
    // False when the port could not be closed.
    virtual bool close() = 0;
    virtual bool isOpen() const = 0;
    // Why the last open failed and what the user can do about it, as a
    // sentence or two for the user, when the port knows more than that it
    // failed (no permission to read the device); empty otherwise.
    virtual std::string openFailureHint() const { return {}; }
    // Every byte waiting right now (possibly none).
    virtual std::vector<std::uint8_t> readAll() = 0;
    // True once the source has given everything it ever will (a replayed
    // capture at its end): its Lost is final, and opening it again is no
    // retry but starts it over.
    virtual bool atEnd() const { return false; }

    // Raised when bytes are waiting.
    std::function<void()> onReadyRead;
    // Raised on a port error; the port may already be unusable.
    std::function<void(PortTrouble)> onTrouble;
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
