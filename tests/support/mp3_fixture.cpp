// SPDX-License-Identifier: GPL-3.0-or-later
#include "mp3_fixture.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <iostream>
#include <iterator>
#include <numbers>
#include <stdexcept>
#include <string>
#include <system_error>

extern char** environ;

#ifndef SUNDREL_LAME
#define SUNDREL_LAME "lame"
#endif
#ifndef SUNDREL_MPG123
#define SUNDREL_MPG123 "mpg123"
#endif
#ifndef SUNDREL_FFMPEG
#define SUNDREL_FFMPEG "ffmpeg"
#endif
#ifndef SUNDREL_FFPROBE
#define SUNDREL_FFPROBE "ffprobe"
#endif

namespace sundrel::test {

namespace {

// Runs a program without a shell, so that paths need no quoting, and
// collects what it writes to one of its outputs (`stream`, standard output
// or standard error). Standard output that is not collected is dropped.
// Returns the exit status, or -1 when it could not be started or did not exit.
int Run(const std::vector<std::string>& args, int stream, std::vector<std::uint8_t>& output) {
    int pipeEnds[2] = {-1, -1};
    // Close-on-exec keeps the ends out of other children; dup2 clears the
    // flag on the copy the child writes to.
    if (pipe2(pipeEnds, O_CLOEXEC) != 0) {
        return -1;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], stream);
    if (stream != STDOUT_FILENO) {
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    }

    std::vector<char*> argv;
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);

    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeEnds[1]);
    if (spawned != 0) {
        close(pipeEnds[0]);
        return -1;
    }
    std::uint8_t buffer[65536];
    for (;;) {
        const ssize_t got = read(pipeEnds[0], buffer, sizeof buffer);
        if (got > 0) {
            output.insert(output.end(), buffer, buffer + got);
        } else if (got == 0 || errno != EINTR) {
            break;
        }
    }
    close(pipeEnds[0]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            return -1;
        }
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Encodes mono 16-bit samples at kSampleRate with lame, told how to spend
// its bits (`rate`, e.g. {"-b", "128", "--cbr"}).
bool Encode(const std::filesystem::path& path, const std::vector<std::int16_t>& samples,
            const std::vector<std::string>& rate) {
    std::vector<std::uint8_t> pcm;
    pcm.reserve(samples.size() * 2);
    for (const std::int16_t sample : samples) {
        // lame is told the samples are little-endian, whatever this host is.
        const auto bits = static_cast<std::uint16_t>(sample);
        pcm.push_back(static_cast<std::uint8_t>(bits & 0xff));
        pcm.push_back(static_cast<std::uint8_t>(bits >> 8));
    }
    std::filesystem::path raw = path;
    raw += ".raw";
    if (!WriteBytes(raw, pcm)) {
        return false;
    }
    // lame warns about raw input even when told to be quiet; its words are
    // shown only when it fails.
    std::vector<std::string> args = {SUNDREL_LAME, "--quiet", "-r", "-s",       "44.1",           "--bitwidth",
                                     "16",         "-m",      "m",  "--signed", "--little-endian"};
    args.insert(args.end(), rate.begin(), rate.end());
    args.insert(args.end(), {raw.string(), path.string()});
    std::vector<std::uint8_t> complaints;
    const int status = Run(args, STDERR_FILENO, complaints);
    std::error_code ignored;
    std::filesystem::remove(raw, ignored);
    if (status != 0) {
        std::cerr << "lame failed (" << status << "): " << std::string(complaints.begin(), complaints.end()) << '\n';
    }
    return status == 0 && std::filesystem::exists(path);
}

