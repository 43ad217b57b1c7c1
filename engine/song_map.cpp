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

std::int64_t KeptPiece::Bytes() const {
    std::int64_t bytes = 0;
    for (const ByteRange& range : Ranges) bytes += range.End - range.Begin;
    return bytes;
}

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
        // The decoder puts its last frame out DecoderDelay samples late and
        // stops at its end: padding shorter than that delay drops nothing
        // more, and the samples it would have spared are never heard.
        const int dropped = *walk_.Header.EncoderDelay + std::max(walk_.Header.Padding, DecoderDelay);
        seconds -= static_cast<double>(dropped) / walk_.Streams.front().Header.SampleRate();
    }
    return std::max(seconds, 0.0);
}

double SongMap::OutputSeconds(double played) const {
    // Player time 0 is the first sample it keeps, past what it drops.
    double output = played + static_cast<double>(SkippedSamples()) / walk_.Streams.front().Header.SampleRate();
    if (claimedEnd_ && output >= claimedEnd_->At) output += claimedEnd_->Seconds;
    return output;
}

double SongMap::PlayedSeconds(double output) const {
    if (claimedEnd_ && output > claimedEnd_->At)
        output = std::max(output - claimedEnd_->Seconds, claimedEnd_->At);
    return output - static_cast<double>(SkippedSamples()) / walk_.Streams.front().Header.SampleRate();
}

std::optional<SongMap::Drop> SongMap::DropAtClaimedEnd() const {
    const HeaderFrame& header = walk_.Header;
    // Only a player that honours the record drops anything there; it counts
    // from the header frame, within the song's first stream.
    if (walk_.Frames.Count() == 0 || SkippedSamples() == 0 || !header.Frames || *header.Frames == 0 ||
        *header.Frames >= EndOfStream(0))
        return std::nullopt;
    const int dropped = header.Padding - DecoderDelay;
    if (dropped <= 0) return std::nullopt;
    const FrameHeader& stream = walk_.Streams.front().Header;
    const double rate = stream.SampleRate();
    const double end = static_cast<double>(*header.Frames) * stream.Samples() / rate;
    return Drop{end - dropped / rate, dropped / rate};
}

std::optional<double> SongMap::ClaimedEnd() const {
    return claimedEnd_ ? std::optional(PlayedSeconds(claimedEnd_->At)) : std::nullopt;
}

