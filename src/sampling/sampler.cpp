#include "sampling/sampler.h"

#include <algorithm>

namespace orlix {

Sampler::Sampler(const std::array<std::int32_t, 52>& live)
    : live_(live), buffers_(std::make_unique<LiveBuffers>()), core_(*buffers_) {}

void Sampler::tick(DateTime now) {
    const std::int32_t before = buffers_->SampleCount;
    const bool batchDue = core_.tick(live_, now);
    const SampleTick t{*buffers_, live_, now, before, batchDue};
    for (std::size_t i = 0; i < listeners_.size(); ++i) listeners_[i]->onSample(t);
}

void Sampler::addListener(SampleListener* listener) {
    if (listener && std::find(listeners_.begin(), listeners_.end(), listener) == listeners_.end())
        listeners_.push_back(listener);
}

void Sampler::removeListener(SampleListener* listener) { std::erase(listeners_, listener); }

}  // namespace orlix
