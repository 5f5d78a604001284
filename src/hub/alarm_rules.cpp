#include "hub/alarm_rules.h"

#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QUrl>
#include <algorithm>
#include <cmath>
#include <map>
#include <optional>

#include "database/sample_database.h"
#include "hub/alarm_state.h"
#include "hub/payload_parser.h"
#include "base/log.h"

namespace orlix::hub {
namespace {

// QSettings reports no lines, so the file's text is scanned for where each
// section and key stands; the values themselves come from QSettings.
struct IniKey {
    std::string name;
    int line = 0;
    bool repeated = false;  // given twice in its section: neither is used
};

struct IniSection {
    std::string name;
    int line = 0;
    std::vector<IniKey> keys;
    bool broken = false;  // a line in it was refused
    bool twice = false;   // the name is given to two sections: neither is used
};

std::string_view trim(std::string_view s) {
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

bool isComment(std::string_view s) { return !s.empty() && (s[0] == ';' || s[0] == '#'); }

class LayoutScanner {
public:
    explicit LayoutScanner(std::vector<RuleError>& errors) : errors_(errors) {}

    std::vector<IniSection> scan(std::string_view text) {
        if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
        int lineNo = 0;
        while (!text.empty()) {
            const auto end = text.find('\n');
            std::string_view line = text.substr(0, end);
            text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
            ++lineNo;
            if (line.ends_with('\r')) line.remove_suffix(1);
            line = trim(line);
            if (line.empty() || isComment(line)) continue;
            if (line[0] == '[') section(line, lineNo);
            else key(line, lineNo);
        }
        return std::move(sections_);
    }

private:
    void error(int line, std::string message) {
        errors_.push_back({line, std::move(message)});
        if (!sections_.empty()) sections_.back().broken = true;
    }

    void section(std::string_view line, int lineNo) {
        const auto close = line.find(']');
        const std::string_view after = close == std::string_view::npos ? "" : trim(line.substr(close + 1));
        sections_.push_back({std::string(trim(line.substr(1, close - 1))), lineNo, {}, false});
        if (close == std::string_view::npos) return error(lineNo, "section header without ']'");
        if (!after.empty() && !isComment(after)) return error(lineNo, "text after the section header");
        const std::string& name = sections_.back().name;
        const auto [it, fresh] = firstIndex_.emplace(name, sections_.size() - 1);
        if (fresh) return;
        // QSettings merges the two, so neither can be read alone.
        IniSection& first = sections_[it->second];
        first.twice = sections_.back().twice = true;
        first.broken = true;
        error(lineNo, "section [" + name + "] given twice (first at line " + std::to_string(first.line) + ")");
    }

    void key(std::string_view line, int lineNo) {
        if (sections_.empty()) {
            errors_.push_back({lineNo, "key outside a section"});
            return;
        }
        const auto eq = line.find('=');
        if (eq == std::string_view::npos) return error(lineNo, "line is neither [section] nor key = value");
        const std::string name(trim(line.substr(0, eq)));
        if (name.empty()) return error(lineNo, "no key before '='");
        IniSection& s = sections_.back();
        for (IniKey& k : s.keys)
            if (k.name == name) {
                k.repeated = true;
                return error(lineNo, "key " + name + " given twice (first at line " + std::to_string(k.line) + ")");
            }
        s.keys.push_back({name, lineNo, false});
    }

    std::vector<RuleError>& errors_;
    std::vector<IniSection> sections_;
    std::map<std::string, std::size_t> firstIndex_;
};

const IniKey* findKey(const IniSection& s, std::string_view name) {
    for (const IniKey& k : s.keys)
        if (k.name == name && !k.repeated) return &k;
    return nullptr;
}

std::optional<int> columnIndex(std::string_view name) {
    for (int i = 0; i < kSampleValueColumns; ++i)
        if (kEmp1Columns[static_cast<std::size_t>(i)] == name) return i;
    return std::nullopt;
}

// local@domain, printable ASCII without blanks, quotes, brackets or commas.
bool isPlainAddress(std::string_view a) {
    const auto at = a.find('@');
    if (at == 0 || at == std::string_view::npos || at + 1 >= a.size() || a.find('@', at + 1) != a.npos) return false;
    return std::all_of(a.begin(), a.end(), [](char c) {
        return c > 0x20 && c < 0x7f && std::string_view("<>()[],;:\\\"").find(c) == std::string_view::npos;
    });
}

// Reads the values of the scanned sections through QSettings.
class RulesReader {
public:
    RulesReader(QSettings& settings, RulesLoad& out) : settings_(settings), out_(out) {}

    void read(const std::vector<IniSection>& sections) {
        for (const IniSection& s : sections)
            if (s.name.starts_with("receiver:")) receiver(s);
        for (const IniSection& s : sections) {
            if (s.name == "hub") hub(s);
            else if (s.name.starts_with("threshold:")) threshold(s);
            else if (!s.name.starts_with("receiver:"))
                error(s.line, "unknown section [" + s.name + "]; expected [hub], [receiver:NAME] or [threshold:NAME]");
        }
    }

private:
    bool error(int line, std::string message) {
        out_.errors.push_back({line, std::move(message)});
        return false;
    }

    QVariant raw(const IniSection& s, const IniKey& k) const {
        return settings_.value(QString::fromStdString(s.name + "/" + k.name));
    }

    std::optional<std::string> text(const IniSection& s, const IniKey& k) {
        const QVariant v = raw(s, k);
        if (v.typeId() == QMetaType::QStringList) {
            error(k.line, k.name + " takes one value (put it in double quotes if it holds a comma)");
            return std::nullopt;
        }
        return v.toString().toStdString();
    }

    std::vector<std::string> list(const IniSection& s, const IniKey& k) const {
        std::vector<std::string> items;
        for (const QString& item : raw(s, k).toStringList())
            if (!item.trimmed().isEmpty()) items.push_back(item.trimmed().toStdString());
        return items;
    }

    std::optional<double> number(const IniSection& s, const IniKey& k) {
        const std::optional<std::string> t = text(s, k);
        if (!t) return std::nullopt;
        bool ok = false;
        const double v = QString::fromStdString(*t).toDouble(&ok);
        if (!ok || !std::isfinite(v)) {
            error(k.line, k.name + " = " + *t + " is not a number");
            return std::nullopt;
        }
        return v;
    }

    std::optional<Micros> duration(const IniSection& s, const IniKey& k) {
        const std::optional<std::string> t = text(s, k);
        if (!t) return std::nullopt;
        const std::optional<Micros> d = parseDuration(*t);
        if (!d) error(k.line, k.name + " = " + *t + " is not a duration like 30s, 5m or 1h (at most 30 days)");
        return d;
    }

    // The names of `k`'s list that are defined receivers; false (with an
    // error) when one is not.
    bool receiverList(const IniSection& s, const IniKey& k, std::vector<std::string>& names) {
        names = list(s, k);
        bool ok = true;
        for (const std::string& n : names)
            if (out_.rules.receiver(n) == nullptr) ok = error(k.line, "unknown receiver " + n);
        return ok;
    }

    bool knownKeys(const IniSection& s, std::initializer_list<std::string_view> allowed) {
        bool ok = true;
        for (const IniKey& k : s.keys)
            if (std::find(allowed.begin(), allowed.end(), k.name) == allowed.end())
                ok = error(k.line, "unknown key " + k.name + " in [" + s.name + "]");
        return ok;
    }

    bool validName(const IniSection& s, std::string_view prefix) {
        if (isValidRuleName(std::string_view(s.name).substr(prefix.size()))) return true;
        return error(s.line, "bad name in [" + s.name + "]: use 1 to 64 of A-Z a-z 0-9 . _ -");
    }

    // A bad line in [hub] loses only its own setting.
    void hub(const IniSection& s) {
        if (s.twice) return;
        knownKeys(s, {"repeat_interval", "offline_after", "sendmail", "fault_receivers", "offline_receivers"});
        HubSettings& h = out_.rules.hub;
        if (const IniKey* k = findKey(s, "repeat_interval"))
            if (const auto d = duration(s, *k)) h.repeatIntervalUs = *d;
        if (const IniKey* k = findKey(s, "offline_after")) {
            const auto d = duration(s, *k);
            if (d && *d == 0) error(k->line, "offline_after must be more than 0");
            else if (d) h.offlineAfterUs = *d;
        }
        if (const IniKey* k = findKey(s, "sendmail")) {
            const auto t = text(s, *k);
            if (t && QProcess::splitCommand(QString::fromStdString(*t)).isEmpty()) error(k->line, "sendmail is empty");
            else if (t) h.sendmailCommand = *t;
        }
        std::vector<std::string> names;
        if (const IniKey* k = findKey(s, "fault_receivers"); k && receiverList(s, *k, names)) h.faultReceivers = names;
        if (const IniKey* k = findKey(s, "offline_receivers"); k && receiverList(s, *k, names))
            h.offlineReceivers = names;
    }

    void receiver(const IniSection& s) {
        // A section with a refused line is dropped whole.
        if (s.broken || !validName(s, "receiver:") || !knownKeys(s, {"type", "url", "to", "from"})) return;
        Receiver r;
        r.name = s.name.substr(9);
        r.line = s.line;
        const IniKey* type = findKey(s, "type");
        const std::optional<std::string> t = type ? text(s, *type) : std::nullopt;
        if (!type) return (void)error(s.line, "[" + s.name + "] has no type");
        if (!t) return;
        bool ok = true;
        if (*t == "webhook") ok = webhook(s, r);
        else if (*t == "email") ok = email(s, r);
        else if (*t == "mqtt") ok = onlyKeys(s, {"type"}, "an mqtt receiver");
        else ok = error(type->line, "type = " + *t + " is not webhook, email or mqtt");
        if (ok) out_.rules.receivers.push_back(std::move(r));
    }

    bool onlyKeys(const IniSection& s, std::initializer_list<std::string_view> allowed, const std::string& what) {
        bool ok = true;
        for (const IniKey& k : s.keys)
            if (std::find(allowed.begin(), allowed.end(), k.name) == allowed.end())
                ok = error(k.line, k.name + " does not belong to " + what);
        return ok;
    }

    bool webhook(const IniSection& s, Receiver& r) {
        r.type = ReceiverType::Webhook;
        bool ok = onlyKeys(s, {"type", "url"}, "a webhook receiver");
        const IniKey* k = findKey(s, "url");
        if (!k) return error(s.line, "[" + s.name + "] has no url");
        const std::optional<std::string> t = text(s, *k);
        if (!t) return false;
        const QUrl url(QString::fromStdString(*t), QUrl::StrictMode);
        if (!url.isValid() || (url.scheme() != "http" && url.scheme() != "https") || url.host().isEmpty())
            return error(k->line, "url = " + *t + " is not an http or https URL");
        r.url = *t;
        return ok;
    }

    bool email(const IniSection& s, Receiver& r) {
        r.type = ReceiverType::Email;
        bool ok = onlyKeys(s, {"type", "to", "from"}, "an email receiver");
        const IniKey* to = findKey(s, "to");
        const IniKey* from = findKey(s, "from");
        if (!to || !from) return error(s.line, "[" + s.name + "] needs to and from");
        r.to = list(s, *to);
        if (r.to.empty()) ok = error(to->line, "to names no address");
        for (const std::string& a : r.to)
            if (!isPlainAddress(a)) ok = error(to->line, "to: " + a + " is not an address like name@example.com");
        const std::optional<std::string> f = text(s, *from);
        if (f && !isPlainAddress(*f))
            ok = error(from->line, "from = " + *f + " is not an address like name@example.com");
        if (!f) ok = false;
        else r.from = *f;
        return ok;
    }

    bool limit(const IniSection& s, ThresholdRule& rule) {
        const IniKey* above = findKey(s, "above");
        const IniKey* below = findKey(s, "below");
        if ((above == nullptr) == (below == nullptr))
            return error(s.line, "[" + s.name + "] needs exactly one of above and below");
        rule.direction = above ? ThresholdDirection::Above : ThresholdDirection::Below;
        const std::optional<double> v = number(s, above ? *above : *below);
        if (v) rule.limit = *v;
        return v.has_value();
    }

    bool column(const IniSection& s, ThresholdRule& rule) {
        const IniKey* k = findKey(s, "value");
        if (!k) return error(s.line, "[" + s.name + "] has no value (a column name such as Pd)");
        const std::optional<std::string> t = text(s, *k);
        if (!t) return false;
        const std::optional<int> index = columnIndex(*t);
        if (!index || *index >= kSampleValueColumns) return error(k->line, "value = " + *t + " is no value column");
        rule.column = *t;
        rule.columnIndex = *index;
        return true;
    }

    bool sites(const IniSection& s, ThresholdRule& rule) {
        const IniKey* k = findKey(s, "sites");
        if (!k) return true;
        rule.sites = list(s, *k);
        rule.allSites = rule.sites.size() == 1 && rule.sites[0] == "*";
        if (rule.allSites) rule.sites.clear();
        if (!rule.allSites && rule.sites.empty()) return error(k->line, "sites names no site (use * for every site)");
        if (std::find(rule.sites.begin(), rule.sites.end(), "*") != rule.sites.end())
            return error(k->line, "sites: * stands alone, for every site");
        bool ok = true;
        for (const std::string& site : rule.sites)
            if (const std::string why = siteNameError(site); !why.empty()) ok = error(k->line, "sites: " + why);
        return ok;
    }

    void threshold(const IniSection& s) {
        if (s.broken || !validName(s, "threshold:")) return;
        bool ok = knownKeys(s, {"value", "above", "below", "on_delay", "deadband", "sites", "receivers"});
        ThresholdRule rule;
        rule.name = s.name.substr(10);
        rule.line = s.line;
        ok = column(s, rule) && ok;
        ok = limit(s, rule) && ok;
        if (const IniKey* k = findKey(s, "on_delay")) {
            const auto d = duration(s, *k);
            ok = d.has_value() && ok;
            rule.onDelayUs = d.value_or(0);
        }
        if (const IniKey* k = findKey(s, "deadband")) {
            const auto d = number(s, *k);
            if (d && *d < 0) ok = error(k->line, "deadband must not be negative");
            ok = d.has_value() && ok;
            rule.deadband = d.value_or(0);
        }
        ok = sites(s, rule) && ok;
        if (const IniKey* k = findKey(s, "receivers")) ok = receiverList(s, *k, rule.receivers) && ok;
        if (ok) out_.rules.thresholds.push_back(std::move(rule));
    }

    QSettings& settings_;
    RulesLoad& out_;
};

}  // namespace

std::string_view receiverTypeName(ReceiverType type) {
    switch (type) {
    case ReceiverType::Webhook: return "webhook";
    case ReceiverType::Email: return "email";
    case ReceiverType::Mqtt: return "mqtt";
    }
    return "mqtt";
}

const Receiver* AlarmRules::receiver(std::string_view name) const {
    for (const Receiver& r : receivers)
        if (r.name == name) return &r;
    return nullptr;
}

const ThresholdRule* AlarmRules::threshold(std::string_view name) const {
    for (const ThresholdRule& r : thresholds)
        if (r.name == name) return &r;
    return nullptr;
}

std::vector<const Receiver*> AlarmRules::receiversFor(std::string_view source) const {
    const std::vector<std::string>* names = nullptr;
    if (source == "Err" || source == "ComErr" || source == "ProtErr") names = &hub.faultReceivers;
    else if (source == kOfflineSource) names = &hub.offlineReceivers;
    else if (source.starts_with(kThresholdSourcePrefix))
        if (const ThresholdRule* r = threshold(source.substr(kThresholdSourcePrefix.size()))) names = &r->receivers;
    std::vector<const Receiver*> out;
    if (names != nullptr)
        for (const std::string& n : *names)
            if (const Receiver* r = receiver(n)) out.push_back(r);
    return out;
}

std::string RuleError::text(std::string_view path) const {
    std::string out(path);
    if (line > 0) out += ":" + std::to_string(line);
    return out + ": " + message;
}

RulesLoad loadAlarmRules(const QString& path) {
    RulesLoad load;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        load.errors.push_back({0, "cannot read the rules: " + file.errorString().toStdString()});
        return load;
    }
    const QByteArray text = file.readAll();
    LayoutScanner scanner(load.errors);
    const std::vector<IniSection> sections = scanner.scan(std::string_view(text.constData(), text.size()));
    QSettings settings(path, QSettings::IniFormat);
    if (settings.status() != QSettings::NoError) {
        // Its values cannot be trusted: nothing loads. The scan has named
        // the bad line, as a rule (an unclosed section header).
        if (load.errors.empty()) load.errors.push_back({0, "not an INI file"});
        return load;
    }
    RulesReader(settings, load).read(sections);
    std::stable_sort(load.errors.begin(), load.errors.end(),
                     [](const RuleError& a, const RuleError& b) { return a.line < b.line; });
    return load;
}

void reportRulesLoad(const RulesLoad& load, std::string_view path) {
    for (const RuleError& e : load.errors) log::warning(log::kHub, "alarm rules: " + printableText(e.text(path), '?'));
    log::info(log::kHub, "alarm rules from " + std::string(path) + ": " + std::to_string(load.rules.thresholds.size()) +
                             " threshold rules, " + std::to_string(load.rules.receivers.size()) + " receivers, " +
                             std::to_string(load.errors.size()) + " refused entries");
}

}  // namespace orlix::hub
