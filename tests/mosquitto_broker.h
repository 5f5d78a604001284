#pragma once
// A real mosquitto broker for a test: on 127.0.0.1 and a free port, with its
// configuration, persistence and log in a private folder; optionally with
// users (password file) and an ACL. Stopped (or killed) by the test, and
// always at the end.
#include <arpa/inet.h>
#include <fcntl.h>
#include <pwd.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace orlix::test {

inline int freeLocalPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0)
        port = ntohs(a.sin_port);
    ::close(fd);
    return port;
}

inline bool localPortAccepts(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(fd);
    return ok;
}

inline pid_t spawnProcess(const std::vector<std::string>& args, const std::string& outPath) {
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&fa, 1, 2);
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &fa, nullptr, argv.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&fa);
    return pid;
}

// Waits for `pid` to end, up to `timeout`; true when it did.
inline bool waitForExit(pid_t pid, std::chrono::milliseconds timeout, int* status = nullptr) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        int ws = 0;
        const pid_t r = ::waitpid(pid, &ws, WNOHANG);
        if (r == pid) {
            if (status) *status = WIFEXITED(ws) ? WEXITSTATUS(ws) : -1;
            return true;
        }
        if (r < 0 || std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

inline std::string readWhole(const std::filesystem::path& p) {
    std::ifstream f(p, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

class MosquittoBroker {
public:
    struct User {
        std::string name, password;
    };

    // `users` empty: anonymous clients welcome. Otherwise only these users,
    // and with `acl` (mosquitto ACL file text) their topics.
    // `listenerOptions` are written right after the listener line (TLS
    // files, say).
    explicit MosquittoBroker(std::vector<User> users = {}, std::string acl = {}, std::string listenerOptions = {}) {
        static int n = 0;
        dir_ = std::filesystem::temp_directory_path() /
               ("orlix_broker_" + std::to_string(::getpid()) + "_" + std::to_string(++n));
        std::filesystem::create_directories(dir_);
        port_ = freeLocalPort();
        std::ofstream conf(dir_ / "mosquitto.conf");
        conf << "listener " << port_ << " 127.0.0.1\n"
             << listenerOptions
             << "persistence true\npersistence_location " << dir_.string() << "/\n"
             // A client away (a hub during an outage) keeps every QoS 1 message, not the first 1000.
             << "max_queued_messages 1000000\n"
             << "log_dest stdout\nlog_type error\nlog_type warning\nlog_type notice\n";
        // Started as root the broker would become user mosquitto, who may
        // not write the persistence into this folder.
        if (const passwd* pw = ::getpwuid(::getuid())) conf << "user " << pw->pw_name << "\n";
        if (users.empty()) {
            conf << "allow_anonymous true\n";
        } else {
            conf << "allow_anonymous false\npassword_file " << (dir_ / "passwd").string() << "\n";
            std::ofstream(dir_ / "passwd").close();
            for (const User& u : users) {
                const std::string cmd = std::string(ORLIX_MOSQUITTO_PASSWD) + " -b " + (dir_ / "passwd").string() +
                                        " " + u.name + " " + u.password;
                ok_ = ok_ && std::system(cmd.c_str()) == 0;
            }
            if (!acl.empty()) {
                std::ofstream(dir_ / "acl") << acl;
                conf << "acl_file " << (dir_ / "acl").string() << "\n";
            }
        }
        conf.close();
        ok_ = ok_ && start();
    }
    ~MosquittoBroker() {
        stop();
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    MosquittoBroker(const MosquittoBroker&) = delete;
    MosquittoBroker& operator=(const MosquittoBroker&) = delete;

    bool ok() const { return ok_; }
    int port() const { return port_; }
    std::string url(const std::string& path, const std::string& credentials = {}) const {
        return "mqtt://" + (credentials.empty() ? "" : credentials + "@") + "127.0.0.1:" + std::to_string(port_) +
               "/" + path;
    }
    std::string log() const { return readWhole(dir_ / "broker.log"); }
    const std::filesystem::path& dir() const { return dir_; }

    // Starts (again) on the same port; true once it accepts connections.
    bool start() {
        if (pid_ > 0) return true;
        pid_ = spawnProcess({ORLIX_MOSQUITTO, "-c", (dir_ / "mosquitto.conf").string()}, (dir_ / "broker.log").string());
        if (pid_ <= 0) return false;
        for (int i = 0; i < 250; ++i) {
            if (localPortAccepts(port_)) return true;
            if (waitForExit(pid_, std::chrono::milliseconds(0))) {
                pid_ = -1;
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }
    // SIGTERM (the broker saves its persistence) and wait.
    void stop() { end(SIGTERM); }
    // SIGKILL: the broker dies where it stands.
    void kill9() { end(SIGKILL); }

private:
    void end(int sig) {
        if (pid_ <= 0) return;
        ::kill(pid_, sig);
        if (!waitForExit(pid_, std::chrono::seconds(10))) {
            ::kill(pid_, SIGKILL);
            waitForExit(pid_, std::chrono::seconds(5));
        }
        pid_ = -1;
    }

    std::filesystem::path dir_;
    int port_ = 0;
    pid_t pid_ = -1;
    bool ok_ = true;
};

// mosquitto_sub writing one line per message: "<retained 0|1> <topic> <payload>".
class Subscriber {
public:
    Subscriber(int port, const std::string& topic, std::vector<std::string> extra = {}) {
        static int n = 0;
        out_ = std::filesystem::temp_directory_path() /
               ("orlix_sub_" + std::to_string(::getpid()) + "_" + std::to_string(++n));
        std::vector<std::string> args{ORLIX_MOSQUITTO_SUB, "-h", "127.0.0.1", "-p", std::to_string(port), "-t",
                                      topic, "-q", "1", "-F", "%r %t %p"};
        args.insert(args.end(), extra.begin(), extra.end());
        pid_ = spawnProcess(args, out_.string());
    }
    ~Subscriber() {
        stop();
        std::error_code ec;
        std::filesystem::remove(out_, ec);
    }
    void stop() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGTERM);
        waitForExit(pid_, std::chrono::seconds(5));
        pid_ = -1;
    }
    std::vector<std::string> lines() const {
        std::vector<std::string> v;
        std::istringstream in(readWhole(out_));
        for (std::string l; std::getline(in, l);) v.push_back(l);
        return v;
    }
    // Lines of messages on `topic`, as "<retained> <payload>".
    std::vector<std::string> on(const std::string& topic) const {
        std::vector<std::string> v;
        for (const std::string& l : lines()) {
            const std::size_t sp = l.find(' ');
            if (sp == std::string::npos) continue;
            const std::size_t sp2 = l.find(' ', sp + 1);
            if (l.compare(sp + 1, sp2 - sp - 1, topic) == 0)
                v.push_back(l.substr(0, sp) + " " + (sp2 == std::string::npos ? "" : l.substr(sp2 + 1)));
        }
        return v;
    }
    // Polls until `done` holds or `timeout` passes.
    template <class Done>
    bool waitFor(Done done, std::chrono::milliseconds timeout = std::chrono::seconds(20)) const {
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < end) {
            if (done()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return done();
    }

private:
    std::filesystem::path out_;
    pid_t pid_ = -1;
};

}  // namespace orlix::test