// Encodes a tone whose pitch may change over time; the phase runs on
// through every change, so no click marks a step.
bool MakeMp3(const std::filesystem::path& path, double seconds, const std::function<double(double)>& hzAt) {
    if (!(seconds > 0)) {
        return false;
    }
    const auto count = static_cast<std::size_t>(std::llround(seconds * kSampleRate));
    std::vector<std::int16_t> samples;
    samples.reserve(count);
    double phase = 0;
    for (std::size_t i = 0; i < count; ++i) {
        samples.push_back(static_cast<std::int16_t>(std::lround(12000.0 * std::sin(phase))));
        phase += 2 * std::numbers::pi * hzAt(double(i) / kSampleRate) / kSampleRate;
        phase = std::fmod(phase, 2 * std::numbers::pi);
    }
    return Encode(path, samples, {"-b", "128", "--cbr"});
}

constexpr double kSweepGain = 1000;
constexpr double kSweepFromHz = 150;
constexpr double kSweepToHz = 1500;
// The noise peaks near full scale without clipping.
constexpr double kNoiseGain = 25000;
constexpr double kNoiseBottomHz = 100;
constexpr double kNoiseTopHz = 16000;

void PutText(std::vector<std::uint8_t>& out, std::string_view text, std::size_t width) {
    for (std::size_t i = 0; i < width; ++i) {
        out.push_back(i < text.size() ? static_cast<std::uint8_t>(text[i]) : 0);
    }
}

}  // namespace

std::vector<std::int16_t> QuietLoudSamples(double seconds, std::uint32_t seed) {
    const auto count = static_cast<std::size_t>(std::llround(std::max(seconds, 0.0) * kSampleRate));
    std::vector<std::int16_t> samples;
    samples.reserve(count);
    // A quiet sweep runs through the whole song; its pitch never comes
    // back, so any stretch of it is found in one place only. The loud half
    // adds wideband noise, which costs lame many more bits than a tone.
    // xorshift32 (never seeded with zero) keeps the noise the same on every
    // host and standard library.
    std::uint32_t state = seed ? seed : 0x9E3779B9u;
    const auto pole = [](double hz) { return std::exp(-2 * std::numbers::pi * hz / kSampleRate); };
    const double top = pole(kNoiseTopHz), bass = pole(kNoiseBottomHz);
    double low1 = 0, low2 = 0, lowest = 0, phase = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const double t = double(i) / double(count);
        phase += 2 * std::numbers::pi * (kSweepFromHz + (kSweepToHz - kSweepFromHz) * t) / kSampleRate;
        phase = std::fmod(phase, 2 * std::numbers::pi);
        double value = kSweepGain * std::sin(phase);

        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        const double white = double(state) / 2147483648.0 - 1.0;
        low1 = (1 - top) * white + top * low1;
        low2 = (1 - top) * low1 + top * low2;
        lowest = (1 - bass) * low2 + bass * lowest;
        if (i >= count / 2) {
            value += kNoiseGain * (low2 - lowest);
        }
        samples.push_back(static_cast<std::int16_t>(std::clamp(std::lround(value), -32767L, 32767L)));
    }
    return samples;
}

bool MakeQuietLoudMp3(const std::filesystem::path& path, double seconds, BitRateMode mode, std::uint32_t seed) {
    if (!(seconds > 0)) {
        return false;
    }
    switch (mode) {
        case BitRateMode::Cbr128:
            return Encode(path, QuietLoudSamples(seconds, seed), {"-b", "128", "--cbr"});
        case BitRateMode::Vbr2:
            return Encode(path, QuietLoudSamples(seconds, seed), {"-V", "2"});
        case BitRateMode::Abr128:
            return Encode(path, QuietLoudSamples(seconds, seed), {"--abr", "128"});
    }
    return false;
}

bool MakeQuietLoudMp3(const std::filesystem::path& path, double seconds, const std::vector<std::string>& lameArgs,
                      std::uint32_t seed, double level) {
    if (!(seconds > 0)) {
        return false;
    }
    std::vector<std::int16_t> samples = QuietLoudSamples(seconds, seed);
    for (std::int16_t& sample : samples) {
        sample = static_cast<std::int16_t>(std::lround(sample * std::clamp(level, 0.0, 1.0)));
    }
    return Encode(path, samples, lameArgs);
}

