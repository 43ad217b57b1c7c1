// SPDX-License-Identifier: GPL-3.0-or-later
#include "cut_engine.h"

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
bool DestinationExists(const std::string& destDir) {
    std::error_code ec;
    const fs::file_status status = fs::status(destDir, ec);
    return !ec && (fs::is_directory(status) || fs::is_regular_file(status));
}

// Only an ordinary, visible file is offered as a song to cut.
bool SourceExists(const std::string& sourcePath) {
    std::error_code ec;
    const fs::file_status status = fs::status(sourcePath, ec);
    const std::string name = FileNamePart(sourcePath);
    return !ec && fs::is_regular_file(status) && !name.empty() && name.front() != '.';
}

}  // namespace

bool CheckSplit(CutState& cut, const std::string& destDir, const std::string& sourcePath,
                std::array<std::string, 3>& sizes) {
    const bool destinationFound = DestinationExists(destDir);
    const bool sourceFound = SourceExists(sourcePath);
    if (!destinationFound || !sourceFound) return false;

    for (const std::string& size : sizes)
        if (!IsNumeric(size)) return false;

    // A "0" field takes no part: the later fields move up over it. Position
    // i is not looked at again, so "0","0",x gives "0",x,"0".
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        if (sizes[i] != "0") continue;
        for (std::size_t j = i; j + 1 < sizes.size(); ++j) sizes[j] = sizes[j + 1];
        sizes.back() = "0";
    }

    // The table is built aside and stored only when the plan runs through,
    // so a size that cannot be represented leaves the old table in place.
    std::int64_t unassigned = cut.SourceLen;
    int segLast = -1;
    std::vector<std::int64_t> segBytes = cut.SegBytes;
    const auto addPiece = [&](std::int64_t bytes) {
        ++segLast;
        segBytes.resize(static_cast<std::size_t>(segLast) + 1);
        segBytes[static_cast<std::size_t>(segLast)] = bytes;
    };

    for (std::size_t i = 0; i < sizes.size(); ++i) {
        const std::optional<std::int64_t> bytes = KbTextToBytes(sizes[i]);
        if (!bytes) return false;
        if (*bytes < unassigned && sizes[i] != "0") {
            // Only a negative piece can push the unassigned bytes past 64 bits.
            if (*bytes < 0 && unassigned > std::numeric_limits<std::int64_t>::max() + *bytes)
                return false;
            addPiece(*bytes);
            unassigned -= *bytes;
            continue;
        }
        // The field is "0" or does not fit: the rest of the file becomes the
        // last piece, but only after a regular one.
        if (unassigned <= 0 || segLast == -1) break;
        addPiece(unassigned);
        sizes[i] = BytesToKbText(unassigned);
        for (std::size_t j = i + 1; j < sizes.size(); ++j) sizes[j] = "0";
        break;
    }

    cut.SegLast = segLast;
    if (segLast != -1) cut.SegBytes = std::move(segBytes);
    return segLast != -1;
}

}  // namespace sundrel
