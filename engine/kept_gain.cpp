// SPDX-License-Identifier: GPL-3.0-or-later
#include "kept_gain.h"

#include "frame_walk.h"
#include "mpeg_frames.h"
#include "side_info.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <istream>
#include <limits>
#include <streambuf>
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


bool SeekTo(std::FILE* file, std::int64_t offset) {
    return offset <= std::numeric_limits<long>::max() && std::fseek(file, static_cast<long>(offset), SEEK_SET) == 0;
}

// The kept file read through the C library's handle it is open by, as
// the frame walk reads a song: from a place it seeks to, onward.
class FileReader final : public std::streambuf {
public:
    explicit FileReader(std::FILE* file) : file_(file) {}

protected:
    int_type underflow() override {
        const std::size_t got = std::fread(buffer_.data(), 1, buffer_.size(), file_);
        if (got == 0) return traits_type::eof();
        setg(buffer_.data(), buffer_.data(), buffer_.data() + got);
        return traits_type::to_int_type(buffer_[0]);
    }
    pos_type seekpos(pos_type at, std::ios_base::openmode) override {
        if (!SeekTo(file_, static_cast<std::int64_t>(at))) return pos_type(off_type(-1));
        setg(buffer_.data(), buffer_.data(), buffer_.data());
        return at;
    }

private:
    std::FILE* file_;
    std::array<char, 64 * 1024> buffer_{};
};

// The frames of the kept file as the song map finds a song's: free-format
// ones too. Refused when the walk finds no frame, or frames that do not
// follow one another from the header frame on: the gain would then miss
// some.
GainPass KeptFrames(std::FILE* file, const EventPass& eventPass, FrameIndex& frames) {
    if (std::fseek(file, 0, SEEK_END) != 0) return GainPass::Failed;
    const long length = std::ftell(file);
    if (length < 0) return GainPass::Failed;
    FileReader reader(file);
    std::istream in(&reader);
    std::optional<FrameWalk> walk = WalkFrames(in, 0, length, eventPass);
    if (!walk) return GainPass::Abandoned;
    if (std::ferror(file)) return GainPass::Failed;
    frames = std::move(walk->Frames);
    if (frames.Count() == 0 || frames.Offset(0) != walk->HeaderFrameEnd.value_or(0) ||
        frames.Stretches(0, frames.Count()).size() != 1)
        return GainPass::Refused;
    return GainPass::Done;
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
    // The frame's own length tells a free-format frame's rate.
    const std::optional<FrameHeader> header = ParseFrameOfLength(frame, std::ssize(frame));
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
    FrameIndex frames;
    if (const GainPass walked = KeptFrames(file, eventPass, frames); walked != GainPass::Done) return walked;
    std::vector<unsigned char> chunk(GainChunkBytes);
    std::int64_t granule = 0;
    // A chunk at a time of whole frames, from the first frame of sound.
    for (std::size_t first = 0; first < frames.Count();) {
        if (eventPass && !eventPass()) return GainPass::Abandoned;
        const std::int64_t at = frames.Offset(first);
        std::size_t after = first + 1;
        while (after < frames.Count() && frames.End(after) - at <= std::ssize(chunk)) ++after;
        const auto bytes = static_cast<std::size_t>(frames.End(after - 1) - at);
        if (bytes > chunk.size() || !SeekTo(file, at) || std::fread(chunk.data(), 1, bytes, file) != bytes)
            return GainPass::Failed;
        bool changed = false;
        for (std::size_t i = first; i < after; ++i) {
            const std::span<unsigned char> frame =
                std::span(chunk).subspan(static_cast<std::size_t>(frames.Offset(i) - at),
                                         static_cast<std::size_t>(frames.End(i) - frames.Offset(i)));
            const FrameGain gain = ApplyGainToFrame(plan, granule, frame);
            if (gain == FrameGain::Refused) return GainPass::Refused;
            changed = changed || gain == FrameGain::Changed;
            granule += GranulesPerFrame(*ParseFrameOfLength(frame, std::ssize(frame)));
        }
        if (changed && (!SeekTo(file, at) || std::fwrite(chunk.data(), 1, bytes, file) != bytes))
            return GainPass::Failed;
        first = after;
    }
    return std::fflush(file) == 0 ? GainPass::Done : GainPass::Failed;
}

}  // namespace sundrel
