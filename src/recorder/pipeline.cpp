#include "recorder/pipeline.h"

namespace orlix {
namespace {

SourceSettings withClock(SourceSettings s, ReplayClock& clock) {
    s.clock = &clock;
    return s;
}

}  // namespace

Pipeline::Pipeline(const Clock& normal, const SourceSettings& sources)
    : clock_(normal),
      port_(standardSources(withClock(sources, clock_))),
      receive_(std::make_unique<ReceivePath>(clock_)),
      sampler_(std::make_unique<Sampler>(receive_->store().LiveValues)),
      sampleTimer_(clock_, kSampleIntervalMs, this) {
    wire();
}

Pipeline::Pipeline(const Clock& normal, SourceRegistry registry)
    : clock_(normal),
      port_(std::move(registry)),
      receive_(std::make_unique<ReceivePath>(clock_)),
      sampler_(std::make_unique<Sampler>(receive_->store().LiveValues)),
      sampleTimer_(clock_, kSampleIntervalMs, this) {
    wire();
}

Pipeline::~Pipeline() {
    clock_.setSampleTick(nullptr);
    port_.removeListener(&capture_);
    port_.removeListener(receive_.get());
}

void Pipeline::wire() {
    // The capture hears of a read before the receive path, so that a port
    // event lands in the file in the order it came.
    port_.addListener(&capture_);
    port_.addListener(receive_.get());
    clock_.setSampleTick([this] { sampleTick(); });
    sampleTimer_.setObjectName(QStringLiteral("Timer1"));
    // A capture as the port takes the ticks itself, at its own instants, from
    // its first record to its last: none of the timer's before, between or
    // after, also while the replay pauses or has ended.
    connect(&sampleTimer_, &QTimer::timeout, this, [this] {
        if (!clock_.ticksElsewhere() && port_.kind() != SourceKind::Capture) sampleTick();
    });
    capturePoll_.setInterval(1000);
    connect(&capturePoll_, &QTimer::timeout, this, [this] { capture_.poll(); });
}

void Pipeline::startSampling() {
    if (sampling_) return;
    sampling_ = true;
    sampleTimer_.start();
}

void Pipeline::sampleTick() { sampler_->tick(clock_.now()); }

bool Pipeline::startCapture(const std::string& target) {
    capturePoll_.start();
    // Program times and wall-clock times never mix in one file: a run at
    // another time scale always starts a file of its own.
    return capture_.start(target, clock_.timeScale() == 1.0);
}

bool Pipeline::stopCapture() {
    capturePoll_.stop();
    return capture_.stop();
}

}  // namespace orlix
