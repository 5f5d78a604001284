#include "database/converted_copy.h"

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "database/jet_format.h"
#include "database/sample_database.h"

namespace orlix {
namespace {

namespace fs = std::filesystem;

// FNV-1a, 32 bits: a stable tag for a folder name.
std::uint32_t folderTag(const std::string& folder) {
    std::uint32_t h = 2166136261u;
    for (const unsigned char c : folder) h = (h ^ c) * 16777619u;
    return h;
}

bool newerThan(const fs::path& a, const fs::path& b) {
    std::error_code ea, eb;
    const auto ta = fs::last_write_time(a, ea);
    const auto tb = fs::last_write_time(b, eb);
    return !ea && !eb && ta > tb;
}

}  // namespace

CopyPlaces defaultCopyPlaces() {
    return {defaultDatabaseFolder(false), [](const std::string& folder) {
                return ::access(folder.empty() ? "." : folder.c_str(), W_OK) == 0;
            }};
}

std::optional<ConversionPlan> planConversion(const std::string& given, const CopyPlaces& places) {
    if (!isJet4File(given)) return std::nullopt;
    std::error_code ec;
    fs::path source = fs::absolute(fs::path(given), ec);
    if (ec) source = fs::path(given);
    const std::string stem = source.stem().string();
    const fs::path folder = source.parent_path();
    fs::path target;
    if (places.writable && places.writable(folder.string())) {
        target = folder / (stem + ".sqlite.mdb");
    } else {
        char tag[9];
        std::snprintf(tag, sizeof tag, "%08x", folderTag(fs::weakly_canonical(folder, ec).string()));
        target = fs::path(places.fallbackFolder) / (stem + "." + tag + ".sqlite.mdb");
    }
    ConversionPlan plan{source.string(), target.string(), false};
    plan.reuse = newerThan(target, source) && isSampleDatabase(plan.target);
    return plan;
}

SampleFile convertByPlan(const ConversionPlan& plan, const ImportProgress& progress) {
    if (plan.reuse) return {true, plan.target, ImportStatus::Done, {}};
    std::error_code ec;
    fs::create_directories(fs::path(plan.target).parent_path(), ec);
    const ImportResult r = importJetDatabase(plan.source, plan.target, progress, ExistingTarget::KeepAside);
    if (r.status != ImportStatus::Done) return {false, {}, r.status, {}};
    return {true, plan.target, ImportStatus::Done, {}};
}

SampleFile sampleFileFor(const std::string& given, const ImportProgress& progress, const CopyPlaces& places) {
    const auto plan = planConversion(given, places);
    if (!plan) return {true, given, ImportStatus::NotJet, {}};
    return convertByPlan(*plan, progress);
}

}  // namespace orlix
