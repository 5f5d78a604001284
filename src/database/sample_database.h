#pragma once
// The sample database file: one SQLite file holding the one table `emp1`
// (50 16-bit value columns in value-index order, `Time`, `Number`) and an
// index on `Time`. Every function opens the file, works and releases it;
// nothing is held between calls. No function throws.
//
// A file is accepted when it is a SQLite file with an ordinary `emp1`
// table of exactly the 52 columns below, in this order, none declared as
// text, and no triggers; it may have been made by any tool. Anything else
// (an Access file, random bytes, an empty file, a SQLite file without that
// table) is reported as "not opened" and left untouched. Files made by
// another tool keep their header: only files carrying our application id
// get the counting stamp in user_version.
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/date_time.h"

namespace orlix {

inline constexpr int kSampleValueColumns = 50;
inline constexpr int kSampleTableColumns = 52;
inline constexpr int kTimeColumn = 50;
inline constexpr int kNumberColumn = 51;

// Marks a file this program made ("ORLX").
inline constexpr std::int32_t kSampleDatabaseApplicationId = 0x4F524C58;

// Column names of `emp1`, in their stored order.
inline constexpr std::array<std::string_view, kSampleTableColumns> kEmp1Columns = {
    "Pd",         "Ps",         "Td",         "Ts",          "Toil",       "Ta",
    "Te",         "PMV",        "AC",         "FreqMain",    "FreqTotal",  "SubUnit1",
    "SubUnit2",   "SubUnit3",   "EPCode_Tar", "FunSpeed",    "Main_Valves", "Main_free",
    "Pd_Temp",    "Ps_Temp",    "Td1",        "Ts1",         "Toil1",      "Ta1",
    "Te1",        "PMV1",       "Sub1_Valves", "Sub1_free1", "Sub1_free2", "Sub1_free3",
    "Td2",        "Ts2",        "Toil2",      "Ta2",         "Te2",        "PMV2",
    "Sub2_Valves", "Sub2_free1", "Sub2_free2", "Sub2_free3", "Td3",        "Ts3",
    "Toil3",      "Ta3",        "Te3",        "PMV3",        "Sub3_Valves", "Sub3_free1",
    "Sub3_free2", "Sub3_free3", "Time",       "Number"};

// One sample: the 50 values of value indices 0..49 and the sample time.
struct SampleRow {
    std::array<std::int16_t, kSampleValueColumns> values{};
    DateTime time = 0;
};

// A record read back. A cell that holds NULL, text, a blob, a fraction or a
// number outside -32768..32767 (or, for Time, anything but a number) cannot
// be read: its bit is set in `unreadable` (bit i for column i, bit 50 for
// Time) and its value here is 0. Readers leave the matching buffer cell as
// it was.
struct HistoryRow : SampleRow {
    std::uint64_t unreadable = 0;
    bool readable(int column) const { return (unreadable >> column & 1u) == 0; }
};

// The initial folder of the database file dialogs: "D:\OrlixMonitorDB\" on
// Windows, elsewhere "OrlixMonitorDB/" in the user's home folder. With
// `create`, the folder is made if it does not exist yet (failures ignored).
std::string defaultDatabaseFolder(bool create = false);

// Makes a new, empty sample database at `path`. Fails (false) when a file of
// that name exists, the folder is missing or read-only, or any step of the
// creation fails; a half-made file is removed again.
bool CreateSampleDatabase(const std::string& path);

// True when `path` is a sample database this program can open.
bool isSampleDatabase(const std::string& path);

// Records in `emp1`, or -1 when the file cannot be opened as ours.
std::int64_t countRecords(const std::string& path);

struct AppendResult {
    bool opened = false;         // the file is ours and could be opened
    bool stored = false;         // every row was stored (all rows or none)
    std::int64_t recordCount = 0;  // records after the append (or unchanged count on failure)
};
// Stores `rows` in order in one transaction with one prepared INSERT.
// `Number` of each row is the record count before it. An empty span stores
// nothing and reports stored = true.
AppendResult appendSamples(const std::string& path, std::span<const SampleRow> rows);

struct HistoryResult {
    bool opened = false;           // file opened and the query ran
    std::int64_t recordCount = 0;  // size of the whole query result
    std::vector<HistoryRow> rows;  // its first min(recordCount, maxRows) records, by Time
};
// The records with Time >= *startAtOrAfter (all records when empty), in
// Time order; reads at most `maxRows` of them. The start is bound as a
// number, so it means exactly that instant.
HistoryResult loadHistory(const std::string& path, std::optional<DateTime> startAtOrAfter,
                          int maxRows = 720);

// A record copied as it stands from a recording made elsewhere: a cell whose
// bit is set in `missing` (bit i for value column i, 50 for Time, 51 for
// Number) is stored as NULL, which a history load reads as unreadable.
struct StoredRecord {
    std::array<std::int16_t, kSampleValueColumns> values{};
    DateTime time = 0;
    std::int32_t number = 0;
    std::uint64_t missing = 0;
};

enum class FillStep { Record, End, Stop };
// Fills the empty sample database at `path`, just made by
// CreateSampleDatabase and written by nothing else, with the records that
// `next` hands out (FillStep::Record) until it reports the end, in one
// transaction with one prepared INSERT. FillStep::Stop, or any failure,
// rolls everything back. Returns the records stored, -1 on failure or stop.
std::int64_t fillSampleDatabase(const std::string& path,
                                const std::function<FillStep(StoredRecord&)>& next);

// Records deleted per step of a clear (about a fifth of a second each).
inline constexpr std::int64_t kClearChunkRecords = 50'000;

struct ClearResult {
    bool opened = false;
    bool ok = false;  // the table is empty at the end
};
// Empties `emp1`. Between deletion steps `betweenChunks` is called with the
// records still present (the window lets its events run there; a tick may
// append meanwhile, and those records are deleted too). Ends when the table
// is empty, or when a deletion fails or removes nothing (read-only file).
ClearResult clearSamples(const std::string& path,
                         const std::function<void(std::int64_t remaining)>& betweenChunks = {});

}  // namespace orlix
