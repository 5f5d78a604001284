// Fuzzes the capture reader with arbitrary files.
//
// Input: byte 0 chooses where the file is cut for the first reading pass;
// the rest is the file. The file is read three ways, which must agree on
// every record (time, bytes) and on whether it ends incomplete or broken:
//  - as a stream from memory, in one pass;
//  - as a file on disk, in one pass;
//  - as a file on disk that grows: only a prefix is there at first, the
//    reader reads to its end, then the rest is appended and reading goes on.
// Record times must never run backwards.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "capture/capture_reader.h"
#include "base/log.h"

namespace {

using namespace orlix;

void check(bool ok) {
    if (!ok) std::abort();
}

struct Seen {
    std::vector<std::pair<std::int64_t, std::vector<std::uint8_t>>> records;
    bool failed = false;
    bool incomplete = false;
};

void readOn(CaptureReader& r, Seen& s) {
    CaptureRecord rec;
    CaptureReader::Next n;
    while ((n = r.next(rec)) == CaptureReader::Next::Record) {
        check(s.records.empty() || rec.timeUs >= s.records.back().first);
        s.records.emplace_back(rec.timeUs, std::vector<std::uint8_t>(rec.bytes.begin(), rec.bytes.end()));
    }
    s.failed = n == CaptureReader::Next::Failed;
    s.incomplete = !s.failed && r.incompleteEnd();
}

// In memory when /dev/shm is there: a file on disk that is truncated and
// rewritten is flushed to the disk on every close.
struct ScratchFile {
    std::string path = std::string(::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") + "/fuzz_capture_reader_" +
                       std::to_string(::getpid()) + ".pcap";
    ~ScratchFile() { std::remove(path.c_str()); }
};
const std::string& scratchFile() {
    static const ScratchFile file;
    return file.path;
}

void writeFile(const std::string& path, const std::uint8_t* data, std::size_t n, const char* mode) {
    if (mode[0] == 'w') std::remove(path.c_str());
    std::FILE* f = std::fopen(path.c_str(), mode);
    check(f != nullptr);
    if (n) check(std::fwrite(data, 1, n, f) == n);
    std::fclose(f);
}

void quiet(std::string_view, log::Level, std::string_view) {}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    log::setSink(&quiet);
    const std::uint8_t* file = data + 1;
    const std::size_t n = size - 1;
    const std::size_t cut = n * data[0] / 255;

    Seen fromMemory;
    {
        CaptureReader r;
        std::FILE* f = fmemopen(const_cast<std::uint8_t*>(file), n, "rb");
        if (r.openStream(f, "memory") == CaptureReader::Open::Ok) readOn(r, fromMemory);
        else fromMemory.failed = true;
        r.finish();
    }

    Seen whole;
    const std::string& path = scratchFile();
    writeFile(path, file, n, "wb");
    {
        CaptureReader r;
        const CaptureReader::Open o = r.open(path);
        if (o == CaptureReader::Open::Ok) readOn(r, whole);
        else whole.failed = true;
        // A file shorter than a header is no capture yet, and no stream is.
        check(o != CaptureReader::Open::Incomplete || n < 24);
    }
    check(whole.records == fromMemory.records);
    check(whole.failed == fromMemory.failed);
    check(whole.incomplete == fromMemory.incomplete);

    Seen grown;
    writeFile(path, file, cut, "wb");
    {
        CaptureReader r;
        CaptureReader::Open o = r.open(path);
        if (o == CaptureReader::Open::Ok) readOn(r, grown);
        writeFile(path, file + cut, n - cut, "ab");
        if (o == CaptureReader::Open::Incomplete) {
            o = r.open(path);
            grown.failed = o != CaptureReader::Open::Ok;
        }
        if (o == CaptureReader::Open::Ok && !grown.failed) readOn(r, grown);
        else grown.failed = true;
    }
    // Where the first pass stopped at a broken record the growing read
    // stops too; otherwise it must read what the one pass read.
    if (!grown.failed) {
        check(grown.records == whole.records);
        check(grown.incomplete == whole.incomplete);
    } else {
        check(grown.records.size() <= whole.records.size() || !whole.failed);
    }
    log::setSink(nullptr);
    return 0;
}
