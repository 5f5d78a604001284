#pragma once
// A listener for source tests: takes every read, notes every event and each
// time the source comes up, and closes the source when it is lost, as its
// users do.
#include <cstdint>
#include <vector>

#include "sources/byte_source.h"

namespace orlix::test {

struct Taker final : ReadListener {
    explicit Taker(ByteSource& s) : source(s) { source.addListener(this); }
    ~Taker() override { source.removeListener(this); }
    void onRead(std::span<const std::uint8_t> b) override {
        ++reads;
        got.insert(got.end(), b.begin(), b.end());
    }
    void onPortEvent(PortTrouble t) override {
        troubles.push_back(t);
        if (t != PortTrouble::Lost) return;
        ++lost;
        source.close();
    }
    void onSourceUp() override { ++ups; }

    ByteSource& source;
    int reads = 0, ups = 0, lost = 0;
    std::vector<std::uint8_t> got;
    std::vector<PortTrouble> troubles;
};

}  // namespace orlix::test
