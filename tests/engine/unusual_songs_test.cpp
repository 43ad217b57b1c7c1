// SPDX-License-Identifier: GPL-3.0-or-later
// Songs of the kinds lame makes only when asked, or that other encoders and
// damaged files have, cut as the window cuts them and decoded by mpg123:
// each ringtone starts on the sample of Start, lasts to End and sounds as
// the song there; no frame of it reaches back for a reservoir the frame
// before it did not hold; and its first frames agree in what decoders
// compare before they take them for the song (else ffmpeg drops the first
// and GStreamer the gapless record).

#include "lame_frames.h"
#include "side_info.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

using namespace sundrel;
using namespace sundrel::test;

namespace {

using Bytes = std::vector<std::uint8_t>;
namespace fs = std::filesystem;

// Rewrites the header of every frame of sound (its CRC too), frame i by
// change(i, header).
void EachFrame(Bytes& song, const SongMap& map, const std::function<void(std::size_t, FrameHeader&)>& change) {
    for (std::size_t i = 0; i < map.Frames().Count(); ++i) {
        const auto frame = FrameOf(std::span(song), map, i);
        FrameHeader h = *ParseFrameOfLength(frame, std::ssize(frame));
        change(i, h);
        const auto head = EncodeFrameHeader(h);
        std::copy(head.begin(), head.end(), frame.begin());
        if (h.Protected) {
            const std::uint16_t crc = *FrameCrc(h, frame);
            frame[4] = static_cast<std::uint8_t>(crc >> 8);
            frame[5] = static_cast<std::uint8_t>(crc);
        }
    }
}

struct Unusual {
    const char* name;
    std::vector<std::string> lame;
    // Makes the song unusual; nothing to keep it as lame wrote it.
    std::function<void(Bytes&, const SongMap&)> change;
};

const std::vector<Unusual>& Songs() {
    static const std::vector<Unusual> songs = {
        {"CRC", {"-p", "-b", "128"}, {}},
        {"CRC at 22.05 kHz", {"-p", "--resample", "22.05", "-b", "64"}, {}},
        // Joint stereo without its tools decodes as stereo: the frames take
        // turns, as in a stream whose channel mode changes frame to frame.
        {"channel mode changing",
         {"-m", "s", "-b", "160"},
         [](Bytes& song, const SongMap& map) {
             EachFrame(song, map, [](std::size_t i, FrameHeader& h) {
                 h.ChannelMode = i % 2 ? JointStereoMode : StereoMode;
                 h.ModeExtension = 0;
             });
         }},
        {"CRC, emphasis changing",
         {"-p", "-m", "s", "-b", "160"},
         [](Bytes& song, const SongMap& map) {
             EachFrame(song, map, [](std::size_t i, FrameHeader& h) { h.Emphasis = std::array{0, 1, 3}[i % 3]; });
         }},
        {"free format", {"--freeformat", "-b", "200"}, {}},
        // Frames too short for one to carry a reservoir, and too short for
        // lame's header frame.
        {"free format, low rate", {"--freeformat", "--resample", "22.05", "-b", "40"}, {}},
        {"junk between frames",
         {"-V", "2"},
         [](Bytes& song, const SongMap& map) {
             for (auto i = static_cast<std::ptrdiff_t>(map.Frames().Count()) - 3; i > 0; i -= 7)
                 song.insert(song.begin() + map.Frames().End(static_cast<std::size_t>(i)), 301, std::uint8_t(0x5A));
         }},
        {"MPEG-1 320 kbit/s", {"-b", "320"}, {}},
        {"MPEG-2 22.05 kHz 160 kbit/s", {"--resample", "22.05", "-b", "160"}, {}},
        {"MPEG-2 16 kHz 128 kbit/s", {"--resample", "16", "-b", "128"}, {}},
        {"MPEG-2.5 11.025 kHz 64 kbit/s", {"--resample", "11.025", "-b", "64"}, {}},
        {"MPEG-2.5 8 kHz 16 kbit/s", {"--resample", "8", "-b", "16"}, {}},
    };
    return songs;
}

// Each frame reaches back no further than the frame before it held: its
// main data and the reservoir it reached back into (what mpg123 keeps).
void ExpectEveryReservoirThere(const Bytes& kept, const SongMap& map) {
    std::int64_t held = 0;
    for (std::size_t i = 0; i < map.Frames().Count(); ++i) {
        const auto frame = FrameOf(std::span(kept), map, i);
        const FrameHeader h = *ParseFrameOfLength(frame, std::ssize(frame));
        const SideInfo side = *ReadSideInfo(h, frame);
        EXPECT_LE(side.MainDataBegin, held) << "frame " << i;
        held = std::min<std::int64_t>(side.MainDataBegin + std::ssize(frame) - MainDataOffset(h), MaxMainDataBegin(h));
    }
}

// The header bits decoders compare, read from the bytes: ffmpeg the
// channel mode, copyright, original and emphasis of the two frames after
// the header frame, GStreamer the protection and private bits of the first
// few.
void ExpectDecodersTakeTheHead(const Bytes& kept, const SongMap& map) {
    ASSERT_GE(map.Frames().Count(), 4u);
    const auto bits = [&](std::size_t i, int at, unsigned mask) {
        return kept[static_cast<std::size_t>(map.Frames().Offset(i)) + static_cast<std::size_t>(at)] & mask;
    };
    EXPECT_EQ(bits(0, 3, 0xCF), bits(1, 3, 0xCF));
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(kept[1] & 0x01, bits(i, 1, 0x01)) << "frame " << i;
        EXPECT_EQ(kept[2] & 0x01, bits(i, 2, 0x01)) << "frame " << i;
    }
}

