// SPDX-License-Identifier: GPL-3.0-or-later
#include "cut_plan.h"

#include "split_plan.h"

#include <utility>

namespace sundrel {

std::optional<KeptPlan> PlanKept(const SongMap& song, Selection selection, const KeptGain& gain) {
    std::optional<KeptPiece> piece = song.Kept(selection.Start, selection.End);
    if (!piece) return std::nullopt;
    GainPlan gainPlan{gain, piece->Timeline};
    return KeptPlan{std::move(*piece), gainPlan};
}

CutPlan PlanCut(CutState& cut, const std::filesystem::path& destDir, const std::filesystem::path& sourcePath,
                std::array<std::string, 3>& sizes, std::optional<Selection> selection, const KeptGain& gain) {
    std::optional<SplitTable> split = PlanSplit(cut.SourceLen, destDir, sourcePath, sizes);
    CutPlan plan;
    plan.Split = split && split->SegLast != -1;
    // The song is cut on the frames its map chose, at their exact bytes:
    // the size fields' KB, read back in single precision, miss them on big
    // files. Less than one frame is no ringtone.
    std::optional<KeptPlan> kept = plan.Split && selection ? PlanKept(cut.SourceMap, *selection, gain) : std::nullopt;
    plan.Kept = kept.has_value();
    cut.KeptGain = kept ? kept->Gain : GainPlan{};
    if (kept) {
        const KeptPiece& piece = kept->Piece;
        cut.SegBytes = {piece.Begin(), piece.End() - piece.Begin(), cut.SourceLen - piece.End()};
        cut.SegLast = 2;
        cut.KeptHeader = std::move(kept->Piece.Header);
        cut.KeptRanges = std::move(kept->Piece.Ranges);
        cut.KeptTrailer = std::move(kept->Piece.Trailer);
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
