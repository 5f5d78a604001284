#pragma once
// Options of the monitor program. Without options the program behaves as
// designed: Com1..Com16 open the machine's serial ports, time runs at the
// real rate and no simulated plant runs.
#include <optional>
#include <string>
#include <vector>

#include "monitor/frm_main.h"

namespace orlix {

struct MonitorOptions {
    // --port ComN=PATH: list item ComN opens PATH (repeatable).
    std::vector<PortChoice> portOverrides;
    // --demo: start the simulated plant and map Com1 to it.
    bool demo = false;
    // --time-scale K: every timer and the clock run K times faster.
    double timeScale = 1.0;
};

struct ParseResult {
    std::optional<MonitorOptions> options;
    std::string error;  // set when options is empty
};

ParseResult parseMonitorOptions(const std::vector<std::string>& args);

inline constexpr const char* kMonitorUsage =
    "usage: orlix-monitor [--port ComN=PATH]... [--demo] [--time-scale K]";

}  // namespace orlix
