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

CaptureReplayPort::CaptureReplayPort(ReplayClock* clock, double timeScale, QObject* parent)
    : QObject(parent), clock_(clock), scale_(timeScale > 0 ? timeScale : 1.0) {
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, [this] { pump(); });
}

CaptureReplayPort::~CaptureReplayPort() {
    timer_.stop();
    if (clock_ && started_) clock_->end();
}

void CaptureReplayPort::setPortPath(const std::string& path) {
    if (path == path_) return;
    path_ = path;
    if (!open_) reset();
}

// Back to the start of the file (the next open reads it anew).
void CaptureReplayPort::reset() {
    timer_.stop();
    if (clock_ && started_) clock_->end();
    reader_.reset();
    next_.reset();
    schedule_ = SampleSchedule{};
    pending_.clear();
    finished_ = started_ = false;
    endSince_.reset();
    positionUs_ = anchorUs_ = 0;
    played_ = 0;
    ticks_ = 0;
}

bool CaptureReplayPort::openReader() {
    auto reader = std::make_unique<CaptureReader>();
    const CaptureReader::Open r = reader->open(path_);
    if (r == CaptureReader::Open::Failed) {
        hint_ = reader->error();
        return false;
    }
    // A file shorter than its header may be one just being started: it is
    // read again at the next pass.
    if (r == CaptureReader::Open::Ok) reader_ = std::move(reader);
    return true;
}

OpenResult CaptureReplayPort::open() {
    if (open_) return OpenResult::AlreadyOpen;
    hint_.clear();
    if (finished_) reset();
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path_, ec)) {
        hint_ = "No capture file " + path_;
        log::failure(log::kCapture, "cannot replay " + path_ + ": no such file");
        return OpenResult::Failed;
    }
    if (!reader_ && !openReader()) {
        log::failure(log::kCapture, "cannot replay " + path_ + ": " + hint_);
        return OpenResult::Failed;
    }
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

bool CaptureReplayPort::close() {
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

std::vector<std::uint8_t> CaptureReplayPort::readAll() {
    std::vector<std::uint8_t> out;
    out.swap(pending_);
    return out;
}

void CaptureReplayPort::anchorAt(std::int64_t us) {
    anchorUs_ = us;
    anchorSteady_ = SteadyClock::now();
}

// The capture time the replay has reached by now: the anchor advanced by the
// real time since, at the time scale.
std::int64_t CaptureReplayPort::targetUs() const {
    const double realUs = std::chrono::duration<double, std::micro>(SteadyClock::now() - anchorSteady_).count();
    return anchorUs_ + static_cast<std::int64_t>(std::floor(std::max(0.0, realUs) * scale_));
}

void CaptureReplayPort::pump() {
    if (!open_) return;
    if (!reader_) {
        if (!openReader()) {
            log::failure(log::kCapture, "cannot replay " + path_ + ": " + hint_);
            finish();
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
        switch (schedule_.before(t)) {
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
bool CaptureReplayPort::fetch() {
    CaptureRecord rec;
    const CaptureReader::Next r = reader_ ? reader_->next(rec) : CaptureReader::Next::End;
    if (r == CaptureReader::Next::Record) {
        next_ = Record{rec.timeUs, {rec.bytes.begin(), rec.bytes.end()}, rec.portEvent()};
        endSince_.reset();
        return true;
    }
    if (r == CaptureReader::Next::Failed) {
        log::failure(log::kCapture, "replay of " + path_ + " stops: " + reader_->error());
        finish();
        return false;
    }
    const auto now = SteadyClock::now();
    if (!endSince_) endSince_ = now;
    if (now - *endSince_ >= std::chrono::milliseconds(endQuietMs_)) {
        finish();
        return false;
    }
    if (clock_ && started_) clock_->at(positionUs_, positionUs_);
    timer_.start(kEndPollMs);
    return false;
}

void CaptureReplayPort::release() {
    Record rec = std::move(*next_);
    next_.reset();
    positionUs_ = rec.timeUs;
    schedule_.fed(rec.timeUs);
    ++played_;
    if (clock_) clock_->at(rec.timeUs, rec.timeUs);
    if (rec.event) {
        if (onTrouble) onTrouble(PortTrouble::Other);
        return;
    }
    if (rec.bytes.empty()) return;
    pending_.insert(pending_.end(), rec.bytes.begin(), rec.bytes.end());
    if (onReadyRead) onReadyRead();
}

void CaptureReplayPort::takeTick(std::int64_t us) {
    positionUs_ = us;
    schedule_.advance();
    ++ticks_;
    if (clock_) {
        clock_->at(us, us);
        clock_->sampleTick();
    }
}

// Waits for the event at `eventUs`; the clock runs meanwhile, short of it.
void CaptureReplayPort::waitFor(std::int64_t eventUs) {
    const std::int64_t target = std::max(positionUs_, targetUs());
    if (clock_) clock_->at(std::min(target, eventUs - 1), eventUs - 1);
    const double realMs = static_cast<double>(eventUs - target) / scale_ / 1000.0;
    const auto ms = static_cast<std::int64_t>(std::ceil(std::max(0.0, realMs)));
    timer_.start(static_cast<int>(std::min(ms, kMaxWaitMs)));
}

// The end of the capture: the ticks still due at the last record's time,
// then the port is lost for good.
void CaptureReplayPort::finish() {
    timer_.stop();
    while (open_ && schedule_.tickDueAtEnd()) takeTick(schedule_.nextTickUs());
    if (reader_) reader_->finish();  // logs an incomplete last record
    finished_ = true;
    log::info(log::kCapture, "replay of " + path_ + " ended after " + std::to_string(played_) + " records");
    if (clock_ && started_) clock_->end();
    if (open_ && onTrouble) onTrouble(PortTrouble::Lost);
}

}  // namespace orlix
