// SPDX-License-Identifier: GPL-3.0-or-later
#include "lead_frames.h"

#include "mpeg_frames.h"
#include "side_info.h"

#include <algorithm>
#include <cstddef>

namespace sundrel {

std::optional<std::vector<unsigned char>> SilentFrame(std::span<const unsigned char> frame) {
    const auto original = ParseFrameHeader(frame);
    if (!original || original->Layer != 3) return std::nullopt;
    FrameHeader h = RebuiltHeader(*original);
    h.Padding = false;
    // No main data at all: every granule is zero.
    std::vector<unsigned char> silent(static_cast<std::size_t>(h.Length()), 0);
    const auto head = EncodeFrameHeader(h);
    std::copy(head.begin(), head.end(), silent.begin());
    return silent;
}

std::optional<std::vector<unsigned char>> SelfContainedFrame(std::span<const unsigned char> frame,
                                                             std::span<const unsigned char> before) {
    const std::optional<FrameHeader> original = ParseFrameHeader(frame);
    if (!original || original->Layer != 3 || frame.size() != static_cast<std::size_t>(original->Length()))
        return std::nullopt;
    const FrameHeader& header = *original;
    std::optional<SideInfo> side = ReadSideInfo(header, frame);
    if (!side) return std::nullopt;
    const auto reservoir = static_cast<std::size_t>(side->MainDataBegin);
    if (reservoir > before.size()) return std::nullopt;

    // The bytes from the frame's main data on: its reservoir, then its own.
    std::vector<unsigned char> data(before.end() - static_cast<std::ptrdiff_t>(reservoir), before.end());
    data.insert(data.end(), frame.begin() + MainDataOffset(header), frame.end());
    const auto own = static_cast<std::size_t>((side->MainDataBits() + 7) / 8);
    if (own > data.size()) return std::nullopt;

    const FrameHeader unprotected = RebuiltHeader(header);
    const int needed = MainDataOffset(unprotected) + static_cast<int>(data.size());
    const std::optional<FrameHeader> h = SmallestFrameHolding(unprotected, needed, true);
    if (!h) return std::nullopt;

    std::vector<unsigned char> rebuilt(static_cast<std::size_t>(h->Length()), 0);
    const auto head = EncodeFrameHeader(*h);
    std::copy(head.begin(), head.end(), rebuilt.begin());
    side->MainDataBegin = 0;
    if (!WriteSideInfo(*h, *side, rebuilt)) return std::nullopt;
    // Its own main data first; the bytes later frames reach back into stay
    // last, at the distance from the next frame they had.
    const auto dataAt = rebuilt.begin() + MainDataOffset(*h);
    std::copy(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(own), dataAt);
    std::copy(data.begin() + static_cast<std::ptrdiff_t>(own), data.end(),
              rebuilt.end() - static_cast<std::ptrdiff_t>(data.size() - own));
    return rebuilt;
}

}  // namespace sundrel
