#include "capture/capture_file.h"

#include <array>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace orlix {

bool isCaptureFile(const std::string& path) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return false;
    std::ifstream in(path, std::ios::binary);
    std::array<std::uint8_t, 4> head{};
    if (!in.read(reinterpret_cast<char*>(head.data()), head.size())) return false;
    return looksLikeCapture(head);
}

}  // namespace orlix