bool MakeOnsetMp3(const std::filesystem::path& path, double seconds, double onset) {
    if (!(seconds > onset) || !(onset >= 0)) {
        return false;
    }
    std::vector<std::int16_t> samples(static_cast<std::size_t>(std::llround(seconds * kSampleRate)), 0);
    std::uint32_t state = 0x2545F491u;
    for (auto i = static_cast<std::size_t>(std::llround(onset * kSampleRate)); i < samples.size(); ++i) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        samples[i] = static_cast<std::int16_t>(std::lround((double(state) / 2147483648.0 - 1.0) * 16000.0));
    }
    return Encode(path, samples, {"-b", "128", "--cbr"});
}

bool MakeToneMp3(const std::filesystem::path& path, double seconds, double hz) {
    return MakeMp3(path, seconds, [hz](double) { return hz; });
}

double SteppedToneHz(int second) { return 300.0 + 100.0 * second; }

int SecondOfSteppedTone(double hz) { return static_cast<int>(std::lround((hz - 300.0) / 100.0)); }

bool MakeSteppedToneMp3(const std::filesystem::path& path, double seconds) {
    return MakeMp3(path, seconds, [](double t) { return SteppedToneHz(static_cast<int>(std::floor(t))); });
}

Decoded DecodeWithMpg123(const std::filesystem::path& mp3, int rate, bool gapless) {
    Decoded decoded;
    decoded.rate = rate;
    std::vector<std::uint8_t> bytes;
    std::vector<std::string> args = {SUNDREL_MPG123, "-q", "-s", "-m", mp3.string()};
    if (!gapless) args.insert(args.begin() + 1, "--no-gapless");
    decoded.exitStatus = Run(args, STDOUT_FILENO, bytes);
    // mpg123 writes samples in the host's byte order.
    decoded.samples.resize(bytes.size() / 2);
    std::memcpy(decoded.samples.data(), bytes.data(), decoded.samples.size() * 2);
    return decoded;
}

Decoded DecodeWithFfmpeg(const std::filesystem::path& file, int rate) {
    Decoded decoded;
    decoded.rate = rate;
    std::vector<std::uint8_t> bytes;
    decoded.exitStatus = Run({SUNDREL_FFMPEG, "-v", "error", "-i", file.string(), "-ac", "1", "-ar",
                              std::to_string(rate), "-f", "s16le", "-"},
                             STDOUT_FILENO, bytes);
    decoded.samples.resize(bytes.size() / 2);
    for (std::size_t i = 0; i < decoded.samples.size(); ++i)
        decoded.samples[i] = std::int16_t(std::uint16_t(bytes[2 * i] | bytes[2 * i + 1] << 8));
    return decoded;
}

std::string ProbeWithFfprobe(const std::filesystem::path& file) {
    std::vector<std::uint8_t> bytes;
    Run({SUNDREL_FFPROBE, "-v", "error", "-select_streams", "a:0", "-show_entries",
         "format_tags:stream=codec_name,profile,channels,bit_rate", "-of", "default=noprint_wrappers=1:nokey=0",
         file.string()},
        STDOUT_FILENO, bytes);
    std::string text(bytes.begin(), bytes.end());
    // Tags come as TAG:name=value.
    for (std::size_t at; (at = text.find("TAG:")) != std::string::npos;) text.erase(at, 4);
    return text;
}

