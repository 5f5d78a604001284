// orlix-hub: the office. Takes every site's samples, faults and status from
// the broker into PostgreSQL, raises alarms and tells someone; and, from the
// command line, acknowledges or shelves an alarm, writes the alarm history
// as CSV, sets a site's time zone, or adds and removes the users of its
// pages. With --http it serves the fleet to browsers.
#include <signal.h>
#include <unistd.h>

#include <QCoreApplication>
#include <cstdio>
#include <optional>
#include <string>

#include "base/log.h"
#include "hub/alarm_rules.h"
#include "hub/hub_commands.h"
#include "hub/hub_service.h"
#include "hub/hub_time.h"
#include "hub/payload_parser.h"
#include "mqtt/broker_settings.h"
#include "platform/logging.h"
#include "platform/option_reader.h"
#include "platform/quit_signals.h"
#include "web/http_address.h"
#include "web/user_commands.h"
#include "web/web_server.h"

namespace {

using namespace orlix;

constexpr const char* kProgram = "orlix-hub";

ProgramText programText() {
    return {kProgram,
            {"orlix-hub --mqtt URL --db DATABASE [--mqtt-password-file FILE] [--tls-ca FILE] [--tls-cert FILE] "
             "[--tls-key FILE] [--client-id ID] [--share GROUP] [--rules FILE] [--keep-months N] [--status] "
             "[--http ADDR:PORT [--http-tls-cert FILE --http-tls-key FILE] [--allow-plain-http]]",
             "orlix-hub --db DATABASE --ack SITE SOURCE --user NAME",
             "orlix-hub --db DATABASE --shelve SITE SOURCE --user NAME --reason TEXT --until TIME",
             "orlix-hub --db DATABASE --unshelve SITE SOURCE --user NAME",
             "orlix-hub --db DATABASE --export-alarms [--from TIME] [--to TIME]",
             "orlix-hub --db DATABASE --site-zone SITE ZONE",
             "orlix-hub --db DATABASE --add-user NAME --role viewer|engineer|admin  (password on standard input)",
             "orlix-hub --db DATABASE --remove-user NAME", "orlix-hub --help | --version"},
            "Keeps every site's samples, faults and status, as the sites' recorders\n"
            "publish them under PREFIX/SITE/ on the broker, in PostgreSQL (URL\n"
            "postgresql://[user@]host[:port]/DBNAME or libpq keywords), raises alarms\n"
            "(faults, sites gone offline, threshold rules) and tells the receivers the\n"
            "rules name. SOURCE is Err, ComErr, ProtErr, offline or threshold:RULE.\n"
            "TIME is ISO 8601, with or without an offset (then local time).\n"
            "\n"
            "--http serves the fleet's pages and their API. Without --http-tls-cert and\n"
            "--http-tls-key it speaks plain HTTP, on a loopback address only unless\n"
            "--allow-plain-http is given. --add-user reads the password from the first\n"
            "line of standard input (a pipe will do); for an existing user it sets a new\n"
            "role and password and ends the user's sessions.",
            "Signals: SIGHUP reads the rules file again (a file with errors leaves the\n"
            "rules in force); SIGTERM and SIGINT store what waits and stop.\n"
            "\n"
            "Exit status: 0 clean stop or command done, 1 failure at run time (a\n"
            "database that cannot be reached at start, a refused schema, a refused\n"
            "command), 2 usage error (also a rules file with errors at start)."};
}

std::vector<OptionSpec> optionSpecs() {
    return {
        {{"mqtt"}, "URL", "Broker and topic prefix: mqtt[s]://[user@]host[:port]/PREFIX."},
        {{"mqtt-password-file"}, "FILE", "The broker password, from the first line of FILE."},
        {{"tls-ca"}, "FILE", "mqtts: the CA certificate to check the broker against."},
        {{"tls-cert"}, "FILE", "mqtts: a client certificate."},
        {{"tls-key"}, "FILE", "mqtts: the client certificate's key."},
        {{"client-id"}, "ID", "The broker session's id, fixed per hub (default orlix-hub-HOSTNAME)."},
        {{"share"}, "GROUP", "Share the sites' messages with the other hubs of GROUP (shared subscriptions)."},
        {{"db"}, "DATABASE", "The PostgreSQL database: a URL or libpq keywords."},
        {{"rules"}, "FILE", "The alarm rules (INI); reread on SIGHUP."},
        {{"keep-months"}, "N", "Keep the samples of N months (whole months are dropped; summaries stay)."},
        {{"status"}, "", "Write the counters to the log once a minute."},
        {{"ack"}, "SITE", "Acknowledge the alarm SOURCE of SITE, as --user."},
        {{"shelve"}, "SITE", "Shelve the alarm SOURCE of SITE until --until, with --reason, as --user."},
        {{"unshelve"}, "SITE", "Unshelve the alarm SOURCE of SITE, as --user."},
        {{"user"}, "NAME", "Who gives the command (kept in the alarm history)."},
        {{"reason"}, "TEXT", "Why an alarm is shelved."},
        {{"until"}, "TIME", "When the shelving ends."},
        {{"export-alarms"}, "", "Write the alarm history as CSV to standard output."},
        {{"from"}, "TIME", "The alarm history from TIME on."},
        {{"to"}, "TIME", "The alarm history up to TIME."},
        {{"http"}, "ADDR:PORT", "Serve the pages on ADDR:PORT (e.g. 127.0.0.1:8080, [::1]:8080, 0.0.0.0:8443)."},
        {{"http-tls-cert"}, "FILE", "HTTPS: the pages' certificate (PEM, chain allowed)."},
        {{"http-tls-key"}, "FILE", "HTTPS: the certificate's private key (PEM, unencrypted)."},
        {{"allow-plain-http"}, "", "Allow plain HTTP on an address other than loopback (passwords cross the network "
                                   "unencrypted)."},
        {{"add-user"}, "NAME", "Add the pages' user NAME with --role, or change its role and password."},
        {{"role"}, "ROLE", "viewer, engineer (acknowledges, shelves) or admin (users, rules)."},
        {{"remove-user"}, "NAME", "Remove the pages' user NAME."},
        {{"site-zone"}, "SITE", "Read the times of SITE that carry no offset in ZONE (an IANA name; \"\" for the "
                                "office's)."},
    };
}

std::string hostName() {
    char buf[256] = {};
    if (::gethostname(buf, sizeof buf - 1) != 0 || buf[0] == '\0') return "hub";
    return buf;
}

// An instant from ISO 8601 text with or without offset; nothing when it is
// none.
std::optional<hub::Micros> instantOf(const std::string& text) {
    const std::optional<hub::WallTime> wall = hub::parseWallTime(text.substr(0, 19));
    if (!wall) return std::nullopt;
    if (text.size() == 19) return hub::instantInZone(*wall, QTimeZone::systemTimeZone(), hub::systemNowUs());
    const std::optional<int> offset = hub::parseUtcOffset(text.substr(19));
    if (!offset) return std::nullopt;
    return (hub::wallSeconds(*wall) - *offset) * hub::kMicrosPerSecond;
}

// The rules of FILE, or an exit status after saying what is wrong.
std::optional<int> loadRules(const std::string& path, hub::AlarmRules& rules) {
    if (path.empty()) return std::nullopt;
    const hub::RulesLoad load = hub::loadAlarmRules(QString::fromStdString(path));
    for (const hub::RuleError& e : load.errors)
        std::fprintf(stderr, "%s: %s\n", kProgram, e.text(path).c_str());
    if (!load.errors.empty()) return 2;
    rules = load.rules;
    return std::nullopt;
}

int command(const OptionReader& r, const hub::AlarmRules& rules) {
    std::string message;
    int status = 1;
    if (r.isSet("export-alarms")) {
        const std::optional<hub::Micros> from = r.isSet("from") ? instantOf(r.value("from")) : hub::Micros{0};
        const std::optional<hub::Micros> to = r.isSet("to") ? instantOf(r.value("to")) : hub::Micros{0};
        if (!from || !to) return r.usageError("--from and --to need a time: YYYY-MM-DDTHH:MM:SS[+HH:MM]");
        status = hub::exportAlarmHistory(r.value("db"), *from, *to, stdout, message);
        if (status == 0) return 0;
    } else if (r.isSet("site-zone")) {
        if (r.positionals().size() != 1) return r.usageError("--site-zone SITE needs the ZONE after it");
        status = hub::setSiteZone(r.value("db"), r.value("site-zone"), r.positionals().front(), message);
    } else {
        hub::AlarmCommandRequest q;
        q.db = r.value("db");
        q.command = r.isSet("ack") ? "acknowledge" : r.isSet("shelve") ? "shelve" : "unshelve";
        q.site = r.value(r.isSet("ack") ? "ack" : r.isSet("shelve") ? "shelve" : "unshelve");
        if (r.positionals().size() != 1) return r.usageError("--" + std::string(r.isSet("ack") ? "ack" : r.isSet("shelve") ? "shelve" : "unshelve") + " SITE needs the SOURCE after it");
        q.source = r.positionals().front();
        q.user = r.value("user");
        q.reason = r.value("reason");
        if (q.user.empty()) return r.usageError("a command on an alarm needs --user NAME");
        if (!hub::isAlarmSource(q.source)) return r.usageError("no alarm source " + q.source);
        if (q.command == "shelve") {
            const std::optional<hub::Micros> until = instantOf(r.value("until"));
            if (!until || q.reason.empty()) return r.usageError("--shelve needs --reason TEXT and --until TIME");
            q.untilUs = *until;
        }
        status = hub::runAlarmCommand(q, rules, message);
    }
    std::fprintf(stderr, "%s: %s\n", kProgram, message.c_str());
    return status;
}

int userCommand(const OptionReader& r) {
    std::string message;
    int status = 0;
    if (r.isSet("remove-user")) {
        status = web::removeUser(r.value("db"), r.value("remove-user"), message);
    } else {
        if (!r.isSet("role")) return r.usageError("--add-user NAME needs --role viewer|engineer|admin");
        const std::optional<std::string> password = web::readPasswordLine(stdin);
        if (!password) return r.usageError("--add-user reads the password from the first line of standard input");
        status = web::addUser(r.value("db"), r.value("add-user"), r.value("role"), *password, message);
        if (status == 2) return r.usageError(message);
    }
    std::fprintf(stderr, "%s: %s\n", kProgram, message.c_str());
    return status;
}

// The pages' server options from --http and its companions, or a usage
// error's exit status.
std::optional<int> httpOptions(const OptionReader& r, std::optional<web::WebServerOptions>& out) {
    const bool cert = r.isSet("http-tls-cert"), key = r.isSet("http-tls-key");
    if (!r.isSet("http")) {
        if (cert || key || r.isSet("allow-plain-http")) return r.usageError("--http-tls-cert, --http-tls-key and "
                                                                            "--allow-plain-http go with --http");
        return std::nullopt;
    }
    std::string error;
    const std::optional<web::HttpAddress> a = web::parseHttpAddress(r.value("http"), error);
    if (!a) return r.usageError(error);
    if (cert != key) return r.usageError("--http-tls-cert and --http-tls-key go together");
    if (!cert && !a->address.isLoopback() && !r.isSet("allow-plain-http"))
        return r.usageError("--http on " + r.value("http") + " without --http-tls-cert and --http-tls-key needs "
                            "--allow-plain-http (or a loopback address such as 127.0.0.1)");
    out = web::WebServerOptions{a->address, a->port, r.value("http-tls-cert"), r.value("http-tls-key")};
    return std::nullopt;
}

// Starts the pages; false (after saying why) when they cannot be served.
bool startPages(std::unique_ptr<web::WebServer>& server, hub::HubService& service, const std::string& db,
                const web::WebServerOptions& o) {
    server = std::make_unique<web::WebServer>(service, db, o);
    std::string error;
    if (!server->start(error)) {
        log::critical(log::kWeb, "cannot serve the pages: " + error);
        return false;
    }
    const QString host = o.address.protocol() == QAbstractSocket::IPv6Protocol ? "[" + o.address.toString() + "]"
                                                                                : o.address.toString();
    const std::string url = (server->tls() ? "https://" : "http://") + host.toStdString() + ":" +
                            std::to_string(server->port()) + "/";
    if (server->tls()) log::info(log::kWeb, "serving the pages on " + url);
    else if (o.address.isLoopback()) log::info(log::kWeb, "serving the pages on " + url + " (plain HTTP, this machine only)");
    else log::warning(log::kWeb, "serving the pages on " + url + " over plain HTTP: passwords and sessions cross the "
                                 "network unencrypted (--allow-plain-http)");
    return true;
}

int serve(int argc, char** argv, const OptionReader& r, const hub::AlarmRules& rules) {
    hub::HubOptions o;
    o.broker = {r.value("mqtt"), r.value("mqtt-password-file"), r.value("tls-ca"), r.value("tls-cert"),
                r.value("tls-key")};
    o.clientId = r.isSet("client-id") ? r.value("client-id") : "orlix-hub-" + hostName();
    o.shareGroup = r.value("share");
    o.db = r.value("db");
    o.rulesPath = r.value("rules");
    o.status = r.isSet("status");
    if (r.isSet("keep-months")) {
        bool ok = false;
        o.keepMonths = QString::fromStdString(r.value("keep-months")).toInt(&ok);
        if (!ok || o.keepMonths < 1 || o.keepMonths > 1200) return r.usageError("--keep-months needs a number from 1 to 1200");
    }
    if (const std::string why = orlix::checkBrokerOptions(o.broker); !why.empty()) return r.usageError(why);
    std::optional<web::WebServerOptions> http;
    if (const auto end = httpOptions(r, http)) return *end;
    QCoreApplication app(argc, argv);
    hub::HubService service(o, rules);
    std::string error;
    if (!service.start(error)) {
        log::critical(log::kHub, "cannot start: " + error);
        return 1;
    }
    std::unique_ptr<web::WebServer> pages;
    if (http && !startPages(pages, service, o.db, *http)) return 1;
    QuitSignals quit([&](int sig) {
        if (sig == SIGHUP) {
            log::info(log::kHub, "SIGHUP: reading the rules again");
            service.reloadRules();
            return;
        }
        log::info(log::kHub, std::string("SIG") + ::sigabbrev_np(sig) + ": stopping");
        pages.reset();
        service.stop();
        QCoreApplication::quit();
    });
    return app.exec() == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    orlix::installQtLogSink();
    OptionReader reader(programText(), optionSpecs());
    if (const auto end = reader.read(argc, argv)) return *end;
    if (!reader.isSet("db")) return reader.usageError("--db DATABASE is needed");
    hub::AlarmRules rules;
    if (const auto end = loadRules(reader.value("rules"), rules)) return *end;
    const bool isCommand = reader.isSet("ack") || reader.isSet("shelve") || reader.isSet("unshelve") ||
                           reader.isSet("export-alarms") || reader.isSet("site-zone");
    if (reader.isSet("add-user") || reader.isSet("remove-user")) return userCommand(reader);
    if (isCommand) return command(reader, rules);
    if (!reader.isSet("mqtt")) return reader.usageError("--mqtt URL is needed");
    if (!reader.positionals().empty()) return reader.usageError("unexpected argument " + reader.positionals().front());
    return serve(argc, argv, reader, rules);
}
