#pragma once
// What the analyzer's "&Tools" menu does outside its window: bus capturing
// lives with the port, a replay is picked in the monitor's port list. The
// program supplies it; without it the menu's items are disabled.
#include <string>

namespace orlix {

class BusTools {
public:
    virtual ~BusTools() = default;
    virtual bool capturing() const = 0;
    // The file being written (or the folder given), "" while not capturing.
    virtual std::string captureName() const = 0;
    // "" while every record read has reached the file; otherwise what is
    // missing and why ("incomplete: 12 records lost (No space left on
    // device)").
    virtual std::string captureProblem() const = 0;
    // Starts capturing to `path`; false with the reason in `error` (nothing
    // is captured then).
    virtual bool startCapture(const std::string& path, std::string& error) = 0;
    virtual void stopCapture() = 0;
    // Maps the capture file to the monitor's port list and selects it.
    virtual void replayCapture(const std::string& path) = 0;
};

}  // namespace orlix
