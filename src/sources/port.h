#pragma once
// A port whose path chooses where its reads come from: a serial device, a
// bus capture replayed on the program clock, or a remote site's raw topic.
// The monitor, the analyzer and the recorder hold one PortRouter and never
// know which source they read. Each kind of source is made by a factory the
// program registers (a program without, say, a broker client registers no
// factory for it, and such a path then fails to open with a clear hint).
//
// The source is made anew at open() when the path's kind differs from the
// current source's; the path and the line rate are passed on to it.
#include <functional>
#include <memory>
#include <string>

#include "sources/byte_source.h"

namespace orlix {

enum class PortKind {
    Serial,   // a device path: /dev/ttyUSB0, a pseudo-terminal ...
    Capture,  // a bus capture file (.pcap)
    Mqtt,     // mqtt://host[:port]/PREFIX/SITE or mqtts://...
};

// The kind of source a port path names: an mqtt:// or mqtts:// URL, a path
// ending in ".pcap" (any case) or an existing file that starts with a
// capture's magic number, otherwise a serial device.
PortKind portKindOf(const std::string& path);

class PortRouter final : public SerialPort {
public:
    using Factory = std::function<std::unique_ptr<SerialPort>()>;

    PortRouter();
    ~PortRouter() override;

    // Registers the maker of sources of `kind`.
    void setFactory(PortKind kind, Factory factory);

    void setPortPath(const std::string& path) override;
    std::string portPath() const override { return path_; }
    void setBaudRate(int baud) override;
    int baudRate() const override { return baud_; }
    OpenResult open() override;
    bool close() override;
    bool isOpen() const override;
    std::string openFailureHint() const override;
    std::vector<std::uint8_t> readAll() override;
    bool atEnd() const override { return source_ && source_->atEnd(); }

    // The source in use (made at the last open), or null.
    SerialPort* source() const { return source_.get(); }
    PortKind sourceKind() const { return kind_; }

private:
    bool makeSource(PortKind kind);

    std::function<std::unique_ptr<SerialPort>()> factories_[3];
    std::unique_ptr<SerialPort> source_;
    PortKind kind_ = PortKind::Serial;
    std::string path_;
    int baud_ = 1200;
    std::string hint_;  // why the last open could not even try
};

}  // namespace orlix
