// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi_song.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <fstream>
#include <random>
#include <system_error>

extern char** environ;

#ifndef SUNDREL_LAME
#define SUNDREL_LAME "lame"
#endif
#ifndef SUNDREL_FLUIDSYNTH
#define SUNDREL_FLUIDSYNTH "fluidsynth"
#endif
#ifndef SUNDREL_SOUNDFONT
#define SUNDREL_SOUNDFONT "/usr/share/sounds/sf2/TimGM6mb.sf2"
#endif

namespace sundrel::test {

namespace {

constexpr int kTicksPerBeat = 480;
constexpr int kBeatsPerBar = 4;
constexpr int kDrums = 9;  // channel 10
enum Channel { kLead = 0, kChords = 1, kBass = 2, kPad = 3, kDouble = 4, kGuitar = 5 };

// A format 0 Standard MIDI File: one track of events in time order.
class MidiTrack {
public:
    void add(double beat, int order, std::vector<std::uint8_t> bytes) {
        events_.push_back({std::uint32_t(std::lround(std::max(0.0, beat) * kTicksPerBeat)), order, std::move(bytes)});
    }
    void note(int channel, double beat, double beats, int key, int velocity) {
        key = std::clamp(key, 0, 127);
        velocity = std::clamp(velocity, 1, 127);
        add(beat, 1, {std::uint8_t(0x90 | channel), std::uint8_t(key), std::uint8_t(velocity)});
        add(beat + beats, 0, {std::uint8_t(0x80 | channel), std::uint8_t(key), 0});
    }
    bool write(const std::filesystem::path& path) {
        std::stable_sort(events_.begin(), events_.end(), [](const Event& a, const Event& b) {
            return a.tick != b.tick ? a.tick < b.tick : a.order < b.order;
        });
        std::vector<std::uint8_t> track;
        std::uint32_t last = 0;
        for (const Event& event : events_) {
            Length(track, event.tick - last);
            last = event.tick;
            track.insert(track.end(), event.bytes.begin(), event.bytes.end());
        }
        track.insert(track.end(), {0x00, 0xff, 0x2f, 0x00});
        std::vector<std::uint8_t> file = {'M',
                                          'T',
                                          'h',
                                          'd',
                                          0,
                                          0,
                                          0,
                                          6,
                                          0,
                                          0,
                                          0,
                                          1,
                                          std::uint8_t(kTicksPerBeat >> 8),
                                          std::uint8_t(kTicksPerBeat & 0xff)};
        file.insert(file.end(), {'M', 'T', 'r', 'k'});
        for (int shift = 24; shift >= 0; shift -= 8) file.push_back(std::uint8_t(track.size() >> shift));
        file.insert(file.end(), track.begin(), track.end());
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));
        return bool(out);
    }

private:
    struct Event {
        std::uint32_t tick;
        int order;  // note-offs before note-ons at one moment
        std::vector<std::uint8_t> bytes;
    };
    static void Length(std::vector<std::uint8_t>& out, std::uint32_t value) {
        std::uint8_t bytes[5];
        int n = 0;
        bytes[n++] = std::uint8_t(value & 0x7f);
        while (value >>= 7) bytes[n++] = std::uint8_t(0x80 | (value & 0x7f));
        while (n > 0) out.push_back(bytes[--n]);
    }
    std::vector<Event> events_;
};

// Chords by the step of the major scale they stand on: I ii iii IV V vi.
constexpr std::array<int, 7> kScale = {0, 2, 4, 5, 7, 9, 11};
using Progression = std::array<int, 4>;  // scale steps, 0 = I
constexpr std::array<Progression, 8> kProgressions = {{
    {0, 5, 3, 4},
    {5, 3, 0, 4},
    {0, 4, 5, 3},
    {3, 4, 2, 5},
    {1, 4, 0, 5},
    {0, 3, 1, 4},
    {5, 2, 3, 0},
    {3, 0, 4, 5},
}};

struct Tune {
    struct Note {
        double beat, beats;
        int step;  // of the scale, 0 = the key's root an octave above middle C's octave
    };
    std::vector<Note> notes;  // over eight bars
};

int Pitch(int key, int step, int octave) {
    const int octaves = (step >= 0 ? step : step - 6) / 7;
    return 60 + key + 12 * (octave + octaves) + kScale[std::size_t(step - 7 * octaves)];
}

