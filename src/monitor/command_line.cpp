#include "monitor/command_line.h"

#include <charconv>
#include <cmath>

namespace orlix {
namespace {

// "ComN" with N in 1..16.
bool isComName(const std::string& s) {
    if (s.size() < 4 || s.size() > 5 || s.compare(0, 3, "Com") != 0) return false;
    int n = 0;
    const char* first = s.data() + 3;
    const char* last = s.data() + s.size();
    const auto [ptr, ec] = std::from_chars(first, last, n);
    return ec == std::errc() && ptr == last && n >= 1 && n <= 16 && *first != '0';
}

}  // namespace

ParseResult parseMonitorOptions(const std::vector<std::string>& args) {
    MonitorOptions o;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= args.size()) return false;
            out = args[++i];
            return true;
        };
        std::string v;
        if (a == "--demo") {
            o.demo = true;
        } else if (a == "--port") {
            if (!value(v)) return {std::nullopt, "--port needs ComN=PATH"};
            const auto eq = v.find('=');
            if (eq == std::string::npos || eq + 1 == v.size() || !isComName(v.substr(0, eq)))
                return {std::nullopt, "--port needs ComN=PATH with N from 1 to 16, got \"" + v + "\""};
            o.portOverrides.push_back({v.substr(0, eq), v.substr(eq + 1)});
        } else if (a == "--time-scale") {
            if (!value(v)) return {std::nullopt, "--time-scale needs a number"};
            double k = 0;
            const auto [ptr, ec] = std::from_chars(v.data(), v.data() + v.size(), k);
            if (ec != std::errc() || ptr != v.data() + v.size() || !std::isfinite(k) || k <= 0 ||
                k > 10000)
                return {std::nullopt, "--time-scale needs a number above 0 and up to 10000, got \"" + v + "\""};
            o.timeScale = k;
        } else {
            return {std::nullopt, "unknown option \"" + a + "\""};
        }
    }
    return {o, {}};
}

}  // namespace orlix
