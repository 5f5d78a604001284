#pragma once
// Turns "a file the user chose" into "the sample database to read". A plain
// sample database is read as it is. A Jet 4.0 file of the earlier tool is
// converted once into a sample database of ours, NAME.sqlite.mdb beside it
// (or, when that folder cannot be written, in the default database folder),
// and that copy is read from then on, as long as it is newer than the Jet
// file. A newer Jet file is converted again; the older copy, which may hold
// samples recorded into it since, is kept under a numbered name.
#include <functional>
#include <optional>
#include <string>

#include "database/jet_import.h"

namespace orlix {

// Where copies may go. The defaults: the default database folder, and a
// folder counts as writable when the process may create files in it.
struct CopyPlaces {
    std::string fallbackFolder;
    std::function<bool(const std::string& folder)> writable;
};
CopyPlaces defaultCopyPlaces();

struct ConversionPlan {
    std::string source;  // the Jet file
    std::string target;  // its copy
    bool reuse = false;  // the copy exists, is a sample database and is newer than the source
};

// The plan for `given` when it is a Jet 4.0 file; nullopt for any other file.
// Beside the source the copy is NAME.sqlite.mdb; in the fallback folder the
// name also carries a tag of the source's folder
// (NAME.1a2b3c4d.sqlite.mdb), so that same-named files from different
// read-only folders never take each other's copy.
std::optional<ConversionPlan> planConversion(const std::string& given,
                                             const CopyPlaces& places = defaultCopyPlaces());

struct SampleFile {
    bool ok = false;
    std::string path;  // the sample database to read (when ok)
    ImportStatus status = ImportStatus::NotJet;  // NotJet for a plain file, else the conversion's
    std::string detail;  // why a conversion failed, when more is known than the status
};

// The sample database to read for `given`: the file itself when it is not a
// Jet 4.0 file; else its copy, reused or made now (progress reported through
// `progress`, which may cancel).
SampleFile sampleFileFor(const std::string& given, const ImportProgress& progress = {},
                         const CopyPlaces& places = defaultCopyPlaces());

// Makes the copy a plan calls for, in this process.
SampleFile convertByPlan(const ConversionPlan& plan, const ImportProgress& progress = {});

}  // namespace orlix
