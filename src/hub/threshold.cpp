#include "hub/threshold.h"

#include <algorithm>
#include <charconv>

namespace orlix::hub {
namespace {

bool holds(const ThresholdRule& r, double v) {
    return r.direction == ThresholdDirection::Above ? v > r.limit : v < r.limit;
}

bool backPastDeadband(const ThresholdRule& r, double v) {
    return r.direction == ThresholdDirection::Above ? v <= r.limit - r.deadband : v >= r.limit + r.deadband;
}

// The shortest text that reads back as v ("2500", "12.5").
std::string numberText(double v) {
    char buf[32];
    const auto res = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, res.ptr);
}

std::string durationText(Micros us) {
    const Micros s = us / kMicrosPerSecond;
    if (s != 0 && s % 3600 == 0) return std::to_string(s / 3600) + " h";
    if (s != 0 && s % 60 == 0) return std::to_string(s / 60) + " min";
    return std::to_string(s) + " s";
}

}  // namespace

bool ruleAppliesTo(const ThresholdRule& rule, std::string_view site) {
    return rule.allSites || std::find(rule.sites.begin(), rule.sites.end(), site) != rule.sites.end();
}

ThresholdOutcome evaluateThreshold(const ThresholdRule& rule, ThresholdTrack& track, double value, Micros atUs) {
    if (track.lastSampleUs != 0 && atUs <= track.lastSampleUs) return ThresholdOutcome::None;
    track.lastSampleUs = atUs;
    if (track.active) {
        if (!backPastDeadband(rule, value)) return ThresholdOutcome::None;
        track.active = false;
        track.pending = false;
        return ThresholdOutcome::Clear;
    }
    if (!holds(rule, value)) {
        track.pending = false;
        return ThresholdOutcome::None;
    }
    if (!track.pending) {
        track.pending = true;
        track.holdsSinceUs = atUs;
    }
    if (atUs - track.holdsSinceUs < rule.onDelayUs) return ThresholdOutcome::None;
    track.pending = false;
    track.active = true;
    return ThresholdOutcome::Raise;
}

std::string thresholdMessage(const ThresholdRule& rule, double value) {
    std::string m = rule.column + " = " + numberText(value) +
                    (rule.direction == ThresholdDirection::Above ? ", above " : ", below ") + numberText(rule.limit);
    if (rule.onDelayUs > 0) m += " for " + durationText(rule.onDelayUs);
    return m;
}

}  // namespace orlix::hub
