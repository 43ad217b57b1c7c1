// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "song_analysis.h"
#include "sound_features.h"

#include <vector>

namespace sundrel::analysis {

// The song's chorus from its features: the stretches that come back most
// often, sounding the same in harmony (chroma) and in timbre (band energies),
// weighted by how full they sound (loudness), each starting on the beat where
// the level changes most for two bars either side (the music's novelty
// breaking ties). A section heard once, however loud, is no chorus. Best
// first: usually the chorus, its other occurrences, then other stretches. A
// song that repeats nothing gets its loudest stretch; silence gets nothing.
std::vector<ChorusCandidate> FindChorus(const SoundFeatures& features);

}  // namespace sundrel::analysis
