// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Pop songs of a known structure, made at test time: written here as MIDI,
// played by fluidsynth with the TimGM6mb General MIDI sound font, encoded
// by lame. Standard library and POSIX only.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace sundrel::test {

enum class Part { Intro, Verse, Chorus, Bridge, Outro };

struct SongSection {
    Part part = Part::Verse;
    int bars = 8;
};

// A song in 4/4: its tempo and key, the General MIDI programs that play it,
// and its sections in order. Every verse has the same chords and tune, so
// has every chorus; the chorus is the fullest part, unless the bridge is
// made louder than anything else (once).
struct SongPlan {
    std::string name;
    double bpm = 120;
    int key = 0;  // semitones above C major
    int leadProgram = 73;
    int chordProgram = 0;
    int bassProgram = 33;
    bool loudBridge = false;
    // The verse plays the chorus's chords too (only tune and sound differ).
    bool sharedChords = false;
    std::uint32_t seed = 1;
    std::vector<SongSection> form;
};

// Where the sections of a plan lie once rendered, in seconds.
struct SongTruth {
    double beatSeconds = 0;
    double seconds = 0;  // the music, without the last chord's ring
    std::vector<double> chorusStarts;
    std::vector<double> chorusEnds;
};
SongTruth TruthOf(const SongPlan& plan);

bool WriteSongMidi(const std::filesystem::path& midi, const SongPlan& plan);
// The song as an MP3 (44.1 kHz stereo, 128 kbit/s); false when fluidsynth
// or lame failed.
bool MakeSongMp3(const std::filesystem::path& mp3, const SongPlan& plan);

}  // namespace sundrel::test
