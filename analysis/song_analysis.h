// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "peaks.h"

#include <cstddef>
#include <filesystem>
#include <functional>
#include <stop_token>
#include <vector>

namespace sundrel {

// A stretch of the song proposed as a ringtone's start: the beat on which a
// section begins (the chorus, or one of its other occurrences, or the next
// best section), where that section ends, and how chorus-like it is (0 to
// 1, higher is better).
struct ChorusCandidate {
    double StartSeconds = 0;
    double SectionEndSeconds = 0;
    double Score = 0;
};

// Everything one decoding pass learns of a song's sound.
struct SongAnalysis {
    Peaks peaks;
    std::vector<double> BeatSeconds;
    // Best first: the chorus, its other occurrences, then the next best
    // section. A song without repetition has its most energetic stretch, or
    // nothing (silence).
    std::vector<ChorusCandidate> Candidates;
    // Finished: the whole song was decoded and analysed. Failed: it could
    // not be (not an MP3, broken off, or cancelled); then the peaks hold what
    // was decoded, and there are no beats and no candidates.
    bool Finished = false;
    bool Failed = false;
};

// A ringtone proposed from a candidate: from its start, up to lengthSeconds
// long, ending on a beat, with a fade out where it ends inside the music.
struct Proposal {
    double StartSeconds = 0;
    double EndSeconds = 0;
    double FadeOutSeconds = 0;
};

inline constexpr double kProposalSeconds = 30;

// The proposal for candidate `candidate` of a finished analysis. A song no
// longer than lengthSeconds is proposed whole; a candidate too near the end
// is proposed up to the end, without a fade. Without that candidate, the
// song's start.
Proposal ProposalFor(const SongAnalysis& analysis, std::size_t candidate, double lengthSeconds = kProposalSeconds);

// Decodes the MP3 song at `path` once (libmpg123, gapless, as the player
// plays it) and learns its peaks, its beats and its chorus. Runs on the
// caller's thread; `progressed` is called on it with the peaks so far about
// every `progressEveryMs`, and once more when decoding has ended (the peaks
// finished or failed), before the chorus is looked for. Asking `stop` to
// stop ends it soon, as failed.
SongAnalysis AnalyseSong(const std::filesystem::path& path, std::stop_token stop = {},
                         const std::function<void(const Peaks&)>& progressed = {}, int progressEveryMs = 100);

}  // namespace sundrel
