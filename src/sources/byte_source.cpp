#include "sources/byte_source.h"

#include <algorithm>

namespace orlix {

void ByteSource::addListener(ReadListener* listener) {
    std::erase(listeners_, nullptr);
    if (listener && std::find(listeners_.begin(), listeners_.end(), listener) == listeners_.end())
        listeners_.push_back(listener);
}

void ByteSource::removeListener(ReadListener* listener) {
    // Left as a gap while a delivery may be walking the list; gaps are
    // skipped and dropped at the next add.
    std::replace(listeners_.begin(), listeners_.end(), listener, static_cast<ReadListener*>(nullptr));
}

// By index: a listener may add or remove listeners while it is called.
void ByteSource::deliverRead(std::span<const std::uint8_t> bytes) {
    for (std::size_t i = 0; i < listeners_.size(); ++i)
        if (ReadListener* l = listeners_[i]) l->onRead(bytes);
}

void ByteSource::deliverEvent(PortTrouble trouble) {
    for (std::size_t i = 0; i < listeners_.size(); ++i)
        if (ReadListener* l = listeners_[i]) l->onPortEvent(trouble);
}

void ByteSource::deliverUp() {
    for (std::size_t i = 0; i < listeners_.size(); ++i)
        if (ReadListener* l = listeners_[i]) l->onSourceUp();
}

}  // namespace orlix
