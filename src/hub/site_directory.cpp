#include "hub/site_directory.h"

#include <QByteArray>
#include <algorithm>
#include <vector>

#include "hub/sample_store.h"

namespace orlix::hub {
namespace {

// "{1,2,...}" for a smallint[] parameter.
std::string arrayText(const std::array<std::int16_t, kValueCount>& values) {
    std::string s = "{";
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i > 0) s += ',';
        s += std::to_string(values[i]);
    }
    return s + "}";
}

// An array parameter: {"a","b",...}, each element quoted (the texts are
// ids, timestamps, the two status words and "{1,2,...}" value lists).
std::string arrayLiteral(const std::vector<std::string>& items) {
    std::string s = "{";
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i > 0) s += ',';
        s += '"';
        for (char c : items[i]) {
            if (c == '"' || c == '\\') s += '\\';
            s += c;
        }
        s += '"';
    }
    return s + "}";
}

}  // namespace

SiteDirectory::SiteDirectory(std::string conninfo) : conninfo_(std::move(conninfo)) {}

bool SiteDirectory::connectedLocked() {
    if (db_.ok()) return true;
    if (!db_.connect(conninfo_)) {
        error_ = db_.error();
        return false;
    }
    store_ = std::make_unique<SampleStore>(db_);
    return true;
}

QTimeZone SiteDirectory::zoneOf(std::int32_t id) {
    PgResult r = db_.exec("SELECT time_zone FROM sites WHERE id = $1", {std::to_string(id)});
    if (!r.ok() || r.rows() != 1 || r.isNull(0, 0)) return QTimeZone::systemTimeZone();
    const QTimeZone zone(QByteArray::fromStdString(r.text(0, 0)));
    return zone.isValid() ? zone : QTimeZone::systemTimeZone();
}

std::optional<SiteInfo> SiteDirectory::siteOf(const std::string& name) {
    {
        // A known site never waits for the database (a flush may be
        // writing meanwhile): every message asks.
        std::lock_guard lock(sitesMutex_);
        if (const auto it = sites_.find(name); it != sites_.end()) return it->second;
    }
    std::lock_guard lock(dbMutex_);
    if (!connectedLocked()) return std::nullopt;
    const std::optional<std::int32_t> id = store_->siteId(name);
    if (!id) {
        error_ = store_->lastError();
        return std::nullopt;
    }
    SiteInfo info{*id, zoneOf(*id)};
    std::lock_guard cache(sitesMutex_);
    sites_.emplace(name, info);
    return info;
}

std::string SiteDirectory::error() const {
    std::lock_guard lock(dbMutex_);
    return error_;
}

void SiteDirectory::noteMessage(std::int32_t site, Micros arrivalUs) {
    std::lock_guard lock(newsMutex_);
    News& n = news_[site];
    n.lastMessageUs = std::max(n.lastMessageUs, arrivalUs);
}

void SiteDirectory::noteStatus(std::int32_t site, SiteStatus status) {
    std::lock_guard lock(newsMutex_);
    news_[site].status = status;
}

void SiteDirectory::noteValues(std::int32_t site, Micros instantUs,
                               const std::array<std::int16_t, kValueCount>& values) {
    std::lock_guard lock(newsMutex_);
    News& n = news_[site];
    if (instantUs <= n.valuesUs) return;
    n.valuesUs = instantUs;
    n.values = values;
}

bool SiteDirectory::flush() {
    std::map<std::int32_t, News> news;
    {
        std::lock_guard lock(newsMutex_);
        news.swap(news_);
    }
    if (news.empty()) return true;
    std::lock_guard lock(dbMutex_);
    if (connectedLocked() && writeLocked(news)) return true;
    // Kept: merged with what came meanwhile, newest winning.
    std::lock_guard again(newsMutex_);
    for (const auto& [site, n] : news) {
        News& now = news_[site];
        now.lastMessageUs = std::max(now.lastMessageUs, n.lastMessageUs);
        if (!now.status) now.status = n.status;
        if (n.valuesUs > now.valuesUs) {
            now.valuesUs = n.valuesUs;
            now.values = n.values;
        }
    }
    return false;
}

// One transaction and four statements, whatever the number of sites: the
// rows are locked in id order first, the order in which the sample store
// locks them, so the two never deadlock; then each kind of news is one
// statement over arrays of (site, value).
bool SiteDirectory::writeLocked(const std::map<std::int32_t, News>& news) {
    std::vector<std::string> ids, messageIds, messageTimes, statusIds, statuses, valueIds, valueTimes, values;
    for (const auto& [site, n] : news) {
        const std::string id = std::to_string(site);
        ids.push_back(id);
        if (n.lastMessageUs > 0) {
            messageIds.push_back(id);
            messageTimes.push_back(timestampText(n.lastMessageUs));
        }
        if (n.status) {
            statusIds.push_back(id);
            statuses.push_back(*n.status == SiteStatus::Online ? "online" : "offline");
        }
        if (n.valuesUs > 0) {
            valueIds.push_back(id);
            valueTimes.push_back(timestampText(n.valuesUs));
            values.push_back(arrayText(n.values));
        }
    }
    PgTransaction tx(db_);
    PgResult r = tx.begun();
    if (r.ok())
        r = db_.exec("SELECT id FROM sites WHERE id = ANY($1::int[]) ORDER BY id FOR UPDATE", {arrayLiteral(ids)});
    if (r.ok() && !messageIds.empty())
        r = db_.exec("UPDATE sites s SET last_message = greatest(s.last_message, v.t) "
                     "FROM unnest($1::int[], $2::timestamptz[]) AS v(id, t) WHERE s.id = v.id",
                     {arrayLiteral(messageIds), arrayLiteral(messageTimes)});
    if (r.ok() && !statusIds.empty())
        r = db_.exec("UPDATE sites s SET status = v.status FROM unnest($1::int[], $2::text[]) AS v(id, status) "
                     "WHERE s.id = v.id",
                     {arrayLiteral(statusIds), arrayLiteral(statuses)});
    if (r.ok() && !valueIds.empty())
        r = db_.exec("INSERT INTO site_values (site, t, vals) "
                     "SELECT id, t, vals::smallint[] FROM unnest($1::int[], $2::timestamptz[], $3::text[]) "
                     "AS v(id, t, vals) ON CONFLICT (site) DO UPDATE "
                     "SET t = excluded.t, vals = excluded.vals WHERE site_values.t < excluded.t",
                     {arrayLiteral(valueIds), arrayLiteral(valueTimes), arrayLiteral(values)});
    if (r.ok()) r = tx.commit();
    if (!r.ok()) error_ = r.error();
    return r.ok();
}

}  // namespace orlix::hub
