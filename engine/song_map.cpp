// SPDX-License-Identifier: GPL-3.0-or-later
#include "song_map.h"

#include "conventions.h"
#include "lead_frames.h"
#include "side_info.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <span>
#include <system_error>
#include <utility>

namespace sundrel {
namespace {

// The rule for a song without frames: the bytes before the sound, plus the
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
    const HeaderFrame& header = walk_.Header;
    return header.Lame && header.EncoderDelay ? *header.EncoderDelay + DecoderDelay : 0;
}

const FrameHeader& SongMap::StreamOf(std::size_t frame) const {
    const std::size_t count = walk_.Frames.Count();
    return walk_.Streams[static_cast<std::size_t>(walk_.Frames.Stream(std::min(frame, count - 1)))].Header;
}

std::optional<double> SongMap::Duration() const {
    const std::size_t count = walk_.Frames.Count();
    if (count == 0) return std::nullopt;
    const StreamStart& last = walk_.Streams.back();
    double seconds = streamSeconds_.back() +
                     static_cast<double>(count - last.FirstFrame) * last.Header.Samples() / last.Header.SampleRate();
    if (SkippedSamples() > 0) {
        const int dropped = *walk_.Header.EncoderDelay + walk_.Header.Padding;
        seconds -= static_cast<double>(dropped) / walk_.Streams.front().Header.SampleRate();
    }
    return std::max(seconds, 0.0);
}

SongMap::Moment SongMap::Locate(double position) const {
    const std::size_t count = walk_.Frames.Count();
    // Player time 0 is the first sample it keeps, past what it drops.
    const double seconds = position + static_cast<double>(SkippedSamples()) / walk_.Streams.front().Header.SampleRate();
    if (!(seconds > 0)) return {};
    const auto after = std::upper_bound(streamSeconds_.begin(), streamSeconds_.end(), seconds);
    const std::size_t s = static_cast<std::size_t>(after - streamSeconds_.begin()) - 1;
    const FrameHeader& stream = walk_.Streams[s].Header;
    const std::size_t streamEnd = s + 1 < walk_.Streams.size() ? walk_.Streams[s + 1].FirstFrame : count;
    const double sample = std::round((seconds - streamSeconds_[s]) * stream.SampleRate());
    const double frames = std::floor(sample / stream.Samples());
    if (!(frames < static_cast<double>(streamEnd - walk_.Streams[s].FirstFrame))) return {streamEnd, 0};
    return {walk_.Streams[s].FirstFrame + static_cast<std::size_t>(frames),
            static_cast<int>(sample - frames * stream.Samples())};
}

std::optional<double> SongMap::PositionToKB(double position, double duration) const {
    // The frame rule needs no duration, but a moment marked before the
    // player knew the song's length marks nothing, whatever the song.
    if (!std::isfinite(duration) || !(duration > 0)) return std::nullopt;
    const FrameIndex& frames = walk_.Frames;
    if (frames.Count() == 0) return LinearKB(sound_, position, duration);
    if (!std::isfinite(position)) return std::nullopt;
    const std::size_t frame = Locate(position).Frame;
    const std::int64_t offset = frame < frames.Count() ? frames.Offset(frame) : frames.End(frames.Count() - 1);
    return static_cast<double>(offset) / 1024.0;
}

std::optional<std::vector<unsigned char>> SongMap::Read(std::int64_t from, std::int64_t to) const {
    // The song may have been swapped for a FIFO since it was mapped.
    std::error_code ec;
    if (!std::filesystem::is_regular_file(std::filesystem::status(path_, ec)) || to <= from) return std::nullopt;
    std::ifstream in(path_, std::ios::binary);
    std::vector<unsigned char> bytes(static_cast<std::size_t>(to - from));
    in.seekg(from);
    if (!in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size())))
        return std::nullopt;
    return bytes;
}

std::size_t SongMap::FirstOfStream(std::size_t frame) const {
    return walk_.Streams[static_cast<std::size_t>(walk_.Frames.Stream(frame))].FirstFrame;
}

