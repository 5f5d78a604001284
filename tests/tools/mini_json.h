#pragma once
// A small strict JSON reader for checking the tools' output in tests.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orlix::test {

struct Json {
    enum class Type { Null, Bool, Number, String, Array, Object } type = Type::Null;
    bool b = false;
    double num = 0;
    std::string str;
    std::vector<Json> arr;
    // Members in document order: keys[i] names values[i].
    std::vector<std::string> keys;
    std::vector<Json> values;

    const Json* get(std::string_view key) const {
        for (std::size_t i = 0; i < keys.size(); ++i)
            if (keys[i] == key) return &values[i];
        return nullptr;
    }
};

class JsonReader {
public:
    explicit JsonReader(std::string_view s) : s_(s) {}

    // The whole text must be one value; nullopt on any syntax error.
    std::optional<Json> parse() {
        Json v;
        if (!value(v)) return std::nullopt;
        ws();
        if (i_ != s_.size()) return std::nullopt;
        return v;
    }

private:
    void ws() {
        while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\t' || s_[i_] == '\n' || s_[i_] == '\r')) ++i_;
    }
    bool lit(std::string_view w) {
        if (s_.substr(i_, w.size()) != w) return false;
        i_ += w.size();
        return true;
    }
    bool value(Json& v) {
        ws();
        if (i_ >= s_.size()) return false;
        const char c = s_[i_];
        if (c == 'n') return lit("null");
        if (c == 't' || c == 'f') {
            v.type = Json::Type::Bool;
            v.b = c == 't';
            return lit(v.b ? "true" : "false");
        }
        if (c == '"') {
            v.type = Json::Type::String;
            return string(v.str);
        }
        if (c == '[') {
            v.type = Json::Type::Array;
            ++i_;
            ws();
            if (i_ < s_.size() && s_[i_] == ']') return ++i_, true;
            for (;;) {
                v.arr.emplace_back();
                if (!value(v.arr.back())) return false;
                ws();
                if (i_ < s_.size() && s_[i_] == ',') { ++i_; continue; }
                if (i_ < s_.size() && s_[i_] == ']') return ++i_, true;
                return false;
            }
        }
        if (c == '{') {
            v.type = Json::Type::Object;
            ++i_;
            ws();
            if (i_ < s_.size() && s_[i_] == '}') return ++i_, true;
            for (;;) {
                ws();
                std::string k;
                if (i_ >= s_.size() || s_[i_] != '"' || !string(k)) return false;
                ws();
                if (i_ >= s_.size() || s_[i_] != ':') return false;
                ++i_;
                v.keys.push_back(k);
                v.values.emplace_back();
                if (!value(v.values.back())) return false;
                ws();
                if (i_ < s_.size() && s_[i_] == ',') { ++i_; continue; }
                if (i_ < s_.size() && s_[i_] == '}') return ++i_, true;
                return false;
            }
        }
        // Numbers: an integer part, then an optional fraction and exponent.
        std::size_t j = i_;
        auto digitsAt = [&](std::size_t& k) {
            const std::size_t from = k;
            while (k < s_.size() && s_[k] >= '0' && s_[k] <= '9') ++k;
            return k > from;
        };
        if (j < s_.size() && s_[j] == '-') ++j;
        if (!digitsAt(j)) return false;
        if (j < s_.size() && s_[j] == '.' && !digitsAt(++j)) return false;
        if (j < s_.size() && (s_[j] == 'e' || s_[j] == 'E')) {
            ++j;
            if (j < s_.size() && (s_[j] == '+' || s_[j] == '-')) ++j;
            if (!digitsAt(j)) return false;
        }
        v.type = Json::Type::Number;
        v.num = std::stod(std::string(s_.substr(i_, j - i_)));
        i_ = j;
        return true;
    }
    bool string(std::string& out) {
        ++i_;  // opening quote
        while (i_ < s_.size()) {
            const char c = s_[i_++];
            if (c == '"') return true;
            if (static_cast<unsigned char>(c) < 0x20) return false;
            if (c != '\\') {
                out.push_back(c);
                continue;
            }
            if (i_ >= s_.size()) return false;
            const char e = s_[i_++];
            switch (e) {
                case '"': out.push_back('"'); break;
                case '\\': out.push_back('\\'); break;
                case '/': out.push_back('/'); break;
                case 'n': out.push_back('\n'); break;
                case 't': out.push_back('\t'); break;
                case 'r': out.push_back('\r'); break;
                case 'b': out.push_back('\b'); break;
                case 'f': out.push_back('\f'); break;
                case 'u': {
                    if (i_ + 4 > s_.size()) return false;
                    const unsigned v = static_cast<unsigned>(std::stoul(std::string(s_.substr(i_, 4)), nullptr, 16));
                    i_ += 4;
                    if (v >= 0x80) return false;  // the tools escape control characters only
                    out.push_back(static_cast<char>(v));
                    break;
                }
                default: return false;
            }
        }
        return false;
    }

    std::string_view s_;
    std::size_t i_ = 0;
};

}  // namespace orlix::test
