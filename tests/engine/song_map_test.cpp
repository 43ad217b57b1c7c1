// SPDX-License-Identifier: GPL-3.0-or-later
#include "conventions.h"
#include "frame_stream.h"
#include "mp3_fixture.h"
#include "song_map.h"
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
         [](FrameStream& s) { s.Bytes(Pattern(0, 1000)).Frame(Slow, 5).Bytes(Pattern(7, 333)).Frame(Fast, 4).Bytes(Pattern(9, 50)); },
         {0, 1, 2, 3, 4, 5, 6, 7, 8}},
        {"a damaged header", [&](FrameStream& s) { s.Frame(Slow, 6).Bytes(damaged).Frame(Fast, 5); },
         {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}},
        {"too short a chain amid garbage",
         [](FrameStream& s) { s.Bytes(Pattern(0, 99)).Frame(Slow, 3).Bytes(Pattern(3, 99)).Frame(Slow, 4); }, {3, 4, 5, 6}},
        {"a short chain that ends the sound", [](FrameStream& s) { s.Bytes(Pattern(0, 99)).Frame(Fast, 2); }, {0, 1}},
        {"frames of another stream", [](FrameStream& s) { s.Frame(Slow, 5).Frame(Lsf, 5).Frame(Fast, 4); },
         {0, 1, 2, 3, 4, 10, 11, 12, 13}},
        {"a last frame cut short", [](FrameStream& s) { s.Frame(Slow, 5).Bytes(FrameBytes(Slow).substr(0, 200)); },
         {0, 1, 2, 3, 4}},
        {"not audio", [](FrameStream& s) { s.Bytes(Pattern(0, 300'000)); }, {}},
        {"headers that do not chain", [](FrameStream& s) { for (int i = 0; i < 500; ++i) s.Bytes(HeaderBytes(Slow)); }, {}},
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
TEST_F(SongMapOf, OneBitRateOrNoFramesMapsLinearly) {
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

    // Tags and a header frame move the start, not the scale.
    FrameStream stream;
    stream.Bytes(std::string("ID3\x04\0\0\0\0\x07\x76", 10) + std::string(1014, '\0'))
        .Bytes(XingFrameBytes(Slow, 21, "Info", "LAME3.100", 576))
        .Frame(Slow, 60);
    const SongMap map = Map(stream.bytes);
    const double headKB = (1024 + 417) / 1024.0, soundKB = *TextToNumber(BytesToKbText(60 * 417, '.'), '.');
    EXPECT_EQ(map.PositionToKB(0, 100), headKB);
    EXPECT_EQ(map.PositionToKB(10, 100), headKB + 10.0 / 100 * soundKB);
    for (double duration : {0.0, -5.0, std::nan(""), double(INFINITY)})
        EXPECT_EQ(map.PositionToKB(10, duration), std::nullopt) << duration;
    EXPECT_EQ(map.PositionToKB(INFINITY, 100), std::nullopt);
    EXPECT_TRUE(map.KeptHeader(map.Sound().First, 10'000).empty());
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
        const auto kb = [&](std::size_t i) { return stream.offsets[i] / 1024.0; };
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
        const std::vector<unsigned char> frame = map.KeptHeader(c.begin, count);
        const auto h = ParseFrameHeader(frame.data());
        ASSERT_TRUE(h);
        EXPECT_EQ(static_cast<int>(frame.size()), h->Length());
        EXPECT_TRUE(SameStream(*h, *ParseFrameHeader(reinterpret_cast<const unsigned char*>(stream.bytes.data()))));
        EXPECT_EQ(h->ChannelMode, c.mode);
        const unsigned char* x = frame.data() + XingOffset(*h);
        const auto big = [](const unsigned char* p) { return std::int64_t(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3]; };
        EXPECT_EQ(std::string(x, x + 4), "Xing");
        EXPECT_EQ(big(x + 4), 7);
        EXPECT_EQ(big(x + 8), c.frames);
        EXPECT_EQ(big(x + 12), count);
        for (int i = 0; i < 100; ++i) {
            const std::int64_t at = offset(c.first + i * c.frames / 100) - c.begin;
            EXPECT_EQ(x[16 + i], std::min<std::int64_t>(255, 256 * at / count)) << "entry " << i;
            EXPECT_GE(x[16 + i], x[15 + std::max(i, 1)]);
        }
    }
    EXPECT_TRUE(map.KeptHeader(offset(5) + 1, 1000).empty()) << "no whole frame";
    EXPECT_TRUE(map.KeptHeader(offset(5), 0).empty());
    const FrameStream layerTwo = VariableStream(FrameBytes({3, 2, 9, 0}), 2);
    EXPECT_TRUE(Map(layerTwo.bytes).VariableBitRate());
    EXPECT_TRUE(Map(layerTwo.bytes).KeptHeader(0, 100'000).empty());
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
                return (frames.Offset(to) - frames.Offset(from)) * 8 / ((to - from) * 1152.0 / kSampleRate) / 1000;
            };
            EXPECT_LT(kbits(0, half), 48);
            EXPECT_GT(kbits(half, frames.Count() - 1), 80);
        }
        const std::string bytes = ReadBytes(Path());
        for (const auto& [from, to] : {std::pair{5.0, 15.0}, std::pair{25.0, 35.0}, std::pair{0.0, 10.0}}) {
            SCOPED_TRACE(from);
            // Through the size fields' text, as the window does.
            const auto field = [&](double p) { return *KbTextToBytes(NumberToText(*map.PositionToKB(p, seconds), '.'), '.'); };
            const std::int64_t begin = field(from), end = field(to);
            const std::vector<unsigned char> header = map.KeptHeader(begin, end - begin);
            ASSERT_FALSE(header.empty());
            WriteBytes(folder / "kept.mp3", std::string(header.begin(), header.end()) + bytes.substr(begin, end - begin));

            const Decoded decoded = DecodeWithMpg123(folder / "kept.mp3");
            const auto found = LocateExcerpt(original, Span(decoded, 0.5, 1.5));
            ASSERT_TRUE(found);
            EXPECT_NEAR(*found / double(kSampleRate) - 0.5, from, 0.05);
            EXPECT_NEAR(decoded.seconds(), to - from, 0.05);
        }
    }
}

}  // namespace