std::size_t SongMap::WarmUpFrom(std::size_t frame) const {
    // Frames from another stream, or the song's start, are no help.
    const std::size_t floor = FirstOfStream(frame);
    // The frame's first samples overlap the frame before it (its last
    // granule, and the synthesis filter's memory), so that one must decode
    // whole: one granule a frame in MPEG-2 and 2.5 makes it two frames.
    constexpr int WarmUpGranules = 2;
    const auto warmUp = static_cast<std::size_t>(WarmUpGranules / GranulesPerFrame(StreamOf(frame)));
    return frame - std::min(frame - floor, warmUp);
}

std::size_t SongMap::ReservoirFrom(std::size_t frame) const {
    const FrameIndex& frames = walk_.Frames;
    const FrameHeader& stream = StreamOf(frame);
    const std::size_t floor = FirstOfStream(frame);
    // Each frame before holds its bytes less its header, CRC (as the
    // stream's first frame has one or not) and side information (of its own
    // channel mode).
    FrameHeader before = stream;
    std::size_t first = frame;
    for (std::int64_t held = 0; first > floor && held < MaxMainDataBegin(stream);) {
        --first;
        before.ChannelMode = frames.ChannelMode(first);
        held += frames.End(first) - frames.Offset(first) - MainDataOffset(before);
    }
    return first;
}

std::optional<std::vector<unsigned char>> SongMap::SelfContained(std::size_t frame) const {
    const FrameIndex& frames = walk_.Frames;
    const std::size_t back = ReservoirFrom(frame);
    const std::int64_t from = frames.Offset(back);
    const std::optional<std::vector<unsigned char>> read = Read(from, frames.End(frame));
    if (!read) return std::nullopt;
    const std::span<const unsigned char> bytes(*read);

    std::vector<unsigned char> before;
    std::optional<FrameHeader> header;
    for (std::size_t i = back; i <= frame; ++i) {
        const auto at = static_cast<std::size_t>(frames.Offset(i) - from);
        header = ParseFrameHeader(bytes.subspan(at));
        if (!header || at + static_cast<std::size_t>(header->Length()) > bytes.size()) return std::nullopt;
        if (i < frame) {
            const auto frameBytes = bytes.subspan(at, static_cast<std::size_t>(header->Length()));
            const auto mainData = frameBytes.subspan(static_cast<std::size_t>(MainDataOffset(*header)));
            before.insert(before.end(), mainData.begin(), mainData.end());
        }
    }
    const auto at = static_cast<std::size_t>(frames.Offset(frame) - from);
    return SelfContainedFrame(bytes.subspan(at, static_cast<std::size_t>(header->Length())), before);
}

std::size_t SongMap::FirstToDecode(std::size_t frame, int sample) const {
    const FrameHeader& stream = StreamOf(frame);
    // The frame before it, and the frames that one's reservoir may reach into.
    std::size_t first = ReservoirFrom(WarmUpFrom(frame));
    // As far back as the record's delay can reach.
    const auto delay = [&](std::size_t from) {
        return static_cast<std::int64_t>(frame - from) * stream.Samples() + sample - DecoderDelay;
    };
    while (first < frame && delay(first) > MaxGaplessSamples) ++first;
    return first;
}

