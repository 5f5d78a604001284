// How often logins may fail, by name and by address, in time that the
// tests hand over.
#include "web/login_limiter.h"

#include <gtest/gtest.h>

#include "web/auth_store.h"
#include "web/password.h"

namespace orlix::web {
namespace {

using namespace std::chrono_literals;
using Time = LoginLimiter::Time;

TEST(LoginLimiter, FiveFailuresOfANameLockItForTheRestOfTheWindow) {
    LoginLimiter l;
    const Time t0{};
    for (int i = 0; i < LoginLimiter::kMaxNameFailures; ++i) {
        ASSERT_TRUE(l.allowed("mia", "10.0.0.1", t0 + i * 1s));
        l.failed("mia", "10.0.0.1", t0 + i * 1s);
    }
    std::chrono::seconds wait{};
    EXPECT_FALSE(l.allowed("mia", "10.0.0.2", t0 + 10s, &wait));  // from anywhere
    EXPECT_EQ(wait, 15min - 10s);
    EXPECT_TRUE(l.allowed("tom", "10.0.0.2", t0 + 10s));  // other names are not touched
    EXPECT_FALSE(l.allowed("mia", "10.0.0.2", t0 + 15min - 1s));
    EXPECT_TRUE(l.allowed("mia", "10.0.0.2", t0 + 15min));  // the first failure aged out
}

TEST(LoginLimiter, AnAddressTryingManyNamesIsLockedAndSuccessForgetsOnlyTheName) {
    LoginLimiter l;
    const Time t0{};
    for (int i = 0; i < LoginLimiter::kMaxAddressFailures; ++i) l.failed("user" + std::to_string(i), "10.0.0.9", t0);
    EXPECT_FALSE(l.allowed("someone", "10.0.0.9", t0 + 1s));
    EXPECT_TRUE(l.allowed("someone", "10.0.0.8", t0 + 1s));

    for (int i = 0; i < 4; ++i) l.failed("mia", "10.0.0.1", t0);
    l.succeeded("mia");
    l.failed("mia", "10.0.0.1", t0);
    EXPECT_TRUE(l.allowed("mia", "10.0.0.1", t0));  // one failure since the success
}

TEST(LoginLimiter, MemoryStaysBoundedUnderASprayOfNames) {
    LoginLimiter l;
    const Time t0{};
    for (std::size_t i = 0; i < LoginLimiter::kMaxTracked + 50; ++i)
        l.failed("n" + std::to_string(i), "a" + std::to_string(i), t0 + std::chrono::milliseconds(i));
    // The newest are still counted.
    for (int i = 1; i < LoginLimiter::kMaxNameFailures; ++i) l.failed("n10049", "x", t0 + 20s);
    EXPECT_FALSE(l.allowed("n10049", "y", t0 + 21s));
}

TEST(Password, Argon2idHashesVerifyOnlyTheirOwnPassword) {
    const std::optional<std::string> h = hashPassword("correct horse");
    ASSERT_TRUE(h);
    EXPECT_TRUE(h->starts_with("$argon2id$v=19$m=19456,t=2,p=1$"));
    EXPECT_NE(*h, hashPassword("correct horse").value_or(""));  // salted
    EXPECT_TRUE(verifyPassword(*h, "correct horse"));
    EXPECT_FALSE(verifyPassword(*h, "correct hors"));
    EXPECT_FALSE(verifyPassword(*h, ""));
    EXPECT_FALSE(verifyPassword("$argon2i$v=19$m=19456,t=2,p=1$c2FsdHNhbHQ$aGFzaA", "x"));
    EXPECT_FALSE(verifyPassword("plain text", "plain text"));
    EXPECT_FALSE(passwordRuleError("short").empty());
    EXPECT_TRUE(passwordRuleError("longer one").empty());
}

TEST(Session, TokensAreRandomUrlSafeAndStoredOnlyAsHashes) {
    const std::string a = randomToken(), b = randomToken();
    EXPECT_EQ(a.size(), 43u);
    EXPECT_NE(a, b);
    EXPECT_EQ(a.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_"), std::string::npos);
    EXPECT_EQ(tokenHash("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_TRUE(sameSecret(a, a));
    EXPECT_FALSE(sameSecret(a, b));
    EXPECT_FALSE(sameSecret(a, a.substr(1)));
    EXPECT_TRUE(userNameError("mia.k@site-2_b").empty());
    EXPECT_FALSE(userNameError("mia k").empty());
    EXPECT_FALSE(userNameError("").empty());
    EXPECT_FALSE(userNameError(std::string(65, 'a')).empty());
}

}  // namespace
}  // namespace orlix::web
