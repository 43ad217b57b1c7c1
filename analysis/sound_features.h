// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstddef>
#include <vector>

namespace sundrel::analysis {

// What the music analysis keeps of a song's sound: a few dozen numbers for
// every analysis frame (about a fifth of a second), the onset strength every
// 11.6 ms and the beats found in it. Some 100 KB for a 4-minute song.
struct SoundFeatures {
    static constexpr std::size_t kBands = 16;
    using Chroma = std::array<float, 12>;     // energy of each pitch class, C first
    using Bands = std::array<float, kBands>;  // log energy of bands 60 Hz - 5 kHz

    // Frame i is centred on firstFrameSeconds + i * frameSeconds.
    double frameSeconds = 0;
    double firstFrameSeconds = 0;
    std::vector<Chroma> chroma;
    std::vector<Bands> bands;
    std::vector<float> loudnessDb;  // of the frame's RMS, -100 for silence

    // Onset strength (qm-dsp's complex spectral difference): value i is
    // centred on i * onsetStepSeconds + onsetFirstSeconds.
    double onsetStepSeconds = 0;
    double onsetFirstSeconds = 0;
    std::vector<double> onset;

    // The beats, in seconds of the song, rising; empty when none were found.
    std::vector<double> beats;
    // How long the decoded sound is.
    double seconds = 0;
};

}  // namespace sundrel::analysis
