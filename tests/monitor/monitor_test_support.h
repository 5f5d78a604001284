#pragma once
// Shared pieces of the monitor window tests: the application object, a fake
// line of sources, a fake analyzer and bus frames.
#include <QApplication>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "monitor/analyzer_link.h"
#include "monitor/frm_main.h"
#include "base/clock.h"
#include "scripted_dialog_host.h"
#include "recorder/pipeline.h"
#include "sources/byte_source.h"
#include "sources/source_registry.h"

namespace orlix::test {

inline QApplication& app() {
    static int argc = 1;
    static char name[] = "monitor_tests";
    static char* argv[] = {name, nullptr};
    // Never destroyed: Qt's own globals may be gone by the time static
    // objects are torn down at exit.
    static QApplication* a = new QApplication(argc, argv);
    return *a;
}

class FakeLine;

// A source made by the port for one path; what it is told and what it
// answers is the line's.
class FakeSource final : public ByteSource {
public:
    FakeSource(FakeLine& line, std::string path) : line_(line), path_(std::move(path)) {}
    ~FakeSource() override;
    std::string name() const override { return path_; }
    void setBaudRate(int baud) override;
    OpenResult open() override;
    bool close() override;
    bool isOpen() const override;
    std::string openError() const override { return "refused by the test"; }
    std::string openFailureHint() const override;
    bool atEnd() const override;
    bool lostForGood() const override;
    std::string troubleText() const override;
    void push(std::span<const std::uint8_t> bytes) { deliverRead(bytes); }
    void event(PortTrouble t) { deliverEvent(t); }

private:
    FakeLine& line_;
    std::string path_;
};

// Stands in for the port's sources: whichever path is opened, the test
// sees one line and drives it.
class FakeLine {
public:
    SourceRegistry registry() {
        SourceRegistry r;
        for (SourceKind k : {SourceKind::Serial, SourceKind::Capture, SourceKind::RemoteSite})
            r.set(k, [this](const std::string& path) { return std::make_unique<FakeSource>(*this, path); });
        return r;
    }
    // Bytes arrive: one read.
    void deliver(const std::vector<std::uint8_t>& bytes) {
        if (current) current->push(bytes);
    }
    // Delivers in reads of `chunk` bytes.
    void deliverInChunks(const std::vector<std::uint8_t>& bytes, std::size_t chunk) {
        for (std::size_t i = 0; i < bytes.size(); i += chunk)
            deliver({bytes.begin() + static_cast<std::ptrdiff_t>(i),
                     bytes.begin() + static_cast<std::ptrdiff_t>(std::min(bytes.size(), i + chunk))});
    }
    void trouble(PortTrouble t) {
        if (current) current->event(t);
    }
    bool isOpen() const { return open_; }

    bool open_ = false;
    bool failClose = false;
    bool ended = false;  // a source with nothing more to give
    bool lasting = false;  // its loss will not mend by retrying
    std::string troubleWhy;  // what the loss was
    int baud = 0;
    int openCalls = 0, closeCalls = 0;
    std::vector<std::string> openedPaths;
    std::deque<OpenResult> openResults;
    std::string hint;  // what a failed open has to add
    FakeSource* current = nullptr;  // the source opened last
};

inline FakeSource::~FakeSource() {
    if (line_.current == this) {
        line_.current = nullptr;
        line_.open_ = false;
    }
}
inline void FakeSource::setBaudRate(int baud) { line_.baud = baud; }
inline OpenResult FakeSource::open() {
    ++line_.openCalls;
    line_.openedPaths.push_back(path_);
    if (line_.open_ && line_.current == this) return OpenResult::AlreadyOpen;
    OpenResult r = OpenResult::Ok;
    if (!line_.openResults.empty()) {
        r = line_.openResults.front();
        line_.openResults.pop_front();
    }
    if (r == OpenResult::Ok) {
        line_.open_ = true;
        line_.current = this;
    }
    return r;
}
inline bool FakeSource::close() {
    ++line_.closeCalls;
    if (line_.failClose) return false;
    if (line_.current == this) line_.open_ = false;
    return true;
}
inline bool FakeSource::isOpen() const { return line_.open_ && line_.current == this; }
inline std::string FakeSource::openFailureHint() const { return line_.hint; }
inline bool FakeSource::atEnd() const { return line_.ended; }
inline bool FakeSource::lostForGood() const { return line_.lasting; }
inline std::string FakeSource::troubleText() const { return line_.troubleWhy; }

class FakeAnalyzer final : public AnalyzerLink {
public:
    void hideAnalyzer() override { ++hides; }
    void showAnalyzer() override { ++shows; }
    bool alwaysOnTopChecked() override {
        ++onTopQueries;
        return onTop;
    }
    void unloadAnalyzer() override { ++unloads; }
    bool onTop = false;
    int hides = 0, shows = 0, onTopQueries = 0, unloads = 0;
};

// A bus frame: 0x55, kind byte, 60 data bytes, checksum over kind and data.
inline std::vector<std::uint8_t> busFrame(std::uint8_t kind, const std::vector<std::uint8_t>& data) {
    std::vector<std::uint8_t> f{0x55, kind};
    unsigned sum = kind;
    for (int i = 0; i < 60; ++i) {
        const std::uint8_t b = i < static_cast<int>(data.size()) ? data[static_cast<std::size_t>(i)] : 0;
        f.push_back(b);
        sum += b;
    }
    f.push_back(static_cast<std::uint8_t>(sum & 0xFF));
    return f;
}

// Deterministic, varied data bytes.
inline std::vector<std::uint8_t> sampleData(unsigned seed) {
    std::vector<std::uint8_t> d(60);
    unsigned x = seed * 2654435761u + 12345u;
    for (auto& b : d) {
        x = x * 1103515245u + 12345u;
        b = static_cast<std::uint8_t>(x >> 16);
    }
    return d;
}

// A window with fakes around it.
struct AppFirst {
    AppFirst() { app(); }
};

struct Rig : AppFirst {
    ManualClock clock{45000.5};  // 2023-03-14 12:00:00
    FakeLine port;
    std::unique_ptr<Pipeline> pipeline = std::make_unique<Pipeline>(clock, port.registry());
    LiveStore& store = pipeline->receive().store();
    ScriptedDialogHost dialogs;
    FakeAnalyzer analyzer;
    std::vector<PortChoice> systemPorts{{"ttyUSB0", "/dev/ttyUSB0"}, {"ttyS0", "/dev/ttyS0"}};
    FrmMain window{*pipeline, dialogs, analyzer, buildPortChoices({}, systemPorts)};

    // The path the port opens next.
    const std::string& path() const { return pipeline->port().path(); }
};

}  // namespace orlix::test
