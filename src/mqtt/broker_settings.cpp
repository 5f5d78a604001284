#include "mqtt/broker_settings.h"

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
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

// "" when `path` is a file this process can read; else why not, naming the
// option. The library would only find out at its first connection.
std::string unreadableFile(const std::string& option, const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    int e = fd < 0 ? errno : 0;
    struct stat st{};
    if (fd >= 0) {
        if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) e = EISDIR;
        ::close(fd);
    }
    return e == 0 ? std::string() : option + " " + path + ": cannot read it: " + std::strerror(e);
}

std::string unreadableTlsFile(const BrokerOptions& o) {
    const std::pair<const char*, const std::string*> files[] = {
        {"--tls-ca", &o.tlsCa}, {"--tls-cert", &o.tlsCert}, {"--tls-key", &o.tlsKey}};
    for (const auto& [option, path] : files)
        if (!path->empty())
            if (std::string why = unreadableFile(option, *path); !why.empty()) return why;
    return {};
}

}  // namespace

void guardBrokerPassword() {
    // A core dump would hold the password: this process makes none, and
    // other users' processes may not attach to it.
    ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
}

std::optional<MqttClientSettings> brokerSettings(const BrokerOptions& options, std::string& error,
                                                 const std::string& urlOption) {
    const MqttUrlParse parsed = parseMqttUrl(options.url);
    if (!parsed.url) {
        error = urlOption + ": " + parsed.error;
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
        if (!password) {
            error = "--mqtt-password-file: " + error;
            return std::nullopt;
        }
        warnIfOthersCanRead(options.passwordFile);
        s.url.password = *password;
    }
    if (error = unreadableTlsFile(options); !error.empty()) return std::nullopt;
    if (!s.url.password.empty()) guardBrokerPassword();
    s.tlsCaFile = options.tlsCa;
    s.tlsCertFile = options.tlsCert;
    s.tlsKeyFile = options.tlsKey;
    return s;
}

std::string checkBrokerOptions(const BrokerOptions& options, const std::string& urlOption) {
    if (!options.url.empty()) {
        std::string error;
        return brokerSettings(options, error, urlOption) ? std::string() : error;
    }
    // No URL (the options serve a remote site chosen later): the files alone.
    if (!options.passwordFile.empty()) {
        std::string error;
        if (!readPasswordFile(options.passwordFile, error)) return "--mqtt-password-file: " + error;
    }
    return unreadableTlsFile(options);
}

std::string topicLengthError(const std::string& topic, const std::string& option) {
    if (topic.size() <= kMaxTopicBytes) return {};
    return option + ": the topic " + topic.substr(0, 40) + "... would be " + std::to_string(topic.size()) +
           " bytes; MQTT allows at most 65535";
}

}  // namespace orlix
