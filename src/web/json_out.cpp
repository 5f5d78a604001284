#include "web/json_out.h"

#include <charconv>
#include <cmath>

#include "base/json.h"

namespace orlix::web {

void JsonOut::comma() {
    if (afterKey_) {
        afterKey_ = false;
        return;
    }
    if (!first_.empty()) {
        if (!first_.back()) out_ += ',';
        first_.back() = false;
    }
}

JsonOut& JsonOut::open(char c) {
    comma();
    out_ += c;
    first_.push_back(true);
    return *this;
}

JsonOut& JsonOut::close(char c) {
    out_ += c;
    if (!first_.empty()) first_.pop_back();
    return *this;
}

JsonOut& JsonOut::key(std::string_view name) {
    comma();
    appendJsonString(out_, name);
    out_ += ':';
    afterKey_ = true;
    return *this;
}

JsonOut& JsonOut::str(std::string_view text) {
    comma();
    appendJsonString(out_, text);
    return *this;
}

JsonOut& JsonOut::num(double v) {
    if (!std::isfinite(v)) return null();
    comma();
    char buf[32];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
    out_.append(buf, ec == std::errc() ? end : buf);
    return *this;
}

JsonOut& JsonOut::integer(std::int64_t v) {
    comma();
    char buf[24];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
    out_.append(buf, ec == std::errc() ? end : buf);
    return *this;
}

JsonOut& JsonOut::boolean(bool v) {
    comma();
    out_ += v ? "true" : "false";
    return *this;
}

JsonOut& JsonOut::null() {
    comma();
    out_ += "null";
    return *this;
}

}  // namespace orlix::web