// Four bars of tune, said twice, the second time ending home: what a verse
// or a chorus sings.
Tune MakeTune(std::mt19937& random, const Progression& chords) {
    static constexpr std::array<std::array<double, 5>, 5> kRhythms = {{
        {1, 1, 1, 1, 0},
        {0.5, 0.5, 1, 2, 0},
        {1.5, 0.5, 1, 1, 0},
        {2, 1, 1, 0, 0},
        {1, 0.5, 0.5, 1, 1},
    }};
    Tune phrase;
    int step = 2;
    for (int bar = 0; bar < 4; ++bar) {
        const auto& rhythm = kRhythms[random() % kRhythms.size()];
        double beat = 0;
        for (double length : rhythm) {
            if (length <= 0 || beat >= 4) break;
            const bool strong = beat == 0 || beat == 2;
            if (strong)
                step = chords[std::size_t(bar)] + 2 * int(random() % 3);  // a tone of the chord
            else
                step += int(random() % 3) - 1;
            step = std::clamp(step, -2, 9);
            phrase.notes.push_back({bar * 4 + beat, length * 0.95, step});
            beat += length;
        }
    }
    Tune tune = phrase;
    for (Tune::Note note : phrase.notes) {
        note.beat += 16;
        if (note.beat >= 28) note.step = note.beat >= 30 ? 0 : note.step;
        tune.notes.push_back(note);
    }
    return tune;
}

struct Song {
    const SongPlan& plan;
    MidiTrack track;
    Progression verse{}, chorus{}, bridge{};
    Tune verseTune, chorusTune, bridgeTune;

    void chord(int channel, double beat, double beats, int step, int velocity, int octave = 0) {
        for (int third = 0; third < 3; ++third)
            track.note(channel, beat, beats, Pitch(plan.key, step + 2 * third, octave), velocity);
    }
    void drum(double beat, int key, int velocity) { track.note(kDrums, beat, 0.25, key, velocity); }
    void tune(const Tune& t, double at, int bars, int velocity, int octave, int channel) {
        for (const Tune::Note& n : t.notes)
            if (n.beat < bars * kBeatsPerBar)
                track.note(channel, at + n.beat, n.beats, Pitch(plan.key, n.step, octave), velocity);
    }

    void intro(double at, int bars) {
        for (int bar = 0; bar < bars; ++bar) {
            const double b = at + bar * kBeatsPerBar;
            chord(kPad, b, 4, verse[std::size_t(bar % 4)], 55);
            for (int beat = 0; beat < 4; ++beat) drum(b + beat, 42, 45);
        }
    }
    void verseBars(double at, int bars) {
        for (int bar = 0; bar < bars; ++bar) {
            const double b = at + bar * kBeatsPerBar;
            const int step = verse[std::size_t(bar % 4)];
            chord(kChords, b, 1.9, step, 70);
            chord(kChords, b + 2, 1.9, step, 65);
            track.note(kBass, b, 1.9, Pitch(plan.key, step, -2), 80);
            track.note(kBass, b + 2, 1.9, Pitch(plan.key, step, -2), 75);
            drum(b, 36, 80);
            drum(b + 2, 36, 75);
            drum(b + 1, 37, 60);
            drum(b + 3, 37, 60);
            for (int e = 0; e < 8; ++e) drum(b + e * 0.5, 42, 50);
        }
        tune(verseTune, at, bars, 85, 0, kLead);
    }
    void chorusBars(double at, int bars) {
        for (int bar = 0; bar < bars; ++bar) {
            const double b = at + bar * kBeatsPerBar;
            const int step = chorus[std::size_t(bar % 4)];
            for (int beat = 0; beat < 4; ++beat) chord(kChords, b + beat, 0.9, step, 95);
            chord(kPad, b, 4, step, 80);
            for (int e = 0; e < 8; ++e)
                track.note(kBass, b + e * 0.5, 0.45, Pitch(plan.key, step, e % 2 ? -1 : -2), 100);
            drum(b, 36, 110);
            drum(b + 2, 36, 105);
            drum(b + 2.5, 36, 95);
            drum(b + 1, 38, 110);
            drum(b + 3, 38, 110);
            for (int e = 0; e < 8; ++e) drum(b + e * 0.5, e % 2 ? 42 : 46, 75);
        }
        drum(at, 49, 115);
        tune(chorusTune, at, bars, 110, 1, kLead);
        tune(chorusTune, at, bars, 85, 0, kDouble);
    }
    void bridgeBars(double at, int bars) {
        const bool loud = plan.loudBridge;
        for (int bar = 0; bar < bars; ++bar) {
            const double b = at + bar * kBeatsPerBar;
            const int step = bridge[std::size_t(bar % 4)];
            for (int e = 0; e < 8; ++e)
                track.note(kChords, b + e * 0.5, 0.45, Pitch(plan.key, step + 2 * (e % 3), 0), loud ? 120 : 70);
            track.note(kBass, b, 3.9, Pitch(plan.key, step, -2), loud ? 127 : 80);
            for (int beat = 0; beat < 4; ++beat) drum(b + beat, 51, loud ? 120 : 65);
            drum(b, 36, loud ? 127 : 80);
            if (loud) {
                for (int e = 0; e < 8; ++e) {
                    track.note(kGuitar, b + e * 0.5, 0.45, Pitch(plan.key, step, -1), 127);
                    track.note(kGuitar, b + e * 0.5, 0.45, Pitch(plan.key, step + 4, -1), 127);
                    track.note(kGuitar, b + e * 0.5, 0.45, Pitch(plan.key, step, 0), 127);
                }
                for (int beat = 0; beat < 4; ++beat) drum(b + beat, beat % 2 ? 38 : 36, 127);
                drum(b, 49, 127);
                chord(kPad, b, 4, step, 110, 1);
            }
        }
        tune(bridgeTune, at, bars, loud ? 127 : 90, 0, kLead);
    }
    void outro(double at, int bars) {
        for (int bar = 0; bar < bars; ++bar) {
            const double b = at + bar * kBeatsPerBar;
            const int step = bar + 1 == bars ? 0 : verse[std::size_t(bar % 4)];
            chord(kChords, b, 3.9, step, 60);
            chord(kPad, b, 4, step, 50);
        }
    }
};