M4rAgainstMp3 CompareM4rWithMp3(const std::filesystem::path& m4r, const std::filesystem::path& mp3) {
    const Decoded reference = DecodeWithMpg123(mp3);
    const Decoded encoded = DecodeWithFfmpeg(m4r);
    M4rAgainstMp3 result{reference.samples.size(), encoded.samples.size(), 0, 0};
    const std::size_t n = std::min(reference.samples.size(), encoded.samples.size());
    double signal = 0, noise = 0;
    for (std::size_t i = n / 4; i < 3 * n / 4; ++i) {
        const double a = reference.samples[i], b = encoded.samples[i];
        signal += a * a;
        noise += (a - b) * (a - b);
    }
    result.middleSnrDb = noise > 0 ? 10 * std::log10(signal / noise) : 200;
    constexpr std::size_t kWindow = kSampleRate / 20;
    constexpr double kNearSilence = 32768 * 0.003;  // -50 dBFS
    for (std::size_t from = 0; from + kWindow <= n; from += kWindow) {
        double a = 0, b = 0;
        for (std::size_t i = from; i < from + kWindow; ++i) {
            a += double(reference.samples[i]) * reference.samples[i];
            b += double(encoded.samples[i]) * encoded.samples[i];
        }
        if (std::sqrt(a / kWindow) < kNearSilence) continue;
        result.worstLevelDb = std::max(result.worstLevelDb, std::abs(10 * std::log10(b / a)));
    }
    return result;
}

std::optional<double> LengthReportedByMpg123(const std::filesystem::path& mp3) {
    // Its first progress line reads "> 000+231  00:00.00+00:06.00 ...": the
    // time played and, after the '+', the time it believes is left.
    std::vector<std::uint8_t> bytes;
    if (Run({SUNDREL_MPG123, "-t", "-v", "-n", "1", mp3.string()}, STDERR_FILENO, bytes) != 0) {
        return std::nullopt;
    }
    const std::string text(bytes.begin(), bytes.end());
    const std::size_t line = text.find("> ");
    const std::size_t clock = line == std::string::npos ? line : text.find("00:00.00+", line);
    if (clock == std::string::npos) {
        return std::nullopt;
    }
    int minutes = 0;
    double seconds = 0;
    if (std::sscanf(text.c_str() + clock + 9, "%d:%lf", &minutes, &seconds) != 2) {
        return std::nullopt;
    }
    return minutes * 60 + seconds;
}

double EstimateHz(std::span<const std::int16_t> samples, int rate) {
    int peak = 0;
    for (const std::int16_t s : samples) {
        peak = std::max(peak, std::abs(int(s)));
    }
    const int deadBand = std::max(64, peak / 8);

    // Count swings from clearly above zero to clearly below and back, and
    // measure between the first and the last, so partial cycles at the ends
    // do not bias the result.
    int side = 0;
    long crossings = 0;
    std::size_t first = 0;
    std::size_t last = 0;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const int now = samples[i] > deadBand ? 1 : samples[i] < -deadBand ? -1 : 0;
        if (now == 0 || now == side) {
            continue;
        }
        if (side != 0) {
            if (crossings == 0) {
                first = i;
            }
            last = i;
            ++crossings;
        }
        side = now;
    }
    if (crossings < 3 || last == first) {
        return 0;
    }
    return double(crossings - 1) / 2.0 / (double(last - first) / rate);
}

std::span<const std::int16_t> Span(const Decoded& decoded, double from, double to) {
    const auto clip = [&](double seconds) {
        const double index = std::clamp(seconds * decoded.rate, 0.0, double(decoded.samples.size()));
        return static_cast<std::size_t>(index);
    };
    const std::size_t begin = clip(from);
    const std::size_t end = std::max(begin, clip(to));
    return std::span<const std::int16_t>(decoded.samples).subspan(begin, end - begin);
}

