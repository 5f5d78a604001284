// The hub at fleet scale, end to end: the real orlix-hub program and the
// real orlix-fleet-sim against a mosquitto with persistence and a raised
// queue, and a PostgreSQL cluster the bench starts itself. Every figure is
// printed beside its baseline from the same run:
//   throughput  N QoS 1 samples as fast as the broker takes them: the hub
//               storing all of them exactly once against mosquitto_sub with
//               a persistent session receiving them, and against a plain
//               COPY of as many rows;
//   idle        sites at the real rate (a sample every 4 s each): the hub's
//               CPU share of one core and its resident memory, start and end;
//   day         a time-scaled span of program time: CPU and rate;
//   backlog     an hour of queued samples per site arriving at once, and one
//               site's day of backlog: time until all are stored, late ones
//               flagged;
//   latency     the fleet publishing at a steady rate (half the throughput)
//               while faults are raised one a second: the time from each
//               fault's publication to its alarm notice at a webhook, and
//               from a site's last message to its "offline" notice.
// Not part of the test suite. Lengths are options (see --help).
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "hub/pg_connection.h"
#include "mosquitto_broker.h"
#include "pg_cluster.h"

namespace {

using orlix::hub::PgConnection;
using orlix::hub::PgResult;
using orlix::test::MosquittoBroker;
using Clock = std::chrono::steady_clock;

struct Options {
    int sites = 1000;
    long throughputSamples = 200'000;
    int rounds = 3;
    double idleSeconds = 600;
    double dayHours = 24;
    double dayTimeScale = 20;
    double backlogHours = 1;
    double latencyRate = 2500;  // samples a second in all
    int latencyFaults = 30;
    std::vector<std::string> runs{"throughput", "idle", "day", "backlog", "latency"};
};

double secondsSince(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

// A process the bench started; ended with SIGTERM (SIGKILL if it hangs).
class Child {
public:
    Child(const std::vector<std::string>& args, const std::string& log) : pid_(orlix::test::spawnProcess(args, log)) {}
    ~Child() { stop(); }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    pid_t pid() const { return pid_; }
    bool ended(std::chrono::milliseconds wait) {
        if (pid_ <= 0) return true;
        if (!orlix::test::waitForExit(pid_, wait, &status_)) return false;
        pid_ = -1;
        return true;
    }
    int status() const { return status_; }
    void stop() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGTERM);
        if (!ended(std::chrono::seconds(20))) {
            ::kill(pid_, SIGKILL);
            ended(std::chrono::seconds(5));
        }
    }

private:
    pid_t pid_;
    int status_ = -1;
};

// CPU seconds (user + system) and resident kB of a live process.
struct ProcUsage {
    double cpuSeconds = 0;
    long rssKb = 0;
};

// The fields of /proc/PID/stat from field 3 (the state) on: field N is
// [N - 3]. Empty when the process is gone.
std::vector<std::string> statFields(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(stat, line);
    std::vector<std::string> f;
    if (line.rfind(')') == std::string::npos) return f;
    std::istringstream rest(line.substr(line.rfind(')') + 2));
    for (std::string s; rest >> s;) f.push_back(s);
    return f;
}

double ticksToSeconds(const std::string& ticks) {
    return std::stod(ticks) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

// utime (field 14) and stime (15).
ProcUsage procUsage(pid_t pid) {
    ProcUsage u;
    const std::vector<std::string> f = statFields(pid);
    if (f.size() > 12) u.cpuSeconds = ticksToSeconds(f[11]) + ticksToSeconds(f[12]);
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string l; std::getline(status, l);)
        if (l.starts_with("VmRSS:")) u.rssKb = std::atol(l.c_str() + 6);
    return u;
}

std::string loadAverage() {
    std::ifstream f("/proc/loadavg");
    std::string a, b, c;
    f >> a >> b >> c;
    return a + " " + b + " " + c;
}

// One throwaway broker and cluster for one measurement.
struct Stage {
    MosquittoBroker broker;
    orlix::test::PgCluster pg{true};  // fsync on, as an office runs it
    std::string db;
    std::string dir;