std::optional<KeptPiece> SongMap::Kept(double start, double end) const {
    const FrameIndex& frames = walk_.Frames;
    if (frames.Count() == 0 || !std::isfinite(start) || !std::isfinite(end)) return std::nullopt;
    // What plays after the song's last sample is no sound of it.
    end = std::min(end, Duration().value_or(end));
    const Moment from = Locate(start), to = Locate(end);
    if (from.Frame >= frames.Count()) return std::nullopt;
    const FrameHeader& stream = StreamOf(from.Frame);
    if ((end - start) * stream.SampleRate() < stream.Samples()) return std::nullopt;

    // One past the last frame whose samples are kept.
    const std::size_t after = std::min(frames.Count(), to.Sample > 0 ? to.Frame + 1 : to.Frame);
    KeptPiece kept;
    if (stream.Layer != 3) {  // no reservoir, no record: whole frames
        kept.Begin = frames.Offset(from.Frame);
        kept.End = frames.End(after - 1);
        return kept;
    }
    // Best, the first frame rebuilt to carry its own reservoir: the ringtone
    // then begins one or two frames before the moment. A frame too big for
    // that (high rates) has its reservoir in the frame before it.
    std::size_t first = WarmUpFrom(from.Frame);
    auto rebuilt = SelfContained(first);
    if (!rebuilt) first = FirstToDecode(from.Frame, from.Sample);
    const std::int64_t delay = static_cast<std::int64_t>(from.Frame - first) * stream.Samples() + from.Sample;
    Gapless record;
    record.Delay = static_cast<int>(delay) - DecoderDelay;
    record.Padding = static_cast<int>(after - std::min(to.Frame, after)) * StreamOf(after - 1).Samples() - to.Sample +
                     DecoderDelay;
    kept.End = frames.End(after - 1);
    std::vector<unsigned char> lead;
    // The decoder's own delay is longer than what lies before the song's
    // first moments: a silent frame ahead lets it drop that instead, and
    // leaves the decoder as still as at the song's start.
    bool silentAhead = false;
    if (record.Delay < 0 && first == 0) {
        const auto head = Read(frames.Offset(0), frames.Offset(0) + FrameHeaderLength);
        if (auto silent = head ? SilentFrame(*head) : std::nullopt) {
            lead = std::move(*silent);
            record.Delay += stream.Samples();
            silentAhead = true;
        }
    }
    record.Delay = std::max(record.Delay, 0);
    // What the kept file plays: its frames of sound, less the record's delay
    // and padding.
    const auto soundFrames = static_cast<std::int64_t>(after - first) + (silentAhead ? 1 : 0);
    kept.Timeline = {stream.SampleRate(), record.Delay + DecoderDelay,
                     soundFrames * stream.Samples() - record.Delay - record.Padding};
    if (rebuilt) lead.insert(lead.end(), rebuilt->begin(), rebuilt->end());
    kept.Begin = !rebuilt ? frames.Offset(first) : first + 1 < after ? frames.Offset(first + 1) : kept.End;
    kept.Header = KeptHeader(kept.Begin, kept.End - kept.Begin, record, lead).value_or(std::vector<unsigned char>{});
    kept.Header.insert(kept.Header.end(), lead.begin(), lead.end());
    return kept;
}

std::optional<std::vector<unsigned char>> SongMap::KeptHeader(std::int64_t begin, std::int64_t count,
                                                              std::optional<Gapless> record,
                                                              std::span<const unsigned char> lead) const {
    const FrameIndex& frames = walk_.Frames;
    if (frames.Count() == 0 || count < 0) return std::nullopt;
    // Where each frame of the kept file starts in it, lead frames first.
    std::vector<std::int64_t> starts;
    for (std::size_t at = 0; at + FrameHeaderLength <= lead.size();) {
        const auto header = ParseFrameHeader(lead.subspan(at));
        if (!header) return std::nullopt;
        starts.push_back(static_cast<std::int64_t>(at));
        at += static_cast<std::size_t>(header->Length());
    }
    const std::size_t first = frames.FirstStartingFrom(begin);
    const std::size_t after = std::max(first, frames.FirstEndingAfter(begin + count));
    for (std::size_t i = first; i < after; ++i)
        starts.push_back(static_cast<std::int64_t>(lead.size()) + frames.Offset(i) - begin);
    if (starts.empty()) return std::nullopt;
    std::optional<FrameHeader> model = lead.empty() ? std::nullopt : ParseFrameHeader(lead);
    if (!model) {
        model = StreamOf(first);
        model->ChannelMode = frames.ChannelMode(first);
    }
    if (model->Layer != 3) return std::nullopt;

    XingFields fields;
    fields.Info = walk_.SameBitRate;
    fields.Frames = Clamp32(static_cast<std::int64_t>(starts.size()));
    const std::int64_t bytes = count + static_cast<std::int64_t>(lead.size());
    fields.Bytes = Clamp32(bytes);
    fields.Record = record;
    // Every frame lasts as long as the next, so a share of the time is the
    // same share of the frames.
    int previous = 0;
    for (std::size_t percent = 0; percent < XingTocEntries; ++percent) {
        const std::int64_t at = starts[percent * starts.size() / XingTocEntries];
        const auto entry =
            static_cast<int>(std::floor(XingTocScale * static_cast<double>(at) / static_cast<double>(bytes)));
        previous = std::clamp(entry, previous, XingTocScale - 1);
        fields.Toc[percent] = static_cast<unsigned char>(previous);
    }
    // Frames of one rate get a header frame of that rate, as an encoder
    // writes it; the others the smallest that holds the fields.
    model->Protected = false;
    if (!walk_.SameBitRate) model->BitRateIndex = 1;
    return BuildXingFrame(*model, fields);
}

