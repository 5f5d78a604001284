#pragma once
// How often a login may fail. Within any 15 minutes:
//  - one user name may fail 5 times; a 6th attempt with that name is refused
//    without looking at its password until the oldest of those failures is
//    15 minutes old;
//  - one remote address may fail 20 times, with any names, likewise.
// A successful login forgets the failures of its name (not of its address).
// Names that no user has count like any other, so the answers do not tell
// which names exist. Kept in the hub's memory (a restart forgets), bounded.
// No clock is read here: every call takes "now".
#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <string>

namespace orlix::web {

class LoginLimiter {
public:
    using Time = std::chrono::steady_clock::time_point;
    static constexpr std::chrono::minutes kWindow{15};
    static constexpr int kMaxNameFailures = 5;
    static constexpr int kMaxAddressFailures = 20;
    static constexpr std::size_t kMaxTracked = 10'000;

    // Whether a login attempt may go ahead; when not, `retryAfter` says how
    // long until it may.
    bool allowed(const std::string& name, const std::string& address, Time now,
                 std::chrono::seconds* retryAfter = nullptr);
    void failed(const std::string& name, const std::string& address, Time now);
    void succeeded(const std::string& name);

private:
    using Failures = std::deque<Time>;
    static void expire(Failures& f, Time now);
    static void note(std::map<std::string, Failures>& m, const std::string& key, Time now);
    static std::chrono::seconds waitFor(std::map<std::string, Failures>& m, const std::string& key, int max,
                                        Time now);

    std::map<std::string, Failures> names_;
    std::map<std::string, Failures> addresses_;
};

}  // namespace orlix::web
