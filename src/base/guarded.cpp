#include "base/guarded.h"

#include <cstdio>
#include <exception>

#include "base/log.h"

namespace orlix {

std::string handlerContext(std::string_view file, int line, std::string_view function) {
    const auto slash = file.find_last_of("/\\");
    if (slash != std::string_view::npos) file.remove_prefix(slash + 1);
    std::string s = "event handler ";
    const bool named = !function.empty() && function != "operator()" && function.front() != '<';
    if (named) {
        s.append(function).append(" (");
    } else {
        s.append("at ");
    }
    s.append(file).push_back(':');
    s.append(std::to_string(line));
    if (named) s.push_back(')');
    return s;
}

void logHandlerFailure(const char* file, int line, const char* function) noexcept {
    try {
        log::caughtException(log::kUi, handlerContext(file ? file : "", line, function ? function : ""));
    } catch (const std::exception&) {
        std::fputs("orlix.ui: warning: an event handler failed (out of memory)\n", stderr);
    }
}

}  // namespace orlix