    explicit Stage(const std::string& name) {
        dir = pg.dir().string();
        if (broker.ok() && pg.ok() && pg.createDatabase(name)) db = pg.url(name);
    }
    bool ok() const { return !db.empty(); }
};

std::unique_ptr<Child> startHub(const Stage& s, const std::string& prefix, const std::string& rules = {}) {
    std::vector<std::string> args{ORLIX_HUB_BIN, "--mqtt", s.broker.url(prefix), "--db", s.db, "--client-id",
                                  "bench-hub"};
    if (!rules.empty()) args.insert(args.end(), {"--rules", rules});
    auto hub = std::make_unique<Child>(args, s.dir + "/hub.log");
    // Ready once its schema is there and its session is on the broker.
    PgConnection db(s.db);
    const auto t0 = Clock::now();
    while (secondsSince(t0) < 60) {
        if (db.ok() && db.exec("SELECT 1 FROM schema_version").ok()) break;
        if (!db.ok()) db.connect(s.db);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    std::this_thread::sleep_for(std::chrono::seconds(1));
    return hub;
}

std::unique_ptr<Child> startFleet(const Stage& s, const std::string& prefix, const Options& o,
                                  std::vector<std::string> extra) {
    std::vector<std::string> args{ORLIX_FLEET_SIM_BIN, "--mqtt", s.broker.url(prefix), "--sites",
                                  std::to_string(o.sites)};
    args.insert(args.end(), extra.begin(), extra.end());
    return std::make_unique<Child>(args, s.dir + "/fleet.log");
}

struct Stored {
    long rows = -1, distinct = -1, late = -1;
};

Stored stored(PgConnection& db) {
    const PgResult r = db.exec("SELECT count(*), count(DISTINCT (site, t)), count(*) FILTER (WHERE late) FROM samples");
    if (!r.ok() || r.rows() != 1) return {};
    return {r.number(0, 0), r.number(0, 1), r.number(0, 2)};
}

// Seconds until the hub's store holds `count` rows (polling), or nothing
// after `timeout` seconds. The poll counts the 5-minute summaries' samples,
// written in the same transaction as the rows: counting the rows themselves
// would scan the growing table four times a second and take CPU from the
// run it measures.
// `publisher`, when given, is watched too: `publishedAt` is when it ended.
std::optional<double> waitStored(PgConnection& db, long count, Clock::time_point t0, double timeout,
                                 Child* publisher = nullptr, double* publishedAt = nullptr) {
    while (secondsSince(t0) < timeout) {
        if (publisher && *publishedAt < 0 && publisher->ended(std::chrono::milliseconds(0)))
            *publishedAt = secondsSince(t0);
        const PgResult r = db.exec("SELECT coalesce(sum(n), 0) FROM summaries_5min");
        if (r.ok() && r.number(0, 0) >= count) return secondsSince(t0);
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
    }
    return std::nullopt;
}

// Rows per second of a plain text COPY of `count` sample-shaped rows into a
// bare table without indexes: the floor of any store.
double copyRate(const std::string& url, long count, int sites) {
    PgConnection db(url);
    std::string sql = "CREATE TABLE bare (t timestamptz, site integer, late boolean";
    for (int i = 0; i < 50; ++i) sql += ", v" + std::to_string(i) + " smallint";
    db.exec(sql + ")");
    std::string data;
    data.reserve(static_cast<std::size_t>(count) * 220);
    for (long i = 0; i < count; ++i) {
        data += "2026-01-01 00:00:00+00\t" + std::to_string(i % sites) + "\tf";
        for (int v = 0; v < 50; ++v) data += "\t" + std::to_string((i * 7 + v * 13) % 30000);
        data += "\n";
    }
    const auto t0 = Clock::now();
    const PgResult r = db.copyIn("COPY bare FROM STDIN", data);
    if (!r.ok()) {
        std::fprintf(stderr, "COPY failed: %s\n", r.error().c_str());
        return 0;
    }
    return static_cast<double>(count) / secondsSince(t0);
}

// mosquitto_sub, QoS 1 and a persistent session, until it has all.
std::optional<double> plainSubscriberSeconds(const Options& o, long count) {
    Stage s("plain");
    if (!s.ok()) return std::nullopt;
    Child sub({ORLIX_MOSQUITTO_SUB, "-h", "127.0.0.1", "-p", std::to_string(s.broker.port()), "-q", "1", "-c", "-i",
               "bench-sub", "-t", "bench/+/sample", "-C", std::to_string(count)},
              "/dev/null");
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const long perSite = count / o.sites;
    const auto t0 = Clock::now();
    auto fleet = startFleet(s, "bench", o,
                            {"--rate", "0", "--start", "now-1d", "--samples-per-site", std::to_string(perSite)});
    if (!sub.ended(std::chrono::seconds(1200))) return std::nullopt;
    return secondsSince(t0);
}

// CPU seconds a PostgreSQL cluster has used so far: the postmaster with the
// backends it has reaped (cutime, cstime: fields 16, 17) and those that
// still run (the processes whose parent, field 4, it is).
double clusterCpuSeconds(const Stage& s) {
    std::ifstream pidFile(s.dir + "/data/postmaster.pid");
    pid_t master = 0;
    if (!(pidFile >> master)) return 0;
    const std::vector<std::string> m = statFields(master);
    if (m.size() < 15) return 0;
    double cpu = ticksToSeconds(m[11]) + ticksToSeconds(m[12]) + ticksToSeconds(m[13]) + ticksToSeconds(m[14]);
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        const std::vector<std::string> f = statFields(static_cast<pid_t>(std::stol(name)));
        if (f.size() > 12 && f[1] == std::to_string(master)) cpu += procUsage(std::stoi(name)).cpuSeconds;
    }
    return cpu;
}

