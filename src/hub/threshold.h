#pragma once
// Threshold rules on one sample value, evaluated per (site, rule) on every
// new sample with its instant. A rule raises its alarm
// ("threshold:<name>") once the value has been past the limit for the
// on-delay, and clears it once the value is back past the deadband:
//
//   above: holds while value >  limit; clears at value <= limit - deadband
//   below: holds while value <  limit; clears at value >= limit + deadband
//
// The on-delay runs from the first sample that holds; a sample that does
// not hold starts it again. A delay of 0 raises on the first such sample.
// Limits and deadbands are in the stored units of the column, as the
// database and the `sample` payload carry them.
//
// The per-(site, rule) state is plain data the office keeps with the alarm.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "hub/hub_time.h"

namespace orlix::hub {

enum class ThresholdDirection { Above, Below };

struct ThresholdRule {
    std::string name;      // the alarm source is "threshold:" + name
    std::string column;    // a value column of emp1, e.g. "Pd"
    int columnIndex = 0;   // its index among the 50 values
    ThresholdDirection direction = ThresholdDirection::Above;
    double limit = 0;
    double deadband = 0;   // >= 0
    Micros onDelayUs = 0;
    bool allSites = true;  // else only `sites`
    std::vector<std::string> sites;
    std::vector<std::string> receivers;  // notified of this rule's alarms
    int line = 0;          // the line of its section in the rules file
};

// Whether the rule watches `site`.
bool ruleAppliesTo(const ThresholdRule& rule, std::string_view site);

// What the rule has seen at one site.
struct ThresholdTrack {
    bool active = false;    // raised and not yet cleared
    bool pending = false;   // holds, waiting for the on-delay
    Micros holdsSinceUs = 0;
    Micros lastSampleUs = 0;  // samples at or before it are old news (0: none yet)
};

enum class ThresholdOutcome { None, Raise, Clear };

// Feeds one sample value; a sample not newer than the last one seen (a
// repeat delivery, a late straggler) changes nothing.
ThresholdOutcome evaluateThreshold(const ThresholdRule& rule, ThresholdTrack& track, double value, Micros atUs);

// The alarm's message for a raise: "Pd = 2600, above 2500 for 30 s".
std::string thresholdMessage(const ThresholdRule& rule, double value);

}  // namespace orlix::hub
