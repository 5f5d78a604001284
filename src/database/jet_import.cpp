#include "database/jet_import.h"

#include <mdbtools.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <system_error>

#include "database/jet_format.h"
#include "database/sample_database.h"
#include "base/log.h"

namespace orlix {
namespace {

constexpr std::int64_t kProgressEvery = 4096;

struct MdbCloser {
    void operator()(MdbHandle* h) const { mdb_close(h); }
};
struct TableFreer {
    void operator()(MdbTableDef* t) const { mdb_free_tabledef(t); }
};
using MdbPtr = std::unique_ptr<MdbHandle, MdbCloser>;
using TablePtr = std::unique_ptr<MdbTableDef, TableFreer>;
using Columns = std::array<const MdbColumn*, kSampleTableColumns>;

bool sameNameIgnoringCase(const char* a, std::string_view b) {
    std::size_t i = 0;
    for (; a[i] && i < b.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return !a[i] && i == b.size();
}

// The columns of `emp1` in our order, when the table has exactly ours: the
// names (Jet compares them without case), the types and the fixed sizes.
bool conformingColumns(const MdbTableDef& table, Columns& out) {
    if (!table.columns || table.num_cols != static_cast<unsigned>(kSampleTableColumns) ||
        table.columns->len != static_cast<unsigned>(kSampleTableColumns))
        return false;
    for (int c = 0; c < kSampleTableColumns; ++c) {
        const auto* col = static_cast<const MdbColumn*>(g_ptr_array_index(table.columns, static_cast<guint>(c)));
        const int type = c < kSampleValueColumns ? MDB_INT : c == kTimeColumn ? MDB_DATETIME : MDB_LONGINT;
        const int size = c < kSampleValueColumns ? 2 : c == kTimeColumn ? 8 : 4;
        if (!col || !sameNameIgnoringCase(col->name, kEmp1Columns[static_cast<std::size_t>(c)]) ||
            col->col_type != type || !col->is_fixed || col->col_size != size)
            return false;
        out[static_cast<std::size_t>(c)] = col;
    }
    return true;
}

bool renameNoReplace(const std::string& from, const std::string& to) {
#ifdef RENAME_NOREPLACE
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
#endif
    // A file system without that flag: check, then rename.
    std::error_code ec;
    if (std::filesystem::exists(std::filesystem::path(to), ec) || ec) {
        errno = EEXIST;
        return false;
    }
    return std::rename(from.c_str(), to.c_str()) == 0;
}

bool keepAside(const std::string& target) {
    for (int n = 1; n < 1000; ++n)
        if (renameNoReplace(target, numberedPathFor(target, n))) {
            log::info(log::kDatabase, "kept the older " + target + " as " + numberedPathFor(target, n));
            return true;
        }
    return false;
}

void removeQuietly(const std::string& path) {
    std::error_code ec;
    std::filesystem::remove(std::filesystem::path(path), ec);
    std::filesystem::remove(std::filesystem::path(path + "-journal"), ec);
}

struct OpenedTable {
    MdbPtr mdb;
    TablePtr table;
    Columns columns{};
};

// Opens the Jet file read-only and finds a conforming `emp1`.
ImportStatus openSampleTable(const std::string& source, OpenedTable& out) {
    if (!isJet4File(source)) return ImportStatus::NotJet;
    // A Jet file is whole pages. The library reads a cut-off last page as
    // zeros, which would come out as records of NULL cells.
    std::error_code ec;
    const auto size = std::filesystem::file_size(std::filesystem::path(source), ec);
    if (ec || size % MDB_PGSIZE != 0) return ImportStatus::Damaged;
    out.mdb.reset(mdb_open(source.c_str(), MDB_NOFLAGS));
    if (!out.mdb || !out.mdb->f) return ImportStatus::Unreadable;
    if (out.mdb->f->db_key != 0) return ImportStatus::Encrypted;
    if (!mdb_read_catalog(out.mdb.get(), MDB_TABLE)) return ImportStatus::Unreadable;
    char name[] = "emp1";
    out.table.reset(mdb_read_table_by_name(out.mdb.get(), name, MDB_TABLE));
    if (!out.table) return ImportStatus::NoSampleTable;
    if (!mdb_read_columns(out.table.get()) || !conformingColumns(*out.table, out.columns))
        return ImportStatus::NoSampleTable;
    return ImportStatus::Done;
}

// Copies the rows of the opened table into the new file at `temp`.
ImportResult copyRows(OpenedTable& src, const std::string& temp, const ImportProgress& progress) {
    ImportResult result;
    result.expected = src.table->num_rows;
    if (progress && !progress(0, result.expected)) return {ImportStatus::Cancelled, 0, result.expected};
    mdb_rewind_table(src.table.get());
    bool damaged = false, cancelled = false;
    const std::span<const std::uint8_t> page(src.mdb->pg_buf, MDB_PGSIZE);
    const std::int64_t stored = fillSampleDatabase(temp, [&](StoredRecord& r) {
        // A table read past its count is damaged too: stop there.
        if (result.records > result.expected) {
            damaged = true;
            return FillStep::Stop;
        }
        if (!mdb_fetch_row(src.table.get())) return FillStep::End;
        std::array<JetCell, kSampleTableColumns> cells;
        for (int c = 0; c < kSampleTableColumns; ++c) {
            const MdbColumn* col = src.columns[static_cast<std::size_t>(c)];
            cells[static_cast<std::size_t>(c)] = {col->cur_value_start, col->cur_value_len};
        }
        if (!decodeSampleRecord(page, cells, r)) {
            damaged = true;
            return FillStep::Stop;
        }
        ++result.records;
        if (progress && result.records % kProgressEvery == 0 && !progress(result.records, result.expected)) {
            cancelled = true;
            return FillStep::Stop;
        }
        return FillStep::Record;
    });
    // The library skips rows and pages it cannot make sense of: a count
    // short of the table's own is a damaged file.
    if (cancelled) result.status = ImportStatus::Cancelled;
    else if (damaged || (stored >= 0 && stored != result.expected)) result.status = ImportStatus::Damaged;
    else if (stored < 0) result.status = ImportStatus::WriteFailed;
    else result.status = ImportStatus::Done;
    if (result.status == ImportStatus::Done && progress) progress(result.records, result.expected);
    return result;
}

}  // namespace

std::string temporaryPathFor(const std::string& target, long pid) {
    return target + "." + std::to_string(pid) + ".part";
}

std::string numberedPathFor(const std::string& path, int n) {
    const std::filesystem::path p(path);
    return (p.parent_path() / (p.stem().string() + "." + std::to_string(n) + p.extension().string())).string();
}

const char* importStatusText(ImportStatus status) {
    switch (status) {
        case ImportStatus::Done: return "converted";
        case ImportStatus::NotJet: return "is not a Jet 4.0 (Access 2000) database";
        case ImportStatus::Unreadable: return "cannot be read as a Jet database";
        case ImportStatus::Encrypted: return "is encrypted";
        case ImportStatus::NoSampleTable: return "holds no sample table emp1 with the expected columns";
        case ImportStatus::Damaged: return "is damaged: its sample table cannot be read whole";
        case ImportStatus::TargetExists: return "exists already";
        case ImportStatus::WriteFailed: return "cannot be written";
        case ImportStatus::Cancelled: return "conversion cancelled";
    }
    return "failed";
}

ImportResult importJetDatabase(const std::string& source, const std::string& target,
                               const ImportProgress& progress, ExistingTarget existing) {
    std::error_code ec;
    const bool targetTaken = std::filesystem::exists(std::filesystem::path(target), ec) || ec;
    if (targetTaken && existing == ExistingTarget::Refuse) return {ImportStatus::TargetExists, 0, 0};
    OpenedTable src;
    if (const ImportStatus s = openSampleTable(source, src); s != ImportStatus::Done) return {s, 0, 0};
    const std::string temp = temporaryPathFor(target, static_cast<long>(::getpid()));
    if (!CreateSampleDatabase(temp))
        return {ImportStatus::WriteFailed, 0, static_cast<std::int64_t>(src.table->num_rows)};
    ImportResult result = copyRows(src, temp, progress);
    if (result.status == ImportStatus::Done) {
        const bool aside = existing == ExistingTarget::KeepAside &&
                           std::filesystem::exists(std::filesystem::path(target), ec);
        if (aside && !keepAside(target)) result.status = ImportStatus::WriteFailed;
        else if (!renameNoReplace(temp, target))
            result.status = errno == EEXIST ? ImportStatus::TargetExists : ImportStatus::WriteFailed;
    }
    if (result.status != ImportStatus::Done) removeQuietly(temp);
    return result;
}

}  // namespace orlix