struct HubRound {
    std::optional<double> seconds;  // until all were stored
    double publishedAt = -1;        // when the fleet had published all
    double hubCpu = 0, dbCpu = 0;
    Stored stored;
    double copyRate = 0;
};

// The hub storing `perSite` samples of each site, published as fast as the
// broker takes them.
HubRound hubRound(const Options& o, long perSite, long count) {
    HubRound h;
    Stage s("hub");
    if (!s.ok()) return h;
    auto hub = startHub(s, "bench");
    PgConnection db(s.db);
    const double hubBefore = procUsage(hub->pid()).cpuSeconds;
    const double dbBefore = clusterCpuSeconds(s);
    const auto t0 = Clock::now();
    auto fleet = startFleet(s, "bench", o,
                            {"--rate", "0", "--start", "now-1d", "--samples-per-site", std::to_string(perSite)});
    h.seconds = waitStored(db, count, t0, 1800, fleet.get(), &h.publishedAt);
    h.hubCpu = procUsage(hub->pid()).cpuSeconds - hubBefore;
    h.dbCpu = clusterCpuSeconds(s) - dbBefore;
    fleet->ended(std::chrono::seconds(60));
    h.stored = stored(db);
    h.copyRate = copyRate(s.db, count, o.sites);
    return h;
}

double percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<std::size_t>(p * static_cast<double>(v.size())))];
}

