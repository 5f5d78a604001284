#pragma once
// Collects what platform/log.h writes while it lives, as
// "category|level|message" lines.
#include <string>
#include <string_view>
#include <vector>

#include "platform/log.h"

namespace orlix::test {

class LogCapture {
public:
    LogCapture() {
        lines().clear();
        log::setSink(&record);
    }
    ~LogCapture() { log::setSink(nullptr); }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    const std::vector<std::string>& all() const { return lines(); }
    // The lines of one category.
    std::vector<std::string> of(std::string_view category) const {
        std::vector<std::string> out;
        for (const std::string& l : lines())
            if (l.compare(0, category.size() + 1, std::string(category) + "|") == 0) out.push_back(l);
        return out;
    }

private:
    static std::vector<std::string>& lines() {
        static std::vector<std::string> v;
        return v;
    }
    static void record(std::string_view category, log::Level level, std::string_view message) {
        lines().push_back(std::string(category) + "|" + std::string(log::levelName(level)) + "|" +
                          std::string(message));
    }
};

}  // namespace orlix::test
