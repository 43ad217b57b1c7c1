// SPDX-License-Identifier: GPL-3.0-or-later
#include "split_plan.h"

#include "conventions.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <optional>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

namespace sundrel {
namespace fs = std::filesystem;

namespace {

// The destination may be a folder (with or without its trailing '/') or a
// file of that name; either way the piece names can be built beside it.
bool DestinationExists(const fs::path& destDir) {
    std::error_code ec;
    const fs::file_status status = fs::status(destDir, ec);
    return !ec && (fs::is_directory(status) || fs::is_regular_file(status));
}

// Only an ordinary, visible file is offered as a song to cut.
bool SourceExists(const fs::path& sourcePath) {
    std::error_code ec;
    const fs::file_status status = fs::status(sourcePath, ec);
    const fs::path::string_type name = sourcePath.filename().native();
    return !ec && fs::is_regular_file(status) && !name.empty() && name.front() != '.';
}

}  // namespace

std::optional<SplitTable> PlanSplit(std::int64_t sourceLen, const std::filesystem::path& destDir,
                                    const std::filesystem::path& sourcePath, std::array<std::string, 3>& sizes) {
    const bool destinationFound = DestinationExists(destDir);
    const bool sourceFound = SourceExists(sourcePath);
    if (!destinationFound || !sourceFound) return std::nullopt;

    for (const std::string& size : sizes)
        if (!IsNumeric(size)) return std::nullopt;

    // A "0" field takes no part: the later fields move up over it. Position
    // i is not looked at again, so "0","0",x gives "0",x,"0".
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        if (sizes[i] != "0") continue;
        for (std::size_t j = i; j + 1 < sizes.size(); ++j) sizes[j] = sizes[j + 1];
        sizes.back() = "0";
    }

    SplitTable table;
    std::int64_t unassigned = sourceLen;
    const auto addPiece = [&](std::int64_t bytes) {
        table.SegBytes.push_back(bytes);
        ++table.SegLast;
    };
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        const std::optional<std::int64_t> bytes = KbTextToBytes(sizes[i]);
        if (!bytes) return std::nullopt;
        if (*bytes < unassigned && sizes[i] != "0") {
            // Only a negative piece can push the unassigned bytes past 64 bits.
            if (*bytes < 0 && unassigned > std::numeric_limits<std::int64_t>::max() + *bytes) return std::nullopt;
            addPiece(*bytes);
            unassigned -= *bytes;
            continue;
        }
        // The field is "0" or does not fit: the rest of the file becomes the
        // last piece, but only after a regular one.
        if (unassigned <= 0 || table.SegLast == -1) break;
        addPiece(unassigned);
        sizes[i] = BytesToKbText(unassigned);
        for (std::size_t j = i + 1; j < sizes.size(); ++j) sizes[j] = "0";
        break;
    }
    return table;
}

void StoreSplit(CutState& cut, SplitTable table) {
    // A plan without pieces leaves the entries of the last one, unused.
    cut.SegLast = table.SegLast;
    if (table.SegLast != -1) cut.SegBytes = std::move(table.SegBytes);
}

bool CheckSplit(CutState& cut, const std::filesystem::path& destDir, const std::filesystem::path& sourcePath,
                std::array<std::string, 3>& sizes) {
    // A plan that fails leaves the table of the one before in place.
    std::optional<SplitTable> table = PlanSplit(cut.SourceLen, destDir, sourcePath, sizes);
    if (!table) return false;
    StoreSplit(cut, std::move(*table));
    return cut.SegLast != -1;
}

}  // namespace sundrel
