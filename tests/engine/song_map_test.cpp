// SPDX-License-Identifier: GPL-3.0-or-later
#include "song_map.h"
#include "conventions.h"
#include "frame_stream.h"
#include "mp3_fixture.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

using namespace sundrel;
using namespace sundrel::test;

namespace {

// MPEG-1 Layer III, 44.1 kHz, mono: 417-byte frames at 128 kbit/s and
// 1044-byte frames at 320 kbit/s; and MPEG-2, another stream.
const RawHeader Slow{3, 1, 9, 0, false, 3};
const RawHeader Fast{3, 1, 14, 0, false, 3};
const RawHeader Lsf{2, 1, 9, 0, false, 3};

class SongMapOf : public ::testing::Test {
protected:
    SongMap Map(const std::string& bytes, const EventPass& eventPass = {}) {
        WriteBytes(Path(), bytes);
        return MapSong(Path(), ReadSongFile(Path()), eventPass).value();
    }
    std::string Path() const { return folder / "song.mp3"; }
    TempFolder folder;
};

TEST_F(SongMapOf, FramesInChainsOnly) {
    std::string damaged = FrameBytes(Slow);
    damaged[1] = '\0';
    const struct {
        const char* name;
        std::function<void(FrameStream&)> build;
        std::vector<int> found;  // which of the stream's frames
    } cases[] = {
        {"garbage before, between and after",
         [](FrameStream& s) {
             s.Bytes(Pattern(0, 1000)).Frame(Slow, 5).Bytes(Pattern(7, 333)).Frame(Fast, 4).Bytes(Pattern(9, 50));
         },
         {0, 1, 2, 3, 4, 5, 6, 7, 8}},
        {"a damaged header",
         [&](FrameStream& s) { s.Frame(Slow, 6).Bytes(damaged).Frame(Fast, 5); },
         {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}},
        {"too short a chain amid garbage",
         [](FrameStream& s) { s.Bytes(Pattern(0, 99)).Frame(Slow, 3).Bytes(Pattern(3, 99)).Frame(Slow, 4); },
         {3, 4, 5, 6}},
        {"a short chain that ends the sound", [](FrameStream& s) { s.Bytes(Pattern(0, 99)).Frame(Fast, 2); }, {0, 1}},
        {"frames of another stream",
         [](FrameStream& s) { s.Frame(Slow, 5).Frame(Lsf, 5).Frame(Fast, 4); },
         {0, 1, 2, 3, 4, 10, 11, 12, 13}},
        {"a last frame cut short",
         [](FrameStream& s) { s.Frame(Slow, 5).Bytes(FrameBytes(Slow).substr(0, 200)); },
         {0, 1, 2, 3, 4}},
        {"not audio", [](FrameStream& s) { s.Bytes(Pattern(0, 300'000)); }, {}},
        {"headers that do not chain",
         [](FrameStream& s) {
             for (int i = 0; i < 500; ++i) s.Bytes(HeaderBytes(Slow));
         },
         {}},
        {"sync bytes only", [](FrameStream& s) { s.Bytes(std::string(5000, '\xFF')); }, {}},
        {"one byte", [](FrameStream& s) { s.Bytes("\xFF"); }, {}},
        {"empty", [](FrameStream&) {}, {}},
    };
    for (const auto& c : cases) {
        FrameStream stream;
        c.build(stream);
        std::vector<std::int64_t> expected, found;
        for (int i : c.found) expected.push_back(stream.offsets[static_cast<std::size_t>(i)]);
        const SongMap map = Map(stream.bytes);
        for (std::size_t i = 0; i < map.Frames().Count(); ++i) found.push_back(map.Frames().Offset(i));
        EXPECT_EQ(found, expected) << c.name;
    }
}

// Four bytes a frame hold only the low half of an offset past 4 GiB.
TEST(FrameIndex, OffsetsPastFourGigabytesAndChainEnds) {
    constexpr std::int64_t G4 = 1LL << 32;
    FrameIndex index;
    index.Add(G4 - 417, 417, 3);
    index.Add(G4, 417, 3);
    index.Add(2 * G4 + 1000, 500, 1);  // after a stretch of garbage
    ASSERT_EQ(index.Count(), 3u);
    EXPECT_EQ(index.Offset(1), G4);
    EXPECT_EQ(index.Offset(2), 2 * G4 + 1000);
    EXPECT_EQ(index.End(1), G4 + 417);
    EXPECT_EQ(index.End(2), 2 * G4 + 1500);
    EXPECT_EQ(index.ChannelMode(1), 3);
    EXPECT_EQ(index.ChannelMode(2), 1);
    EXPECT_EQ(index.FirstStartingFrom(G4 - 1), 1u);
    EXPECT_EQ(index.FirstEndingAfter(G4 + 417), 2u);
    EXPECT_EQ(index.FirstStartingFrom(3 * G4), 3u);
}

TEST_F(SongMapOf, HeaderFrameBelongsToTheHead) {
    const std::string tag("ID3\x04\0\0\0\0\0\x14", 10);  // 30 bytes with its 20 of padding
    const struct {
        const char* name;
        std::string first;
        int skipped;
    } cases[] = {
        {"Xing", XingFrameBytes(Slow, 21), 0},
        {"Info from lame", XingFrameBytes(Slow, 21, "Info", "LAME3.100", 576), 576 + 529},
        {"Info from ffmpeg, whose delay the player keeps", XingFrameBytes(Slow, 21, "Info", "Lavc60.31", 576), 0},
        {"VBRI", FrameBytes(Slow, std::string(32, '\0') + "VBRI"), 0},
    };
    for (const auto& c : cases) {
        FrameStream stream;
        stream.Bytes(tag + std::string(20, '\0') + c.first).Frame(Slow, 6);
        const SongMap map = Map(stream.bytes);
        EXPECT_EQ(map.Sound().First, 30 + 417) << c.name;
        EXPECT_EQ(map.Frames().Count(), 6u) << c.name;
        EXPECT_EQ(map.SkippedSamples(), c.skipped) << c.name;
    }
    FrameStream later;  // only the first frame can be one
    later.Frame(Slow, 4).Bytes(XingFrameBytes(Slow, 21)).Frame(Slow, 2);
    EXPECT_EQ(Map(later.bytes).Frames().Count(), 7u);
}

// 10,000,000 bytes of 100 s: Start at 10 s and End at 12 s.
TEST_F(SongMapOf, NoFramesMapsLinearlyOneBitRateByFrame) {
    WriteBytes(Path(), "x");
    std::filesystem::resize_file(Path(), 10'000'000);
    const SongFile file = ReadSongFile(Path());
    for (const SongMap& map : {*MapSong(Path(), file), SongMap(file)}) {
        const auto start = map.PositionToKB(10, 100), end = map.PositionToKB(12, 100);
        ASSERT_TRUE(start && end);
        EXPECT_EQ(NumberToText(*start, '.'), "976.56");
        EXPECT_EQ(NumberToText(*end - *start, '.'), "195.312");
    }
    EXPECT_EQ(SongMap().PositionToKB(10, 100), 0.0);

    // Frames of one rate map by frame too, after the tags and header frame.
    FrameStream stream;
    stream.Bytes(std::string("ID3\x04\0\0\0\0\x07\x76", 10) + std::string(1014, '\0'))
        .Bytes(XingFrameBytes(Slow, 21, "Info", "LAME3.100", 576))
        .Frame(Slow, 60);
    const SongMap map = Map(stream.bytes);
    EXPECT_EQ(map.PositionToKB(0, 100), (1024 + 417) / 1024.0);
    EXPECT_EQ(map.PositionToKB(0.5, 100), double(stream.offsets[(22050 + 1105) / 1152]) / 1024.0);
    for (double duration : {0.0, -5.0, std::nan(""), double(INFINITY)})
        EXPECT_EQ(map.PositionToKB(10, duration), std::nullopt) << duration;
    EXPECT_EQ(map.PositionToKB(INFINITY, 100), std::nullopt);
    const std::vector<unsigned char> info = map.KeptHeader(map.Sound().First, 10'000).value();
    ASSERT_EQ(info.size(), 417u);
    EXPECT_EQ(std::string(info.begin() + 21, info.begin() + 25), "Info");
}

// A header frame, 100 frames of 417 and 1044 bytes (mono, then joint
// stereo), and an ID3v1 tag.
FrameStream VariableStream(const std::string& headerFrame, int layer = 1) {
    FrameStream stream;
    stream.Bytes(headerFrame);
    for (int i = 0; i < 100; ++i) stream.Frame({3, layer, i % 3 ? 9 : 14, 0, false, i < 50 ? 3 : 1});
    stream.Bytes("TAG" + std::string(125, ' '));
    return stream;
}

TEST_F(SongMapOf, VariableBitRateMapsToTheFrameOfTheMoment) {
    for (const int skipped : {1105, 0}) {
        const FrameStream stream =
            VariableStream(skipped ? XingFrameBytes(Slow, 21, "Xing", "LAME3.100", 576) : XingFrameBytes(Slow, 21));
        const SongMap map = Map(stream.bytes);
        ASSERT_TRUE(map.VariableBitRate());
        ASSERT_EQ(map.SkippedSamples(), skipped);
        const auto kb = [&](std::size_t i) { return double(stream.offsets[i]) / 1024.0; };
        // The moment's sample, counted from the decoder's first, over 1152.
        const auto frameOf = [&](double p) { return static_cast<std::size_t>((p * 44100 + skipped) / 1152); };
        for (double p : {0.0, 0.001, 0.002, 1152.0 / 44100, 1.0, 2.5})
            EXPECT_EQ(map.PositionToKB(p, 60), kb(frameOf(p))) << p << " skipping " << skipped;
        EXPECT_EQ(map.PositionToKB(-3, 60), kb(0));
        const double soundEndKB = static_cast<double>(stream.bytes.size() - 128) / 1024.0;
        EXPECT_EQ(map.PositionToKB(100.5 * 1152.0 / 44100, 60), soundEndKB);
        EXPECT_EQ(map.PositionToKB(1e300, 60), soundEndKB);
        EXPECT_EQ(map.PositionToKB(std::nan(""), 60), std::nullopt);
        EXPECT_EQ(map.PositionToKB(1, 0), std::nullopt);
    }
}

// A mark snapped to a frame is where the cut lands: its moment maps to that
// frame's first byte, never to a neighbour's.
TEST_F(SongMapOf, FrameNearIsTheFrameTheMomentMapsTo) {
    const FrameStream stream = VariableStream(XingFrameBytes(Slow, 21, "Xing", "LAME3.100", 576));
    const SongMap map = Map(stream.bytes);
    const double frame = 1152.0 / 44100, first = -1105.0 / 44100;
    const struct {
        double at;
        std::size_t nearest;
    } cases[] = {{0, 1},  {first, 0}, {10 * frame + first + 0.4 * frame, 10}, {10 * frame + first + 0.6 * frame, 11},
                 {-5, 0}, {1e6, 99}};
    for (const auto& c : cases) {
        const auto near = map.FrameNear(c.at);
        ASSERT_TRUE(near) << c.at;
        EXPECT_DOUBLE_EQ(near->Length, frame);
        EXPECT_EQ(map.PositionToKB(near->Start, 60), double(stream.offsets[c.nearest]) / 1024.0) << c.at;
    }
    EXPECT_FALSE(SongMap().FrameNear(1));
    EXPECT_FALSE(map.FrameNear(std::nan("")));
}

TEST_F(SongMapOf, KeptHeaderDescribesTheWholeFramesOfThePiece) {
    const FrameStream stream = VariableStream(XingFrameBytes(Slow, 21, "Xing", "LAME3.100", 576));
    const SongMap map = Map(stream.bytes);
    const auto offset = [&](int i) { return stream.offsets[static_cast<std::size_t>(i)]; };
    const std::int64_t soundEnd = static_cast<std::int64_t>(stream.bytes.size()) - 128;
    const struct {
        std::int64_t begin, end;
        int first, frames, mode;  // first whole frame, whole frames, its channel mode
    } cases[] = {
        {offset(5), offset(25), 5, 20, 3},
        {offset(5) - 7, offset(25) + 100, 5, 20, 3},
        {offset(60) + 1, offset(99) + 5, 61, 38, 1},
        {offset(90), soundEnd, 90, 10, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        const std::int64_t count = c.end - c.begin;
        const std::vector<unsigned char> frame = map.KeptHeader(c.begin, count).value();
        const auto h = ParseFrameHeader(frame);
        ASSERT_TRUE(h);
        EXPECT_EQ(static_cast<int>(frame.size()), h->Length());
        EXPECT_TRUE(SameStream(*h, *ParseFrameHeader(AsBytes(stream.bytes))));
        EXPECT_EQ(h->ChannelMode, c.mode);
        const unsigned char* x = frame.data() + XingOffset(*h);
        const auto big = [](const unsigned char* p) {
            return std::int64_t(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3];
        };
        EXPECT_EQ(std::string(x, x + 4), "Xing");
        EXPECT_EQ(big(x + 4), 15);
        EXPECT_EQ(big(x + 8), c.frames);
        EXPECT_EQ(big(x + 12), count + static_cast<std::int64_t>(frame.size())) << "the whole stream";
        for (int i = 0; i < 100; ++i) {
            const std::int64_t at = offset(c.first + i * c.frames / 100) - c.begin;
            EXPECT_EQ(x[16 + i], std::min<std::int64_t>(255, 256 * at / count)) << "entry " << i;
            EXPECT_GE(x[16 + i], x[15 + std::max(i, 1)]);
        }
    }
    EXPECT_FALSE(map.KeptHeader(offset(5) + 1, 1000)) << "no whole frame";
    EXPECT_FALSE(map.KeptHeader(offset(5), 0));
    const FrameStream layerTwo = VariableStream(FrameBytes({3, 2, 9, 0}), 2);
    EXPECT_TRUE(Map(layerTwo.bytes).VariableBitRate());
    EXPECT_FALSE(Map(layerTwo.bytes).KeptHeader(0, 100'000));
}

TEST_F(SongMapOf, EventPassRunsBetweenChunksAndCanAbandon) {
    FrameStream stream;
    stream.Frame(Slow, 5000);  // about 2 MB
    int passes = 0;
    EXPECT_EQ(Map(stream.bytes, [&] { return ++passes > 0; }).Frames().Count(), 5000u);
    EXPECT_GE(passes, static_cast<int>(stream.bytes.size() / (512 * 1024)));
    passes = 0;
    EXPECT_FALSE(MapSong(Path(), ReadSongFile(Path()), [&] { return ++passes < 2; }));
    EXPECT_EQ(passes, 2);
}

TEST_F(SongMapOf, DurationFromTheFrames) {
    constexpr double frame = 1152.0 / 44100;
    const struct {
        const char* name;
        std::function<void(FrameStream&)> build;
        std::optional<double> seconds;
    } cases[] = {
        // Its padding, 0, is shorter than the decoder's delay: the decoder
        // stops at the last frame's end, 529 samples short of it.
        {"lame's delay dropped",
         [](FrameStream& s) { s.Bytes(XingFrameBytes(Slow, 21, "Info", "LAME3.100", 576)).Frame(Slow, 60); },
         60 * frame - (576 + 529) / 44100.0},
        {"ffmpeg's kept",
         [](FrameStream& s) { s.Bytes(XingFrameBytes(Slow, 21, "Info", "Lavc60.31", 576)).Frame(Slow, 60); },
         60 * frame},
        {"no header frame", [](FrameStream& s) { s.Frame(Slow, 60); }, 60 * frame},
        {"a second stream at half the rate", [](FrameStream& s) { s.Frame(Slow, 10).Frame(Lsf, 40); },
         10 * frame + 40 * frame},
        {"no frames", [](FrameStream& s) { s.Bytes(Pattern(0, 5000)); }, std::nullopt},
    };
    for (const auto& c : cases) {
        FrameStream stream;
        c.build(stream);
        const auto seconds = Map(stream.bytes).Duration();
        ASSERT_EQ(seconds.has_value(), c.seconds.has_value()) << c.name;
        if (seconds) {
            EXPECT_NEAR(*seconds, *c.seconds, 1e-9) << c.name;
        }
    }
    FrameStream song;
    song.Frame(Slow, 60);
    const SongMap map = Map(song.bytes);
    // The player's own length, unless it has none or is more than 1 s off.
    for (const auto& [player, used] : {std::pair{std::optional(1.5), 1.5},
                                       {std::optional(1.0), 1.0},
                                       {std::optional(0.0), 60 * frame},
                                       {std::optional<double>(), 60 * frame},
                                       {std::optional(2.6), 60 * frame}})
        EXPECT_NEAR(PlayedDuration(player, map).value_or(-1), used, 1e-9) << player.value_or(-1);
    EXPECT_EQ(PlayedDuration(std::nullopt, SongMap()), std::nullopt);
    EXPECT_EQ(PlayedDuration(7.0, SongMap()), 7.0);
}

// Once sound has begun, a stretch of a MiB without frames ends it: a hole
// of 4 GiB after a song is not read.
TEST_F(SongMapOf, LongGapEndsTheSound) {
    for (const auto& [gap, found] : {std::pair{900'000, 10u}, {1'100'000, 5u}}) {
        FrameStream stream;
        stream.Frame(Slow, 5).Bytes(std::string(static_cast<std::size_t>(gap), '\0')).Frame(Slow, 5);
        EXPECT_EQ(Map(stream.bytes).Frames().Count(), found) << gap;
    }
    FrameStream song;
    song.Frame(Slow, 100);
    WriteBytes(Path(), song.bytes);
    std::filesystem::resize_file(Path(), (4LL << 30) + song.bytes.size());
    int passes = 0;
    const auto map = MapSong(Path(), ReadSongFile(Path()), [&] { return ++passes > 0; });
    ASSERT_TRUE(map);
    EXPECT_EQ(map->Frames().Count(), 100u);
    EXPECT_EQ(map->Sound().End, static_cast<std::int64_t>(song.bytes.size()));
    EXPECT_LE(passes, 8) << "read no more than a MiB past the song";
}

// Songs made by lame, cut as the window cuts them, decoded by mpg123.
TEST_F(SongMapOf, LameConstantBitRateKeepsItsInfoFrameInTheHead) {
    ASSERT_TRUE(MakeToneMp3(Path(), 5.0));
    ASSERT_TRUE(PrependId3v2(Path(), 4096));
    ASSERT_TRUE(AppendId3v1(Path()));
    const SongMap map = *MapSong(Path(), ReadSongFile(Path()));
    EXPECT_FALSE(map.VariableBitRate());
    EXPECT_EQ(map.SkippedSamples(), 576 + 529);
    EXPECT_EQ(map.Sound().First, 4096 + 417);
    EXPECT_EQ(map.Frames().End(map.Frames().Count() - 1), map.File().Length - 128);
}

TEST_F(SongMapOf, LameVariableCutStartsAndLastsAsAsked) {
    constexpr double seconds = 40;
    const std::vector<std::int16_t> original = QuietLoudSamples(seconds);
    for (const BitRateMode mode : {BitRateMode::Vbr2, BitRateMode::Abr128}) {
        SCOPED_TRACE(mode == BitRateMode::Vbr2 ? "-V2" : "--abr 128");
        ASSERT_TRUE(MakeQuietLoudMp3(Path(), seconds, mode));
        const SongMap map = *MapSong(Path(), ReadSongFile(Path()));
        ASSERT_TRUE(map.VariableBitRate());
        if (mode == BitRateMode::Vbr2) {  // measured: 32 and 92 kbit/s
            const FrameIndex& frames = map.Frames();
            const std::size_t half = frames.Count() / 2;
            const auto kbits = [&](std::size_t from, std::size_t to) {
                return double(frames.Offset(to) - frames.Offset(from)) * 8 /
                       (double(to - from) * 1152.0 / kSampleRate) / 1000;
            };
            EXPECT_LT(kbits(0, half), 48);
            EXPECT_GT(kbits(half, frames.Count() - 1), 80);
        }
        const std::string bytes = ReadBytes(Path());
        for (const auto& [from, to] : {std::pair{5.0, 15.0}, std::pair{25.0, 35.0}, std::pair{0.0, 10.0}}) {
            SCOPED_TRACE(from);
            // Through the size fields' text, as the window does.
            const auto field = [&](double p) {
                return *KbTextToBytes(NumberToText(*map.PositionToKB(p, seconds), '.'), '.');
            };
            const std::int64_t begin = field(from), end = field(to);
            const std::optional<std::vector<unsigned char>> header = map.KeptHeader(begin, end - begin);
            ASSERT_TRUE(header);
            WriteBytes(folder / "kept.mp3",
                       std::string(header->begin(), header->end()) + bytes.substr(begin, end - begin));

            const Decoded decoded = DecodeWithMpg123(folder / "kept.mp3");
            const auto found = LocateExcerpt(original, Span(decoded, 0.5, 1.5));
            ASSERT_TRUE(found);
            EXPECT_NEAR(double(*found) / kSampleRate - 0.5, from, 0.05);
            EXPECT_NEAR(decoded.seconds(), to - from, 0.05);
        }
    }
}

}  // namespace

namespace {

std::uint32_t HeaderFrames(const std::string& kept) {
    const unsigned char* x = AsBytes(kept).data() + XingOffset(*ParseFrameHeader(AsBytes(kept))) + 8;
    return std::uint32_t(x[0]) << 24 | std::uint32_t(x[1]) << 16 | std::uint32_t(x[2]) << 8 | x[3];
}

class KeptOf : public SongMapOf {
protected:
    // The kept file of [start, end) as the window writes it, decoded.
    Decoded Cut(const SongMap& map, double start, double end, int rate = kSampleRate) {
        const auto kept = map.Kept(start, end);
        EXPECT_TRUE(kept);
        if (!kept) return {};
        const std::string bytes = ReadBytes(Path());
        keptBytes = std::string(kept->Header.begin(), kept->Header.end());
        for (const ByteRange& range : kept->Ranges)
            keptBytes +=
                bytes.substr(static_cast<std::size_t>(range.Begin), static_cast<std::size_t>(range.End - range.Begin));
        WriteBytes(folder / "kept.mp3", keptBytes);
        const auto walked = MapSong(folder / "kept.mp3", ReadSongFile(folder / "kept.mp3"));
        EXPECT_EQ(HeaderFrames(keptBytes), walked->Frames().Count()) << "frames counted in the header";
        return DecodeWithMpg123(folder / "kept.mp3", rate);
    }
    std::string keptBytes;
};

// Two encodes joined, 44.1 kHz then 22.05 kHz: the second is a stream of
// its own, and a cut in it holds what was selected.
TEST_F(KeptOf, SongWhoseRateChangesMidway) {
    ASSERT_TRUE(MakeQuietLoudMp3(folder / "a.mp3", 20, {"-b", "128"}));
    ASSERT_TRUE(MakeQuietLoudMp3(folder / "b.mp3", 20, {"--resample", "22.05", "-b", "64"}, 7));
    WriteBytes(Path(), ReadBytes(folder / "a.mp3") + ReadBytes(folder / "b.mp3"));
    const SongMap map = *MapSong(Path(), ReadSongFile(Path()));
    EXPECT_NEAR(*map.Duration(), 40, 0.1);
    // A mark snaps to the second stream's frames, of their own length.
    const auto near = map.FrameNear(30);
    ASSERT_TRUE(near);
    EXPECT_DOUBLE_EQ(near->Length, 576.0 / 22050);
    EXPECT_NEAR(near->Start, 30, near->Length / 2 + 1e-9);
    EXPECT_DOUBLE_EQ(map.FrameNear(near->Start)->Start, near->Start);
    const Decoded kept = Cut(map, 25, 35, 22050);
    EXPECT_NEAR(kept.seconds(), 10, 0.002);
    const Decoded second = DecodeWithMpg123(folder / "b.mp3", 22050, false);
    const auto found = LocateExcerpt(second.samples, Span(kept, 0, 1));
    ASSERT_TRUE(found);
    EXPECT_NEAR(double(*found) / 22050.0, 5, 0.05);
}

// End at the song's end keeps its last frame; less than a frame is no cut.
TEST_F(KeptOf, EndAtTheSongsEndAndTooShortASelection) {
    ASSERT_TRUE(MakeQuietLoudMp3(Path(), 30, BitRateMode::Vbr2));
    const SongMap map = *MapSong(Path(), ReadSongFile(Path()));
    const double duration = *map.Duration();
    EXPECT_NEAR(duration, 30, 1e-9);
    for (const double end : {duration, duration + 5}) {
        const Decoded kept = Cut(map, 25, end);
        EXPECT_NEAR(kept.seconds(), 5, 0.002) << end;
        EXPECT_EQ(map.Kept(25, end)->End(), map.Frames().End(map.Frames().Count() - 1));
    }
    EXPECT_FALSE(map.Kept(10, 10 + 1151.0 / 44100));
    EXPECT_TRUE(map.Kept(10, 10 + 1152.0 / 44100));
    EXPECT_FALSE(map.Kept(31, 40)) << "after the song";
    EXPECT_FALSE(SongMap().Kept(1, 5)) << "no frames";
}

}  // namespace
