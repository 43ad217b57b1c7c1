// SPDX-License-Identifier: GPL-3.0-or-later
#include "song_map.h"

#include "conventions.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <system_error>
#include <utility>

namespace sundrel {
namespace {

// Samples a decoder of Layer III puts before the encoder's first sample,
// which players that play songs gapless drop with the encoder's delay.
constexpr int DecoderDelay = 529;

// The rule for a song of one bit rate: the bytes before the sound, plus the
// moment's share of the sound. The sound's size goes through its "0.#" KB
// text, as the whole file's does, so that an untagged file maps exactly as
// its size in KB would.
std::optional<double> LinearKB(const SoundSpan& sound, double position, double duration) {
    const double headKB = static_cast<double>(sound.First) / 1024.0;
    const double soundKB = TextToNumber(BytesToKbText(sound.End - sound.First, '.'), '.').value_or(0.0);
    const double kb = headKB + position / duration * soundKB;
    if (!std::isfinite(kb)) return std::nullopt;
    return kb;
}

std::uint32_t Clamp32(std::int64_t value) {
    return static_cast<std::uint32_t>(std::clamp<std::int64_t>(value, 0, std::numeric_limits<std::uint32_t>::max()));
}

}  // namespace

SongMap::SongMap(const SongFile& file) : file_(file), sound_(file.Sound) {}

int SongMap::SkippedSamples() const {
    return walk_.EncoderDelay ? *walk_.EncoderDelay + DecoderDelay : 0;
}

std::optional<double> SongMap::PositionToKB(double position, double duration) const {
    // The frame rule needs no duration, but a moment marked before the
    // player knew the song's length marks nothing, whatever the song.
    if (!std::isfinite(duration) || !(duration > 0)) return std::nullopt;
    if (!VariableBitRate()) return LinearKB(sound_, position, duration);
    if (!std::isfinite(position)) return std::nullopt;

    const FrameIndex& frames = walk_.Frames;
    const FrameHeader& stream = *walk_.Stream;
    const double sample = position * stream.SampleRate() + SkippedSamples();
    const double frame = std::floor(sample / stream.Samples());
    std::int64_t offset = sound_.End;
    if (frame <= 0)
        offset = frames.Offset(0);
    else if (frame < static_cast<double>(frames.Count()))
        offset = frames.Offset(static_cast<std::size_t>(frame));
    return static_cast<double>(offset) / 1024.0;
}

std::vector<unsigned char> SongMap::KeptHeader(std::int64_t begin, std::int64_t count) const {
    if (!VariableBitRate() || walk_.Stream->Layer != 3 || count <= 0) return {};
    const FrameIndex& frames = walk_.Frames;
    const std::size_t first = frames.FirstStartingFrom(begin);
    const std::size_t after = frames.FirstEndingAfter(begin + count);
    if (after <= first) return {};
    const std::size_t whole = after - first;

    XingFields fields;
    fields.Frames = Clamp32(static_cast<std::int64_t>(whole));
    fields.Bytes = Clamp32(count);
    // Every frame lasts as long as the next, so a share of the time is the
    // same share of the frames.
    int previous = 0;
    for (std::size_t percent = 0; percent < fields.Toc.size(); ++percent) {
        const std::int64_t at = frames.Offset(first + percent * whole / 100) - begin;
        const auto entry = static_cast<int>(std::floor(256.0 * static_cast<double>(at) / static_cast<double>(count)));
        previous = std::clamp(entry, previous, 255);
        fields.Toc[percent] = static_cast<unsigned char>(previous);
    }
    FrameHeader model = *walk_.Stream;
    model.ChannelMode = frames.ChannelMode(first);
    return BuildXingFrame(model, fields);
}

std::optional<SongMap> MapSong(const std::string& path, const SongFile& file, const EventPass& eventPass) {
    SongMap map(file);
    // The file may have been swapped for a FIFO since it was looked at.
    std::error_code ec;
    if (!file.Regular || !std::filesystem::is_regular_file(std::filesystem::status(path, ec))) return map;
    std::ifstream in(path, std::ios::binary);
    if (!in) return map;
    auto walk = WalkFrames(in, file.Sound.First, file.Sound.End, eventPass);
    if (!walk) return std::nullopt;
    map.walk_ = std::move(*walk);
    if (map.walk_.HeaderFrameEnd) map.sound_.First = *map.walk_.HeaderFrameEnd;
    return map;
}

}  // namespace sundrel
