// SPDX-License-Identifier: GPL-3.0-or-later
#include "cut_plan.h"

#include "split_plan.h"

#include <utility>

namespace sundrel {

CutPlan PlanCut(CutState& cut, const std::filesystem::path& destDir, const std::filesystem::path& sourcePath,
                std::array<std::string, 3>& sizes, std::optional<Selection> selection, const KeptGain& gain) {
    std::optional<SplitTable> split = PlanSplit(cut.SourceLen, destDir, sourcePath, sizes);
    CutPlan plan;
    plan.Split = split && split->SegLast != -1;
    // The song is cut on the frames its map chose, at their exact bytes:
    // the size fields' KB, read back in single precision, miss them on big
    // files. Less than one frame is no ringtone.
    const std::optional<KeptPiece> kept =
        plan.Split && selection ? cut.SourceMap.Kept(selection->Start, selection->End) : std::nullopt;
    plan.Kept = kept.has_value();
    cut.KeptGain = kept ? GainPlan{gain, kept->Timeline} : GainPlan{};
    if (kept) {
        cut.SegBytes = {kept->Begin(), kept->End() - kept->Begin(), cut.SourceLen - kept->End()};
        cut.SegLast = 2;
        cut.KeptHeader = kept->Header;
        cut.KeptRanges = kept->Ranges;
        cut.KeptTrailer = kept->Trailer;
    } else if (split) {
        // The split plan's table keeps nothing of an earlier cut's frames.
        StoreSplit(cut, std::move(*split));
        cut.KeptHeader.clear();
        cut.KeptRanges.clear();
        cut.KeptTrailer.clear();
    }
    return plan;
}

}  // namespace sundrel