// Rounds of the plain subscriber and the hub, one after the other: the
// machine's load drifts, so each round's ratio is taken on its own and the
// median of them is the figure.
void throughput(const Options& o) {
    const long perSite = o.throughputSamples / o.sites;
    const long count = perSite * o.sites;
    std::printf("\n== throughput: %ld QoS 1 samples from %d sites, as fast as the broker takes them, %d rounds\n",
                count, o.sites, o.rounds);
    std::vector<double> ratios;
    for (int round = 1; round <= o.rounds; ++round) {
        std::printf("  round %d (load %s)\n", round, loadAverage().c_str());
        const auto plain = plainSubscriberSeconds(o, count);
        const HubRound h = hubRound(o, perSite, count);
        if (plain) std::printf("    mosquitto_sub -q 1 -c: %6.1f s  %7.0f samples/s\n", *plain, count / *plain);
        if (!h.seconds) {
            std::printf("    hub: not all stored within 30 min (%ld of %ld)\n", h.stored.rows, count);
            continue;
        }
        std::printf("    orlix-hub stored:      %6.1f s  %7.0f samples/s; CPU: hub %.1f s, PostgreSQL %.1f s; "
                    "the fleet had published all after %.1f s\n",
                    *h.seconds, count / *h.seconds, h.hubCpu, h.dbCpu, h.publishedAt);
        std::printf("    exactly once: %ld rows, %ld distinct (site, t), %ld sent -> %s\n", h.stored.rows,
                    h.stored.distinct, count, h.stored.rows == count && h.stored.distinct == count ? "yes" : "NO");
        std::printf("    plain COPY of as many rows: %.0f rows/s; the hub stored %.2f of that\n", h.copyRate,
                    count / *h.seconds / h.copyRate);
        if (!plain) continue;
        ratios.push_back(*h.seconds / *plain);
        std::printf("    hub time / plain subscriber time = %.2f\n", ratios.back());
    }
    if (ratios.empty()) return (void)std::printf("  no round measured both\n");
    std::printf("  median of %zu rounds: hub time / plain subscriber time = %.2f (goal <= 1.25)\n", ratios.size(),
                percentile(ratios, 0.5));
}

// The hub's CPU share and memory while the fleet publishes at `timeScale`
// for `seconds` of real time.
void steadyRun(const Options& o, const char* title, double timeScale, double seconds, const std::string& start) {
    std::printf("\n== %s: %d sites at time scale %g for %.0f s of real time (load %s)\n", title, o.sites, timeScale,
                seconds, loadAverage().c_str());
    Stage s("steady");
    if (!s.ok()) return (void)std::printf("no broker or cluster\n");
    auto hub = startHub(s, "bench");
    PgConnection db(s.db);
    std::ostringstream scale;
    scale << timeScale;
    auto fleet = startFleet(s, "bench", o, {"--time-scale", scale.str(), "--start", start});
    // The fleet's first messages (retained status, the first round) settle.
    std::this_thread::sleep_for(std::chrono::seconds(10));
    const ProcUsage first = procUsage(hub->pid());
    const Stored rows0 = stored(db);
    const auto t0 = Clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const ProcUsage last = procUsage(hub->pid());
    const Stored rows1 = stored(db);
    const double span = secondsSince(t0);
    fleet->stop();
    const double cpu = (last.cpuSeconds - first.cpuSeconds) / span;
    std::printf("  hub CPU %.2f %% of one core over %.0f s; RSS %ld kB at start, %ld kB at end\n", cpu * 100, span,
                first.rssKb, last.rssKb);
    std::printf("  stored %.0f samples/s (%ld rows)\n", (rows1.rows - rows0.rows) / span, rows1.rows);
}

// Queued samples arriving at once: `sites` sites each with `backlog` of
// past samples; seconds until all stored, late ones counted.
void backlogRun(Options o, int sites, const std::string& backlog, long perSite) {
    o.sites = sites;
    const long count = perSite * sites;
    std::printf("\n== backlog: %d sites x %s of queued samples (%ld) (load %s)\n", sites, backlog.c_str(), count,
                loadAverage().c_str());
    Stage s("backlog");
    if (!s.ok()) return (void)std::printf("no broker or cluster\n");
    auto hub = startHub(s, "bench");
    PgConnection db(s.db);
    const auto t0 = Clock::now();
    auto fleet = startFleet(s, "bench", o,
                            {"--backlog", backlog, "--samples-per-site", std::to_string(perSite), "--start", "now"});
    const auto seconds = waitStored(db, count, t0, 1800);
    const Stored st = stored(db);
    if (!seconds) return (void)std::printf("  not all stored within 30 min (%ld of %ld)\n", st.rows, count);
    std::printf("  all stored %.1f s after reconnection (%.0f samples/s); %ld rows, %ld distinct, %ld flagged late\n",
                *seconds, count / *seconds, st.rows, st.distinct, st.late);
}

