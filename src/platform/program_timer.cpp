#include "platform/program_timer.h"

namespace orlix {

ProgramTimer::ProgramTimer(const Clock& clock, int intervalMs, QObject* parent)
    : QTimer(parent), schedule_(clock, intervalMs) {
    // The default coarse timer may fire several per cent early; the schedule
    // corrects drift, the precise timer keeps each single wait.
    setTimerType(Qt::PreciseTimer);
    setProgramInterval(intervalMs);
    // Connected first, so the next wait is set before the window's handler
    // runs (a handler that takes long does not delay the next tick).
    connect(this, &QTimer::timeout, this, [this] { setInterval(schedule_.next()); });
}

void ProgramTimer::setProgramInterval(int ms) { setInterval(schedule_.start(ms)); }

}  // namespace orlix
