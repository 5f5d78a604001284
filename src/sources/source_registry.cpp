#include "sources/source_registry.h"

#include <algorithm>
#include <cctype>
#include <string_view>

#include "base/log.h"
#include "capture/capture_file.h"
#include "sources/capture_replay_source.h"
#include "sources/serial_source.h"
#include "sources/site_source.h"

namespace orlix {
namespace {

bool startsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

bool endsWithPcap(const std::string& path) {
    constexpr std::string_view ext = ".pcap";
    if (path.size() < ext.size()) return false;
    return std::equal(ext.begin(), ext.end(), path.end() - static_cast<std::ptrdiff_t>(ext.size()),
                      [](char a, char b) { return a == std::tolower(static_cast<unsigned char>(b)); });
}

const char* kindName(SourceKind kind) {
    switch (kind) {
        case SourceKind::Serial: return "serial device";
        case SourceKind::Capture: return "bus capture";
        case SourceKind::RemoteSite: return "remote site";
    }
    return "source";
}

}  // namespace

SourceKind sourceKindOf(const std::string& path) {
    if (startsWith(path, "mqtt://") || startsWith(path, "mqtts://")) return SourceKind::RemoteSite;
    if (startsWith(path, "/dev/")) return SourceKind::Serial;
    if (endsWithPcap(path) || isCaptureFile(path)) return SourceKind::Capture;
    return SourceKind::Serial;
}

const char* logCategoryOf(SourceKind kind) {
    switch (kind) {
        case SourceKind::Serial: return log::kSerial;
        case SourceKind::Capture: return log::kCapture;
        case SourceKind::RemoteSite: return log::kMqtt;
    }
    return log::kSerial;
}

void SourceRegistry::set(SourceKind kind, Maker maker) { makers_[static_cast<int>(kind)] = std::move(maker); }

std::unique_ptr<ByteSource> SourceRegistry::make(const std::string& path, std::string& error) const {
    const SourceKind kind = sourceKindOf(path);
    const Maker& maker = makers_[static_cast<int>(kind)];
    std::unique_ptr<ByteSource> made = maker ? maker(path) : nullptr;
    if (!made) error = std::string("this program cannot open a ") + kindName(kind);
    return made;
}

SourceRegistry standardSources(const SourceSettings& settings) {
    SourceRegistry r;
    r.set(SourceKind::Serial, [](const std::string& path) { return std::make_unique<SerialSource>(path); });
    r.set(SourceKind::Capture, [clock = settings.clock, scale = settings.timeScale](const std::string& path) {
        return std::make_unique<CaptureReplaySource>(path, clock, scale);
    });
    r.set(SourceKind::RemoteSite, [broker = settings.siteBroker](const std::string& path) {
        BrokerOptions site = broker;
        site.url = path;
        return std::make_unique<SiteSource>(std::move(site));
    });
    return r;
}

}  // namespace orlix
