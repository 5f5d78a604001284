#pragma once
// Converting a Jet 4.0 sample database (the `.mdb` files written by the
// earlier tool through DAO) into a sample database of ours. The Jet file is
// opened read-only through mdbtools' libmdb and never written; its `emp1`
// must have our 52 columns by name, in order and with their types (Integer,
// DateTime, Long). The rows are copied as they stand into a new file made by
// CreateSampleDatabase: values, Time bit for bit, Number, and NULL cells as
// NULL, which the history load then treats as it treats any unreadable cell.
//
// The new file is written under a temporary name beside the target and
// renamed at the very end, so a failed or cancelled conversion leaves
// nothing behind.
#include <cstdint>
#include <functional>
#include <string>

namespace orlix {

enum class ImportStatus {
    Done,
    NotJet,         // not a Jet 4.0 file (by its header)
    Unreadable,     // the Jet library cannot open it or read its catalog
    Encrypted,      // its pages are encoded with a database key
    NoSampleTable,  // no `emp1`, or one with other columns
    Damaged,        // fewer or other records than its table definition counts
    TargetExists,   // the target name is taken
    WriteFailed,    // the new file could not be made or written
    Cancelled,      // the progress callback asked to stop
};

struct ImportResult {
    ImportStatus status = ImportStatus::NotJet;
    std::int64_t records = 0;   // records copied (Done) or read before the failure
    std::int64_t expected = 0;  // records the Jet table counts
};

// Called with the records copied so far and the total, at the start, every
// few thousand records and at the end; returning false cancels.
using ImportProgress = std::function<bool(std::int64_t done, std::int64_t total)>;

// What happens to a file already at the target.
enum class ExistingTarget {
    Refuse,     // fail with TargetExists (checked first and again at the rename)
    KeepAside,  // rename it to the first free NAME.1.mdb, NAME.2.mdb, ... at the end
};

// Converts `source` into a new sample database at `target`.
ImportResult importJetDatabase(const std::string& source, const std::string& target,
                               const ImportProgress& progress = {},
                               ExistingTarget existing = ExistingTarget::Refuse);

// The temporary name a conversion by process `pid` writes before renaming it
// to `target` (a tool removes it when it is stopped by a signal).
std::string temporaryPathFor(const std::string& target, long pid);

// "stem.N.ext" for `path` = "stem.ext": where KeepAside puts an older file.
std::string numberedPathFor(const std::string& path, int n);

// A short English sentence for a failed status.
const char* importStatusText(ImportStatus status);

}  // namespace orlix
