#pragma once
// Jet 4.0 test files made by the fixture generator (tests/jet/jet_fixture.py)
// and the rows it wrote into them, read back from its --expected file.
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "database/sample_database.h"

namespace orlix::testing {

// Writes `path` with `records` rows of kind `kind` and returns those rows.
inline std::vector<StoredRecord> makeJetFile(const std::string& path, int records,
                                             const std::string& kind = "plain", int seed = 1) {
    const std::string expected = path + ".rows";
    const std::string cmd = std::string(ORLIX_JET_PYTHON3) + " " + ORLIX_JET_FIXTURE + " '" + path + "' --records " +
                            std::to_string(records) + " --kind " + kind + " --seed " + std::to_string(seed) +
                            " --expected '" + expected + "'";
    EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
    std::vector<StoredRecord> rows;
    std::ifstream in(expected);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream cells(line);
        StoredRecord r;
        std::string cell;
        for (int c = 0; c < kSampleTableColumns && cells >> cell; ++c) {
            if (cell == "N") {
                r.missing |= std::uint64_t{1} << c;
                continue;
            }
            if (c < kSampleValueColumns) r.values[static_cast<std::size_t>(c)] = static_cast<std::int16_t>(std::stoi(cell));
            else if (c == kTimeColumn) r.time = std::strtod(cell.c_str(), nullptr);
            else r.number = static_cast<std::int32_t>(std::stol(cell));
        }
        rows.push_back(r);
    }
    std::remove(expected.c_str());
    return rows;
}

}  // namespace orlix::testing
