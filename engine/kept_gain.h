// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The level of a ringtone, set without re-encoding: a fade in from its first
// moment, a fade out to its last, and a volume. A Layer III decoder scales
// all it puts out of a granule by 2^(global_gain / 4) (ISO/IEC 11172-3
// 2.4.3.4.7.1, the requantisation), so each granule is given the step of
// global_gain nearest the level asked at its middle, as the decoder puts
// the granule out; the rest of its bits stay as the encoder wrote them.

#include "event_pass.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>

namespace sundrel {

// What the user asked of the ringtone's level.
struct KeptGain {
    double FadeInSeconds = 0;   // from silence at the first moment to full level
    double FadeOutSeconds = 0;  // from full level to silence at the last moment
    int VolumeSteps = 0;        // steps of global_gain, 1.5 dB each; positive is louder

    bool Any() const { return FadeInSeconds > 0 || FadeOutSeconds > 0 || VolumeSteps != 0; }
    bool operator==(const KeptGain&) const = default;
};

// A step of global_gain in decibels, as the user is told it: 20 log10 of
// 2^(1/4) is 1.505 dB.
inline constexpr double GainStepDb = 1.5;
// A fade lasts at most half the selection, and at most this long.
inline constexpr double MaxFadeSeconds = 10;
// The longest fade a selection this long takes.
constexpr double LongestFadeSeconds(double selectionSeconds) { return std::min(MaxFadeSeconds, selectionSeconds / 2); }
// The quietest volume: 8 steps, 12 dB down.
inline constexpr int MinVolumeSteps = -8;

// The fades' level at a moment `intoSeconds` after the first moment of a
// ringtone `lengthSeconds` long: a straight line in amplitude from silence
// at its first moment and one to silence at its last, the lower of the two
// where they meet; 1 between the fades, and silence before the first moment
// with a fade in, after the last with a fade out. The gain laid on the
// frames and the waveform's picture of it both follow it.
double FadeLevel(const KeptGain& gain, double intoSeconds, double lengthSeconds);
// The factor a volume of `steps` steps of global_gain scales the sound by.
double VolumeFactor(int steps);

// Where the ringtone's moments lie in the sound its kept file decodes to.
// A sample rate of 0: the kept frames carry no level of their own (another
// layer than III).
struct KeptTimeline {
    int SampleRate = 0;
    // Samples a decoder puts out, from its first frame after the header
    // frame, before the first kept moment: the gapless record's delay and
    // its own.
    std::int64_t Skipped = 0;
    // Samples from the first kept moment to the last.
    std::int64_t Samples = 0;
};

// The gain asked, laid on one kept file.
struct GainPlan {
    KeptGain Gain;
    KeptTimeline Timeline;
};

// The steps of global_gain the plan adds to the granule `granule` of the
// kept file's sound (0 for its first frame after the header frame); nothing
// for a granule to silence: before the first moment with a fade in, after
// the last with a fade out, or more than 60 dB down.
std::optional<int> GainStepsAt(const GainPlan& plan, std::int64_t granule);

// The largest volume step at which a selection whose loudest decoded sample
// is `peak` (a share of full scale) does not clip.
int LoudestVolumeSteps(double peak);

enum class FrameGain { Unchanged, Changed, Refused };

// Lays the plan on one whole frame (its length tells a free-format one's
// rate) whose first granule is granule `firstGranule`
// of the kept file's sound: each granule's global_gain in every channel
// shifted, a protected frame's CRC written anew (a CRC that was wrong stays
// wrong). Refused, and the frame left as it was, when it cannot carry it:
// not a Layer III frame, its side information cut short, or a global_gain
// pushed past its 8 bits.
FrameGain ApplyGainToFrame(const GainPlan& plan, std::int64_t firstGranule, std::span<unsigned char> frame);

enum class GainPass { Done, Refused, Abandoned, Failed };

// Lays the plan on every frame of the kept file open in `file` (for reading
// and writing), found by the walk that maps a song (free-format frames
// too); its header frame stays as it is. Reads and writes a chunk at a
// time, calling eventPass before each. Refused when a frame cannot carry
// the plan, or the frames do not follow one another from the header frame
// on; Failed on a read or write error; the file may then be partly
// changed.
GainPass ApplyGainToKeptFile(std::FILE* file, const GainPlan& plan, const EventPass& eventPass = {});

}  // namespace sundrel
