#pragma once
// An input that may be a capture or raw bus bytes (a file, a pipe, standard
// input): told apart by its first bytes, with the one capture check of
// capture_file.h, and opened as a capture also from a pipe whose first bytes
// are read already.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "capture/capture_reader.h"

namespace orlix {

// Reads up to `want` bytes from `fd`, waiting for more after short reads,
// until `want` are there or the input ends. -1 on a read error.
long readHead(int fd, std::uint8_t* head, std::size_t want);

// A read-only stream that yields `prefix` and then the rest of `fd` (which
// it does not close). For a pipe whose first bytes were read to look at them.
std::FILE* streamWithPrefix(int fd, std::vector<std::uint8_t> prefix);

// Opens the capture `name`: by its path when `seekable` (a regular file),
// otherwise from `fd` (stdin, a pipe) whose first bytes, already read, are
// `head`. False with `error` set when it cannot be read as one.
bool openCapture(CaptureReader& reader, const std::string& name, bool seekable, int fd,
                 std::vector<std::uint8_t> head, std::string& error);

enum class InputKind { Raw, Capture, Failed };
// Looks at the first bytes of the input `fd` (named `name`; `seekable` for a
// regular file) and opens it as a capture when it is one. A regular file is
// read again from its start; bytes read from a pipe are left in `head`, to
// be decoded first. Failed comes with `error` set.
InputKind detectInput(int fd, bool seekable, const std::string& name, std::vector<std::uint8_t>& head,
                      CaptureReader& capture, std::string& error);

}  // namespace orlix
