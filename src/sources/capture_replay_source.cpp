#include "sources/capture_replay_source.h"

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "base/log.h"

namespace orlix {

namespace {

using SteadyClock = std::chrono::steady_clock;

// Longest single wait; a longer one is taken in steps (the timer's range).
constexpr std::int64_t kMaxWaitMs = 3'600'000;

}  // namespace

CaptureReplaySource::CaptureReplaySource(std::string path, ReplayClock* clock, double timeScale, QObject* parent)
    : QObject(parent), clock_(clock), scale_(timeScale > 0 ? timeScale : 1.0), path_(std::move(path)) {
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, [this] { pump(); });
}

CaptureReplaySource::~CaptureReplaySource() {
    timer_.stop();
    if (clock_ && started_) clock_->end();
}

// Back to the start of the file (the next open reads it anew).
void CaptureReplaySource::reset() {
    timer_.stop();
    if (clock_ && started_) clock_->end();
    reader_.reset();
    next_.reset();
    schedule_ = SampleSchedule{};
    finished_ = started_ = false;
    endSince_.reset();
    positionUs_ = anchorUs_ = 0;
    played_ = 0;
}

bool CaptureReplaySource::openReader() {
    auto reader = std::make_unique<CaptureReader>();
    const CaptureReader::Open r = reader->open(path_);
    if (r == CaptureReader::Open::Failed) {
        openError_ = reader->error();
        return false;
    }
    // A file shorter than its header may be one just being started: it is
    // read again at the next pass.
    if (r == CaptureReader::Open::Ok) reader_ = std::move(reader);
    return true;
}

OpenResult CaptureReplaySource::open() {
    if (open_) return OpenResult::AlreadyOpen;
    openError_.clear();
    if (finished_) reset();
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path_, ec)) {
        openError_ = "no such capture file";
        return OpenResult::Failed;
    }
    if (!reader_ && !openReader()) return OpenResult::Failed;
    open_ = true;
    log::info(log::kCapture, "replaying " + path_ + (played_ ? " from where it stood" : ""));
    // The replay goes on from where it stood: its time runs again from there.
    if (started_) {
        anchorAt(positionUs_);
        if (clock_) clock_->at(positionUs_, positionUs_);
    }
    timer_.start(0);
    return OpenResult::Ok;
}

bool CaptureReplaySource::close() {
    if (!open_) return true;
    open_ = false;
    timer_.stop();
    if (started_) {
        // The time reached (between two records) is kept for the resume.
        positionUs_ = std::max(positionUs_, clock_ && clock_->replaying() ? clock_->captureNowUs() : positionUs_);
        if (clock_) clock_->hold();
    }
    return true;
}

void CaptureReplaySource::anchorAt(std::int64_t us) {
    anchorUs_ = us;
    anchorSteady_ = SteadyClock::now();
}

// The capture time the replay has reached by now: the anchor advanced by the
// real time since, at the time scale.
std::int64_t CaptureReplaySource::targetUs() const {
    const double realUs = std::chrono::duration<double, std::micro>(SteadyClock::now() - anchorSteady_).count();
    return anchorUs_ + static_cast<std::int64_t>(std::floor(std::max(0.0, realUs) * scale_));
}

void CaptureReplaySource::pump() {
    if (!open_) return;
    if (!reader_) {
        if (!openReader()) {
            finish(openError_);
            return;
        }
        if (!reader_ && !fetch()) return;  // still no header: fetch() waits or ends
    }
    for (int budget = kEventsPerPass; budget > 0; --budget) {
        if (!next_ && !fetch()) return;
        const std::int64_t t = next_->timeUs;
        if (!started_) {
            started_ = true;
            positionUs_ = t;
            anchorAt(t);
            if (clock_) clock_->begin(t);
        } else if (t - positionUs_ > kMaxTickGapUs) {
            // A capture paused for days goes on at once after the gap.
            anchorAt(t);
        }
        const std::int64_t target = targetUs();
        switch (schedule_.before(t, !next_->bytes.empty())) {
            case SampleSchedule::Before::Restart:
                schedule_.restart(t);
                continue;
            case SampleSchedule::Before::Tick:
                if (schedule_.nextTickUs() > target) return waitFor(schedule_.nextTickUs());
                takeTick(schedule_.nextTickUs());
                break;
            case SampleSchedule::Before::Feed:
                if (t > target) return waitFor(t);
                release();
                break;
        }
        if (!open_) return;  // a handler stopped the replay
    }
    timer_.start(0);
}

// Reads the next record into next_. False when none follows now: the pass
// ends, and a later one is set (the file may grow) or the replay ends.
bool CaptureReplaySource::fetch() {
    CaptureRecord rec;
    const CaptureReader::Next r = reader_ ? reader_->next(rec) : CaptureReader::Next::End;
    if (r == CaptureReader::Next::Record) {
        next_ = Record{rec.timeUs, {rec.bytes.begin(), rec.bytes.end()}, rec.portEvent()};
        endSince_.reset();
        return true;
    }
    if (r == CaptureReader::Next::Failed) {
        finish(reader_->error());
        return false;
    }
    const auto now = SteadyClock::now();
    if (!endSince_) endSince_ = now;
    if (now - *endSince_ >= std::chrono::milliseconds(endQuietMs_)) {
        finish("end of the capture");
        return false;
    }
    if (clock_ && started_) clock_->at(positionUs_, positionUs_);
    timer_.start(kEndPollMs);
    return false;
}

void CaptureReplaySource::release() {
    Record rec = std::move(*next_);
    next_.reset();
    positionUs_ = rec.timeUs;
    schedule_.fed(rec.timeUs, !rec.bytes.empty());
    ++played_;
    if (clock_) clock_->at(rec.timeUs, rec.timeUs);
    if (rec.event) {
        troubleText_ = "a port event recorded in the capture";
        deliverEvent(PortTrouble::Other);
        return;
    }
    if (!rec.bytes.empty()) deliverRead(rec.bytes);
}

void CaptureReplaySource::takeTick(std::int64_t us) {
    positionUs_ = us;
    schedule_.advance();
    if (clock_) {
        clock_->at(us, us);
        clock_->sampleTick();
    }
}

// Waits for the event at `eventUs`; the clock runs meanwhile, short of it.
void CaptureReplaySource::waitFor(std::int64_t eventUs) {
    const std::int64_t target = std::max(positionUs_, targetUs());
    if (clock_) clock_->at(std::min(target, eventUs - 1), eventUs - 1);
    const double realMs = static_cast<double>(eventUs - target) / scale_ / 1000.0;
    const auto ms = static_cast<std::int64_t>(std::ceil(std::max(0.0, realMs)));
    timer_.start(static_cast<int>(std::min(ms, kMaxWaitMs)));
}

// The end of the capture: the ticks still due at the last record's time,
// then the port is lost for good.
void CaptureReplaySource::finish(const std::string& why) {
    timer_.stop();
    while (open_ && schedule_.tickDueAtEnd()) takeTick(schedule_.nextTickUs());
    if (reader_) reader_->finish();  // logs an incomplete last record
    finished_ = true;
    log::info(log::kCapture, "replay of " + path_ + " ended after " + std::to_string(played_) + " records");
    if (clock_ && started_) clock_->end();
    troubleText_ = why;
    if (open_) deliverEvent(PortTrouble::Lost);
}

}  // namespace orlix
