#pragma once
// Catches what is written to standard error while it lives: libmdb prints
// its own warnings there as it reads ("page 20 from map doesn't match ..."),
// one per page or row it stumbles on, which would bury the program's own
// line. The descriptor 2 is pointed at an unnamed temporary file until
// finish(), which hands the lines over; the program writes its own lines
// meanwhile through original().
#include <cstdio>
#include <string>
#include <vector>

namespace orlix {

class StderrCapture {
public:
    StderrCapture();
    ~StderrCapture();
    StderrCapture(const StderrCapture&) = delete;
    StderrCapture& operator=(const StderrCapture&) = delete;

    // False when standard error could not be redirected (it is left as it
    // was, and finish() returns nothing).
    bool active() const { return saved_ >= 0; }
    // The standard error of before, for the program's own output while the
    // capture lasts (stderr itself while inactive).
    std::FILE* original() const { return original_ != nullptr ? original_ : stderr; }
    // Puts standard error back; the lines written to it meanwhile, without
    // empty ones.
    std::vector<std::string> finish();

private:
    int saved_ = -1;                  // the descriptor 2 of before
    std::FILE* file_ = nullptr;       // what descriptor 2 writes to meanwhile
    std::FILE* original_ = nullptr;   // a stream on a copy of saved_
};

// One line about a library's diagnostics of `file` (at most one per file):
// "LIBRARY wrote N warnings while reading FILE; the first: TEXT". Empty when
// there were none.
std::string diagnosticsLine(const std::string& library, const std::string& file,
                            const std::vector<std::string>& lines);

}  // namespace orlix
