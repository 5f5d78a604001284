#pragma once
// Shared pieces of the monitor window tests: the application object, a fake
// serial port, a fake analyzer and bus frames.
#include <QApplication>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "monitor/analyzer_link.h"
#include "monitor/frm_main.h"
#include "base/clock.h"
#include "scripted_dialog_host.h"
#include "sources/byte_source.h"

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

class FakePort final : public SerialPort {
public:
    void setPortPath(const std::string& p) override { path = p; }
    std::string portPath() const override { return path; }
    void setBaudRate(int b) override { baud = b; }
    int baudRate() const override { return baud; }
    OpenResult open() override {
        ++openCalls;
        openedPaths.push_back(path);
        if (open_) return OpenResult::AlreadyOpen;
        OpenResult r = OpenResult::Ok;
        if (!openResults.empty()) {
            r = openResults.front();
            openResults.pop_front();
        }
        if (r == OpenResult::Ok) open_ = true;
        return r;
    }
    bool close() override {
        ++closeCalls;
        if (failClose) return false;
        open_ = false;
        return true;
    }
    bool isOpen() const override { return open_; }
    std::string openFailureHint() const override { return hint; }
    std::vector<std::uint8_t> readAll() override {
        auto out = std::move(waiting);
        waiting.clear();
        return out;
    }

    // Bytes arrive and the port raises its receive event.
    void deliver(const std::vector<std::uint8_t>& bytes) {
        waiting.insert(waiting.end(), bytes.begin(), bytes.end());
        if (onReadyRead) onReadyRead();
    }
    // Delivers in reads of `chunk` bytes.
    void deliverInChunks(const std::vector<std::uint8_t>& bytes, std::size_t chunk) {
        for (std::size_t i = 0; i < bytes.size(); i += chunk)
            deliver({bytes.begin() + static_cast<std::ptrdiff_t>(i),
                     bytes.begin() + static_cast<std::ptrdiff_t>(std::min(bytes.size(), i + chunk))});
    }
    void trouble(PortTrouble t) {
        if (onTrouble) onTrouble(t);
    }
    bool atEnd() const override { return ended; }

    std::string path;
    int baud = 0;
    bool open_ = false;
    bool failClose = false;
    bool ended = false;  // a source with nothing more to give
    int openCalls = 0, closeCalls = 0;
    std::vector<std::string> openedPaths;
    std::deque<OpenResult> openResults;
    std::string hint;  // what a failed open has to add
    std::vector<std::uint8_t> waiting;
};

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
    LiveStore store;
    ManualClock clock{45000.5};  // 2023-03-14 12:00:00
    FakePort port;
    ScriptedDialogHost dialogs;
    FakeAnalyzer analyzer;
    std::vector<PortChoice> systemPorts{{"ttyUSB0", "/dev/ttyUSB0"}, {"ttyS0", "/dev/ttyS0"}};
    FrmMain window{store, clock, port, dialogs, analyzer, buildPortChoices({}, systemPorts)};
};

}  // namespace orlix::test
