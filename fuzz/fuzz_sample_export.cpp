// Fuzzes the export of a sample database with arbitrary file contents and
// the reading of typed times.
//
// Input: byte 0 holds options (bit 0: JSON Lines instead of CSV; bit 1: use
// the typed time as the lower bound). Byte 1 is the length n of a typed
// time, the next n bytes are that text, the rest is the database file.
//
// Checked: a time that reads back is written as the same second; the export
// never changes the file or creates anything beside it, whatever the file
// holds; its output is valid UTF-8; a finished CSV export starts with the
// header and a refused one writes nothing.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>

#include "database/sample_export.h"
#include "base/iso_date_time.h"

namespace {

using namespace orlix;

struct Collect : ByteSink {
    std::string text;
    bool write(std::string_view b) override {
        text.append(b);
        return true;
    }
};

bool validUtf8(std::string_view s) {
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        const std::size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        if (n == 0 || i + n > s.size()) return false;
        for (std::size_t k = 1; k < n; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
        i += n;
    }
    return true;
}

std::string readAll(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

void checkTypedTime(std::string_view text, ExportOptions& options, bool useAsBound) {
    const auto t = parseIsoDateTime(text);
    if (!t) return;
    const std::string written = isoDateTimeText(t->value);
    const auto again = parseIsoDateTime(written);
    if (!written.empty() && (!again || isoDateTimeText(again->value) != written)) std::abort();
    if (useAsBound) options.from = t->value;
}

// A scratch folder of this process, removed at exit.
struct Scratch {
    std::filesystem::path path =
        std::filesystem::temp_directory_path() / ("orlix_fuzz_export_" + std::to_string(::getpid()));
    ~Scratch() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
};
const std::filesystem::path& folder() {
    static const Scratch dir;
    return dir.path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const std::uint8_t options = data[0];
    const std::size_t n = std::min<std::size_t>(data[1], size - 2);
    ExportOptions o;
    o.format = (options & 1) ? ExportFormat::JsonLines : ExportFormat::Csv;
    checkTypedTime({reinterpret_cast<const char*>(data + 2), n}, o, (options & 2) != 0);

    const std::string file(reinterpret_cast<const char*>(data + 2 + n), size - 2 - n);
    const std::string path = (folder() / "input.mdb").string();
    std::filesystem::remove_all(folder());
    std::filesystem::create_directories(folder());
    std::ofstream(path, std::ios::binary) << file;

    Collect out;
    const ExportResult r = exportSamples(path, o, out);
    if (readAll(path) != file) std::abort();
    if (std::distance(std::filesystem::directory_iterator(folder()), std::filesystem::directory_iterator()) != 1)
        std::abort();
    if (!validUtf8(out.text)) std::abort();
    if (r.status == ExportStatus::Done && o.format == ExportFormat::Csv &&
        out.text.rfind(sampleCsvHeader(), 0) != 0)
        std::abort();
    if (r.status != ExportStatus::Done && r.records == 0 && !out.text.empty()) std::abort();
    return 0;
}
