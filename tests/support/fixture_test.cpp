// SPDX-License-Identifier: GPL-3.0-or-later
#include "mp3_fixture.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

namespace sundrel::test {
namespace {

namespace fs = std::filesystem;

class FixtureTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = fs::temp_directory_path() / ("sundrel-fixture-" + std::to_string(getpid()) + "-" + info->name());
        fs::create_directories(dir_);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }
    fs::path dir_;
};

std::uint32_t SyncsafeSize(const std::vector<std::uint8_t>& tag) {
    return (std::uint32_t(tag[6]) << 21) | (std::uint32_t(tag[7]) << 14) | (std::uint32_t(tag[8]) << 7) |
           std::uint32_t(tag[9]);
}

TEST_F(FixtureTest, ToneIsConstantBitRateAndDecodesToItsLengthAndPitch) {
    const fs::path mp3 = dir_ / "tone.mp3";
    ASSERT_TRUE(MakeToneMp3(mp3, 3.0));
    // 128 kbit/s for three seconds, give or take a frame and lame's header.
    EXPECT_NEAR(double(fs::file_size(mp3)), 3.0 * 128000 / 8, 1500);

    const Decoded decoded = DecodeWithMpg123(mp3);
    EXPECT_EQ(decoded.exitStatus, 0);
    EXPECT_NEAR(decoded.seconds(), 3.0, 0.1);
    EXPECT_NEAR(EstimateHz(Span(decoded, 1.0, 2.0)), 440.0, 5.0);
}

TEST_F(FixtureTest, SteppedToneTellsEachSecond) {
    const fs::path mp3 = dir_ / "stepped.mp3";
    ASSERT_TRUE(MakeSteppedToneMp3(mp3, 6.0));
    const Decoded decoded = DecodeWithMpg123(mp3);
    ASSERT_EQ(decoded.exitStatus, 0);
    for (int second = 0; second < 6; ++second) {
        const double hz = EstimateHz(Span(decoded, second + 0.2, second + 0.8));
        EXPECT_NEAR(hz, SteppedToneHz(second), 10.0) << "second " << second;
        EXPECT_EQ(SecondOfSteppedTone(hz), second);
    }
}

TEST_F(FixtureTest, ByteRangeFromTheMiddleDecodesToItsOwnSeconds) {
    const fs::path mp3 = dir_ / "stepped.mp3";
    ASSERT_TRUE(MakeSteppedToneMp3(mp3, 10.0));
    const std::vector<std::uint8_t> bytes = ReadBytes(mp3);
    // From 45 % to 80 % of the bytes: about 4.5 s to 8 s of the sound.
    const auto begin = bytes.begin() + std::ptrdiff_t(bytes.size() * 45 / 100);
    const auto end = bytes.begin() + std::ptrdiff_t(bytes.size() * 80 / 100);
    const fs::path cut = dir_ / "cut.mp3";
    ASSERT_TRUE(WriteBytes(cut, std::vector<std::uint8_t>(begin, end)));

    const Decoded decoded = DecodeWithMpg123(cut);
    EXPECT_NEAR(decoded.seconds(), 3.5, 0.2);
    // 0.6 s to 0.9 s into the cut lies inside second 5 of the song.
    EXPECT_EQ(SecondOfSteppedTone(EstimateHz(Span(decoded, 0.6, 0.9))), 5);
    EXPECT_EQ(SecondOfSteppedTone(EstimateHz(Span(decoded, 2.6, 2.9))), 7);
}

TEST_F(FixtureTest, EstimateHzNeedsSound) {
    const std::vector<std::int16_t> silence(44100, 0);
    EXPECT_EQ(EstimateHz(silence), 0.0);
    EXPECT_EQ(EstimateHz({}), 0.0);
}

