// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What a user asks of one ringtone, whichever front end asks it: the
// window's commands (开始, 结束, a dropped mark, a fade, a step of volume,
// undo) and the command-line cutter each build one and hand it to the cut.

#include "cut_plan.h"
#include "kept_gain.h"

namespace sundrel {

struct CutRequest {
    double StartSeconds = 0;  // moments of playback, as the player's timeline has them
    double EndSeconds = 0;
    KeptGain Gain;  // fades and volume laid on the kept frames

    Selection Moments() const { return {StartSeconds, EndSeconds}; }
    double LengthSeconds() const { return EndSeconds - StartSeconds; }
    bool operator==(const CutRequest&) const = default;
};

}  // namespace sundrel
