#pragma once
// Which source a port path names, and the one place where sources are made:
// a path is a serial device, a bus capture or a remote site, told apart by
// sourceKindOf(); the registry holds a maker for each kind. The programs
// take standardSources(); tests put in makers of their own.
#include <functional>
#include <memory>
#include <string>

#include "mqtt/broker_settings.h"
#include "sources/byte_source.h"

namespace orlix {

class ReplayClock;

enum class SourceKind {
    Serial,      // a device path: /dev/ttyUSB0, a pseudo-terminal ...
    Capture,     // a bus capture file (.pcap)
    RemoteSite,  // mqtt://host[:port]/PREFIX/SITE or mqtts://...
};

// An mqtt:// or mqtts:// URL is a remote site; a path ending in ".pcap"
// (any case) or a regular file that starts like a capture is a capture
// (device nodes are never read: that would take bytes off the line);
// anything else is a serial device.
SourceKind sourceKindOf(const std::string& path);

// Why `path` can never be opened, or "" when it may be (now or later): a
// remote-site URL that is not sound or names no site (a wildcard, an empty
// level), a file that is a capture of another link type or cut inside its
// header. A missing device or capture file is "": it may yet appear. The
// reason never holds the URL's credentials.
std::string unusablePort(const std::string& path);

// The port as the user gave it, without a remote site's user and password:
// for start lines and messages.
std::string portAsGiven(const std::string& path);

// The log category of a kind's messages: orlix.serial, orlix.capture,
// orlix.mqtt.
const char* logCategoryOf(SourceKind kind);

class SourceRegistry {
public:
    using Maker = std::function<std::unique_ptr<ByteSource>(const std::string& path)>;

    void set(SourceKind kind, Maker maker);
    // A new source for `path`; null with `error` when this program has no
    // maker for its kind.
    std::unique_ptr<ByteSource> make(const std::string& path, std::string& error) const;

private:
    Maker makers_[3];
};

// What the standard sources need besides their path.
struct SourceSettings {
    ReplayClock* clock = nullptr;  // moved by a replayed capture (may be null)
    double timeScale = 1.0;        // program seconds per real second
    BrokerOptions siteBroker;      // password and TLS files for remote sites (its url is unused)
};

// Serial devices, capture replays and remote sites.
SourceRegistry standardSources(const SourceSettings& settings);

}  // namespace orlix
