#pragma once
// Runs one event handler so that a failing step never escapes into the event
// loop: an exception ends that handler only, the program goes on, and the
// failure is logged (orlix.ui) with the handler's place in the code. A
// handler that fails the same way on every tick or frame is logged once,
// then counted (platform/log.h, failure()).
#include <string>
#include <string_view>
#include <utility>

namespace orlix {

// "event handler onTick (frm_chart.cpp:543)"; a lambda's call operator
// gives no name, so then only the place: "event handler at frm_main.cpp:262".
std::string handlerContext(std::string_view file, int line, std::string_view function);

// Logs the exception being handled as the failure of the handler at that
// place. Never throws.
void logHandlerFailure(const char* file, int line, const char* function) noexcept;

// The place of the call is taken from the caller; pass nothing for it.
template <class F>
void guarded(F&& f, const char* file = __builtin_FILE(), int line = __builtin_LINE(),
             const char* function = __builtin_FUNCTION()) noexcept {
    try {
        std::forward<F>(f)();
    } catch (...) {
        logHandlerFailure(file, line, function);
    }
}

}  // namespace orlix
