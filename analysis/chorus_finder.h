// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "song_analysis.h"
#include "sound_features.h"

#include <vector>

namespace sundrel::analysis {

// The song's chorus from its features: the section that comes back most
// often, sounding the same in harmony (chroma) and in timbre (band energies),
// weighted by how full it sounds (loudness), each occurrence starting on a
// beat where the music changes (a peak of novelty along the similarity of
// beats to beats). A section heard once, however loud, is no chorus. Best
// first: the chorus, its other occurrences, then the next best section. A
// song that repeats nothing gets its loudest stretch; silence gets nothing.
std::vector<ChorusCandidate> FindChorus(const SoundFeatures& features);

}  // namespace sundrel::analysis
