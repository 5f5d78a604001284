#pragma once
// Writes the pages' JSON into one string, strings through the project's
// one JSON string writer (base/json.h). Commas are placed by the writer;
// the caller only opens, names and closes.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace orlix::web {

class JsonOut {
public:
    JsonOut& beginObject() { return open('{'); }
    JsonOut& endObject() { return close('}'); }
    JsonOut& beginArray() { return open('['); }
    JsonOut& endArray() { return close(']'); }
    JsonOut& key(std::string_view name);
    JsonOut& str(std::string_view text);
    // Integers exactly; other numbers in their shortest form that reads back
    // the same; NaN and infinities as null.
    JsonOut& num(double v);
    JsonOut& integer(std::int64_t v);
    JsonOut& boolean(bool v);
    JsonOut& null();
    // A member at once: key(name) then the value.
    JsonOut& field(std::string_view name, std::string_view text) { return key(name).str(text); }
    JsonOut& field(std::string_view name, const char* text) { return key(name).str(text); }
    JsonOut& field(std::string_view name, std::int64_t v) { return key(name).integer(v); }
    JsonOut& field(std::string_view name, int v) { return key(name).integer(v); }
    JsonOut& field(std::string_view name, bool v) { return key(name).boolean(v); }

    const std::string& text() const { return out_; }
    std::string take() { return std::move(out_); }

private:
    JsonOut& open(char c);
    JsonOut& close(char c);
    void comma();
    std::string out_;
    std::vector<bool> first_;  // per open container: nothing written in it yet
    bool afterKey_ = false;
};

}  // namespace orlix::web
