#include "conventions.h"
#include "frame_stream.h"
#include "mp3_fixture.h"
#include "song_map.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

using namespace sundrel;
using namespace sundrel::test;

namespace {

// MPEG-1 Layer III, 44.1 kHz: 128 kbit/s frames of 417 bytes and 320 kbit/s
// frames of 1044; mono unless told.
const RawHeader Slow{3, 1, 9, 0, false, 3};
const RawHeader Fast{3, 1, 14, 0, false, 3};
const RawHeader Lsf{2, 1, 9, 0, false, 3};  // MPEG-2: another stream

std::string Garbage(std::int64_t from, std::int64_t count) { return Pattern(from, count); }

class SongMapOf : public ::testing::Test {
protected:
    SongMap Map(const std::string& bytes, const EventPass& eventPass = {}) {
        const std::string path = folder / "song.mp3";
        WriteBytes(path, bytes);
        const auto map = MapSong(path, ReadSongFile(path), eventPass);
        if (!map) throw std::runtime_error("walk abandoned");
        return *map;
    }
    static std::vector<std::int64_t> Offsets(const SongMap& map) {
        std::vector<std::int64_t> offsets;
        for (std::size_t i = 0; i < map.Frames().Count(); ++i) offsets.push_back(map.Frames().Offset(i));
        return offsets;
    }
    TempFolder folder;
};

struct WalkCase {
    const char* name;
    std::function<void(FrameStream&)> build;
    std::vector<int> frames;  // which of the stream's frames are found
};

TEST_F(SongMapOf, FramesInChainsOnly) {
    std::string damaged = FrameBytes(Slow);
    damaged[1] = '\0';
    const WalkCase cases[] = {
        {"one bit rate", [](FrameStream& s) { s.Frame(Slow, 10); }, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}},
        {"garbage before, between and after",
         [](FrameStream& s) { s.Bytes(Garbage(0, 1000)).Frame(Slow, 5).Bytes(Garbage(7, 333)).Frame(Fast, 4).Bytes(Garbage(9, 50)); },
         {0, 1, 2, 3, 4, 5, 6, 7, 8}},
        {"a damaged header",
         [&](FrameStream& s) { s.Frame(Slow, 6).Bytes(damaged).Frame(Fast, 5); },
         {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}},
        {"too short a chain amid garbage",
         [](FrameStream& s) { s.Bytes(Garbage(0, 99)).Frame(Slow, 3).Bytes(Garbage(3, 99)).Frame(Slow, 4); },
         {3, 4, 5, 6}},
        {"a short chain that ends the sound", [](FrameStream& s) { s.Bytes(Garbage(0, 99)).Frame(Fast, 2); }, {0, 1}},
        {"frames of another stream",
         [](FrameStream& s) { s.Frame(Slow, 5).Frame(Lsf, 5).Frame(Fast, 4); },
         {0, 1, 2, 3, 4, 10, 11, 12, 13}},
        {"a last frame cut short",
         [](FrameStream& s) { s.Frame(Slow, 5).Bytes(FrameBytes(Slow).substr(0, 200)); },
         {0, 1, 2, 3, 4}},
        {"not audio", [](FrameStream& s) { s.Bytes(Garbage(0, 300'000)); }, {}},
        {"headers that do not chain", [](FrameStream& s) { for (int i = 0; i < 500; ++i) s.Bytes(HeaderBytes(Slow)); }, {}},
        {"sync bytes only", [](FrameStream& s) { s.Bytes(std::string(5000, '\xFF')); }, {}},
        {"one byte", [](FrameStream& s) { s.Bytes("\xFF"); }, {}},
        {"empty", [](FrameStream&) {}, {}},
    };
    for (const WalkCase& c : cases) {
        SCOPED_TRACE(c.name);
        FrameStream stream;
        c.build(stream);
        std::vector<std::int64_t> expected;
        for (int i : c.frames) expected.push_back(stream.offsets[static_cast<std::size_t>(i)]);
        const SongMap map = Map(stream.bytes);
        EXPECT_EQ(Offsets(map), expected);
        if (!expected.empty()) {
            // Each frame ends where its bytes end, also before garbage.
            const std::size_t last = map.Frames().Count() - 1;
            EXPECT_EQ(map.Frames().End(last), expected.back() + FrameLength(stream.bytes[static_cast<std::size_t>(expected.back()) + 2] == HeaderBytes(Fast)[2] ? Fast : Slow));
        }
    }
}

TEST_F(SongMapOf, HeaderFrameBelongsToTheHead) {
    const std::string tag = "ID3\x04" + std::string(5, '\0') + "\x14" + std::string(20, '\0');  // 30 bytes
    const struct {
        const char* name;
        std::string first;
        int skipped;
    } cases[] = {
        {"Xing after a tag", XingFrameBytes(Slow, 21), 0},
        {"Info from lame", XingFrameBytes(Slow, 21, "Info", "LAME3.100", 576), 576 + 529},
        {"VBRI", FrameBytes(Slow, std::string(32, '\0') + "VBRI"), 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FrameStream stream;
        stream.Bytes(tag + c.first).Frame(Slow, 6);
        const SongMap map = Map(stream.bytes);
        EXPECT_EQ(map.Sound().First, 30 + 417);
        EXPECT_EQ(map.Sound().End, static_cast<std::int64_t>(stream.bytes.size()));
        EXPECT_EQ(map.Frames().Count(), 6u);
        EXPECT_EQ(map.SkippedSamples(), c.skipped);
        EXPECT_FALSE(map.VariableBitRate());
    }
    // Only the first frame can be one.
    FrameStream later;
    later.Frame(Slow, 4).Bytes(XingFrameBytes(Slow, 21)).Frame(Slow, 2);
    EXPECT_EQ(Map(later.bytes).Frames().Count(), 7u);
    EXPECT_EQ(Map(later.bytes).Sound().First, 0);
}

// 10,000,000 bytes of 100 s: Start at 10 s and End at 12 s.
TEST_F(SongMapOf, NoFramesMapsThroughTheWholeSize) {
    const std::string path = folder / "song.mp3";
    WriteBytes(path, "x");
    std::filesystem::resize_file(path, 10'000'000);
    const SongFile file = ReadSongFile(path);
    for (const SongMap& map : {*MapSong(path, file), SongMap(file)}) {
        EXPECT_EQ(map.Frames().Count(), 0u);
        const auto start = map.PositionToKB(10, 100);
        const auto end = map.PositionToKB(12, 100);
        ASSERT_TRUE(start && end);
        EXPECT_EQ(*start, 10.0 / 100 * 9765.6);
        EXPECT_EQ(NumberToText(*start, '.'), "976.56");
        EXPECT_EQ(NumberToText(*end - *start, '.'), "195.312");
        EXPECT_EQ(KbTextToBytes(NumberToText(*start, '.'), '.'), 999'997);
    }
    EXPECT_EQ(SongMap().PositionToKB(10, 100), 0.0);
    // Tags move the start, not the scale.
    SongFile tagged;
    tagged.Sound = {2048, 2048 + 10'000'000};
    EXPECT_EQ(SongMap(tagged).PositionToKB(0, 100), 2.0);
    EXPECT_EQ(SongMap(tagged).PositionToKB(10, 100), 2.0 + 10.0 / 100 * 9765.6);
}

TEST_F(SongMapOf, OneBitRateMapsLinearlyAfterTheHead) {
    FrameStream stream;
    stream.Bytes(std::string("ID3\x04\0\0\0\0\x07\x76", 10) + std::string(1014, '\0'))  // 2048 bytes of tag with the frame
        .Bytes(XingFrameBytes(Slow, 21, "Info", "LAME3.100", 576))
        .Frame(Slow, 60);
    const SongMap map = Map(stream.bytes);
    const double headKB = (1024 + 417) / 1024.0;
    const double soundKB = *TextToNumber(BytesToKbText(60 * 417, '.'), '.');
    EXPECT_EQ(map.PositionToKB(0, 100), headKB);
    EXPECT_EQ(map.PositionToKB(10, 100), headKB + 10.0 / 100 * soundKB);
    for (double duration : {0.0, -5.0, std::nan(""), double(INFINITY)})
        EXPECT_EQ(map.PositionToKB(10, duration), std::nullopt) << duration;
    EXPECT_EQ(map.PositionToKB(INFINITY, 100), std::nullopt);
    EXPECT_TRUE(map.KeptHeader(map.Sound().First, 10'000).empty());
}

// Frames of 417 and 1044 bytes, after lame's header frame and before an
// ID3v1 tag.
FrameStream VariableStream(int frames, const std::string& headerFrame) {
    FrameStream stream;
    stream.Bytes(headerFrame);
    for (int i = 0; i < frames; ++i) {
        RawHeader h = i % 3 == 0 ? Fast : Slow;
        h.mode = i < frames / 2 ? 3 : 1;
        stream.Frame(h);
    }
    stream.Bytes("TAG" + std::string(125, ' '));
    return stream;
}

TEST_F(SongMapOf, VariableBitRateMapsToTheFrameOfTheMoment) {
    const struct {
        const char* name;
        std::string headerFrame;
        int skipped;
    } songs[] = {
        {"with lame's delay", XingFrameBytes(Slow, 21, "Xing", "LAME3.100", 576), 1105},
        {"without an encoder extension", XingFrameBytes(Slow, 21), 0},
    };
    for (const auto& song : songs) {
        SCOPED_TRACE(song.name);
        const FrameStream stream = VariableStream(100, song.headerFrame);
        const SongMap map = Map(stream.bytes);
        ASSERT_TRUE(map.VariableBitRate());
        ASSERT_EQ(map.Frames().Count(), 100u);
        const auto frameKB = [&](std::size_t i) { return stream.offsets[i] / 1024.0; };
        const double frame = 1152.0 / 44100;
        const double soundEnd = static_cast<double>(stream.bytes.size() - 128) / 1024.0;
        // The moment's sample, counted from the decoder's first, over 1152.
        const auto at = [&](double p) { return static_cast<std::size_t>((p * 44100 + song.skipped) / 1152); };
        for (double p : {0.0, 0.001, 0.002, frame, 1.0, 1.5, 2.5})
            EXPECT_EQ(map.PositionToKB(p, 60), frameKB(at(p))) << p;
        EXPECT_EQ(map.PositionToKB(-3, 60), frameKB(0));
        EXPECT_EQ(map.PositionToKB(100 * frame, 60), soundEnd);
        EXPECT_EQ(map.PositionToKB(1e300, 60), soundEnd);
        EXPECT_EQ(map.PositionToKB(std::nan(""), 60), std::nullopt);
        EXPECT_EQ(map.PositionToKB(1, 0), std::nullopt);
    }
}

TEST_F(SongMapOf, KeptHeaderDescribesTheWholeFramesOfThePiece) {
    const FrameStream stream = VariableStream(100, XingFrameBytes(Slow, 21, "Xing", "LAME3.100", 576));
    const SongMap map = Map(stream.bytes);
    const auto offset = [&](int i) { return stream.offsets[static_cast<std::size_t>(i)]; };
    const struct {
        const char* name;
        std::int64_t begin;
        std::int64_t end;
        int first;   // first whole frame
        int frames;  // whole frames
        int mode;
    } cases[] = {
        {"frame to frame", offset(5), offset(25), 5, 20, 3},
        {"a few bytes off the frames", offset(5) - 7, offset(25) + 100, 5, 20, 3},
        {"in the second half", offset(60) + 1, offset(99) + 5, 61, 38, 1},
        {"up to the end of the sound", offset(90), static_cast<std::int64_t>(stream.bytes.size()) - 128, 90, 10, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
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
            if (i > 0) {
                EXPECT_GE(x[16 + i], x[15 + i]);
            }
        }
    }
    EXPECT_TRUE(map.KeptHeader(offset(5) + 1, 1000).empty()) << "no whole frame";
    EXPECT_TRUE(map.KeptHeader(offset(5), 0).empty());
}

TEST_F(SongMapOf, KeptHeaderOnlyForLayerThreeOfManyRates) {
    FrameStream layerTwo;
    layerTwo.Frame({3, 2, 9, 0}, 5).Frame({3, 2, 14, 0}, 5);
    const SongMap map = Map(layerTwo.bytes);
    EXPECT_TRUE(map.VariableBitRate());
    EXPECT_TRUE(map.KeptHeader(0, static_cast<std::int64_t>(layerTwo.bytes.size())).empty());
    EXPECT_TRUE(SongMap().KeptHeader(0, 1000).empty());
}

TEST_F(SongMapOf, EventPassRunsBetweenChunksAndCanAbandon) {
    FrameStream stream;
    stream.Frame(Slow, 5000);  // about 2 MB
    int passes = 0;
    const SongMap map = Map(stream.bytes, [&] { return ++passes > 0; });
    EXPECT_EQ(map.Frames().Count(), 5000u);
    EXPECT_GE(passes, static_cast<int>(stream.bytes.size() / (512 * 1024)));

    const std::string path = folder / "song.mp3";
    passes = 0;
    EXPECT_FALSE(MapSong(path, ReadSongFile(path), [&] { return ++passes < 2; }));
    EXPECT_EQ(passes, 2);
}

// Songs made by lame, cut as the window cuts them, decoded by mpg123.
class LameSong : public SongMapOf {};

TEST_F(LameSong, ConstantBitRateKeepsItsInfoFrameInTheHead) {
    const std::string path = folder / "tone.mp3";
    ASSERT_TRUE(MakeToneMp3(path, 5.0));
    ASSERT_TRUE(PrependId3v2(path, 4096));
    ASSERT_TRUE(AppendId3v1(path));
    const SongMap map = *MapSong(path, ReadSongFile(path));
    EXPECT_FALSE(map.VariableBitRate());
    EXPECT_EQ(map.SkippedSamples(), 576 + 529);
    EXPECT_EQ(map.Sound().First, 4096 + 417);
    EXPECT_EQ(map.Sound().End, map.File().Length - 128);
    EXPECT_EQ(map.Frames().End(map.Frames().Count() - 1), map.Sound().End);
    EXPECT_TRUE(map.KeptHeader(map.Sound().First, 10'000).empty());
}

TEST_F(LameSong, VariableCutStartsAndLastsAsAsked) {
    constexpr double seconds = 40;
    const std::vector<std::int16_t> original = QuietLoudSamples(seconds);
    for (const BitRateMode mode : {BitRateMode::Vbr2, BitRateMode::Abr128}) {
        SCOPED_TRACE(mode == BitRateMode::Vbr2 ? "-V2" : "--abr 128");
        const std::string path = folder / "song.mp3";
        ASSERT_TRUE(MakeQuietLoudMp3(path, seconds, mode));
        const SongMap map = *MapSong(path, ReadSongFile(path));
        ASSERT_TRUE(map.VariableBitRate());
        const std::string bytes = ReadBytes(path);
        for (const auto& [from, to] : {std::pair{5.0, 15.0}, std::pair{25.0, 35.0}, std::pair{0.0, 10.0}}) {
            SCOPED_TRACE(from);
            // Through the size fields' text, as the window does.
            const auto fieldBytes = [&](double p) { return *KbTextToBytes(NumberToText(*map.PositionToKB(p, seconds), '.'), '.'); };
            const std::int64_t begin = fieldBytes(from), end = fieldBytes(to);
            const std::vector<unsigned char> header = map.KeptHeader(begin, end - begin);
            ASSERT_FALSE(header.empty());
            const std::string kept = folder / "kept.mp3";
            WriteBytes(kept, std::string(header.begin(), header.end()) + bytes.substr(begin, end - begin));

            const Decoded decoded = DecodeWithMpg123(kept);
            const auto found = LocateExcerpt(original, Span(decoded, 0.5, 1.5));
            ASSERT_TRUE(found);
            EXPECT_NEAR(*found / double(kSampleRate) - 0.5, from, 0.05);
            EXPECT_NEAR(decoded.seconds(), to - from, 0.05);
        }
    }
}

// The quiet half is a sweep, which lame codes in few bits; the loud half
// adds noise. Mean bit rates measured here: -V2 32 and 92 kbit/s.
TEST_F(LameSong, QuietAndLoudHalvesDifferInBitRate) {
    const std::string path = folder / "song.mp3";
    ASSERT_TRUE(MakeQuietLoudMp3(path, 20, BitRateMode::Vbr2));
    const SongMap map = *MapSong(path, ReadSongFile(path));
    const FrameIndex& frames = map.Frames();
    const std::size_t half = frames.Count() / 2;
    const double frameSeconds = 1152.0 / kSampleRate;
    const double quiet = (frames.Offset(half) - frames.Offset(0)) * 8 / (half * frameSeconds) / 1000;
    const double loud = (frames.End(frames.Count() - 1) - frames.Offset(half)) * 8 / ((frames.Count() - half) * frameSeconds) / 1000;
    EXPECT_LT(quiet, 48);
    EXPECT_GT(loud, 80);
}

}  // namespace
