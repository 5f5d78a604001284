#include "database/stderr_capture.h"

#include <unistd.h>

namespace orlix {

StderrCapture::StderrCapture() {
    std::fflush(stderr);
    file_ = std::tmpfile();
    if (file_ == nullptr) return;
    saved_ = ::dup(STDERR_FILENO);
    if (saved_ < 0 || ::dup2(::fileno(file_), STDERR_FILENO) < 0) {
        if (saved_ >= 0) ::close(saved_);
        saved_ = -1;
        std::fclose(file_);
        file_ = nullptr;
        return;
    }
    const int copy = ::dup(saved_);
    original_ = copy < 0 ? nullptr : ::fdopen(copy, "w");
    if (original_ == nullptr && copy >= 0) ::close(copy);
}

StderrCapture::~StderrCapture() { finish(); }

std::vector<std::string> StderrCapture::finish() {
    std::vector<std::string> lines;
    if (saved_ < 0) return lines;
    std::fflush(stderr);
    if (original_ != nullptr) std::fclose(original_);
    original_ = nullptr;
    ::dup2(saved_, STDERR_FILENO);
    ::close(saved_);
    saved_ = -1;
    std::rewind(file_);
    std::string line;
    for (int c = std::fgetc(file_);; c = std::fgetc(file_)) {
        if (c == EOF || c == '\n') {
            while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
            if (!line.empty()) lines.push_back(line);
            line.clear();
            if (c == EOF) break;
        } else {
            line.push_back(static_cast<char>(c));
        }
    }
    std::fclose(file_);
    file_ = nullptr;
    return lines;
}

std::string diagnosticsLine(const std::string& library, const std::string& file,
                            const std::vector<std::string>& lines) {
    if (lines.empty()) return {};
    std::string first = lines.front();
    if (first.size() > 200) first = first.substr(0, 200) + "...";
    const std::string count = lines.size() == 1 ? "1 warning" : std::to_string(lines.size()) + " warnings";
    return library + " wrote " + count + " while reading " + file + "; the first: " + first;
}

}  // namespace orlix
