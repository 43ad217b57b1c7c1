// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// MP3 files made at test time: PCM written here, encoded by lame, decoded
// back by mpg123. Every fixture is mono, 16 bit, 44.1 kHz, CBR 128 kbit/s
// unless its maker says otherwise.
// Standard library and POSIX only, so that any test can link it.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace sundrel::test {

inline constexpr int kSampleRate = 44100;

// A constant tone, 440 Hz unless told otherwise. False when lame failed.
bool MakeToneMp3(const std::filesystem::path& path, double seconds, double hz = 440.0);

// A tone whose pitch is SteppedToneHz(k) throughout second k, with no jump
// in phase at the steps, so that any stretch of its sound tells which second
// of the file it came from. Pitches stay well inside what 128 kbit/s keeps
// for files up to two minutes.
bool MakeSteppedToneMp3(const std::filesystem::path& path, double seconds);
double SteppedToneHz(int second);
// The second whose pitch is nearest to hz.
int SecondOfSteppedTone(double hz);

// How lame spends its bits: constant 128 kbit/s (with lame's default Info
// header frame), variable -V2, or average 128 kbit/s.
enum class BitRateMode { Cbr128, Vbr2, Abr128 };

// Seeded noise band-limited to about 100 Hz..5 kHz, quiet in the first half
// and loud in the second, so that under -V2 the halves get clearly
// different frame bit rates. Noise never repeats, so LocateExcerpt finds
// where any stretch of it came from.
std::vector<std::int16_t> QuietLoudSamples(double seconds, std::uint32_t seed = 1);
bool MakeQuietLoudMp3(const std::filesystem::path& path, double seconds, BitRateMode mode, std::uint32_t seed = 1);
// The same song encoded with lame told `lameArgs` (rate and mode, such as
// {"-V", "6"} or {"--resample", "22.05", "-b", "64"}), its samples scaled
// by `level` (0.5 leaves it 6 dB of headroom).
bool MakeQuietLoudMp3(const std::filesystem::path& path, double seconds, const std::vector<std::string>& lameArgs,
                      std::uint32_t seed = 1, double level = 1.0);

// Silence, then from `onset` seconds on loud noise at its full level at
// once: a sharp onset at a known moment, and sound found in one place only.
bool MakeOnsetMp3(const std::filesystem::path& path, double seconds, double onset);

struct Decoded {
    int exitStatus = -1;                // mpg123's, or -1 when it could not run
    std::vector<std::int16_t> samples;  // mono
    int rate = kSampleRate;             // samples per second
    double seconds() const { return double(samples.size()) / rate; }
};

// Decodes with `mpg123 -q -s -m`, at the song's own rate, which the caller
// tells. A file cut out of the middle of an MP3 decodes too: mpg123 finds
// the next frame and goes on. Without gapless, the encoder's delay and
// padding are played as they are (as GStreamer plays songs whose record it
// does not trust).
Decoded DecodeWithMpg123(const std::filesystem::path& mp3, int rate = kSampleRate, bool gapless = true);

// Decodes any file ffmpeg reads (an M4R) to mono at `rate`, as ffmpeg
// plays it: from where its edit list says the sound begins.
Decoded DecodeWithFfmpeg(const std::filesystem::path& file, int rate = kSampleRate);
// What ffprobe says of a file's container and first stream, one
// "key=value" line each: major_brand, compatible_brands, title, iTunSMPB,
// codec_name, profile, channels, bit_rate...
std::string ProbeWithFfprobe(const std::filesystem::path& file);

// An M4R against the MP3 ringtone it was made from: each decoded as a
// player decodes it (ffmpeg, mpg123 gapless), the M4R's noise in the
// middle half, and the largest difference in level over 50 ms windows of
// the whole ringtone (where the MP3 is not near silence): a fade or a
// volume not kept shows there.
struct M4rAgainstMp3 {
    std::size_t mp3Samples = 0, m4rSamples = 0;
    double middleSnrDb = 0;
    double worstLevelDb = 0;
};
M4rAgainstMp3 CompareM4rWithMp3(const std::filesystem::path& m4r, const std::filesystem::path& mp3);

// The length mpg123 tells for a file before decoding it, in seconds, as a
// player shows it: from the file's header frame when it has one, otherwise
// guessed from its first frame and its size. Nothing when mpg123 says none.
std::optional<double> LengthReportedByMpg123(const std::filesystem::path& mp3);

// Frequency of the sound in a stretch of samples, from how often it crosses
// zero. A small dead band around zero keeps coding noise from counting.
double EstimateHz(std::span<const std::int16_t> samples, int rate = kSampleRate);

// The samples from `from` to `to` seconds, clipped to what there is.
std::span<const std::int16_t> Span(const Decoded& decoded, double from, double to);

// Where `excerpt` best matches inside `song`, in samples from the song's
// first: the lag of the highest normalised cross-correlation. Nothing when
// the excerpt is empty, silent or longer than the song.
std::optional<std::size_t> LocateExcerpt(std::span<const std::int16_t> song, std::span<const std::int16_t> excerpt);
// The normalised correlation of two stretches over the shorter one's
// length: 1 when one is the other scaled, 0 when either is silent.
double Correlation(std::span<const std::int16_t> a, std::span<const std::int16_t> b);
// The largest magnitude among the samples, 0 for none.
int Loudest(std::span<const std::int16_t> samples);

// An ID3v2.3 tag of exactly `bytes` bytes (at least 10): the header with its
// syncsafe size, a TIT2 frame with the title when it fits, then zero padding.
std::vector<std::uint8_t> Id3v2Tag(std::size_t bytes, std::string_view title = "Fixture");
// The 128-byte ID3v1 tag: "TAG", title, artist, album, year, comment, genre.
std::vector<std::uint8_t> Id3v1Tag(std::string_view title = "Fixture");

// A tone in a format other than MP3, at `path` whatever its name: decoded
// from an MP3 by lame, then encoded by flac or oggenc. False on failure.
enum class OtherAudio { Wav, Flac, Ogg };
bool MakeToneIn(OtherAudio format, const std::filesystem::path& path, double seconds);

// A stream of MPEG-1 Layer III frames, 128 kbit/s mono 44.1 kHz, of 417
// bytes each, cut off at `bytes`; the bodies are bytes that tell their own
// offset, so that a misplaced cut cannot pass. Not a song worth hearing:
// for tests that check bytes, not sound. A longer one begins with a shorter.
std::string FramedBytes(std::size_t bytes);

std::vector<std::uint8_t> ReadBytes(const std::filesystem::path& path);
bool WriteBytes(const std::filesystem::path& path, std::span<const std::uint8_t> bytes);
// Put a tag in front of, or after, the bytes of an existing file.
bool PrependId3v2(const std::filesystem::path& path, std::size_t bytes);
bool AppendId3v1(const std::filesystem::path& path);

}  // namespace sundrel::test
