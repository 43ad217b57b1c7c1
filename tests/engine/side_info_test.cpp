// SPDX-License-Identifier: GPL-3.0-or-later
#include "side_info.h"
#include "lame_frames.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <vector>

using namespace sundrel;
using namespace sundrel::test;

namespace {

// Every frame lame wrote reads, and writes back byte for byte; a protected
// frame's CRC is the one lame wrote. The fields read where lame put them:
// no granule claims more main data than the frame and its reservoir hold,
// big_values counts pairs of a granule's 576 values, and a switched block
// is never of type 0 (11172-3 2.4.2.7).
TEST(SideInfo, ReadsAndWritesBackWhatLameWrote) {
    bool switched = false;
    for (const LameKind& kind : LameKinds()) {
        SCOPED_TRACE(kind.name);
        const LameSong song(kind);
        ASSERT_TRUE(song.Ok());
        std::int64_t mainDataBefore = 0;
        for (std::size_t i = 0; i < song.Count(); ++i) {
            const FrameHeader h = song.Header(i);
            ASSERT_EQ(h.Version, kind.version);
            ASSERT_EQ(h.Mono(), kind.mono);
            ASSERT_EQ(h.Protected, kind.crc);
            const std::span<const unsigned char> frame = song.Frame(i);
            const std::optional<SideInfo> side = ReadSideInfo(h, frame);
            ASSERT_TRUE(side) << "frame " << i;
            EXPECT_EQ(side->Granules, kind.version == MpegVersion::Mpeg1 ? 2 : 1);
            EXPECT_EQ(side->Channels, kind.mono ? 1 : 2);

            const std::int64_t ownBytes = static_cast<std::int64_t>(frame.size()) - MainDataOffset(h);
            EXPECT_LE(side->MainDataBegin, std::min<std::int64_t>(mainDataBefore, MaxMainDataBegin(h))) << i;
            EXPECT_LE(side->MainDataBits(), 8 * (side->MainDataBegin + ownBytes)) << i;
            mainDataBefore += ownBytes;
            for (int g = 0; g < side->Granules; ++g)
                for (int c = 0; c < side->Channels; ++c) {
                    const GranuleInfo& info = side->Granule[g][c];
                    EXPECT_LE(info.BigValues, 576 / 2) << i;
                    if (!info.WindowSwitching) continue;
                    switched = true;
                    EXPECT_NE(info.BlockType, 0) << i;
                }

            std::vector<unsigned char> copy(frame.begin(), frame.end());
            std::fill(copy.begin() + FrameHeaderLength, copy.begin() + MainDataOffset(h), 0);
            ASSERT_TRUE(WriteSideInfo(h, *side, copy));
            EXPECT_TRUE(std::equal(copy.begin(), copy.end(), frame.begin())) << "frame " << i;
            if (kind.crc) {
                EXPECT_EQ(FrameCrc(h, frame),
                          std::uint16_t(frame[FrameHeaderLength] << 8 | frame[FrameHeaderLength + 1]))
                    << "frame " << i;
            }
        }
    }
    EXPECT_TRUE(switched) << "no short block was read";
}

TEST(SideInfo, RefusesWhatItCannotHold) {
    const LameSong song(LameKinds()[2]);
    ASSERT_TRUE(song.Ok());
    const FrameHeader h = song.Header(0);
    const std::span<const unsigned char> frame = song.Frame(0);
    const SideInfo side = *ReadSideInfo(h, frame);
    const std::vector<unsigned char> original(frame.begin(), frame.end());

    EXPECT_FALSE(ReadSideInfo(h, frame.first(static_cast<std::size_t>(MainDataOffset(h) - 1))));
    FrameHeader layerTwo = h;
    layerTwo.Layer = 2;
    EXPECT_FALSE(ReadSideInfo(layerTwo, frame));

    std::vector<unsigned char> copy = original;
    const auto refused = [&](auto change) {
        SideInfo wrong = side;
        change(wrong);
        return !WriteSideInfo(h, wrong, copy) && copy == original;
    };
    EXPECT_TRUE(refused([](SideInfo& s) { s.Granule[0][0].GlobalGain = 256; }));
    EXPECT_TRUE(refused([](SideInfo& s) { s.Granule[1][0].GlobalGain = -1; }));
    EXPECT_TRUE(refused([](SideInfo& s) { s.MainDataBegin = 512; }));
    EXPECT_TRUE(refused([](SideInfo& s) { s.Channels = 2; }));
    std::vector<unsigned char> shortFrame(original.begin(), original.begin() + MainDataOffset(h) - 1);
    EXPECT_FALSE(WriteSideInfo(h, side, shortFrame));
}

}  // namespace
