#include "web/login_limiter.h"

#include <algorithm>

namespace orlix::web {

void LoginLimiter::expire(Failures& f, Time now) {
    while (!f.empty() && now - f.front() >= kWindow) f.pop_front();
}

std::chrono::seconds LoginLimiter::waitFor(std::map<std::string, Failures>& m, const std::string& key, int max,
                                           Time now) {
    const auto it = m.find(key);
    if (it == m.end()) return std::chrono::seconds(0);
    expire(it->second, now);
    if (static_cast<int>(it->second.size()) < max) return std::chrono::seconds(0);
    // Free again once enough of the oldest failures have aged out.
    const Time freeAt = it->second[it->second.size() - static_cast<std::size_t>(max)] + kWindow;
    return std::chrono::ceil<std::chrono::seconds>(freeAt - now);
}

bool LoginLimiter::allowed(const std::string& name, const std::string& address, Time now,
                           std::chrono::seconds* retryAfter) {
    const std::chrono::seconds wait =
        std::max(waitFor(names_, name, kMaxNameFailures, now), waitFor(addresses_, address, kMaxAddressFailures, now));
    if (retryAfter) *retryAfter = wait;
    return wait.count() <= 0;
}

void LoginLimiter::note(std::map<std::string, Failures>& m, const std::string& key, Time now) {
    if (m.size() >= kMaxTracked && !m.contains(key)) {
        for (auto it = m.begin(); it != m.end();) {
            expire(it->second, now);
            it = it->second.empty() ? m.erase(it) : std::next(it);
        }
        // Still full: the entry whose latest failure is oldest goes.
        if (m.size() >= kMaxTracked) {
            const auto oldest = std::min_element(m.begin(), m.end(), [](const auto& a, const auto& b) {
                return a.second.back() < b.second.back();
            });
            m.erase(oldest);
        }
    }
    Failures& f = m[key];
    expire(f, now);
    f.push_back(now);
    // Only the latest failures up to the larger limit matter.
    while (f.size() > static_cast<std::size_t>(kMaxAddressFailures)) f.pop_front();
}

void LoginLimiter::failed(const std::string& name, const std::string& address, Time now) {
    note(names_, name, now);
    note(addresses_, address, now);
}

void LoginLimiter::succeeded(const std::string& name) { names_.erase(name); }

}  // namespace orlix::web
