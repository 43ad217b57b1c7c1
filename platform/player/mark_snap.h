// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "peaks.h"

#include <optional>

namespace sundrel {

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

// OnsetNear, where a dragged mark is caught by a sound onset, is in peaks.h.

}  // namespace sundrel
