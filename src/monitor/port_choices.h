#pragma once
// The monitor's port list: Com1..Com16 as the window offers them, where
// each opens its serial device unless an option maps it elsewhere, then the
// system's own ports.
#include <string>
#include <vector>

namespace orlix {

// One entry of the port list: the text shown and the device it opens.
struct PortChoice {
    std::string label;
    std::string path;
};

// "Com1".."Com16" (overridden paths where given as {"ComN", path}), then the
// system's ports whose device is not among them yet.
std::vector<PortChoice> buildPortChoices(const std::vector<PortChoice>& overrides,
                                         const std::vector<PortChoice>& systemPorts);

}  // namespace orlix