// A webhook receiver: each POST becomes a line "UNIX_SECONDS BODY" in `log`.
constexpr const char* kWebhookPy = R"(
import http.server, sys, time
class Hook(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        body = self.rfile.read(int(self.headers.get('Content-Length', 0)))
        t = time.time()
        self.send_response(200)
        self.send_header('Content-Length', '0')
        self.end_headers()
        sys.stdout.write('%.6f %s\n' % (t, body.decode('utf-8', 'replace').replace('\n', ' ')))
        sys.stdout.flush()
    def log_message(self, *args):
        pass
http.server.ThreadingHTTPServer(('127.0.0.1', int(sys.argv[1])), Hook).serve_forever()
)";

double unixNow() {
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

// A message published with QoS 1 through mosquitto_pub; the time it was sent.
double publish(const Stage& s, const std::string& topic, const std::string& payload) {
    std::string pub = ORLIX_MOSQUITTO_SUB;
    pub.replace(pub.rfind("_sub"), 4, "_pub");
    const double t = unixNow();
    Child c({pub, "-h", "127.0.0.1", "-p", std::to_string(s.broker.port()), "-q", "1", "-t", topic, "-m", payload},
            "/dev/null");
    c.ended(std::chrono::seconds(10));
    return t;
}

// A fault entry as a recorder publishes it, at the local time of now.
std::string faultPayload() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char time[32], offset[24];
    std::strftime(time, sizeof time, "%Y-%m-%dT%H:%M:%S", &local);
    const int off = static_cast<int>(local.tm_gmtoff / 60) % (24 * 60);
    std::snprintf(offset, sizeof offset, "%c%02d:%02d", off < 0 ? '-' : '+', std::abs(off) / 60, std::abs(off) % 60);
    return std::string("{\"list\": \"Err\", \"time\": \"") + time + "\", \"utc_offset\": \"" + offset +
           "\", \"status\": \"EEPROM\"}";
}

// When the first notice naming `site` and holding every one of `words`
// reached the webhook, from its log; nothing when none did.
std::optional<double> noticeTime(const std::string& log, const std::string& site,
                                 const std::vector<std::string>& words) {
    std::ifstream in(log);
    for (std::string line; std::getline(in, line);) {
        bool all = line.find("\"" + site + "\"") != std::string::npos;
        for (const std::string& w : words) all = all && line.find(w) != std::string::npos;
        if (all) return std::atof(line.c_str());
    }
    return std::nullopt;
}

void latencyRun(const Options& o) {
    std::printf("\n== alarm latency: %d sites publishing %.0f samples/s in all, %d faults one a second, one site "
                "going quiet (load %s)\n", o.sites, o.latencyRate, o.latencyFaults, loadAverage().c_str());
    Stage s("latency");
    if (!s.ok()) return (void)std::printf("no broker or cluster\n");
    const int hookPort = orlix::test::freeLocalPort();
    const std::string hookLog = s.dir + "/webhook.log";
    Child hook({"/usr/bin/python3", "-c", kWebhookPy, std::to_string(hookPort)}, hookLog);
    const std::string rules = s.dir + "/rules.ini";
    std::ofstream(rules) << "[hub]\noffline_after = 60s\nfault_receivers = hook\noffline_receivers = hook\n"
                         << "[receiver:hook]\ntype = webhook\nurl = http://127.0.0.1:" << hookPort << "/hook\n";
    auto hub = startHub(s, "bench", rules);
    std::ostringstream rate;
    rate << o.latencyRate;
    auto fleet = startFleet(s, "bench", o, {"--rate", rate.str(), "--start", "now"});
    std::this_thread::sleep_for(std::chrono::seconds(15));
    publish(s, "bench/quiet-site/status", "online");
    const double lastQuiet = publish(s, "bench/quiet-site/status", "online");
    std::vector<std::pair<std::string, double>> faults;
    for (int i = 0; i < o.latencyFaults; ++i) {
        char site[16];
        std::snprintf(site, sizeof site, "site%04d", 1 + (i * 37) % o.sites);
        faults.emplace_back(site, publish(s, std::string("bench/") + site + "/faults", faultPayload()));
        std::this_thread::sleep_for(std::chrono::seconds(1));
    }
    // The quiet site: its notice comes after offline_after (60 s).
    const auto t0 = Clock::now();
    std::optional<double> offlineAt;
    while (!offlineAt && secondsSince(t0) < 120) {
        std::this_thread::sleep_for(std::chrono::seconds(1));
        offlineAt = noticeTime(hookLog, "quiet-site", {"offline", "unacknowledged"});
    }
    std::vector<double> delays;
    for (const auto& [site, sent] : faults)
        if (const auto at = noticeTime(hookLog, site, {"\"Err\"", "unacknowledged"})) delays.push_back(*at - sent);
    std::printf("  fault -> webhook: %zu of %zu notices; p50 %.2f s, p95 %.2f s, max %.2f s (goal p95 <= 10 s)\n",
                delays.size(), faults.size(), percentile(delays, 0.5), percentile(delays, 0.95),
                percentile(delays, 1.0));
    if (offlineAt) std::printf("  quiet site -> offline notice %.1f s after its last message (goal <= 70 s)\n",
                               *offlineAt - lastQuiet);
    else std::printf("  quiet site: no offline notice within 120 s\n");
}

