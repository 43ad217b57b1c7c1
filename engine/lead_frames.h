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

// A frame to stand beside a frame of `next` (whose flags decoders compare
// it takes, CRC included), without padding, that decodes to silence and
// leaves the decoder as still as before it. In Layer III its main data is
// none, but it ends with `reservoir`: the bit reservoir the frame after it
// reaches back into; at next's rate when that holds them, else at the
// smallest that does, but in a free-format stream always of its length
// (GStreamer takes no other frames into one). Its main_data_begin is
// `reach`: where a reservoir spans several such frames, each but the first
// claims the bytes before it, since a decoder may keep no more than the
// frame before it reached back to (mpg123 does so). Nothing when no frame
// holds the reservoir. In Layers I and II, without CRC, no subband
// allocated.
std::optional<std::vector<unsigned char>> SilentFrame(const FrameHeader& next,
                                                      std::span<const unsigned char> reservoir = {}, int reach = 0);

// Silent frames to stand before a frame of `next` that carry `reservoir`
// between them: one (SilentFrame), but in a free-format stream as many of
// its length as hold it, at most `maxFrames` (the earliest bytes left out
// beyond that), each claiming the reservoir bytes before it. Nothing when
// a frame cannot be built.
std::optional<std::vector<std::vector<unsigned char>>> SilentFrames(const FrameHeader& next,
                                                                    std::span<const unsigned char> reservoir,
                                                                    int maxFrames);

}  // namespace sundrel
