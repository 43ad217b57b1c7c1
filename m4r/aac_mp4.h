// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Sound encoded as AAC-LC by libavcodec's own encoder and put into an
// MPEG-4 file in memory by libavformat's iPod muxer ("M4A " brand).

#include "event_pass.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace sundrel {

// Bit rates at which the encoder is transparent to most ears.
inline constexpr std::int64_t StereoAacBitsPerSecond = 256'000;
inline constexpr std::int64_t MonoAacBitsPerSecond = 128'000;

struct AacMp4 {
    std::vector<std::uint8_t> Bytes;  // the whole file, its moov box last
    std::int64_t PrimingFrames = 0;   // the encoder's delay, before the first sample
    std::int64_t PaddingFrames = 0;   // silence after the last one, to fill the last AAC frame
};

// `samples` interleaved, `channels` (1 or 2) to a frame. The muxer records
// the encoder's delay as an edit list. Nothing when the encoder or muxer
// refused, or the event pass said stop.
std::optional<AacMp4> EncodeAacMp4(std::span<const float> samples, int rate, int channels, const std::string& title,
                                   const EventPass& eventPass);

}  // namespace sundrel
