#pragma once
// The records of a sample database for other tools: CSV with a header row or
// JSON Lines, in time order, each record with its time as ISO 8601 local
// time ("time") and as the stored day count ("time_days", written so that it
// reads back as the same double), then the 50 values under their column
// names. UTF-8 throughout.
//
// The file is only read: it is opened read-only, and nothing is ever
// created beside it (no journal, no write-ahead log). A file that could only
// be read by writing to it (an unfinished write waiting to be rolled back,
// a pending write-ahead log) is refused rather than touched.
//
// Any SQLite file whose table `emp1` has the 52 sample columns in their
// order is read, whichever program wrote it. No Qt.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/date_time.h"

namespace orlix {

enum class ExportFormat { Csv, JsonLines };

struct ExportOptions {
    ExportFormat format = ExportFormat::Csv;
    // Records with from <= Time < before; a record without a numeric Time
    // is left out as soon as either bound is given.
    std::optional<DateTime> from;
    std::optional<DateTime> before;
};

// Where the exported bytes go. write() returns false when the bytes could
// not be written; the export then stops.
class ByteSink {
public:
    virtual ~ByteSink() = default;
    virtual bool write(std::string_view bytes) = 0;
};

enum class ExportStatus {
    Done,
    Unreadable,      // no such file, or it cannot be read
    NotSampleFile,   // not SQLite, or no `emp1` with the sample columns
    Damaged,         // SQLite reported damage, or the file needs a write first
    WriteFailed,     // the sink refused bytes
};

struct ExportResult {
    ExportStatus status = ExportStatus::Unreadable;
    std::int64_t records = 0;  // records read (also when the export stopped early)
    std::string message;       // what went wrong, for a person; empty when Done
};

ExportResult exportSamples(const std::string& path, const ExportOptions& options, ByteSink& out);

// The header row of the CSV form (with its line end).
std::string sampleCsvHeader();

}  // namespace orlix
