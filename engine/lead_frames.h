// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The frames a kept file holds ahead of its song's own: the first kept frame
// rebuilt to need no frame before it, and a silent frame.

#include "mpeg_frames.h"

#include <optional>
#include <span>
#include <vector>

namespace sundrel {

// A Layer III frame that needs no frame before it: its own main data moved
// in from the bit reservoir of the frames before it (`before`: their main
// data bytes, the last ones last), main_data_begin 0, and after it the rest
// of what it carried, so that the frames after it find their reservoir as
// they did. Its header is RebuiltHeader's, to stand before `next` (by
// default, before a frame like itself), at the smallest rate that holds it.
// Nothing when no rate of its stream holds it, or `frame` is not exactly
// one whole Layer III frame, or `before` holds less than its reservoir.
std::optional<std::vector<unsigned char>> SelfContainedFrame(std::span<const unsigned char> frame,
                                                             std::span<const unsigned char> before,
                                                             std::optional<FrameHeader> next = {});

// A Layer III frame to stand before a frame of `next` (whose flags decoders
// compare it takes, CRC included), without padding, that decodes to silence
// and leaves the decoder as still as before it. Its main data is none, but
// it ends with `reservoir`: the bit reservoir the frame after it reaches
// back into. At next's rate when that holds them, else at the smallest that
// does. Nothing for another layer, or when no rate holds the reservoir.
std::optional<std::vector<unsigned char>> SilentFrame(const FrameHeader& next,
                                                      std::span<const unsigned char> reservoir = {});

}  // namespace sundrel
