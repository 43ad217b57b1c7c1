// SPDX-License-Identifier: GPL-3.0-or-later
// Fades and volume laid on kept files of every kind of song lame writes,
// heard through a real decoder.

#include "cut_engine.h"
#include "lame_frames.h"
#include "side_info.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

using namespace sundrel;
using namespace sundrel::test;

namespace {

constexpr double kStart = 2.0, kEnd = 6.5;
// A 1 s fade in, a 2 s fade out and two steps louder: a factor of the
// square root of two.
const KeptGain kShaped{1.0, 2.0, 2};

class KeptGainOf : public ::testing::Test {
protected:
    // The kept file of the song's selection with `gain`; "" when the cut
    // was refused, and then whether for its gain.
    std::string Cut(const std::string& song, const KeptGain& gain, bool* refused = nullptr) {
        const WrittenPieces written = CutAsTheWindow(song, kStart, kEnd, gain);
        if (refused) *refused = written.GainRefused;
        return written.Kept ? folder / "[铃声]1song.mp3" : std::string();
    }
    TempFolder folder;
};

// Every 50 ms of a fade, where its line is above -30 dB: the level of the
// shaped sound against the plain one, less the volume, off the line by how
// many dB at worst.
double WorstFadeDb(const Decoded& plain, const Decoded& shaped, long fadeIn, long fadeOut) {
    const auto n = static_cast<long>(plain.samples.size());
    const long window = plain.rate / 20;
    double worst = 0;
    const auto check = [&](long from, auto line) {
        double plainEnergy = 0, shapedEnergy = 0, lineEnergy = 0;
        for (long i = from; i < from + window; ++i) {
            plainEnergy += std::pow(plain.samples[static_cast<std::size_t>(i)], 2);
            shapedEnergy += std::pow(shaped.samples[static_cast<std::size_t>(i)], 2);
            lineEnergy += std::pow(line(i), 2);
        }
        const double lineDb = 10 * std::log10(lineEnergy / double(window));
        if (lineDb < -30 || plainEnergy == 0) return;
        const double db = 10 * std::log10(shapedEnergy / plainEnergy) - 10 * std::log10(2.0);
        worst = std::max(worst, std::abs(db - lineDb));
    };
    for (long at = 0; at + window <= fadeIn; at += window)
        check(at, [&](long i) { return double(i) / double(fadeIn); });
    for (long at = n - fadeOut; at + window <= n; at += window)
        check(at, [&](long i) { return double(n - i) / double(fadeOut); });
    return worst;
}

// lame's kinds, and free format: its frames' length is where the next one
// begins, which only the song map's walk finds.
std::vector<LameKind> KindsToShape() {
    std::vector<LameKind> kinds = LameKinds();
    kinds.push_back({"MPEG-1 mono free format", {"--freeformat", "-b", "200"}, MpegVersion::Mpeg1, true, false});
    return kinds;
}

// On each kind, the shaped ringtone lasts as long as the plain one; between
// its fades (less a granule each side) it is the plain one times the square
// root of two, to the rounding of each; its fades follow their lines within
// 2 dB; nothing clips; a protected frame's CRC is still right.
TEST_F(KeptGainOf, EveryKindOfSongFadesAndGetsLouder) {
    for (const LameKind& kind : KindsToShape()) {
        SCOPED_TRACE(kind.name);
        const std::string song = folder / "song.mp3";
        // Stereo modes read the mono samples in pairs: half as long.
        ASSERT_TRUE(MakeQuietLoudMp3(song, kind.mono ? 8.0 : 16.0, kind.lame, 1, 0.5));
        const std::string plainFile = Cut(song, {});
        ASSERT_FALSE(plainFile.empty());
        std::filesystem::rename(plainFile, folder / "plain.mp3");
        const std::string shapedFile = Cut(song, kShaped);
        ASSERT_FALSE(shapedFile.empty());

        const std::vector<std::uint8_t> songBytes = ReadBytes(std::filesystem::path(song));
        // Any length reads a free-format header: only its rate is wanted here.
        const int rate =
            ParseFrameHeader(std::span<const unsigned char>(songBytes), ShortestFreeFormatLength).value().SampleRate();
        const Decoded plain = DecodeWithMpg123(folder / "plain.mp3", rate);
        const Decoded shaped = DecodeWithMpg123(shapedFile, rate);
        ASSERT_EQ(plain.exitStatus, 0);
        ASSERT_EQ(shaped.exitStatus, 0);
        ASSERT_EQ(shaped.samples.size(), plain.samples.size());
        EXPECT_NEAR(plain.seconds(), kEnd - kStart, 0.001);

        const long fadeIn = std::lround(kShaped.FadeInSeconds * rate);
        const long fadeOut = std::lround(kShaped.FadeOutSeconds * rate);
        const auto n = static_cast<long>(plain.samples.size());
        double worstMiddle = 0;
        int clipped = 0;
        for (long i = 0; i < n; ++i) {
            const double louder = std::sqrt(2.0) * plain.samples[static_cast<std::size_t>(i)];
            if (i >= fadeIn + 576 && i < n - fadeOut - 576)
                worstMiddle = std::max(worstMiddle, std::abs(shaped.samples[static_cast<std::size_t>(i)] - louder));
            clipped += std::abs(shaped.samples[static_cast<std::size_t>(i)]) >= 32767;
        }
        // Half a step of the 16 bits rounding each, times the factor for
        // the plain one's.
        EXPECT_LE(worstMiddle, 0.5 + std::sqrt(2.0) / 2 + 1e-9);
        EXPECT_EQ(clipped, 0);
        // At 8 kHz a granule lasts 72 ms, longer than the window, and at the
        // foot of the fade in neighbours differ by 8 dB: where they overlap,
        // the decoder's aliasing no longer cancels, and a tone dips by up
        // to 3.2 dB there.
        EXPECT_LE(WorstFadeDb(plain, shaped, fadeIn, fadeOut), rate > 8000 ? 2.0 : 3.5);

        const std::vector<std::uint8_t> bytes = ReadBytes(std::filesystem::path(shapedFile));
        const auto map = MapSong(shapedFile, ReadSongFile(shapedFile)).value();
        int protectedFrames = 0;
        for (std::size_t i = 0; i < map.Frames().Count(); ++i) {
            const auto frame = FrameOf(std::span(bytes), map, i);
            const FrameHeader h = ParseFrameOfLength(frame, std::ssize(frame)).value();
            if (!h.Protected) continue;
            ++protectedFrames;
            EXPECT_EQ(FrameCrc(h, frame), std::uint16_t(frame[4] << 8 | frame[5])) << "frame " << i;
        }
        EXPECT_EQ(protectedFrames > 0, kind.crc);
    }
}

// A global_gain pushed past its 8 bits refuses the gain, said as such, and
// the kept file stays as it was. (Layer II, which carries none, is refused
// through the window: frm_cut_test's aFadeNoFrameCanCarryIsRefused.)
TEST_F(KeptGainOf, FramesThatCannotCarryItRefuseIt) {
    const std::string song = folder / "song.mp3";
    ASSERT_TRUE(MakeQuietLoudMp3(song, 8.0, {"-b", "128"}));
    const std::string kept = Cut(song, {});
    ASSERT_FALSE(kept.empty());
    const std::string before = ReadBytes(kept);
    bool refused = false;
    EXPECT_EQ(Cut(song, KeptGain{0, 0, 200}, &refused), "");
    EXPECT_TRUE(refused);
    EXPECT_EQ(ReadBytes(kept), before);
}

}  // namespace
