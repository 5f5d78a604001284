#pragma once
// Options of the monitor program. Without options the program behaves as
// designed: Com1..Com16 open the machine's serial ports, time runs at the
// real rate and no simulated plant runs.
//
// Parsing needs no window and no application object, so --help and
// --version work without a display. Both "--opt value" and "--opt=value"
// are accepted. Adding an option: a field here and a row in the option
// table of command_line.cpp.
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
    // --capture PATH: while the port is open, every read also goes to the
    // bus capture PATH (a file, or a folder of day files); "" for none.
    std::string capturePath;
    // For remote sites (--port ComN=mqtt://...): --tls-ca, --tls-cert and
    // --tls-key for mqtts://, --mqtt-password-file for a password kept out
    // of the command line; "" for none.
    std::string tlsCaFile, tlsCertFile, tlsKeyFile, mqttPasswordFile;
};

struct ParseResult {
    enum class Action {
        Run,          // start the program with `options`
        ShowHelp,     // write `text` (the help) to stdout, exit 0
        ShowVersion,  // write `text` (the version line) to stdout, exit 0
        Fail,         // write `text` (what is wrong) to stderr, exit 2
    };
    Action action = Action::Fail;
    MonitorOptions options;
    std::string text;
};

// `args` are the program's arguments after its name.
ParseResult parseMonitorOptions(const std::vector<std::string>& args);

// "orlix-monitor 4.0 (git 1a2b3c4)\n"
std::string monitorVersionLine();

}  // namespace orlix
