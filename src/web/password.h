#pragma once
// Passwords of the pages' users, stored as Argon2id hashes in the encoded
// form "$argon2id$v=19$m=19456,t=2,p=1$SALT$HASH" (libargon2): 19 MiB of
// memory and two passes, a 16-byte random salt per hash. A hash made with
// other costs still verifies (the costs are part of its text).
#include <optional>
#include <string>
#include <string_view>

namespace orlix::web {

inline constexpr std::size_t kMinPasswordBytes = 8;
inline constexpr std::size_t kMaxPasswordBytes = 1024;

// Why a new password is refused ("" when it is fine): too short, too long.
std::string passwordRuleError(std::string_view password);

// The encoded hash of `password`; nothing when libargon2 failed.
std::optional<std::string> hashPassword(std::string_view password);

// Whether `password` matches the encoded hash (false for a hash that is not
// Argon2id or cannot be read).
bool verifyPassword(std::string_view encodedHash, std::string_view password);

}  // namespace orlix::web
