#pragma once
// A repeating Qt timer that keeps its ticks to the program clock (see
// TickSchedule): the windows' clock and sampling ticks stay their interval
// apart in program time also when the clock runs faster than real time.
#include <QTimer>

#include "base/clock.h"

namespace orlix {

class ProgramTimer final : public QTimer {
public:
    ProgramTimer(const Clock& clock, int intervalMs, QObject* parent);
    // The interval in program milliseconds. Setting it starts the schedule
    // afresh from now (the real timer, if running, restarts with it).
    void setProgramInterval(int ms);

private:
    TickSchedule schedule_;
};

}  // namespace orlix
