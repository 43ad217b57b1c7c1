// SPDX-License-Identifier: GPL-3.0-or-later
// Any bytes as a frame and the main data before it: the frame rebuilt to
// need no reservoir. The rebuilt frame must be a whole frame of the same
// stream, its reservoir empty, made of the bytes it was given and zeros,
// and the bytes later frames reach back into must stay where they were,
// counted from its end.

#include "fuzz_support.h"
#include "lead_frames.h"
#include "mpeg_frames.h"
#include "side_info.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <span>

using namespace sundrel;
using sundrel::fuzz::Bytes;

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    if (size < 4) return 0;
    const auto header = ParseFrameHeader(std::span(data, size));
    if (!header || header->Layer != 3 || static_cast<std::size_t>(header->Length()) > size) return 0;
    const std::span<const unsigned char> frame(data, static_cast<std::size_t>(header->Length()));
    const std::span<const unsigned char> before(data + frame.size(), size - frame.size());
    const auto rebuilt = SelfContainedFrame(frame, before);
    if (!rebuilt) return 0;

    const auto h = ParseFrameHeader(*rebuilt);
    FUZZ_REQUIRE(h && static_cast<std::size_t>(h->Length()) == rebuilt->size(), "the rebuilt frame is a whole frame");
    FUZZ_REQUIRE(h->Version == header->Version && h->Layer == 3 && h->SampleRateIndex == header->SampleRateIndex &&
                     h->ChannelMode == header->ChannelMode && h->Protected == header->Protected,
                 "the rebuilt frame is of the same stream, with a CRC when the frame had one");
    const std::size_t sideAt = 4 + (h->Protected ? 2 : 0);
    if (h->Protected) {
        const auto crc = FrameCrc(*h, *rebuilt);
        FUZZ_REQUIRE(crc && (rebuilt->at(4) << 8 | rebuilt->at(5)) == *crc, "a rebuilt frame's CRC is right");
    }
    FUZZ_REQUIRE(rebuilt->at(3) == frame[3] && (rebuilt->at(2) & 1) == (frame[2] & 1) &&
                     (rebuilt->at(1) & 0xF8) == (frame[1] & 0xF8),
                 "the flags decoders compare stay");
    const bool mpeg1 = header->Version == MpegVersion::Mpeg1;
    const int reservoir = mpeg1 ? (rebuilt->at(sideAt) << 1 | rebuilt->at(sideAt + 1) >> 7) : rebuilt->at(sideAt);
    FUZZ_REQUIRE(reservoir == 0, "the rebuilt frame needs no reservoir");

    // Side information as it was, but for main_data_begin.
    const std::size_t side = static_cast<std::size_t>(MainDataOffset(*h)) - sideAt;
    const unsigned char* oldSide = frame.data() + 4 + (header->Protected ? 2 : 0);
    const auto newSide = rebuilt->begin() + static_cast<std::ptrdiff_t>(sideAt);
    FUZZ_REQUIRE(
        std::equal(newSide + (mpeg1 ? 2 : 1), newSide + static_cast<std::ptrdiff_t>(side), oldSide + (mpeg1 ? 2 : 1)) &&
            (!mpeg1 || (newSide[1] & 0x7F) == (oldSide[1] & 0x7F)),
        "the side information stays");

    // What the frame's main data may reach: its reservoir, then its own.
    const int oldReservoir = mpeg1 ? (oldSide[0] << 1 | oldSide[1] >> 7) : oldSide[0];
    Bytes given(before.end() - oldReservoir, before.end());
    given.insert(given.end(), frame.begin() + MainDataOffset(*header), frame.end());
    const std::span<const unsigned char> main(rebuilt->data() + sideAt + side, rebuilt->size() - sideAt - side);
    FUZZ_REQUIRE(main.size() >= given.size(), "the rebuilt frame holds all it was given");
    // The given bytes, in order, with zeros put in at one place.
    const std::size_t zeros = main.size() - given.size();
    std::size_t head = 0;
    while (head < given.size() && main[head] == given[head]) ++head;
    FUZZ_REQUIRE(
        std::all_of(main.begin() + static_cast<std::ptrdiff_t>(head),
                    main.begin() + static_cast<std::ptrdiff_t>(head + zeros), [](unsigned char b) { return b == 0; }) &&
            std::equal(given.begin() + static_cast<std::ptrdiff_t>(head), given.end(),
                       main.begin() + static_cast<std::ptrdiff_t>(head + zeros)),
        "the rebuilt frame is the bytes it was given and zeros");
    // Later frames reach back from their own start: the old frame's main
    // data sits at the same distance from the frame's end.
    const std::size_t oldOwn = frame.size() - static_cast<std::size_t>(MainDataOffset(*header));
    const std::size_t kept = std::min(oldOwn, given.size() - std::min(head, given.size()));
    FUZZ_REQUIRE(std::equal(frame.end() - static_cast<std::ptrdiff_t>(kept), frame.end(),
                            rebuilt->end() - static_cast<std::ptrdiff_t>(kept)),
                 "the bytes later frames reach back into stay in place");
    return 0;
}
