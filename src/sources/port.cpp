#include "sources/port.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "base/log.h"

namespace orlix {

namespace {

bool startsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

bool endsWithPcap(const std::string& path) {
    constexpr std::string_view ext = ".pcap";
    if (path.size() < ext.size()) return false;
    return std::equal(ext.begin(), ext.end(), path.end() - static_cast<std::ptrdiff_t>(ext.size()),
                      [](char a, char b) { return a == std::tolower(static_cast<unsigned char>(b)); });
}

// Classic pcap in either byte order, with micro- or nanosecond stamps.
// Only a regular file is read: a device or a link to one (a pseudo-terminal
// linked into a temporary folder) would block the read or lose the bytes.
bool hasCaptureMagic(const std::string& path) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return false;
    std::ifstream in(path, std::ios::binary);
    std::array<unsigned char, 4> m{};
    if (!in.read(reinterpret_cast<char*>(m.data()), m.size())) return false;
    constexpr std::array<std::array<unsigned char, 4>, 4> magics{{{0xd4, 0xc3, 0xb2, 0xa1},
                                                                  {0xa1, 0xb2, 0xc3, 0xd4},
                                                                  {0x4d, 0x3c, 0xb2, 0xa1},
                                                                  {0xa1, 0xb2, 0x3c, 0x4d}}};
    return std::find(magics.begin(), magics.end(), m) != magics.end();
}

const char* kindName(PortKind kind) {
    switch (kind) {
        case PortKind::Serial: return "serial device";
        case PortKind::Capture: return "bus capture";
        case PortKind::Mqtt: return "remote site";
    }
    return "port";
}

}  // namespace

PortKind portKindOf(const std::string& path) {
    if (startsWith(path, "mqtt://") || startsWith(path, "mqtts://")) return PortKind::Mqtt;
    // Device nodes are never read for a magic number: reading would take
    // bytes off the line.
    if (startsWith(path, "/dev/")) return PortKind::Serial;
    if (endsWithPcap(path) || hasCaptureMagic(path)) return PortKind::Capture;
    return PortKind::Serial;
}

PortRouter::PortRouter() = default;

PortRouter::~PortRouter() {
    if (source_) {
        source_->onReadyRead = nullptr;
        source_->onTrouble = nullptr;
    }
}

void PortRouter::setFactory(PortKind kind, Factory factory) {
    factories_[static_cast<int>(kind)] = std::move(factory);
}

void PortRouter::setPortPath(const std::string& path) {
    path_ = path;
    if (source_ && !source_->isOpen() && portKindOf(path) == kind_) source_->setPortPath(path);
}

void PortRouter::setBaudRate(int baud) {
    baud_ = baud;
    if (source_) source_->setBaudRate(baud);
}

bool PortRouter::makeSource(PortKind kind) {
    const Factory& make = factories_[static_cast<int>(kind)];
    std::unique_ptr<SerialPort> made = make ? make() : nullptr;
    if (!made) {
        hint_ = std::string("This program cannot open a ") + kindName(kind) + ": " + path_;
        log::failure(log::kSerial, "cannot open " + path_ + ": this program has no " + kindName(kind) + " support");
        return false;
    }
    if (source_) {
        source_->onReadyRead = nullptr;
        source_->onTrouble = nullptr;
    }
    source_ = std::move(made);
    kind_ = kind;
    source_->onReadyRead = [this] {
        if (onReadyRead) onReadyRead();
    };
    source_->onTrouble = [this](PortTrouble t) {
        if (onTrouble) onTrouble(t);
    };
    return true;
}

OpenResult PortRouter::open() {
    if (source_ && source_->isOpen()) return OpenResult::AlreadyOpen;
    hint_.clear();
    const PortKind kind = portKindOf(path_);
    if ((!source_ || kind != kind_) && !makeSource(kind)) return OpenResult::Failed;
    source_->setPortPath(path_);
    source_->setBaudRate(baud_);
    return source_->open();
}

bool PortRouter::close() { return source_ ? source_->close() : true; }

bool PortRouter::isOpen() const { return source_ && source_->isOpen(); }

std::string PortRouter::openFailureHint() const {
    if (!hint_.empty()) return hint_;
    return source_ ? source_->openFailureHint() : std::string();
}

std::vector<std::uint8_t> PortRouter::readAll() { return source_ ? source_->readAll() : std::vector<std::uint8_t>{}; }

}  // namespace orlix