std::vector<std::uint8_t> Id3v2Tag(std::size_t bytes, std::string_view title) {
    if (bytes < 10 || bytes - 10 > 0x0FFFFFFF) {
        throw std::invalid_argument("an ID3v2 tag holds 10 to 2^28 + 9 bytes");
    }
    const std::size_t body = bytes - 10;
    std::vector<std::uint8_t> tag = {'I', 'D', '3', 3, 0, 0};
    // The size excludes the header and uses seven bits of each byte.
    for (int shift = 21; shift >= 0; shift -= 7) {
        tag.push_back(static_cast<std::uint8_t>((body >> shift) & 0x7f));
    }
    const std::size_t frameData = 1 + title.size();  // encoding byte + Latin-1 text
    if (10 + frameData <= body) {
        tag.insert(tag.end(), {'T', 'I', 'T', '2'});
        for (int shift = 24; shift >= 0; shift -= 8) {
            tag.push_back(static_cast<std::uint8_t>((frameData >> shift) & 0xff));
        }
        tag.insert(tag.end(), {0, 0, 0});  // flags, then encoding ISO-8859-1
        tag.insert(tag.end(), title.begin(), title.end());
    }
    tag.resize(bytes, 0);
    return tag;
}

std::vector<std::uint8_t> Id3v1Tag(std::string_view title) {
    std::vector<std::uint8_t> tag = {'T', 'A', 'G'};
    PutText(tag, title, 30);
    PutText(tag, "Sundrel", 30);   // artist
    PutText(tag, "Fixtures", 30);  // album
    PutText(tag, "2024", 4);
    PutText(tag, "", 30);  // comment
    tag.push_back(12);     // genre "Other"
    return tag;
}

std::vector<std::uint8_t> ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool WriteBytes(const std::filesystem::path& path, std::span<const std::uint8_t> bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return bool(out.flush());
}

bool PrependId3v2(const std::filesystem::path& path, std::size_t bytes) {
    if (!std::filesystem::is_regular_file(path)) {
        return false;
    }
    std::vector<std::uint8_t> tagged = Id3v2Tag(bytes);
    const std::vector<std::uint8_t> body = ReadBytes(path);
    tagged.insert(tagged.end(), body.begin(), body.end());
    return WriteBytes(path, tagged);
}

bool AppendId3v1(const std::filesystem::path& path) {
    if (!std::filesystem::is_regular_file(path)) {
        return false;
    }
    std::vector<std::uint8_t> tagged = ReadBytes(path);
    const std::vector<std::uint8_t> tag = Id3v1Tag();
    tagged.insert(tagged.end(), tag.begin(), tag.end());
    return WriteBytes(path, tagged);
}

bool MakeToneIn(OtherAudio format, const std::filesystem::path& path, double seconds) {
    std::filesystem::path mp3 = path, wav = path;
    mp3 += ".tone.mp3";
    wav += ".tone.wav";
    std::vector<std::uint8_t> ignored;
    bool ok = MakeToneMp3(mp3, seconds) &&
              Run({SUNDREL_LAME, "--quiet", "--decode", mp3.string(), wav.string()}, STDERR_FILENO, ignored) == 0;
    if (ok && format == OtherAudio::Flac)
        ok = Run({SUNDREL_FLAC, "--silent", "-f", "-o", path.string(), wav.string()}, STDERR_FILENO, ignored) == 0;
    if (ok && format == OtherAudio::Ogg)
        ok = Run({SUNDREL_OGGENC, "--quiet", "-o", path.string(), wav.string()}, STDERR_FILENO, ignored) == 0;
    std::error_code error;
    if (ok && format == OtherAudio::Wav) std::filesystem::rename(wav, path, error);
    std::filesystem::remove(mp3, error);
    std::filesystem::remove(wav, error);
    return ok && std::filesystem::exists(path);
}

std::string FramedBytes(std::size_t bytes) {
    constexpr std::size_t frame = 417;
    const char header[] = {'\xFF', '\xFB', '\x90', '\xC0'};
    std::string data(bytes, '\0');
    for (std::size_t i = 0; i < bytes; ++i)
        data[i] = i % frame < sizeof header ? header[i % frame] : static_cast<char>((i * 131 + i / 251) & 0xff);
    return data;
}

}  // namespace sundrel::test
