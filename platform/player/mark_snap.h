// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>

namespace sundrel {

struct Peaks;

// Where the song's frames start: every `length` seconds from `first` on.
// A cut lands on a frame, so a dragged mark is put on one. No length, no grid.
struct FrameGrid {
    double first = 0;
    double length = 0;

    bool known() const { return length > 0; }
    double nearest(double seconds) const;
    // The start of the frame that holds the moment.
    double holding(double seconds) const;
};

// The sound onset nearest a moment, within `radius` seconds either side:
// the start of a bin that clearly rises above the quieter stretch just
// before it (the start of a beat or a word). Nothing when there is none.
std::optional<double> OnsetNear(const Peaks& peaks, double seconds, double radius);

}  // namespace sundrel