std::optional<double> PlayedDuration(std::optional<double> player, const SongMap& map) {
    return PlayedDuration(player, map.Duration());
}

std::optional<double> PlayedDuration(std::optional<double> player, std::optional<double> own) {
    const bool trusted = player && std::isfinite(*player) && *player > 0;
    if (own && (!trusted || std::abs(*player - *own) > 1.0)) return own;
    return trusted ? player : std::nullopt;
}

std::optional<SongMap> MapSong(const std::filesystem::path& path, const SongFile& file, const EventPass& eventPass) {
    SongMap map(file);
    map.path_ = path;
    // The file may have been swapped for a FIFO since it was looked at.
    std::error_code ec;
    if (!file.Regular || !std::filesystem::is_regular_file(std::filesystem::status(path, ec))) return map;
    std::ifstream in(path, std::ios::binary);
    if (!in) return map;
    auto walk = WalkFrames(in, file.Sound.First, file.Sound.End, eventPass);
    if (!walk) return std::nullopt;
    map.walk_ = std::move(*walk);
    if (map.walk_.HeaderFrameEnd) map.sound_.First = *map.walk_.HeaderFrameEnd;
    if (map.walk_.SoundEnd) map.sound_.End = *map.walk_.SoundEnd;
    // Each stream starts when the one before it has been played through.
    double seconds = 0;
    const std::vector<StreamStart>& streams = map.walk_.Streams;
    for (std::size_t s = 0; s < streams.size(); ++s) {
        if (s > 0)
            seconds += static_cast<double>(streams[s].FirstFrame - streams[s - 1].FirstFrame) *
                       streams[s - 1].Header.Samples() / streams[s - 1].Header.SampleRate();
        map.streamSeconds_.push_back(seconds);
    }
    return map;
}

std::optional<SongMap::FrameMoment> SongMap::FrameNear(double position) const {
    const std::size_t count = walk_.Frames.Count();
    if (count == 0 || !std::isfinite(position)) return std::nullopt;
    // The frame that holds the moment, or the next one past its middle;
    // each stream of a joined song has frames of its own length.
    const Moment at = Locate(position);
    std::size_t frame = std::min(at.Frame, count - 1);
    if (at.Frame < count && frame + 1 < count && 2 * at.Sample > StreamOf(frame).Samples()) ++frame;
    const auto s = static_cast<std::size_t>(walk_.Frames.Stream(frame));
    const FrameHeader& stream = walk_.Streams[s].Header;
    const double rate = stream.SampleRate();
    const double played = streamSeconds_[s] +
                          static_cast<double>(frame - walk_.Streams[s].FirstFrame) * stream.Samples() / rate -
                          static_cast<double>(SkippedSamples()) / walk_.Streams.front().Header.SampleRate();
    return FrameMoment{played + 0.5 / rate, stream.Samples() / rate};
}

}  // namespace sundrel