SongMap::Moment SongMap::Locate(double position) const {
    const std::size_t count = walk_.Frames.Count();
    const double seconds = OutputSeconds(position);
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

std::size_t SongMap::EndOfStream(std::size_t frame) const {
    const auto next = static_cast<std::size_t>(walk_.Frames.Stream(frame)) + 1;
    return next < walk_.Streams.size() ? walk_.Streams[next].FirstFrame : walk_.Frames.Count();
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

std::optional<FrameHeader> SongMap::HeaderOf(std::size_t frame, std::span<const unsigned char> bytes) const {
    return ParseFrameOfLength(bytes, walk_.Frames.End(frame) - walk_.Frames.Offset(frame));
}

std::optional<FrameHeader> SongMap::ReadHeader(std::size_t frame) const {
    const std::int64_t at = walk_.Frames.Offset(frame);
    const std::optional<std::vector<unsigned char>> head = Read(at, at + FrameHeaderLength);
    return head ? HeaderOf(frame, *head) : std::nullopt;
}

std::optional<SongMap::Lead> SongMap::LeadFrames(std::size_t first, std::size_t after, bool silence, int budget) const {
    const FrameIndex& frames = walk_.Frames;
    // The frames the reservoir of `first` may lie in, `first`, and the frame
    // the kept file holds after it.
    const std::size_t back = ReservoirFrom(first);
    const std::size_t next = std::min(first + 1, after - 1);
    const std::int64_t from = frames.Offset(back);
    const std::optional<std::vector<unsigned char>> read = Read(from, frames.End(next));
    if (!read) return std::nullopt;
    const auto frameAt = [&](std::size_t i) {
        return std::span(*read).subspan(static_cast<std::size_t>(frames.Offset(i) - from),
                                        static_cast<std::size_t>(frames.End(i) - frames.Offset(i)));
    };
    std::vector<unsigned char> before;  // the main data of the frames before `first`
    for (std::size_t i = back; i < first; ++i) {
        const std::optional<FrameHeader> header = HeaderOf(i, frameAt(i));
        if (!header || MainDataOffset(*header) > static_cast<int>(frameAt(i).size())) return std::nullopt;
        const auto mainData = frameAt(i).subspan(static_cast<std::size_t>(MainDataOffset(*header)));
        before.insert(before.end(), mainData.begin(), mainData.end());
    }
    const std::span<const unsigned char> frame = frameAt(first);
    const std::optional<FrameHeader> header = HeaderOf(first, frame);
    const std::optional<FrameHeader> nextHeader = HeaderOf(next, frameAt(next));
    if (!header || !nextHeader) return std::nullopt;

    Lead lead;
    // A rebuilt free-format frame would need a rate of its own, and
    // GStreamer takes no such frame into a free-format stream.
    const std::optional<std::vector<unsigned char>> rebuilt =
        header->BitRateIndex == FreeFormatBitRateIndex ? std::nullopt : SelfContainedFrame(frame, before, *nextHeader);
    std::optional<FrameHeader> ahead;  // of the frame after the silent one
    std::span<const unsigned char> reservoir;
    if (rebuilt) {
        lead.FirstCopied = first + 1;
        ahead = ParseFrameHeader(*rebuilt);
        silence = silence || !ahead || !DecodersTakeTogether(*ahead, *nextHeader);
    } else {
        // Too big to rebuild (high rates): the frame stays as it is, and the
        // silent frame before it carries its reservoir, so that no decoder
        // meets a frame whose reservoir it lacks.
        lead.FirstCopied = first;
        ahead = header;
        const std::optional<SideInfo> side = ReadSideInfo(*header, frame);
        const auto reach = std::min(static_cast<std::size_t>(side ? side->MainDataBegin : 0), before.size());
        reservoir = std::span(before).last(reach);
        silence = silence || reach > 0 || !DecodersTakeTogether(*header, *nextHeader);
    }
    if (silence && ahead) {
        // As many as the record can drop.
        std::optional<BuiltFrames> silent = SilentFrames(*ahead, reservoir, std::max(budget / ahead->Samples(), 1));
        if (!silent) return std::nullopt;
        lead.Samples = static_cast<int>(silent->size()) * ahead->Samples();
        lead.Frames = std::move(*silent);
    }
    if (rebuilt) lead.Frames.push_back(*rebuilt);
    return lead;
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

    // One past the last frame whose samples are kept; none for a selection
    // that ends before the song's first sample.
    std::size_t after = std::min(frames.Count(), to.Sample > 0 ? to.Frame + 1 : to.Frame);
    if (after <= from.Frame) return std::nullopt;
    // The samples of the frames kept after End, which the record drops.
    int padding = static_cast<int>(after - std::min(to.Frame, after)) * StreamOf(after - 1).Samples() - to.Sample;
    // A free-format frame tells its length only by where the next of its
    // stream begins: a kept file that would end with one after none of its
    // kind keeps the next one too.
    const auto freeFormat = [&](std::size_t i) {
        const std::optional<FrameHeader> header = ReadHeader(i);
        return header && header->BitRateIndex == FreeFormatBitRateIndex;
    };
    const std::size_t last = after - 1;
    if (after < frames.Count() && freeFormat(last) &&
        !(last > from.Frame && frames.Stream(last - 1) == frames.Stream(last) && freeFormat(last - 1))) {
        padding += StreamOf(after).Samples();
        ++after;
    }
    BuiltFrames trailer;
    KeptPiece kept = PieceOf(from, after, padding, trailer);
    // A kept file whose last bytes read as a tag would lose its last frame
    // to every tag reader (decoders' too): a silent frame after it ends the
    // file instead, and the record drops it.
    const std::optional<FrameHeader> lastHeader = ReadHeader(after - 1);
    while (lastHeader && padding + lastHeader->Samples() + DecoderDelay <= MaxGaplessSamples &&
           EndsLikeATag(TailOf(kept))) {
        std::optional<std::vector<unsigned char>> silent = SilentFrame(*lastHeader);
        if (!silent) break;
        trailer.push_back(std::move(*silent));
        padding += lastHeader->Samples();
        kept = PieceOf(from, after, padding, trailer);
    }
    return kept;
}

KeptPiece SongMap::PieceOf(Moment from, std::size_t after, int padding, const BuiltFrames& trailer) const {
    const FrameIndex& frames = walk_.Frames;
    const FrameHeader& stream = StreamOf(from.Frame);
    // The song's frames from `copied` on, without what lies between them.
    const auto framesFrom = [&](std::size_t copied) {
        std::vector<ByteRange> ranges = frames.Stretches(copied, after);
        if (ranges.empty()) ranges.push_back({frames.End(after - 1), frames.End(after - 1)});
        return ranges;
    };
    KeptPiece kept;
    for (const auto& frame : trailer) kept.Trailer.insert(kept.Trailer.end(), frame.begin(), frame.end());
    if (stream.Layer != 3) {  // no reservoir, no record: whole frames
        kept.Ranges = framesFrom(from.Frame);
        return kept;
    }
    // The ringtone begins with the frames whose last samples overlap the
    // moment's first, best rebuilt to carry their own reservoir: one or two
    // frames before the moment.
    const std::size_t first = WarmUpFrom(from.Frame);
    Gapless record;
    record.Delay = static_cast<int>(from.Frame - first) * stream.Samples() + from.Sample - DecoderDelay;
    record.Padding = padding + DecoderDelay;
    // Where the decoder's own delay is longer than what lies before the
    // moment (the song's first moments), a silent frame ahead lets it drop
    // that instead, and leaves the decoder as still as at the song's start.
    // Before the join of two streams, it makes the first one long enough
    // for a walk to take it.
    const std::size_t streamEnd = EndOfStream(from.Frame);
    const bool shortBeforeJoin = after > streamEnd && 1 + static_cast<int>(streamEnd - first) < LockFrames;
    // A song that cannot be read now is cut from `first` as it is, and its
    // write fails.
    const Lead lead = LeadFrames(first, after, record.Delay < 0 || shortBeforeJoin, MaxGaplessSamples - record.Delay)
                          .value_or(Lead{{}, first, 0});
    record.Delay = std::max(record.Delay + lead.Samples, 0);
    kept.Ranges = framesFrom(lead.FirstCopied);
    // What the kept file plays: its frames of sound, less the record's delay
    // and padding.
    const auto soundFrames =
        static_cast<std::int64_t>(lead.Frames.size() + (after - lead.FirstCopied) + trailer.size());
    kept.Timeline = {stream.SampleRate(), record.Delay + DecoderDelay,
                     soundFrames * stream.Samples() - record.Delay - record.Padding};
    kept.Header = KeptHeader(kept.Ranges, record, lead.Frames, trailer).value_or(std::vector<unsigned char>{});
    for (const auto& frame : lead.Frames) kept.Header.insert(kept.Header.end(), frame.begin(), frame.end());
    return kept;
}

std::vector<unsigned char> SongMap::TailOf(const KeptPiece& kept) const {
    // The last bytes of the trailer, of the song's ranges, then of the
    // header frames.
    const std::int64_t trailer = std::min<std::int64_t>(TailTagReach, std::ssize(kept.Trailer));
    std::vector<unsigned char> tail(kept.Trailer.end() - trailer, kept.Trailer.end());
    for (auto range = kept.Ranges.rbegin(); range != kept.Ranges.rend() && std::ssize(tail) < TailTagReach; ++range) {
        const std::int64_t from = std::max(range->Begin, range->End - (TailTagReach - std::ssize(tail)));
        const auto bytes = Read(from, range->End);
        if (bytes) tail.insert(tail.begin(), bytes->begin(), bytes->end());
    }
    const std::int64_t wanted = std::max<std::int64_t>(TailTagReach - std::ssize(tail), 0);
    const std::int64_t header = std::min<std::int64_t>(wanted, std::ssize(kept.Header));
    tail.insert(tail.begin(), kept.Header.end() - header, kept.Header.end());
    return tail;
}

std::optional<std::vector<unsigned char>> SongMap::KeptHeader(std::int64_t begin, std::int64_t count,
                                                              std::optional<Gapless> record) const {
    if (count < 0) return std::nullopt;
    const ByteRange range{begin, begin + count};
    return KeptHeader(std::span(&range, 1), record, {}, {});
}

std::optional<std::vector<unsigned char>> SongMap::KeptHeader(std::span<const ByteRange> ranges,
                                                              std::optional<Gapless> record, const BuiltFrames& lead,
                                                              const BuiltFrames& trailer) const {
    const FrameIndex& frames = walk_.Frames;
    if (frames.Count() == 0) return std::nullopt;
    // Where each frame of the kept file starts in it, lead frames first.
    std::vector<std::int64_t> starts;
    std::int64_t bytes = 0;
    const auto built = [&](const BuiltFrames& each) {
        for (const auto& frame : each) {
            starts.push_back(bytes);
            bytes += std::ssize(frame);
        }
    };
    built(lead);
    std::optional<std::size_t> firstOfSong;
    for (const ByteRange& range : ranges) {
        if (range.End < range.Begin) return std::nullopt;
        const std::size_t first = frames.FirstStartingFrom(range.Begin);
        const std::size_t after = std::max(first, frames.FirstEndingAfter(range.End));
        for (std::size_t i = first; i < after; ++i) starts.push_back(bytes + frames.Offset(i) - range.Begin);
        if (!firstOfSong && first < after) firstOfSong = first;
        bytes += range.End - range.Begin;
    }
    built(trailer);
    if (starts.empty() || (lead.empty() && !firstOfSong)) return std::nullopt;
    // Its model is the frame after it, as the file holds it.
    std::optional<FrameHeader> model =
        lead.empty() ? std::nullopt : ParseFrameOfLength(lead.front(), std::ssize(lead.front()));
    if (!model && firstOfSong) {
        model = ReadHeader(*firstOfSong);
        if (!model) {
            model = StreamOf(*firstOfSong);
            model->ChannelMode = frames.ChannelMode(*firstOfSong);
        }
    }
    if (!model || model->Layer != 3) return std::nullopt;

    XingFields fields;
    fields.Info = walk_.SameBitRate;
    fields.Frames = Clamp32(static_cast<std::int64_t>(starts.size()));
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
    // writes it; the others the smallest that holds the fields. A
    // free-format frame after it keeps it free-format, of its own length:
    // such a frame tells its length only by where the next of its kind
    // begins, and a walk would not find it after a frame of a listed rate.
    if (!walk_.SameBitRate && model->BitRateIndex != FreeFormatBitRateIndex) model->BitRateIndex = LowestBitRateIndex;
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
    map.claimedEnd_ = map.DropAtClaimedEnd();
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
    const double played = PlayedSeconds(
        streamSeconds_[s] + static_cast<double>(frame - walk_.Streams[s].FirstFrame) * stream.Samples() / rate);
    return FrameMoment{played + 0.5 / rate, stream.Samples() / rate};
}

}  // namespace sundrel
