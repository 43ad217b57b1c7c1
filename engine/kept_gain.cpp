// SPDX-License-Identifier: GPL-3.0-or-later
#include "kept_gain.h"

#include "mpeg_frames.h"
#include "side_info.h"
#include "xing_frame.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <utility>
#include <vector>

namespace sundrel {
namespace {

// Samples a granule puts out a channel: 576 (ISO/IEC 11172-3 2.4.3.4,
// 13818-3 2.4.3.4: MPEG-1 frames hold two granules, the lower rates one).
constexpr int GranuleSamples = 576;
// A granule's sound spreads over 1632 samples of the decoder's output from
// the start of its own block: its 36 subband samples a subband (its own
// block and the next, overlapped, 11172-3 2.4.3.4.10) and 15 slots of 32
// more from the synthesis filter's 512-tap window (11172-3 Annex B, table
// 3-B.3). Its middle is the middle of those.
constexpr int SynthesisSlotSamples = 32;
constexpr int SynthesisSlotsAfter = 15;
constexpr double GranuleMiddle = (2 * GranuleSamples + SynthesisSlotsAfter * SynthesisSlotSamples) / 2.0;
// Steps of global_gain that double the level: a step is 2^(1/4)
// (11172-3 2.4.3.4.7.1).
constexpr double StepsPerDoubling = 4;
// A granule more than 60 dB down is silenced.
constexpr double SilenceLevel = 0.001;
// The loudest sample a 16-bit decoder puts out, as a share of full scale,
// and what the level of a peak may be off by: a step of the 16 bits for
// the decoders' rounding, one more for the peaks kept to 16 bits.
constexpr double FullScale = 32767.0 / 32768.0;
constexpr double PeakMargin = 2.0 / 32768.0;
// Bytes read and written at a time: a thousand frames and more.
constexpr std::size_t GainChunkBytes = 1 << 20;

// The frames of one chunk read from the kept file, the gain laid on each.
class ChunkOfFrames {
public:
    ChunkOfFrames(const GainPlan& plan, std::int64_t& granule, bool& first)
        : plan_(plan), granule_(granule), first_(first) {}

