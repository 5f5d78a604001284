#include "web/fleet_queries.h"

#include <QTimeZone>
#include <algorithm>
#include <cmath>
#include <map>

#include "base/json.h"
#include "hub/hub_schema.h"
#include "hub/hub_types.h"
#include "hub/sample_store.h"
#include "web/json_out.h"
#include "web/page_layout.h"

namespace orlix::web {
namespace {

using hub::Micros;
using hub::PgResult;

std::string quoted(std::string_view column) { return "\"" + std::string(column) + "\""; }

std::string msOf(const char* column) { return "(extract(epoch FROM " + std::string(column) + ") * 1000)::bigint"; }

QueryText failed(const PgResult& r) { return {false, true, {}, r.error()}; }

// The SELECT of a range: raw samples, or buckets of plan.stepUs made of the
// 5-minute summaries. `columns` are value indices; per value one column
// (raw), or the mean, or (`spread`) minimum, mean and maximum.
std::string rangeSql(const HistoryPlan& plan, const std::vector<int>& columns, bool spread, bool withLate) {
    std::string sql = "SELECT ";
    if (plan.raw) {
        sql += msOf("t");
        if (withLate) sql += ", late";
        for (const int k : columns) sql += ", " + quoted(hub::valueColumn(k));
        return sql + " FROM samples WHERE site = $1 AND t >= $2 AND t < $3 ORDER BY t";
    }
    const std::string step = std::to_string(plan.stepUs / hub::kMicrosPerSecond);
    sql += "(floor(extract(epoch FROM bucket) / " + step + ") * " + step + " * 1000)::bigint AS b, sum(n)";
    for (const int k : columns) {
        const std::string c(hub::valueColumn(k));
        if (spread) sql += ", min(" + quoted(c + "_min") + ")";
        sql += ", sum(" + quoted(c + "_sum") + ")::float8 / sum(n)";
        if (spread) sql += ", max(" + quoted(c + "_max") + ")";
    }
    return sql + " FROM summaries_5min WHERE site = $1 AND bucket >= $2 AND bucket < $3 GROUP BY b ORDER BY b";
}

PgResult rangeRows(hub::PgConnection& db, std::int32_t site, const HistoryPlan& plan, Micros fromUs, Micros toUs,
                   const std::vector<int>& columns, bool spread) {
    return db.exec(rangeSql(plan, columns, spread, plan.raw && spread),
                   {std::to_string(site), hub::timestampText(fromUs), hub::timestampText(toUs)});
}

double cellNumber(const PgResult& r, int row, int column) {
    if (r.isNull(row, column)) return NAN;
    return std::strtod(r.text(row, column).c_str(), nullptr);
}

void writeTexts(JsonOut& j, const std::map<int, std::map<std::int32_t, std::string>>& texts) {
    j.key("texts").beginObject();
    for (const auto& [k, byValue] : texts) {
        j.key(std::to_string(k)).beginObject();
        for (const auto& [v, text] : byValue) j.key(std::to_string(v)).str(text);
        j.endObject();
    }
    j.endObject();
}

// The rows as columns "t" and "values", with a point of nulls in each gap.
void writeSeries(JsonOut& j, const PgResult& r, const HistoryPlan& plan, int firstValueColumn) {
    const std::vector<int>& values = chartedValues();
    const std::int64_t stepMs = plan.stepUs / 1000;
    std::vector<std::int64_t> times;
    std::vector<int> rowOf;  // -1: a gap
    for (int i = 0; i < r.rows(); ++i) {
        const std::int64_t t = r.number(i, 0);
        if (!times.empty() && t - times.back() > stepMs * 3 / 2) {
            times.push_back(times.back() + stepMs);
            rowOf.push_back(-1);
        }
        times.push_back(t);
        rowOf.push_back(i);
    }
    j.key("t").beginArray();
    for (const std::int64_t t : times) j.integer(t);
    j.endArray();
    std::map<int, std::map<std::int32_t, std::string>> texts;
    j.key("values").beginObject();
    for (std::size_t c = 0; c < values.size(); ++c) {
        const int k = values[c];
        j.key(std::to_string(k)).beginArray();
        for (const int row : rowOf) {
            const double v = row < 0 ? NAN : cellNumber(r, row, firstValueColumn + static_cast<int>(c));
            j.num(v);
            if (std::isfinite(v)) {
                const auto rounded = static_cast<std::int32_t>(std::lround(v));
                auto& byValue = texts[k];
                if (!byValue.contains(rounded)) byValue.emplace(rounded, readoutText(k, rounded));
            }
        }
        j.endArray();
    }
    j.endObject();
    writeTexts(j, texts);
}

}  // namespace

HistoryPlan planHistory(Micros fromUs, Micros toUs) {
    const Micros span = std::max<Micros>(toUs - fromUs, 0);
    if (span <= kRawRangeUs) return {true, kRawStepUs};
    const std::int64_t buckets = (span + kSummaryStepUs - 1) / kSummaryStepUs;
    const std::int64_t merge = std::max<std::int64_t>(1, (buckets + kMaxPoints - 1) / kMaxPoints);
    return {false, merge * kSummaryStepUs};
}

std::optional<std::int32_t> siteIdOf(hub::PgConnection& db, const std::string& site, std::string& error) {
    const PgResult r = db.exec("SELECT id FROM sites WHERE name = $1", {site});
    if (!r.ok()) error = r.error();
    if (!r.ok() || r.rows() != 1) return std::nullopt;
    return static_cast<std::int32_t>(r.number(0, 0));
}

QueryText samplesJson(hub::PgConnection& db, const std::string& site, Micros fromUs, Micros toUs) {
    std::string error;
    const std::optional<std::int32_t> id = siteIdOf(db, site, error);
    if (!id) return {error.empty(), false, {}, error};
    const HistoryPlan plan = planHistory(fromUs, toUs);
    const PgResult r = rangeRows(db, *id, plan, fromUs, toUs, chartedValues(), false);
    if (!r.ok()) return failed(r);
    JsonOut j;
    j.beginObject().field("site", site).field("from", fromUs / 1000).field("to", toUs / 1000);
    j.field("resolution", plan.raw ? "raw" : "summary").field("step", plan.stepUs / 1000);
    writeSeries(j, r, plan, plan.raw ? 1 : 2);
    j.endObject();
    return {true, true, j.take(), {}};
}

QueryText samplesCsv(hub::PgConnection& db, const std::string& site, Micros fromUs, Micros toUs) {
    std::string error;
    const std::optional<std::int32_t> id = siteIdOf(db, site, error);
    if (!id) return {error.empty(), false, {}, error};
    const HistoryPlan plan = planHistory(fromUs, toUs);
    std::vector<int> all(hub::kValueCount);
    for (int i = 0; i < hub::kValueCount; ++i) all[static_cast<std::size_t>(i)] = i;
    const PgResult r = rangeRows(db, *id, plan, fromUs, toUs, all, true);
    if (!r.ok()) return failed(r);
    std::string csv = plan.raw ? "time,late" : "time,n";
    for (const int k : all) {
        const std::string c(hub::valueColumn(k));
        csv += plan.raw ? "," + c : "," + c + "_min," + c + "_mean," + c + "_max";
    }
    csv += '\n';
    const QTimeZone zone = QTimeZone::systemTimeZone();
    for (int i = 0; i < r.rows(); ++i) {
        appendCsvField(csv, hub::isoInstantText(r.number(i, 0) * 1000, zone));
        for (int c = 1; c < r.columns(); ++c) {
            csv += ',';
            appendCsvField(csv, r.text(i, c));
        }
        csv += '\n';
    }
    return {true, true, std::move(csv), {}};
}

}  // namespace orlix::web
