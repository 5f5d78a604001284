#pragma once
// Splitting CSV text in tests: lines, and the fields of a line without
// quoted fields.
#include <sstream>
#include <string>
#include <vector>

namespace orlix::test {

inline std::vector<std::string> csvLines(const std::string& s) {
    std::vector<std::string> out;
    std::istringstream in(s);
    for (std::string l; std::getline(in, l);) out.push_back(l);
    return out;
}

inline std::vector<std::string> csvFields(const std::string& line) {
    std::vector<std::string> out(1);
    for (const char c : line) {
        if (c == ',') out.emplace_back();
        else out.back().push_back(c);
    }
    return out;
}

}  // namespace orlix::test
