// SPDX-License-Identifier: GPL-3.0-or-later
// The chorus proposed for pop songs of known structure, made at test time
// (MIDI played by fluidsynth, encoded by lame), and for sounds that repeat
// nothing.

#include "midi_song.h"
#include "mp3_fixture.h"
#include "song_analysis.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>
#include <vector>

using namespace sundrel;
namespace fixture = sundrel::test;
using fixture::Part;

namespace {

using Form = std::vector<fixture::SongSection>;
const Form kClassic = {{Part::Intro, 4},  {Part::Verse, 8},  {Part::Chorus, 8}, {Part::Verse, 8},
                       {Part::Chorus, 8}, {Part::Bridge, 8}, {Part::Chorus, 8}, {Part::Outro, 4}};
const Form kShortBridge = {{Part::Intro, 2},  {Part::Verse, 8},  {Part::Chorus, 8}, {Part::Verse, 8},
                           {Part::Chorus, 8}, {Part::Bridge, 4}, {Part::Chorus, 8}, {Part::Outro, 2}};
const Form kNoIntro = {{Part::Verse, 8},  {Part::Chorus, 8}, {Part::Verse, 8},
                       {Part::Chorus, 8}, {Part::Chorus, 8}, {Part::Outro, 4}};
const Form kDoubleChorus = {{Part::Intro, 2},  {Part::Verse, 8},  {Part::Chorus, 8},
                            {Part::Chorus, 8}, {Part::Verse, 8},  {Part::Chorus, 8},
                            {Part::Bridge, 8}, {Part::Chorus, 8}, {Part::Outro, 2}};

// Tempos from 80 to 140, every third key, many sounds; four have a bridge
// louder than any chorus, and one sings its verse over the chorus's chords.
std::vector<fixture::SongPlan> Plans() {
    const auto plan = [](const char* name, double bpm, int key, int lead, int chords, int bass, bool loud,
                         std::uint32_t seed, const Form& form, bool shared = false) {
        fixture::SongPlan p;
        p.name = name;
        p.bpm = bpm;
        p.key = key;
        p.leadProgram = lead;
        p.chordProgram = chords;
        p.bassProgram = bass;
        p.loudBridge = loud;
        p.sharedChords = shared;
        p.seed = seed;
        p.form = form;
        return p;
    };
    return {
        plan("c120_flute", 120, 0, 73, 0, 33, false, 11, kClassic),
        plan("g96_sax_loud_bridge", 96, 7, 65, 4, 34, true, 12, kShortBridge),
        plan("d140_saw_no_intro", 140, 2, 81, 25, 38, false, 13, kNoIntro),
        plan("a80_violin", 80, 9, 40, 0, 32, false, 14, kShortBridge),
        plan("e110_trumpet_loud_bridge", 110, 4, 56, 16, 33, true, 15, kClassic),
        plan("f128_square_shared_chords", 128, 5, 80, 5, 39, false, 16, kClassic, true),
        plan("bb100_clarinet", 100, 10, 71, 24, 35, false, 17, kNoIntro),
        plan("eb132_brass_loud_bridge", 132, 3, 62, 27, 36, true, 18, kClassic),
        plan("cs88_oboe", 88, 1, 68, 1, 33, false, 19, kShortBridge),
        plan("ab116_trombone_loud_bridge", 116, 8, 57, 0, 34, true, 20, kDoubleChorus),
    };
}

class ChorusTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // SUNDREL_KEEP_SONGS=folder keeps the songs there, and reuses them.
        const char* kept = std::getenv("SUNDREL_KEEP_SONGS");
        folder_ = kept ? std::filesystem::path(kept)
                       : std::filesystem::temp_directory_path() / ("sundrel-chorus-" + std::to_string(::getpid()));
        std::filesystem::create_directories(folder_);
        plans_ = Plans();
        made_.assign(plans_.size(), false);
        // Two at a time: fluidsynth and lame each keep one core busy.
        std::atomic<std::size_t> next = 0;
        std::vector<std::thread> workers;
        for (int w = 0; w < 2; ++w)
            workers.emplace_back([&] {
                for (std::size_t i; (i = next++) < plans_.size();)
                    made_[i] = (kept && std::filesystem::exists(Song(i))) || fixture::MakeSongMp3(Song(i), plans_[i]);
            });
        for (std::thread& worker : workers) worker.join();
    }
    static void TearDownTestSuite() {
        std::error_code ignored;
        if (!std::getenv("SUNDREL_KEEP_SONGS")) std::filesystem::remove_all(folder_, ignored);
    }
    static std::filesystem::path Song(std::size_t i) { return folder_ / (plans_[i].name + ".mp3"); }

    static inline std::filesystem::path folder_;
    static inline std::vector<fixture::SongPlan> plans_;
    static inline std::vector<char> made_;
};

TEST_F(ChorusTest, TheProposalStartsWhereAChorusStartsInNineSongsOfTen) {
    int hits = 0;
    for (std::size_t i = 0; i < plans_.size(); ++i) {
        ASSERT_TRUE(made_[i]) << plans_[i].name;
        const fixture::SongTruth truth = fixture::TruthOf(plans_[i]);
        const SongAnalysis analysis = AnalyseSong(Song(i));
        ASSERT_TRUE(analysis.Finished) << plans_[i].name;
        ASSERT_FALSE(analysis.Candidates.empty()) << plans_[i].name;
        const Proposal proposal = ProposalFor(analysis, 0);
        double nearest = 1e9;
        for (const double start : truth.chorusStarts)
            if (std::abs(proposal.StartSeconds - start) < std::abs(nearest)) nearest = proposal.StartSeconds - start;
        const double length = proposal.EndSeconds - proposal.StartSeconds;
        const bool hit = std::abs(nearest) <= truth.beatSeconds / 2 && length >= 10 && length <= 30;
        hits += hit;
        std::printf(
            "%-28s %s start %7.2f s (%+.2f beats from a chorus), %5.2f s long, fade %.1f s, %zu beats, "
            "%zu candidates\n",
            plans_[i].name.c_str(), hit ? "hit " : "MISS", proposal.StartSeconds, nearest / truth.beatSeconds, length,
            proposal.FadeOutSeconds, analysis.BeatSeconds.size(), analysis.Candidates.size());
    }
    std::printf("%d of %zu proposals start on a chorus\n", hits, plans_.size());
    EXPECT_GE(hits, 9);
}

}  // namespace
