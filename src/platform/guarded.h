#pragma once
// Runs one event handler so that a failing step never escapes into the event
// loop: an exception ends that handler only, the program goes on.
#include <exception>
#include <utility>

namespace orlix {

template <class F>
void guarded(F&& f) noexcept {
    try {
        std::forward<F>(f)();
    } catch (const std::exception&) {
    } catch (...) {
    }
}

}  // namespace orlix