TEST_F(FixtureTest, QuietLoudSongTellsWhereAnyStretchCameFrom) {
    const std::vector<std::int16_t> original = QuietLoudSamples(8.0);
    for (const BitRateMode mode : {BitRateMode::Cbr128, BitRateMode::Vbr2, BitRateMode::Abr128}) {
        const fs::path mp3 = dir_ / "song.mp3";
        ASSERT_TRUE(MakeQuietLoudMp3(mp3, 8.0, mode));
        // lame's header frame tells mpg123 what to drop, so the decoded
        // song lines up with the samples it was made from.
        const Decoded decoded = DecodeWithMpg123(mp3);
        EXPECT_NEAR(decoded.seconds(), 8.0, 0.001);
        for (const double from : {1.5, 6.25}) {
            const auto found = LocateExcerpt(original, Span(decoded, from, from + 0.5));
            ASSERT_TRUE(found);
            EXPECT_NEAR(double(*found) / kSampleRate, from, 0.001) << int(mode) << " at " << from;
        }
    }
    EXPECT_FALSE(LocateExcerpt(original, std::vector<std::int16_t>(100, 0)));
    EXPECT_FALSE(LocateExcerpt(Span(Decoded{0, original}, 0, 0.1), Span(Decoded{0, original}, 0, 0.2)));
}

TEST(Id3Tags, HeadTagHasTheAskedSizeAndASyncsafeLength) {
    const std::vector<std::uint8_t> tag = Id3v2Tag(1000, "Song");
    ASSERT_EQ(tag.size(), 1000u);
    EXPECT_EQ(std::string(tag.begin(), tag.begin() + 3), "ID3");
    EXPECT_EQ(tag[3], 3);
    for (int i = 6; i < 10; ++i) {
        EXPECT_LT(tag[i], 0x80) << "size byte " << i;
    }
    EXPECT_EQ(SyncsafeSize(tag), 990u);
    EXPECT_EQ(std::string(tag.begin() + 10, tag.begin() + 14), "TIT2");
    EXPECT_EQ(tag[17], 5);  // encoding byte + "Song"
    EXPECT_EQ(std::string(tag.begin() + 21, tag.begin() + 25), "Song");
    EXPECT_EQ(tag.back(), 0);

    // Sizes past 127 need every syncsafe byte.
    EXPECT_EQ(SyncsafeSize(Id3v2Tag(300000)), 299990u);
}

TEST(Id3Tags, SmallestHeadTagIsAHeaderAlone) {
    const std::vector<std::uint8_t> tag = Id3v2Tag(10);
    ASSERT_EQ(tag.size(), 10u);
    EXPECT_EQ(SyncsafeSize(tag), 0u);
    // No room for the title frame: padding only.
    const std::vector<std::uint8_t> padded = Id3v2Tag(24, "Too long a title");
    EXPECT_EQ(padded.size(), 24u);
    EXPECT_EQ(padded[10], 0);
    EXPECT_THROW(Id3v2Tag(9), std::invalid_argument);
}

TEST(Id3Tags, TailTagIs128BytesStartingWithTAG) {
    const std::vector<std::uint8_t> tag = Id3v1Tag("Song");
    ASSERT_EQ(tag.size(), 128u);
    EXPECT_EQ(std::string(tag.begin(), tag.begin() + 7), std::string("TAGSong"));
    EXPECT_EQ(tag[7], 0);
}

TEST_F(FixtureTest, TaggedFileGrowsByItsTagsAndStillDecodes) {
    const fs::path mp3 = dir_ / "tagged.mp3";
    ASSERT_TRUE(MakeToneMp3(mp3, 2.0));
    const auto plain = fs::file_size(mp3);
    ASSERT_TRUE(PrependId3v2(mp3, 4096));
    ASSERT_TRUE(AppendId3v1(mp3));
    EXPECT_EQ(fs::file_size(mp3), plain + 4096 + 128);

    const std::vector<std::uint8_t> bytes = ReadBytes(mp3);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 3), "ID3");
    EXPECT_EQ(std::string(bytes.end() - 128, bytes.end() - 125), "TAG");

    const Decoded decoded = DecodeWithMpg123(mp3);
    EXPECT_EQ(decoded.exitStatus, 0);
    EXPECT_NEAR(decoded.seconds(), 2.0, 0.1);
    EXPECT_FALSE(PrependId3v2(dir_ / "missing.mp3", 100));
}

}  // namespace
}  // namespace sundrel::test
