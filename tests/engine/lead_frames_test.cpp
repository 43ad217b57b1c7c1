// SPDX-License-Identifier: GPL-3.0-or-later
#include "lead_frames.h"
#include "frame_stream.h"
#include "lame_frames.h"
#include "side_info.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <vector>

using namespace sundrel;
using namespace sundrel::test;

namespace {

// What a decoder compares from frame to frame, and what a rebuilt frame
// must therefore keep.
void ExpectSameFlags(const FrameHeader& rebuilt, const FrameHeader& original) {
    EXPECT_TRUE(SameStream(rebuilt, original));
    EXPECT_EQ(rebuilt.Protected, original.Protected);
    EXPECT_EQ(rebuilt.Private, original.Private);
    EXPECT_EQ(rebuilt.ChannelMode, original.ChannelMode);
    EXPECT_EQ(rebuilt.ModeExtension, original.ModeExtension);
    EXPECT_EQ(rebuilt.Copyright, original.Copyright);
    EXPECT_EQ(rebuilt.Original, original.Original);
    EXPECT_EQ(rebuilt.Emphasis, original.Emphasis);
}

// Every frame lame wrote, rebuilt with the main data of the frames before
// it: its side information as it was but main_data_begin 0, its own main
// data (reservoir first) right after it, the bytes later frames reach into
// last, and the smallest frame that holds them all, unless none does.
TEST(SelfContainedFrame, CarriesItsOwnReservoir) {
    for (const LameKind& kind : LameKinds()) {
        SCOPED_TRACE(kind.name);
        const LameSong song(kind);
        ASSERT_TRUE(song.Ok());
        std::vector<unsigned char> before;  // the main data of the frames so far
        int rebuiltFrames = 0;
        for (std::size_t i = 0; i < song.Count(); ++i) {
            const std::span<const unsigned char> frame = song.Frame(i);
            const FrameHeader h = song.Header(i);
            const SideInfo side = *ReadSideInfo(h, frame);
            const auto mainData = frame.subspan(static_cast<std::size_t>(MainDataOffset(h)));
            std::vector<unsigned char> data(before.end() - side.MainDataBegin, before.end());
            data.insert(data.end(), mainData.begin(), mainData.end());
            const std::optional<std::vector<unsigned char>> rebuilt = SelfContainedFrame(frame, before);
            before.insert(before.end(), mainData.begin(), mainData.end());
            FrameHeader largest = RebuiltHeader(h, h);
            largest.BitRateIndex = HighestBitRateIndex;
            largest.Padding = true;
            const int needed = MainDataOffset(largest) + static_cast<int>(data.size());
            ASSERT_EQ(rebuilt.has_value(), needed <= largest.Length()) << "frame " << i;
            if (!rebuilt) continue;
            ++rebuiltFrames;

            const FrameHeader r = *ParseFrameHeader(*rebuilt);
            ExpectSameFlags(r, h);
            EXPECT_EQ(r.Length(), static_cast<int>(rebuilt->size()));
            EXPECT_GE(r.Length(), needed);
            FrameHeader smaller = r;
            if (smaller.Padding)
                smaller.Padding = false;
            else if (--smaller.BitRateIndex >= LowestBitRateIndex)
                smaller.Padding = true;
            if (smaller.BitRateIndex >= LowestBitRateIndex) {
                EXPECT_LT(smaller.Length(), needed) << "frame " << i << " is not the smallest";
            }

            SideInfo expected = side;
            expected.MainDataBegin = 0;
            EXPECT_EQ(ReadSideInfo(r, *rebuilt), expected) << "frame " << i;
            const auto own = static_cast<std::ptrdiff_t>((side.MainDataBits() + 7) / 8);
            const auto at = rebuilt->begin() + MainDataOffset(r);
            EXPECT_TRUE(std::equal(data.begin(), data.begin() + own, at)) << "frame " << i;
            EXPECT_TRUE(std::equal(data.begin() + own, data.end(), rebuilt->end() - (data.end() - data.begin() - own)));
            EXPECT_TRUE(std::all_of(at + own, rebuilt->end() - (data.end() - data.begin() - own),
                                    [](unsigned char b) { return b == 0; }));
        }
        EXPECT_GT(rebuiltFrames, 0);
    }
}

TEST(SelfContainedFrame, RefusesWhatItCannotRebuild) {
    const LameSong song(LameKinds()[0]);
    ASSERT_TRUE(song.Ok());
    std::size_t i = 1;
    while (i < song.Count() && ReadSideInfo(song.Header(i), song.Frame(i))->MainDataBegin == 0) ++i;
    ASSERT_LT(i, song.Count());
    const std::span<const unsigned char> frame = song.Frame(i);
    const int reservoir = ReadSideInfo(song.Header(i), frame)->MainDataBegin;
    const std::vector<unsigned char> enough(static_cast<std::size_t>(reservoir), 0);

    EXPECT_TRUE(SelfContainedFrame(frame, enough));
    EXPECT_FALSE(SelfContainedFrame(frame, std::span(enough).first(enough.size() - 1))) << "reservoir too short";
    EXPECT_FALSE(SelfContainedFrame(frame.first(frame.size() - 1), enough)) << "not a whole frame";
    std::vector<unsigned char> longer(frame.begin(), frame.end());
    longer.push_back(0);
    EXPECT_FALSE(SelfContainedFrame(longer, enough)) << "more than a frame";
    const std::string layerTwo = FrameBytes({3, 2, 9, 0, false, 0});
    EXPECT_FALSE(SelfContainedFrame(AsBytes(layerTwo), enough));
}

// The first frame of each kind, silenced: its header as it was but without
// padding, its CRC right, and nothing but zeros after it: no main data,
// every field of every granule 0. Given a reservoir for the frame after
// it, it ends with those bytes, at the smallest rate that holds them.
TEST(SilentFrame, KeepsTheHeaderAndCodesNothing) {
    for (const LameKind& kind : LameKinds()) {
        SCOPED_TRACE(kind.name);
        const LameSong song(kind);
        ASSERT_TRUE(song.Ok());
        const FrameHeader h = song.Header(0);
        const std::vector<unsigned char> reservoir(static_cast<std::size_t>(MaxMainDataBegin(h)), 0xA5);
        for (const std::size_t carried : {std::size_t{0}, reservoir.size()}) {
            const std::optional<std::vector<unsigned char>> silent =
                SilentFrame(h, std::span(reservoir).first(carried));
            ASSERT_TRUE(silent);
            const FrameHeader s = *ParseFrameHeader(*silent);
            ExpectSameFlags(s, h);
            EXPECT_FALSE(s.Padding);
            EXPECT_EQ(static_cast<int>(silent->size()), s.Length());
            const int needed = MainDataOffset(s) + static_cast<int>(carried);
            if (carried == 0 || h.Length() >= needed) {
                EXPECT_EQ(s.BitRateIndex, h.BitRateIndex);
            } else {
                EXPECT_EQ(s.BitRateIndex, SmallestFrameHolding(s, needed, false)->BitRateIndex);
            }
            SideInfo nothing;
            nothing.Granules = GranulesPerFrame(h);
            nothing.Channels = kind.mono ? 1 : 2;
            EXPECT_EQ(ReadSideInfo(s, *silent), nothing);
            if (kind.crc) {
                EXPECT_EQ((*silent)[4] << 8 | (*silent)[5], *FrameCrc(s, *silent));
            }
            const auto tail = silent->end() - static_cast<std::ptrdiff_t>(carried);
            EXPECT_TRUE(std::all_of(silent->begin() + MainDataOffset(s) - SideInfoLength(s), tail,
                                    [](unsigned char b) { return b == 0; }));
            EXPECT_TRUE(std::equal(tail, silent->end(), reservoir.begin()));
        }
    }
    // Layer II: no subband allocated, no CRC, and no reservoir to carry.
    const FrameHeader layerTwo = *ParseFrameHeader(AsBytes(HeaderBytes({3, 2, 9, 0, true, 0, true})));
    const auto silent = SilentFrame(layerTwo);
    ASSERT_TRUE(silent);
    EXPECT_EQ(static_cast<int>(silent->size()), 522);  // 160 kbit/s, not padded
    EXPECT_FALSE(ParseFrameHeader(*silent)->Protected);
    EXPECT_TRUE(
        std::all_of(silent->begin() + FrameHeaderLength, silent->end(), [](unsigned char b) { return b == 0; }));
    const unsigned char reservoir[] = {1};
    EXPECT_FALSE(SilentFrame(layerTwo, reservoir));
}

}  // namespace
