#include "mqtt/broker_settings.h"

#include <sys/prctl.h>
#include <sys/stat.h>

#include <cstdio>
#include <mutex>
#include <set>

#include "base/log.h"

namespace orlix {
namespace {

// Each warning about an exposed password once per program run, however
// often the settings are made (a remote site makes them at every Start).
bool firstTime(const std::string& what) {
    static std::mutex mutex;
    static std::set<std::string> said;
    std::lock_guard lock(mutex);
    return said.insert(what).second;
}

void warnIfOthersCanRead(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || (st.st_mode & S_IROTH) == 0) return;
    if (!firstTime("file " + path)) return;
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
    log::warning(log::kMqtt, "the password file " + path + " can be read by every user of this machine (mode " +
                                 mode + "); make it readable by its owner (and group) only: chmod o-rwx " + path);
}

}  // namespace

void guardBrokerPassword() {
    // A core dump would hold the password: this process makes none, and
    // other users' processes may not attach to it.
    ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
}

std::optional<MqttClientSettings> brokerSettings(const BrokerOptions& options, std::string& error) {
    const MqttUrlParse parsed = parseMqttUrl(options.url);
    if (!parsed.url) {
        error = parsed.error;
        return std::nullopt;
    }
    MqttClientSettings s;
    s.url = *parsed.url;
    if (!s.url.password.empty() && firstTime("url " + s.url.shown()))
        log::warning(log::kMqtt, "the address " + s.url.shown() +
                                     " is given with a password, which every user of this machine can read in the "
                                     "process list; give it in a file instead (--mqtt-password-file)");
    if (!options.passwordFile.empty()) {
        const auto password = readPasswordFile(options.passwordFile, error);
        if (!password) return std::nullopt;
        warnIfOthersCanRead(options.passwordFile);
        s.url.password = *password;
    }
    if (!s.url.password.empty()) guardBrokerPassword();
    s.tlsCaFile = options.tlsCa;
    s.tlsCertFile = options.tlsCert;
    s.tlsKeyFile = options.tlsKey;
    return s;
}

}  // namespace orlix
