#include "hub/site_directory.h"

#include <QByteArray>
#include <algorithm>

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
    std::lock_guard lock(dbMutex_);
    if (const auto it = sites_.find(name); it != sites_.end()) return it->second;
    if (!connectedLocked()) return std::nullopt;
    const std::optional<std::int32_t> id = store_->siteId(name);
    if (!id) {
        error_ = store_->lastError();
        return std::nullopt;
    }
    SiteInfo info{*id, zoneOf(*id)};
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

// One transaction, one statement per site and kind of news: a few hundred
// sites every few seconds. The rows are updated in id order, the order in
// which the sample store locks them, so the two never deadlock.
bool SiteDirectory::writeLocked(const std::map<std::int32_t, News>& news) {
    PgTransaction tx(db_);
    PgResult r = tx.begun();
    for (auto it = news.begin(); r.ok() && it != news.end(); ++it) {
        const std::string id = std::to_string(it->first);
        const News& n = it->second;
        if (n.lastMessageUs > 0)
            r = db_.exec("UPDATE sites SET last_message = greatest(last_message, $2::timestamptz) WHERE id = $1",
                         {id, timestampText(n.lastMessageUs)});
        if (r.ok() && n.status)
            r = db_.exec("UPDATE sites SET status = $2 WHERE id = $1",
                         {id, *n.status == SiteStatus::Online ? "online" : "offline"});
        if (r.ok() && n.valuesUs > 0)
            r = db_.exec("INSERT INTO site_values (site, t, vals) VALUES ($1, $2, $3) ON CONFLICT (site) DO UPDATE "
                         "SET t = excluded.t, vals = excluded.vals WHERE site_values.t < excluded.t",
                         {id, timestampText(n.valuesUs), arrayText(n.values)});
    }
    if (r.ok()) r = tx.commit();
    if (!r.ok()) error_ = r.error();
    return r.ok();
}

}  // namespace orlix::hub