class UnusualSong : public ::testing::TestWithParam<std::size_t> {};

TEST_P(UnusualSong, IsCutFromStartToEnd) {
    const Unusual& kind = Songs()[GetParam()];
    TempFolder folder;
    const std::string song = folder / "song.mp3";
    ASSERT_TRUE(MakeQuietLoudMp3(song, 16, kind.lame));
    // The song as lame wrote it: mpg123 loses the reservoir at junk.
    const int rate = ParseFrameHeader(ReadBytes(fs::path(song)), ShortestFreeFormatLength)->SampleRate();
    const Decoded whole = DecodeWithMpg123(song, rate);
    ASSERT_EQ(whole.exitStatus, 0);
    if (kind.change) {
        Bytes bytes = ReadBytes(fs::path(song));
        kind.change(bytes, *MapSong(song, ReadSongFile(song)));
        ASSERT_TRUE(WriteBytes(fs::path(song), bytes));
    }
    const SongMap map = *MapSong(song, ReadSongFile(song));
    ASSERT_NEAR(whole.seconds(), *map.Duration(), 0.002) << "the song's frames are all found";

    for (const auto& [start, end] : {std::pair{0.0, 2.0}, {2.345, 3.9}, {5.1, 7.75}}) {
        SCOPED_TRACE(start);
        ASSERT_TRUE(CutAsTheWindow(song, start, end).Kept);
        const std::string keptPath = folder / "[铃声]1song.mp3";
        const Bytes kept = ReadBytes(fs::path(keptPath));
        const SongMap keptMap = *MapSong(keptPath, ReadSongFile(keptPath));
        const Decoded ringtone = DecodeWithMpg123(keptPath, rate);
        ASSERT_EQ(ringtone.exitStatus, 0);
        const auto found = LocateExcerpt(whole.samples, Span(ringtone, 0, 1));
        ASSERT_TRUE(found);
        EXPECT_NEAR(double(*found) / rate, start, 0.002);
        EXPECT_NEAR(ringtone.seconds(), end - start, 0.002);
        const auto head = static_cast<std::size_t>(0.02 * rate);
        const auto songHead = std::span(whole.samples).subspan(std::size_t(std::lround(start * rate)), head);
        // The song's first moments may be the decoder's silence.
        if (Loudest(songHead) >= 64) {
            EXPECT_GE(Correlation(songHead, std::span(ringtone.samples).first(head)), 0.9)
                << "its first 20 ms sound as the song's";
        }
        EXPECT_NEAR(ringtone.seconds(), *keptMap.Duration(), 0.002) << "it walks to all its frames";
        ExpectEveryReservoirThere(kept, keptMap);
        ExpectDecodersTakeTheHead(kept, keptMap);
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, UnusualSong, ::testing::Range<std::size_t>(0, Songs().size()),
                         [](const ::testing::TestParamInfo<std::size_t>& param) {
                             std::string name = Songs()[param.param].name;
                             for (char& c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             return name;
                         });

}  // namespace
