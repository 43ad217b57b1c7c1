// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The split plan: three size texts in KB become a table of pieces of the
// source, in file order.

#include "cut_state.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace sundrel {

struct SplitTable {
    std::vector<std::int64_t> SegBytes;  // byte count of each piece, in file order
    int SegLast = -1;                    // last valid index of SegBytes; -1 for none
};

// Checks that both paths exist and the three size texts are numbers, moves
// "0" fields to the end, and lays the pieces out over sourceLen bytes. The
// field that receives the rest of the file is rewritten with its size.
// Nothing when a check fails or a size cannot be represented; the fields
// moved by then stay moved.
std::optional<SplitTable> PlanSplit(std::int64_t sourceLen, const std::filesystem::path& destDir,
                                    const std::filesystem::path& sourcePath, std::array<std::string, 3>& sizes);

// A table into cut.SegBytes and cut.SegLast; one without pieces sets
// SegLast alone.
void StoreSplit(CutState& cut, SplitTable table);

// The split plan of the cut state's source: PlanSplit over cut.SourceLen,
// its table stored in the cut. False when there is no piece, when a check
// fails (the table then stays as it was), or when a size cannot be
// represented.
bool CheckSplit(CutState& cut, const std::filesystem::path& destDir, const std::filesystem::path& sourcePath,
                std::array<std::string, 3>& sizes);

}  // namespace sundrel
