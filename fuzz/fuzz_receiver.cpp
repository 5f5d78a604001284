// Fuzzes the receiver and both decoders with arbitrary reads.
//
// Input: byte 0 holds options (bit 0: the error-memory list fails now and
// then). Then, repeatedly, a control byte: 0xF0..0xF7 is a non-receive port
// event, 0xF8 and above switches the "On" colour; any other value c hands
// the next c % 80 + 1 bytes over as one read.
//
// Two pipelines run side by side: one takes each read whole, the other takes
// the same bytes one read per byte. After every read both must agree on every
// field, colour, written mark, live value, error entry and verdict, and the
// receiver's state must stay in its range. On every good frame the whole-read
// pipeline's fields must also equal what a new decoder makes of that frame
// (the running decoder skips rows whose bytes did not change).
#include <bitset>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "comm/frame_receiver.h"
#include "base/log.h"

namespace {

using namespace orlix;

void check(bool ok) {
    if (!ok) std::abort();
}

struct Entries : ErrorMemorySink {
    std::vector<std::pair<int, std::string>> list;
    bool flaky = false;
    void addErrorEntry(int n, const std::string& e) override {
        // A flaky list refuses entries that end in a digit or "_err".
        if (flaky && !e.empty() && (e.back() == 'r' || (e.back() >= '0' && e.back() <= '9')))
            throw std::runtime_error("list full");
        list.emplace_back(n, e);
    }
};

struct Pipeline : FrameObserver {
    const Clock& clock;
    FieldBoard board;
    LiveStore store;
    Entries entries;
    FrameDecoder decoder;
    FrameReceiver receiver{decoder};
    std::vector<std::pair<int, bool>> checks;
    std::bitset<FieldBoard::kFieldCount> written;
    bool checkAgainstNewDecoder = false;

    Pipeline(const Clock& c, bool flaky) : clock(c), decoder(board, store, c, &entries) {
        entries.flaky = flaky;
        for (int n = 0; n < 3; ++n) store.FaultStatus[static_cast<std::size_t>(n)] = "Normal";
    }
    void onChecksum(int kind, bool good) override {
        checks.emplace_back(kind, good);
        if (good && checkAgainstNewDecoder) compareWithNewDecoder(kind);
    }
    void compareWithNewDecoder(int kind) {
        FieldBoard ref;
        LiveStore refStore;
        FrameDecoder fresh(ref, refStore, clock);
        fresh.OnColor = decoder.OnColor;
        kind == 1 ? fresh.decode5A(receiver.FrameBuffer) : fresh.decodeA5(receiver.FrameBuffer);
        const auto fields = ref.takeWritten();
        for (int i = 0; i < FieldBoard::kFieldCount; ++i) {
            if (!fields.test(static_cast<std::size_t>(i))) continue;
            check(board[i].text == ref[i].text);
            check(board[i].colour == ref[i].colour);
        }
    }
    void receive(std::span<const std::uint8_t> read) {
        receiver.onReceive(read, this);
        written |= board.takeWritten();
    }
};

void compare(Pipeline& a, Pipeline& b) {
    check(a.written == b.written);
    // Only written fields can have changed since the last comparison.
    for (int i = 0; i < FieldBoard::kFieldCount; ++i) {
        if (!a.written.test(static_cast<std::size_t>(i))) continue;
        check(a.board[i].text == b.board[i].text);
        check(a.board[i].colour == b.board[i].colour);
    }
    a.written.reset();
    b.written.reset();
    check(a.store.LiveValues == b.store.LiveValues);
    check(a.store.FaultStatus == b.store.FaultStatus);
    check(a.store.PrevFaultStatus == b.store.PrevFaultStatus);
    check(a.entries.list == b.entries.list);
    check(a.checks == b.checks);
    check(a.receiver.numText() == b.receiver.numText());
    check(a.receiver.checkText() == b.receiver.checkText());
    check(a.receiver.FrameBuffer == b.receiver.FrameBuffer);
    const FrameReceiver& r = a.receiver;
    check(r.RxState == b.receiver.RxState);
    check(r.RxState >= 0 && r.RxState <= r.FrameLength + 1);
    check(r.RxByteCount >= 0 && r.RxByteCount <= r.FrameLength);
    for (std::int16_t v : r.FrameBuffer) check(v >= 0 && v <= 255);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    static ManualClock clock(45000.5);
    // The flaky list's failures would be logged; the fuzzer's output stays clean.
    log::setSink([](std::string_view, log::Level, std::string_view) {});
    const bool flaky = data[0] & 1;
    Pipeline whole(clock, flaky), bytewise(clock, flaky);
    whole.checkAgainstNewDecoder = true;
    std::size_t at = 1;
    while (at < size) {
        const std::uint8_t ctl = data[at++];
        if (ctl >= 0xF8) {
            const Rgb on = whole.decoder.OnColor == kBlue ? Rgb{0, 128, 0} : kBlue;
            whole.decoder.OnColor = bytewise.decoder.OnColor = on;
        } else if (ctl >= 0xF0) {
            whole.receiver.onPortEvent();
            bytewise.receiver.onPortEvent();
        } else {
            std::size_t n = ctl % 80u + 1;
            if (n > size - at) n = size - at;
            const std::span<const std::uint8_t> read(data + at, n);
            whole.receive(read);
            for (std::size_t k = 0; k < n; ++k) bytewise.receive(read.subspan(k, 1));
            at += n;
        }
        compare(whole, bytewise);
    }
    return 0;
}
