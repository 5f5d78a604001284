#pragma once
// Receives the error-memory entries of the master's fault texts. The analyzer
// shows them in its three lists (0: Error, 1: Com Error, 2: ProtectErr).
#include <string>

namespace orlix {

class ErrorMemorySink {
public:
    virtual ~ErrorMemorySink() = default;
    // entry = time-of-day text immediately followed by the status text,
    // e.g. "10:23:45EEPROM"; to be inserted at the top of list `list`.
    virtual void addErrorEntry(int list, const std::string& entry) = 0;
};

}  // namespace orlix
