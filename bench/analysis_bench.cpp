// SPDX-License-Identifier: GPL-3.0-or-later
// The analysis pass on a 5-minute pop song (MIDI played by fluidsynth,
// encoded by lame at 128 kbit/s): the time of a bare libmpg123 decode (the
// same settings, no analyzer), of the whole pass up to the chorus
// candidates, their ratio, and the memory the pass takes beyond the peaks.
// A program to run by hand, not a test:
//   build/bench/analysis_bench
// Goals: the proposal ready within 1.2 times the bare decode; memory beyond
// the peaks under a few MB.

#include "decode_pass.h"
#include "midi_song.h"
#include "process_memory.h"
#include "song_analysis.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <vector>

using namespace sundrel;
namespace fixture = sundrel::test;

namespace {

constexpr int kRounds = 5;

double Seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main() {
    const auto folder = std::filesystem::temp_directory_path() / "sundrel-analysis-bench";
    std::filesystem::create_directories(folder);
    const auto song = folder / "five-minutes.mp3";
    fixture::SongPlan plan;
    plan.name = "bench";
    plan.bpm = 120;
    plan.seed = 3;
    using fixture::Part;
    // 150 bars of 2 s: intro, then verse, chorus, verse, chorus, bridge, chorus, three times, and an outro.
    plan.form.push_back({Part::Intro, 4});
    for (int i = 0; i < 3; ++i)
        for (const Part part : {Part::Verse, Part::Chorus, Part::Verse, Part::Chorus, Part::Bridge, Part::Chorus})
            plan.form.push_back({part, part == Part::Bridge ? 6 : 8});
    plan.form.push_back({Part::Outro, 2});
    if (!std::filesystem::exists(song) && !fixture::MakeSongMp3(song, plan)) {
        std::fprintf(stderr, "could not make the song (fluidsynth, lame)\n");
        return 1;
    }

    std::vector<double> bare, whole;
    long beyondKB = 0;
    std::size_t peakBytes = 0;
    double songSeconds = 0;
    std::size_t candidates = 0;
    for (int round = 0; round < kRounds; ++round) {
        auto start = std::chrono::steady_clock::now();
        analysis::DecodeSong(song, {}, {});
        bare.push_back(Seconds(std::chrono::steady_clock::now() - start));

        const long before = bench::StatusKB("VmRSS");
        bench::ResetPeak();
        start = std::chrono::steady_clock::now();
        const SongAnalysis result = AnalyseSong(song);
        whole.push_back(Seconds(std::chrono::steady_clock::now() - start));
        peakBytes = result.peaks.bins.capacity() * sizeof(Peaks::Bin);
        beyondKB = std::max(beyondKB, bench::StatusKB("VmHWM") - before - long(peakBytes / 1024));
        songSeconds = result.peaks.decodedSeconds;
        candidates = result.Candidates.size();
    }
    const double b = Median(bare), w = Median(whole);
    std::printf("song %.1f s; bare libmpg123 decode %.0f ms (median of %d); whole analysis pass %.0f ms; ratio %.2f\n",
                songSeconds, b * 1000, kRounds, w * 1000, w / b);
    std::printf("peaks %zu KB; memory beyond the peaks at most %ld KB; %zu candidates\n", peakBytes / 1024, beyondKB,
                candidates);
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return 0;
}
