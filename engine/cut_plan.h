// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The plan of one cut: the one place the piece table the writer copies is
// made.

#include "cut_state.h"

#include <array>
#include <filesystem>
#include <optional>
#include <string>

namespace sundrel {

// The moments a cut keeps, in seconds of playback.
struct Selection {
    double Start = 0;
    double End = 0;
};

// The ringtone of a selection: the song's frames that hold it, and its
// fades and volume laid on their timeline.
struct KeptPlan {
    KeptPiece Piece;
    GainPlan Gain;
};

// The one rule both front ends plan a ringtone by: nothing for a song
// without frames, or a selection shorter than one frame (SongMap::Kept).
std::optional<KeptPlan> PlanKept(const SongMap& song, Selection selection, const KeptGain& gain);

struct CutPlan {
    bool Split = false;  // the split plan holds: paths found, sizes numbers, a piece laid out
    bool Kept = false;   // the song's frames hold the selection: the table is theirs
};

// Runs the split plan (its checks, and its tidying of the size fields) and
// stores one piece table in the cut: when the split plan holds, a selection
// is given and the song's frames hold it (SongMap::Kept), the bytes before
// the kept piece, the kept piece and the rest of the file, with the kept
// file's header frame in cut.KeptHeader, its frames' bytes in
// cut.KeptRanges and its trailer in cut.KeptTrailer; otherwise the split
// plan's table, as CheckSplit stores it. The kept file's fades and volume,
// `gain`, go into cut.KeptGain, laid on its timeline.
CutPlan PlanCut(CutState& cut, const std::filesystem::path& destDir, const std::filesystem::path& sourcePath,
                std::array<std::string, 3>& sizes, std::optional<Selection> selection, const KeptGain& gain = {});

}  // namespace sundrel
