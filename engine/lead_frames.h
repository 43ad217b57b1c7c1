// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The frames a kept file holds ahead of its song's own: the first kept frame
// rebuilt to need no frame before it, and a silent frame.

#include <optional>
#include <span>
#include <vector>

namespace sundrel {

// A Layer III frame that needs no frame before it: its own main data moved
// in from the bit reservoir of the frames before it (`before`: their main
// data bytes, the last ones last), main_data_begin 0, and after it the rest
// of what it carried, so that the frames after it find their reservoir as
// they did. At the smallest rate that holds it, without CRC. Nothing when
// no rate of its stream holds it, or `frame` is not exactly one whole Layer
// III frame, or `before` holds less than its reservoir.
std::optional<std::vector<unsigned char>> SelfContainedFrame(std::span<const unsigned char> frame,
                                                             std::span<const unsigned char> before);

// A Layer III frame with the header `frame` begins with (the flags decoders
// compare from frame to frame included), without CRC or padding, that
// decodes to silence and leaves the decoder as still as before it. Nothing
// when `frame` does not begin with a Layer III header.
std::optional<std::vector<unsigned char>> SilentFrame(std::span<const unsigned char> frame);

}  // namespace sundrel
