#include "comm/receive_path.h"

#include <algorithm>

namespace orlix {

ReceivePath::ReceivePath(const Clock& clock) : decoder_(board_, store_, clock, this), receiver_(decoder_) {
    for (std::size_t n = 0; n < 3; ++n) store_.FaultStatus[n] = "Normal";
}

void ReceivePath::addErrorSink(ErrorMemorySink* sink) {
    if (sink && std::find(sinks_.begin(), sinks_.end(), sink) == sinks_.end()) sinks_.push_back(sink);
}

void ReceivePath::removeErrorSink(ErrorMemorySink* sink) { std::erase(sinks_, sink); }

void ReceivePath::addErrorEntry(int list, const std::string& entry) {
    for (ErrorMemorySink* s : sinks_) s->addErrorEntry(list, entry);
}

}  // namespace orlix