    // Bytes of `chunk` done: whole frames, and a last frame cut short when
    // the file ends there (`atEnd`). Nothing when a frame is refused.
    std::optional<std::size_t> Apply(std::span<unsigned char> chunk, bool atEnd) {
        std::size_t done = 0;
        while (done < chunk.size()) {
            const std::optional<FrameHeader> header = ParseFrameHeader(chunk.subspan(done));
            if (!header) {
                // Fewer bytes than a header: the next chunk has the rest.
                if (!atEnd && chunk.size() - done < FrameHeaderLength) break;
                return std::nullopt;
            }
            const auto length = static_cast<std::size_t>(header->Length());
            if (done + length > chunk.size() && !atEnd) break;
            const std::span<unsigned char> frame = chunk.subspan(done, std::min(length, chunk.size() - done));
            done += frame.size();
            // The header frame describes the sound and holds none.
            if (std::exchange(first_, false) && ReadHeaderFrame(frame, *header)) continue;
            const FrameGain gain = ApplyGainToFrame(plan_, granule_, frame);
            if (gain == FrameGain::Refused) return std::nullopt;
            changed_ = changed_ || gain == FrameGain::Changed;
            granule_ += GranulesPerFrame(*header);
        }
        return done;
    }
    bool Changed() const { return changed_; }

private:
    const GainPlan& plan_;
    std::int64_t& granule_;
    bool& first_;
    bool changed_ = false;
};

bool SeekTo(std::FILE* file, std::int64_t offset) {
    return offset <= std::numeric_limits<long>::max() && std::fseek(file, static_cast<long>(offset), SEEK_SET) == 0;
}

}  // namespace

double FadeLevel(const KeptGain& gain, double intoSeconds, double lengthSeconds) {
    const auto fade = [](double seconds) { return std::isfinite(seconds) && seconds > 0 ? seconds : 0; };
    double level = 1;
    if (const double in = fade(gain.FadeInSeconds); in > 0)
        level = std::min(level, std::clamp(intoSeconds / in, 0.0, 1.0));
    if (const double out = fade(gain.FadeOutSeconds); out > 0)
        level = std::min(level, std::clamp((lengthSeconds - intoSeconds) / out, 0.0, 1.0));
    return level;
}

double VolumeFactor(int steps) { return std::exp2(steps / StepsPerDoubling); }

std::optional<int> GainStepsAt(const GainPlan& plan, std::int64_t granule) {
    const KeptTimeline& timeline = plan.Timeline;
    if (timeline.SampleRate <= 0) return std::nullopt;
    const double rate = timeline.SampleRate;
    const double middle =
        static_cast<double>(granule) * GranuleSamples + GranuleMiddle - static_cast<double>(timeline.Skipped);
    const double level = FadeLevel(plan.Gain, middle / rate, static_cast<double>(timeline.Samples) / rate);
    if (level < SilenceLevel) return std::nullopt;
    // The nearest step in decibels is the nearest in the logarithm.
    return plan.Gain.VolumeSteps + static_cast<int>(std::lround(StepsPerDoubling * std::log2(level)));
}

int LoudestVolumeSteps(double peak) {
    const double headroom = FullScale / (std::max(peak, 0.0) + PeakMargin);
    return static_cast<int>(std::floor(StepsPerDoubling * std::log2(headroom)));
}

FrameGain ApplyGainToFrame(const GainPlan& plan, std::int64_t firstGranule, std::span<unsigned char> frame) {
    const std::optional<FrameHeader> header = ParseFrameHeader(frame);
    if (!header || header->Layer != 3 || plan.Timeline.SampleRate <= 0) return FrameGain::Refused;
    std::optional<SideInfo> side = ReadSideInfo(*header, frame);
    if (!side) return FrameGain::Refused;
    bool changed = false;
    for (int g = 0; g < side->Granules; ++g) {
        const std::optional<int> steps = GainStepsAt(plan, firstGranule + g);
        for (int c = 0; c < side->Channels; ++c) {
            GranuleInfo& granule = side->Granule[static_cast<std::size_t>(g)][static_cast<std::size_t>(c)];
            // Without main data a granule is silence, whatever its gain.
            if (granule.Part23Length == 0) continue;
            // At 0 a granule is 315 dB down: silent (2^(-210/4)).
            const int gain = steps ? std::max(granule.GlobalGain + *steps, 0) : 0;
            changed = changed || gain != granule.GlobalGain;
            granule.GlobalGain = gain;
        }
    }
    if (!changed) return FrameGain::Unchanged;
    // A decoder that checks the CRC drops a damaged frame: it must still
    // find it damaged.
    const bool crcWrong = header->Protected && FrameCrc(*header, frame) != StoredFrameCrc(frame);
    // A gain past its 8 bits does not fit, and nothing is written.
    if (!WriteSideInfo(*header, *side, frame)) return FrameGain::Refused;
    if (crcWrong) frame[FrameHeaderLength] ^= 0xFF;
    return FrameGain::Changed;
}

GainPass ApplyGainToKeptFile(std::FILE* file, const GainPlan& plan, const EventPass& eventPass) {
    if (plan.Timeline.SampleRate <= 0) return GainPass::Refused;
    std::vector<unsigned char> chunk(GainChunkBytes);
    std::int64_t granule = 0;
    bool first = true;
    // Each chunk starts on a frame: the bytes of a frame the chunk ended
    // inside are read again with the next.
    for (std::int64_t at = 0;;) {
        if (eventPass && !eventPass()) return GainPass::Abandoned;
        if (!SeekTo(file, at)) return GainPass::Failed;
        const std::size_t got = std::fread(chunk.data(), 1, chunk.size(), file);
        if (std::ferror(file)) return GainPass::Failed;
        const bool atEnd = got < chunk.size();
        ChunkOfFrames frames(plan, granule, first);
        const std::optional<std::size_t> done = frames.Apply(std::span(chunk).first(got), atEnd);
        if (!done || (*done == 0 && !atEnd)) return GainPass::Refused;
        if (frames.Changed() && (!SeekTo(file, at) || std::fwrite(chunk.data(), 1, *done, file) != *done))
            return GainPass::Failed;
        at += static_cast<std::int64_t>(*done);
        if (atEnd) break;
    }
    return std::fflush(file) == 0 ? GainPass::Done : GainPass::Failed;
}

}  // namespace sundrel
