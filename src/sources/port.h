#pragma once
// The program's port: the path the user chose (a list item of the monitor,
// --port of the recorder), the source it names, made by the registry, and
// the listeners every read goes to. The monitor, the analyzer and the
// recorder hold one Port and never know which kind of source they read.
//
// The source is made at open() for a path it has not been made for, and
// kept while the path stays (a paused replay goes on from where it stood; a
// device keeps its count of failed attempts). The listeners are added to
// each source made, after the port's own, so a read goes from the source
// straight to each of them.
//
// The port says once what happens to it, in the log category of its kind
// (orlix.serial, orlix.capture, orlix.mqtt): an open that fails (with the
// cause, repeats counted), a loss (with the cause), a reconnect after
// failed attempts, a device opened and closed, a port error. The sources
// themselves log nothing of this, and neither do the programs above.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/log.h"
#include "sources/byte_source.h"
#include "sources/source_registry.h"

namespace orlix {

class Port final : private ReadListener {
public:
    explicit Port(SourceRegistry registry);
    ~Port() override;
    Port(const Port&) = delete;
    Port& operator=(const Port&) = delete;

    // Takes effect at the next open.
    void setPath(const std::string& path);
    const std::string& path() const { return path_; }
    // The kind of source the path names (as it was at setPath or the last
    // open).
    SourceKind kind() const { return pathKind_; }
    void setBaudRate(int baud);
    int baudRate() const { return baud_; }

    void addListener(ReadListener* listener);
    void removeListener(ReadListener* listener);

    OpenResult open();
    bool close();
    // Closes and drops the source: the next open makes a new one, which
    // reads its settings (a password file) again. Not from within an
    // event of the source.
    void discardSource();
    bool isOpen() const { return source_ && source_->isOpen(); }
    bool atEnd() const { return source_ && source_->atEnd(); }
    // The source's last loss needs the user (ByteSource::lostForGood), and
    // what it was.
    bool lostForGood() const { return source_ && source_->lostForGood(); }
    std::string troubleText() const { return source_ ? source_->troubleText() : std::string(); }
    // Why the last open failed ("" after a success), and what the user can
    // do about it.
    std::string openError() const { return openError_; }
    std::string openFailureHint() const;
    // The source in use (made at an open), or null.
    ByteSource* source() const { return source_.get(); }
    // The path for messages: a remote site without its credentials.
    std::string shownPath() const;

private:
    void onRead(std::span<const std::uint8_t>) override {}
    void onPortEvent(PortTrouble trouble) override;
    bool makeSource();
    void logOpened();
    const char* category() const { return logCategoryOf(kind_); }

    SourceRegistry registry_;
    std::unique_ptr<ByteSource> source_;
    std::string madeFor_;  // the path source_ was made for
    SourceKind kind_ = SourceKind::Serial;      // of source_
    SourceKind pathKind_ = SourceKind::Serial;  // of path_
    std::vector<ReadListener*> listeners_;
    std::string path_;
    int baud_ = 1200;
    std::string openError_;
    bool lost_ = false;    // the source was lost since its last open
    int failedOpens_ = 0;  // since the last successful open
    log::RepeatFilter openFailures_, portErrors_;
};

}  // namespace orlix