int Spawn(const std::vector<std::string>& args) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv;
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return -1;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

SongTruth TruthOf(const SongPlan& plan) {
    SongTruth truth;
    truth.beatSeconds = 60.0 / plan.bpm;
    double beat = 0;
    for (const SongSection& section : plan.form) {
        const double end = beat + section.bars * kBeatsPerBar;
        if (section.part == Part::Chorus) {
            truth.chorusStarts.push_back(beat * truth.beatSeconds);
            truth.chorusEnds.push_back(end * truth.beatSeconds);
        }
        beat = end;
    }
    truth.seconds = beat * truth.beatSeconds;
    return truth;
}

bool WriteSongMidi(const std::filesystem::path& midi, const SongPlan& plan) {
    Song song{plan, {}, {}, {}, {}, {}, {}, {}};
    std::mt19937 random(plan.seed);
    const std::size_t first = random() % kProgressions.size();
    song.chorus = kProgressions[first];
    song.verse = plan.sharedChords ? song.chorus : kProgressions[(first + 1 + random() % 3) % kProgressions.size()];
    song.bridge = kProgressions[(first + 5) % kProgressions.size()];
    song.verseTune = MakeTune(random, song.verse);
    song.chorusTune = MakeTune(random, song.chorus);
    song.bridgeTune = MakeTune(random, song.bridge);

    MidiTrack& track = song.track;
    const auto tempo = std::uint32_t(std::lround(60e6 / plan.bpm));
    track.add(0, 0, {0xff, 0x51, 0x03, std::uint8_t(tempo >> 16), std::uint8_t(tempo >> 8), std::uint8_t(tempo)});
    const std::array<std::pair<int, int>, 6> programs = {{{kLead, plan.leadProgram},
                                                          {kChords, plan.chordProgram},
                                                          {kBass, plan.bassProgram},
                                                          {kPad, 48},
                                                          {kDouble, 61},
                                                          {kGuitar, 30}}};
    for (const auto& [channel, program] : programs) {
        track.add(0, 0, {std::uint8_t(0xc0 | channel), std::uint8_t(program)});
        track.add(0, 0, {std::uint8_t(0xb0 | channel), 7, 100});
    }
    double at = 0;
    for (const SongSection& section : plan.form) {
        switch (section.part) {
            case Part::Intro:
                song.intro(at, section.bars);
                break;
            case Part::Verse:
                song.verseBars(at, section.bars);
                break;
            case Part::Chorus:
                song.chorusBars(at, section.bars);
                break;
            case Part::Bridge:
                song.bridgeBars(at, section.bars);
                break;
            case Part::Outro:
                song.outro(at, section.bars);
                break;
        }
        at += section.bars * kBeatsPerBar;
    }
    return track.write(midi);
}

// Without fluidsynth's reverb and chorus effects, which would take half of
// its time for what the analysis does not need.
bool MakeSongMp3(const std::filesystem::path& mp3, const SongPlan& plan) {
    std::filesystem::path midi = mp3, wav = mp3;
    midi += ".mid";
    wav += ".wav";
    bool ok = WriteSongMidi(midi, plan) &&
              Spawn({SUNDREL_FLUIDSYNTH, "-ni", "-q", "-R", "0", "-C", "0", "-g", "0.6", "-F", wav.string(), "-r",
                     "44100", SUNDREL_SOUNDFONT, midi.string()}) == 0 &&
              Spawn({SUNDREL_LAME, "--quiet", "-f", "-b", "128", wav.string(), mp3.string()}) == 0;
    std::error_code ignored;
    std::filesystem::remove(midi, ignored);
    std::filesystem::remove(wav, ignored);
    return ok && std::filesystem::exists(mp3);
}

}  // namespace sundrel::test
