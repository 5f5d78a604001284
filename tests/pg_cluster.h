#pragma once
// A throwaway PostgreSQL 15 cluster for a test: made by initdb in a private
// temporary folder, listening on 127.0.0.1 and a free port only (its socket
// in that folder too), user `orlix` trusted without a password. Stopped and
// removed at the end; a test may stop and start it again (an outage) or
// kill it where it stands.
//
// PostgreSQL refuses to run as root: when the tests run as root, initdb
// and the server run as nobody (uid 65534), who owns the folder.
//
//   test::PgCluster pg;                   // initdb + start
//   ASSERT_TRUE(pg.ok()) << pg.error();
//   ASSERT_TRUE(pg.createDatabase("hub"));
//   connect to pg.url("hub")              // postgresql://orlix@127.0.0.1:PORT/hub
#include <arpa/inet.h>
#include <fcntl.h>
#include <grp.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#ifndef ORLIX_PG_BIN
#define ORLIX_PG_BIN "/usr/lib/postgresql/15/bin/"
#endif

namespace orlix::test {

namespace pgcluster {

inline constexpr const char* kBin = ORLIX_PG_BIN;
inline constexpr uid_t kNobody = 65534;

inline int freePort() {
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

// Runs a PostgreSQL program with its output appended to `logPath`, as
// nobody when this process is root; its exit status, or -1.
inline int run(const std::vector<std::string>& args, const std::string& logPath) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    // A clean environment: the caller's PG* variables must not steer it.
    char path[] = "PATH=/usr/bin:/bin";
    char locale[] = "LC_ALL=C";
    char* env[] = {path, locale, nullptr};
    const bool root = ::geteuid() == 0;
    const pid_t pid = ::fork();
    if (pid == 0) {
        // Only async-signal-safe calls between fork and exec.
        const int out = ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        const int in = ::open("/dev/null", O_RDONLY);
        if (out < 0 || in < 0 || ::dup2(in, 0) < 0 || ::dup2(out, 1) < 0 || ::dup2(out, 2) < 0) ::_exit(126);
        if (root && (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)) ::_exit(125);
        ::execve(argv[0], argv.data(), env);
        ::_exit(127);
    }
    if (pid < 0) return -1;
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Clusters left by test programs that ended without stopping them (killed,
// crashed): stopped and removed. Folders are named orlix_pg_<owner pid>_N;
// those of living programs are left alone.
inline void sweepAbandoned() {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::temp_directory_path(), ec)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("orlix_pg_", 0) != 0) continue;
        const pid_t owner = static_cast<pid_t>(std::atol(name.c_str() + 9));
        if (owner <= 0 || owner == ::getpid() || ::kill(owner, 0) == 0 || errno == EPERM) continue;
        if (std::filesystem::exists(entry.path() / "data" / "postmaster.pid"))
            run({std::string(kBin) + "pg_ctl", "-D", (entry.path() / "data").string(), "-m", "immediate", "-w", "stop"},
                "/dev/null");
        std::filesystem::remove_all(entry.path(), ec);
    }
}

inline std::string readWhole(const std::filesystem::path& p) {
    std::ifstream f(p, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

}  // namespace pgcluster

class PgCluster {
public:
    // `durable` keeps PostgreSQL's defaults (fsync on); otherwise the
    // cluster trades crash safety for speed, which a test never needs.
    explicit PgCluster(bool durable = false, const std::string& extraConfig = {}) {
        static std::atomic<int> serial{0};
        if (serial == 0) pgcluster::sweepAbandoned();
        dir_ = std::filesystem::temp_directory_path() /
               ("orlix_pg_" + std::to_string(::getpid()) + "_" + std::to_string(serial++));
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
        std::filesystem::permissions(dir_, std::filesystem::perms::owner_all);
        if (::geteuid() == 0 && ::chown(dir_.c_str(), pgcluster::kNobody, pgcluster::kNobody) != 0) {
            error_ = "cannot hand " + dir_.string() + " to nobody";
            return;
        }
        port_ = pgcluster::freePort();
        if (!initdb(durable, extraConfig)) return;
        start();
    }
    ~PgCluster() {
        stop();
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    PgCluster(const PgCluster&) = delete;
    PgCluster& operator=(const PgCluster&) = delete;

    bool ok() const { return error_.empty() && running_; }
    const std::string& error() const { return error_; }
    int port() const { return port_; }
    bool running() const { return running_; }
    const std::filesystem::path& dir() const { return dir_; }
    // The server's log and the programs' output.
    std::string log() const {
        return pgcluster::readWhole(dir_ / "server.log") + pgcluster::readWhole(dir_ / "tools.log");
    }

    std::string url(const std::string& database) const {
        return "postgresql://orlix@127.0.0.1:" + std::to_string(port_) + "/" + database;
    }

    // Starts (again) on the same port; true once it accepts connections.
    bool start() {
        if (running_) return true;
        running_ = ctl({"-l", (dir_ / "server.log").string(), "-w", "-t", "60", "start"});
        if (!running_) error_ = "pg_ctl start failed: " + log();
        return running_;
    }
    // A fast shutdown: sessions are ended, the server stops cleanly.
    bool stop() { return halt("fast"); }
    // The server dies where it stands (an immediate shutdown).
    bool crash() { return halt("immediate"); }

    bool createDatabase(const std::string& name) {
        return pgcluster::run({std::string(pgcluster::kBin) + "createdb", "-h", "127.0.0.1", "-p",
                               std::to_string(port_), "-U", "orlix", name},
                              (dir_ / "tools.log").string()) == 0;
    }

private:
    bool initdb(bool durable, const std::string& extraConfig) {
        const std::string data = (dir_ / "data").string();
        if (pgcluster::run({std::string(pgcluster::kBin) + "initdb", "-D", data, "-U", "orlix", "-A", "trust", "-E",
                            "UTF8", "--locale=C", "--no-sync", "--no-instructions"},
                           (dir_ / "tools.log").string()) != 0) {
            error_ = "initdb failed: " + log();
            return false;
        }
        std::ofstream conf(dir_ / "data" / "postgresql.conf", std::ios::app);
        conf << "listen_addresses = '127.0.0.1'\nport = " << port_ << "\nunix_socket_directories = '"
             << dir_.string() << "'\nmax_connections = 40\n";
        if (!durable) conf << "fsync = off\nsynchronous_commit = off\nfull_page_writes = off\n";
        conf << extraConfig << "\n";
        return true;
    }
    bool ctl(std::vector<std::string> args) {
        args.insert(args.begin(), {std::string(pgcluster::kBin) + "pg_ctl", "-D", (dir_ / "data").string()});
        return pgcluster::run(args, (dir_ / "tools.log").string()) == 0;
    }
    bool halt(const char* mode) {
        if (!running_) return true;
        running_ = !ctl({"-m", mode, "-w", "-t", "60", "stop"});
        return !running_;
    }

    std::filesystem::path dir_;
    int port_ = 0;
    bool running_ = false;
    std::string error_;
};

}  // namespace orlix::test
