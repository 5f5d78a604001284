#pragma once
// Collects what base/log.h writes while it lives, as
// "category|level|message" lines.
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "base/log.h"

namespace orlix::test {

class LogCapture {
public:
    LogCapture() {
        std::lock_guard lock(mutex());
        lines().clear();
        log::setSink(&record);
    }
    ~LogCapture() { log::setSink(nullptr); }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    // A copy: threads of the code under test may log meanwhile.
    std::vector<std::string> all() const {
        std::lock_guard lock(mutex());
        return lines();
    }
    // The lines of one category.
    std::vector<std::string> of(std::string_view category) const {
        std::lock_guard lock(mutex());
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
    static std::mutex& mutex() {
        static std::mutex m;
        return m;
    }
    static void record(std::string_view category, log::Level level, std::string_view message) {
        std::lock_guard lock(mutex());
        lines().push_back(std::string(category) + "|" + std::string(log::levelName(level)) + "|" +
                          std::string(message));
    }
};

}  // namespace orlix::test
