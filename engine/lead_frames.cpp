// SPDX-License-Identifier: GPL-3.0-or-later
#include "lead_frames.h"

#include "side_info.h"

#include <algorithm>
#include <cstddef>

namespace sundrel {

std::optional<std::vector<unsigned char>> SilentFrame(const FrameHeader& next, std::span<const unsigned char> reservoir,
                                                      int reach) {
    FrameHeader h = next;
    h.Padding = false;
    if (h.Layer != 3) {
        // A bit allocation of zeros (11172-3 2.4.2.5 and 2.4.2.6).
        if (!reservoir.empty()) return std::nullopt;
        h.Protected = false;
        return BlankFrame(h);
    }
    const int needed = MainDataOffset(h) + static_cast<int>(reservoir.size());
    if (h.Length() < needed) {
        const std::optional<FrameHeader> holding =
            h.BitRateIndex == FreeFormatBitRateIndex ? std::nullopt : SmallestFrameHolding(h, needed, false);
        if (!holding) return std::nullopt;
        h = *holding;
    }
    std::vector<unsigned char> silent = BlankFrame(h);
    // No main data at all: every granule is zero. Written through the side
    // information, so that a protected frame's CRC is right.
    SideInfo nothing;
    nothing.Granules = GranulesPerFrame(h);
    nothing.Channels = h.Mono() ? 1 : 2;
    nothing.MainDataBegin = reach;
    if (!WriteSideInfo(h, nothing, silent)) return std::nullopt;
    std::copy(reservoir.begin(), reservoir.end(), silent.end() - static_cast<std::ptrdiff_t>(reservoir.size()));
    return silent;
}

std::optional<std::vector<std::vector<unsigned char>>> SilentFrames(const FrameHeader& next,
                                                                    std::span<const unsigned char> reservoir,
                                                                    int maxFrames) {
    std::size_t count = 1;
    const auto room = static_cast<std::size_t>(std::max(next.FreeFormatLength - MainDataOffset(next), 1));
    if (next.Layer == 3 && next.BitRateIndex == FreeFormatBitRateIndex) {
        count = std::clamp<std::size_t>((reservoir.size() + room - 1) / room, 1,
                                        static_cast<std::size_t>(std::max(maxFrames, 1)));
        reservoir = reservoir.last(std::min(reservoir.size(), count * room));
    }
    std::vector<std::vector<unsigned char>> frames;
    for (std::size_t f = 0; f < count; ++f) {
        // The last frame holds the reservoir's last bytes, the first what is left.
        const std::size_t chunkEnd = reservoir.size() - std::min((count - 1 - f) * room, reservoir.size());
        const std::size_t chunkBegin = f == 0 ? 0 : chunkEnd - std::min(room, chunkEnd);
        const int reach = std::min(static_cast<int>(chunkBegin), MaxMainDataBegin(next));
        std::optional<std::vector<unsigned char>> silent =
            SilentFrame(next, reservoir.subspan(chunkBegin, chunkEnd - chunkBegin), reach);
        if (!silent) return std::nullopt;
        frames.push_back(std::move(*silent));
    }
    return frames;
}

std::optional<std::vector<unsigned char>> SelfContainedFrame(std::span<const unsigned char> frame,
                                                             std::span<const unsigned char> before,
                                                             std::optional<FrameHeader> next) {
    const std::optional<FrameHeader> original = ParseFrameOfLength(frame, static_cast<std::int64_t>(frame.size()));
    if (!original || original->Layer != 3) return std::nullopt;
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

    const FrameHeader rebuiltHeader = RebuiltHeader(header, next.value_or(header));
    const int needed = MainDataOffset(rebuiltHeader) + static_cast<int>(data.size());
    const std::optional<FrameHeader> h = SmallestFrameHolding(rebuiltHeader, needed, true);
    if (!h) return std::nullopt;

    std::vector<unsigned char> rebuilt = BlankFrame(*h);
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
