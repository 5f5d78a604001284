#include "monitor/port_choices.h"

#include <algorithm>

#include "sources/byte_source.h"

namespace orlix {

namespace {
constexpr int kComPortCount = 16;
}  // namespace

std::vector<PortChoice> buildPortChoices(const std::vector<PortChoice>& overrides,
                                         const std::vector<PortChoice>& systemPorts) {
    std::vector<PortChoice> out;
    for (int n = 1; n <= kComPortCount; ++n) {
        PortChoice c{"Com" + std::to_string(n), comPortPath(n)};
        for (const PortChoice& o : overrides)
            if (o.label == c.label) c.path = o.path;
        out.push_back(c);
    }
    for (const PortChoice& s : systemPorts) {
        const bool known = std::any_of(out.begin(), out.end(),
                                       [&](const PortChoice& c) { return c.path == s.path; });
        if (!known) out.push_back(s);
    }
    return out;
}

}  // namespace orlix
