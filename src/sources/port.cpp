#include "sources/port.h"

#include <algorithm>
#include <cctype>

namespace orlix {

Port::Port(SourceRegistry registry) : registry_(std::move(registry)) {}

Port::~Port() {
    if (source_) source_->removeListener(this);
}

void Port::setPath(const std::string& path) {
    path_ = path;
    pathKind_ = sourceKindOf(path);
}

void Port::setBaudRate(int baud) {
    baud_ = baud;
    if (source_) source_->setBaudRate(baud);
}

void Port::addListener(ReadListener* listener) {
    if (std::find(listeners_.begin(), listeners_.end(), listener) != listeners_.end()) return;
    listeners_.push_back(listener);
    if (source_) source_->addListener(listener);
}

void Port::removeListener(ReadListener* listener) {
    std::erase(listeners_, listener);
    if (source_) source_->removeListener(listener);
}

std::string Port::shownPath() const {
    if (source_ && madeFor_ == path_) return source_->name();
    return sourceKindOf(path_) == SourceKind::RemoteSite ? std::string("a remote site") : path_;
}

bool Port::makeSource() {
    // A path that can never be opened makes no source (and so is no retry).
    if (std::string why = unusablePort(path_); !why.empty()) {
        openError_ = std::move(why);
        return false;
    }
    std::string error;
    std::unique_ptr<ByteSource> made = registry_.make(path_, error);
    if (!made) {
        openError_ = error;
        return false;
    }
    source_ = std::move(made);
    madeFor_ = path_;
    kind_ = sourceKindOf(path_);
    // Another path: its first failure is news, and opening it is no reconnect.
    lost_ = false;
    failedOpens_ = 0;
    openFailures_.reset();
    portErrors_.reset();
    source_->addListener(this);
    for (ReadListener* l : listeners_) source_->addListener(l);
    return true;
}

OpenResult Port::open() {
    if (isOpen()) return OpenResult::AlreadyOpen;
    openError_.clear();
    pathKind_ = sourceKindOf(path_);
    if ((!source_ || madeFor_ != path_) && !makeSource()) {
        if (const auto line = openFailures_.pass("cannot open " + shownPath() + ": " + openError_))
            log::warning(category(), *line);
        return OpenResult::Failed;
    }
    source_->setBaudRate(baud_);
    const OpenResult r = source_->open();
    if (r == OpenResult::Ok) {
        logOpened();
    } else if (r == OpenResult::Failed) {
        ++failedOpens_;
        openError_ = source_->openError();
        std::string why = "cannot open " + source_->name() + ": " + openError_;
        if (const std::string hint = source_->openFailureHint(); !hint.empty()) why += ". " + hint;
        if (const auto line = openFailures_.pass(why)) log::warning(category(), *line);
    }
    return r;
}

void Port::logOpened() {
    const std::string after =
        failedOpens_ > 0 ? " after " + std::to_string(failedOpens_) + " failed attempts" : std::string();
    if (lost_)
        log::info(category(), "reconnected to " + source_->name() + after);
    else if (kind_ == SourceKind::Serial)
        log::info(category(), "opened " + source_->name() + " read-only at " + std::to_string(baud_) + " baud" + after);
    lost_ = false;
    failedOpens_ = 0;
    openFailures_.reset();
    portErrors_.reset();
}

bool Port::close() {
    if (!source_ || !source_->isOpen()) return true;
    if (!source_->close()) {
        log::warning(category(), "cannot close " + source_->name());
        return false;
    }
    if (kind_ == SourceKind::Serial) log::info(category(), "closed " + source_->name());
    for (std::size_t i = 0; i < listeners_.size(); ++i) listeners_[i]->onPortClosed();
    return true;
}

void Port::discardSource() {
    if (!source_) return;
    close();
    source_->removeListener(this);
    source_.reset();
    madeFor_.clear();
}

std::string Port::openFailureHint() const {
    // A kind this program has no maker for: say so, with the path.
    if (!source_ || madeFor_ != path_) {
        if (openError_.empty()) return {};
        std::string hint = openError_ + ": " + shownPath();
        hint[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(hint[0])));
        return hint;
    }
    return source_->openFailureHint();
}

void Port::onPortEvent(PortTrouble trouble) {
    if (trouble == PortTrouble::Other) {
        // A replayed capture plays back the events recorded in it: no news.
        if (kind_ != SourceKind::Serial) return;
        if (const auto line = portErrors_.pass("error on " + source_->name() + " (" + source_->troubleText() + ")"))
            log::warning(category(), *line);
        return;
    }
    // A replay at its end has said so itself; that is no loss to report.
    if (lost_ || source_->atEnd()) return;
    lost_ = true;
    log::warning(category(), "lost " + source_->name() + " (" + source_->troubleText() + ")");
}

}  // namespace orlix
