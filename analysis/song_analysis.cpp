// SPDX-License-Identifier: GPL-3.0-or-later
#include "song_analysis.h"

#include "chorus_finder.h"
#include "decode_pass.h"
#include "feature_analyzer.h"
#include "peak_analyzer.h"
#include "sound_features.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>

namespace sundrel {

namespace {

// The fade out of a proposal that ends inside the music: two beats, 1 to 2 s.
double FadeFor(double beatSeconds) { return std::clamp(2 * beatSeconds, 1.0, 2.0); }

double BeatLength(const std::vector<double>& beats) {
    if (beats.size() < 2) return 0.5;
    return (beats.back() - beats.front()) / double(beats.size() - 1);
}

SongAnalysis Analyse(const std::filesystem::path& path, std::stop_token stop,
                     const std::function<void(const Peaks&)>& progressed, int progressEveryMs);

}  // namespace

SongAnalysis AnalyseSong(const std::filesystem::path& path, std::stop_token stop,
                         const std::function<void(const Peaks&)>& progressed, int progressEveryMs) {
    try {
        return Analyse(path, stop, progressed, progressEveryMs);
    } catch (...) {
        // Out of memory, most likely: no song is worth more.
        SongAnalysis failed;
        failed.peaks.failed = true;
        failed.Failed = true;
        return failed;
    }
}

namespace {

SongAnalysis Analyse(const std::filesystem::path& path, std::stop_token stop,
                     const std::function<void(const Peaks&)>& progressed, int progressEveryMs) {
    SongAnalysis analysis;
    analysis::SoundFeatures features;
    analysis::PeakAnalyzer peaks(analysis.peaks);
    analysis::FeatureAnalyzer music(features);
    const std::array<analysis::Analyzer*, 2> analyzers{&peaks, &music};

    const auto every = std::chrono::milliseconds(progressEveryMs);
    auto published = std::chrono::steady_clock::now();
    const auto afterBlock = [&] {
        if (!progressed) return;
        const auto now = std::chrono::steady_clock::now();
        if (now - published < every) return;
        published = now;
        progressed(analysis.peaks);
    };
    const analysis::DecodeOutcome outcome = analysis::DecodeSong(path, analyzers, stop, afterBlock);
    analysis.peaks.finished = outcome == analysis::DecodeOutcome::Finished;
    analysis.peaks.failed = !analysis.peaks.finished;
    if (progressed) progressed(analysis.peaks);
    if (!analysis.peaks.finished || stop.stop_requested()) {
        analysis.Failed = true;
        return analysis;
    }
    features.beats = analysis::TrackBeats(features);
    analysis.BeatSeconds = features.beats;
    analysis.Candidates = analysis::FindChorus(features);
    analysis.Finished = true;
    return analysis;
}

}  // namespace

Proposal ProposalFor(const SongAnalysis& analysis, std::size_t candidate, double lengthSeconds) {
    const double songSeconds = analysis.peaks.decodedSeconds;
    if (!(lengthSeconds > 0) || songSeconds <= lengthSeconds) return {0, songSeconds, 0};
    const std::vector<double>& beats = analysis.BeatSeconds;
    const double fade = FadeFor(BeatLength(beats));
    if (candidate >= analysis.Candidates.size()) return {0, lengthSeconds, fade};
    const ChorusCandidate& chosen = analysis.Candidates[candidate];
    const double start = std::clamp(chosen.StartSeconds, 0.0, songSeconds);
    const double latest = start + lengthSeconds;
    if (latest >= songSeconds) return {start, songSeconds, 0};
    // The section's own end when it comes late enough to make a ringtone
    // of most of the length; otherwise the last beat within the length.
    double end = latest;
    if (chosen.SectionEndSeconds <= latest && chosen.SectionEndSeconds >= start + 0.6 * lengthSeconds) {
        end = chosen.SectionEndSeconds;
    } else {
        const auto after = std::upper_bound(beats.begin(), beats.end(), latest + 1e-9);
        if (after != beats.begin() && *(after - 1) > start + 0.5 * lengthSeconds) end = *(after - 1);
    }
    return {start, end, fade};
}

}  // namespace sundrel
