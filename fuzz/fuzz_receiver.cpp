// Fuzzes the receiver and both decoders with arbitrary reads.
//
// Input: byte 0 holds options (bit 0: empty the fields at every port event,
// as the "Cls" button does). Then, repeatedly, a control byte: 0xF0 and above
// is a non-receive port event; any other value c hands the next c % 80 + 1
// bytes to the receiver as one read.
//
// Two pipelines run side by side: one as the monitor runs it, one whose
// decoder is told to rewrite every field after each frame. Both must agree on
// every field, colour, live value and error entry, and the receiver's state
// must stay in its range.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "comm/frame_receiver.h"

namespace {

using namespace orlix;

struct Entries : ErrorMemorySink {
    std::vector<std::pair<int, std::string>> list;
    void addErrorEntry(int n, const std::string& e) override { list.emplace_back(n, e); }
};

struct Pipeline : FrameObserver {
    FieldBoard board;
    LiveStore store;
    Entries entries;
    FrameDecoder decoder;
    FrameReceiver receiver{decoder};
    bool rewriteEachFrame;
    std::vector<std::pair<int, bool>> checks;

    Pipeline(const Clock& clock, bool rewrite) : decoder(board, store, clock, &entries), rewriteEachFrame(rewrite) {
        for (int n = 0; n < 3; ++n) store.FaultStatus[static_cast<std::size_t>(n)] = "Normal";
    }
    void onChecksum(int kind, bool good) override {
        checks.emplace_back(kind, good);
        if (rewriteEachFrame) decoder.invalidate();
    }
};

void check(bool ok) {
    if (!ok) std::abort();
}

// After each read: what changed, the live values and the receiver's state.
void compareStep(Pipeline& a, Pipeline& b) {
    check(a.board.takeChanged() == b.board.takeChanged());
    check(a.store.LiveValues == b.store.LiveValues);
    check(a.entries.list.size() == b.entries.list.size());
    check(a.checks.size() == b.checks.size());
    check(a.receiver.numText() == b.receiver.numText());
    check(a.receiver.checkText() == b.receiver.checkText());
    const FrameReceiver& r = a.receiver;
    check(r.RxState >= 0 && r.RxState <= r.FrameLength + 1);
    check(r.RxByteCount >= 0 && r.RxByteCount <= r.FrameLength);
}

// At the end: everything.
void compareAll(const Pipeline& a, const Pipeline& b) {
    for (int i = 0; i < FieldBoard::kFieldCount; ++i) {
        check(a.board[i].text == b.board[i].text);
        check(a.board[i].colour == b.board[i].colour);
    }
    check(a.store.FaultStatus == b.store.FaultStatus);
    check(a.store.PrevFaultStatus == b.store.PrevFaultStatus);
    check(a.entries.list == b.entries.list);
    check(a.checks == b.checks);
    for (std::int16_t v : a.receiver.FrameBuffer) check(v >= 0 && v <= 255);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    static ManualClock clock(45000.5);
    const bool clsAtEvents = data[0] & 1;
    Pipeline live(clock, false), reference(clock, true);
    std::size_t at = 1;
    while (at < size) {
        const std::uint8_t ctl = data[at++];
        if (ctl >= 0xF0) {
            live.receiver.onPortEvent();
            reference.receiver.onPortEvent();
            if (clsAtEvents) {
                live.board.clearTexts();
                reference.board.clearTexts();
            }
        } else {
            std::size_t n = ctl % 80u + 1;
            if (n > size - at) n = size - at;
            const std::span<const std::uint8_t> read(data + at, n);
            live.receiver.onReceive(read, &live);
            reference.receiver.onReceive(read, &reference);
            at += n;
        }
        compareStep(live, reference);
    }
    compareAll(live, reference);
    return 0;
}
