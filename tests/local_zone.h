#pragma once
// The process's local time zone set for a test (TZ and tzset()), and the
// one before it restored at the end of the scope.
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

namespace orlix::test {

class LocalZone {
public:
    explicit LocalZone(const char* tz) {
        if (const char* old = std::getenv("TZ")) old_ = old;
        ::setenv("TZ", tz, 1);
        ::tzset();
    }
    ~LocalZone() {
        if (old_) ::setenv("TZ", old_->c_str(), 1);
        else ::unsetenv("TZ");
        ::tzset();
    }
    LocalZone(const LocalZone&) = delete;
    LocalZone& operator=(const LocalZone&) = delete;

private:
    std::optional<std::string> old_;
};

}  // namespace orlix::test
