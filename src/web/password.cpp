#include "web/password.h"

#include <argon2.h>

#include <QRandomGenerator>
#include <array>
#include <vector>

namespace orlix::web {
namespace {

constexpr std::uint32_t kTimeCost = 2;
constexpr std::uint32_t kMemoryKiB = 19 * 1024;
constexpr std::uint32_t kLanes = 1;
constexpr std::size_t kSaltBytes = 16;
constexpr std::size_t kHashBytes = 32;

}  // namespace

std::string passwordRuleError(std::string_view password) {
    if (password.size() < kMinPasswordBytes)
        return "a password needs at least " + std::to_string(kMinPasswordBytes) + " characters";
    if (password.size() > kMaxPasswordBytes)
        return "a password may have at most " + std::to_string(kMaxPasswordBytes) + " bytes";
    return {};
}

std::optional<std::string> hashPassword(std::string_view password) {
    std::array<std::uint32_t, kSaltBytes / 4> salt{};
    QRandomGenerator::system()->generate(salt.begin(), salt.end());
    const std::size_t length =
        argon2_encodedlen(kTimeCost, kMemoryKiB, kLanes, kSaltBytes, kHashBytes, Argon2_id);
    std::vector<char> encoded(length + 1, '\0');
    const int rc = argon2id_hash_encoded(kTimeCost, kMemoryKiB, kLanes, password.data(), password.size(),
                                         salt.data(), kSaltBytes, kHashBytes, encoded.data(), encoded.size());
    if (rc != ARGON2_OK) return std::nullopt;
    return std::string(encoded.data());
}

bool verifyPassword(std::string_view encodedHash, std::string_view password) {
    if (!encodedHash.starts_with("$argon2id$")) return false;
    const std::string hash(encodedHash);
    return argon2id_verify(hash.c_str(), password.data(), password.size()) == ARGON2_OK;
}

}  // namespace orlix::web
