// SPDX-License-Identifier: GPL-3.0-or-later
// The analysis pass on a 5-minute pop song (MIDI played by fluidsynth,
// encoded by lame at 128 kbit/s): the time of a bare libmpg123 decode (the
// same settings, no analyzer), of the whole pass up to the chorus
// candidates, their ratio, and the memory the pass takes beyond the peaks.
// A program to run by hand, not a test:
//   build/bench/analysis_bench [minutes]
// Goals: the proposal ready within 1.2 times the bare decode; memory beyond
// the peaks under a few MB.

#include "decode_pass.h"
#include "midi_song.h"
#include "process_memory.h"
#include "song_analysis.h"

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

using namespace sundrel;
namespace fixture = sundrel::test;

namespace {

constexpr int kRounds = 5;

double Seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

// The processor time of the whole process, all threads: what the pass
// costs whatever else the machine is doing.
double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const double minutes = argc > 1 ? std::max(1.0, std::atof(argv[1])) : 5.0;
    const auto folder = std::filesystem::temp_directory_path() / "sundrel-analysis-bench";
    std::filesystem::create_directories(folder);
    const auto song = folder / ("song-" + std::to_string(int(minutes * 60)) + ".mp3");
    fixture::SongPlan plan;
    plan.name = "bench";
    plan.bpm = 120;
    plan.seed = 3;
    using fixture::Part;
    // Bars of 2 s: an intro, then verse, chorus, verse, chorus, bridge and
    // chorus (92 s) as often as the length asks, and an outro.
    plan.form.push_back({Part::Intro, 4});
    const long repeats = std::max(1L, std::lround((minutes * 60 - 12) / 92));
    for (long i = 0; i < repeats; ++i)
        for (const Part part : {Part::Verse, Part::Chorus, Part::Verse, Part::Chorus, Part::Bridge, Part::Chorus})
            plan.form.push_back({part, part == Part::Bridge ? 6 : 8});
    plan.form.push_back({Part::Outro, 2});
    if (!std::filesystem::exists(song) && !fixture::MakeSongMp3(song, plan)) {
        std::fprintf(stderr, "could not make the song (fluidsynth, lame)\n");
        return 1;
    }

    std::vector<double> bare, whole, bareCpu, wholeCpu;
    std::vector<long> beyondKB;
    std::size_t peakBytes = 0;
    double songSeconds = 0;
    std::size_t candidates = 0;
    for (int round = 0; round < kRounds; ++round) {
        auto start = std::chrono::steady_clock::now();
        double cpu = CpuSeconds();
        analysis::DecodeSong(song, {}, {});
        bare.push_back(Seconds(std::chrono::steady_clock::now() - start));
        bareCpu.push_back(CpuSeconds() - cpu);

        const long before = bench::StatusKB("VmRSS");
        bench::ResetPeak();
        start = std::chrono::steady_clock::now();
        cpu = CpuSeconds();
        const SongAnalysis result = AnalyseSong(song);
        whole.push_back(Seconds(std::chrono::steady_clock::now() - start));
        wholeCpu.push_back(CpuSeconds() - cpu);
        peakBytes = result.peaks.bins.capacity() * sizeof(Peaks::Bin);
        beyondKB.push_back(bench::StatusKB("VmHWM") - before - long(peakBytes / 1024));
        songSeconds = result.peaks.decodedSeconds;
        candidates = result.Candidates.size();
    }
    const double b = Median(bare), w = Median(whole);
    std::printf("song %.1f s; bare libmpg123 decode %.0f ms (median of %d); whole analysis pass %.0f ms; ratio %.2f\n",
                songSeconds, b * 1000, kRounds, w * 1000, w / b);
    std::printf("processor time: bare decode %.0f ms, whole pass %.0f ms (all its threads), ratio %.2f\n",
                Median(bareCpu) * 1000, Median(wholeCpu) * 1000, Median(wholeCpu) / Median(bareCpu));
    // The first pass in a process also pays for what stays: FFTW's plans,
    // the threads' heaps.
    std::printf(
        "peaks %zu KB; memory beyond the peaks: first pass %ld KB, later passes at most %ld KB; %zu candidates\n",
        peakBytes / 1024, beyondKB.front(), *std::max_element(beyondKB.begin() + 1, beyondKB.end()), candidates);
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return 0;
}