bool wants(const Options& o, const std::string& run) {
    return std::find(o.runs.begin(), o.runs.end(), run) != o.runs.end();
}

std::optional<Options> readOptions(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--sites" && hasValue) o.sites = std::atoi(argv[++i]);
        else if (a == "--samples" && hasValue) o.throughputSamples = std::atol(argv[++i]);
        else if (a == "--rounds" && hasValue) o.rounds = std::atoi(argv[++i]);
        else if (a == "--idle-seconds" && hasValue) o.idleSeconds = std::atof(argv[++i]);
        else if (a == "--day-hours" && hasValue) o.dayHours = std::atof(argv[++i]);
        else if (a == "--day-time-scale" && hasValue) o.dayTimeScale = std::atof(argv[++i]);
        else if (a == "--backlog-hours" && hasValue) o.backlogHours = std::atof(argv[++i]);
        else if (a == "--latency-rate" && hasValue) o.latencyRate = std::atof(argv[++i]);
        else if (a == "--latency-faults" && hasValue) o.latencyFaults = std::atoi(argv[++i]);
        else if (a == "--only" && hasValue) o.runs = {argv[++i]};
        else return std::nullopt;
    }
    if (o.sites < 1 || o.throughputSamples < o.sites || o.rounds < 1 || o.idleSeconds <= 0 || o.dayHours <= 0 ||
        o.dayTimeScale <= 0 || o.backlogHours <= 0 || o.latencyRate <= 0 || o.latencyFaults < 1)
        return std::nullopt;
    return o;
}

}  // namespace

int main(int argc, char** argv) {
    const auto o = readOptions(argc, argv);
    if (!o) {
        std::fprintf(stderr,
                     "usage: hub_bench [--sites N(1000)] [--samples N(200000)] [--rounds N(3)] [--idle-seconds S(600)] "
                     "[--day-hours H(24)] [--day-time-scale K(20)] [--backlog-hours H(1)] "
                     "[--latency-rate R(2500)] [--latency-faults N(30)] "
                     "[--only throughput|idle|day|backlog|latency]\n");
        return 2;
    }
    std::printf("hub_bench: %d sites; load %s\n", o->sites, loadAverage().c_str());
    if (wants(*o, "throughput")) throughput(*o);
    if (wants(*o, "idle")) steadyRun(*o, "idle", 1.0, o->idleSeconds, "now");
    if (wants(*o, "day")) {
        const double realSeconds = o->dayHours * 3600 / o->dayTimeScale;
        std::ostringstream start;
        start << "now-" << o->dayHours * 3600 << "s";
        steadyRun(*o, "day", o->dayTimeScale, realSeconds, start.str());
    }
    if (wants(*o, "backlog")) {
        const long perSite = static_cast<long>(o->backlogHours * 900);
        std::ostringstream span;
        span << o->backlogHours * 3600 << "s";
        backlogRun(*o, o->sites, span.str(), perSite);
        backlogRun(*o, 1, "1d", 21'600);
    }
    if (wants(*o, "latency")) latencyRun(*o);
    return 0;
}
