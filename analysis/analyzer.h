// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>

namespace sundrel::analysis {

// One thing learnt from a song's sound as it is decoded, block after block,
// keeping only what it learns, never the sound itself.
class Analyzer {
public:
    virtual ~Analyzer() = default;
    // The sound's format, once, before the first block.
    virtual void initialise(int sampleRate, int channels) = 0;
    // `frames` sample frames of `channels` interleaved floats, -1 to 1.
    virtual void process(const float* samples, std::size_t frames) = 0;
    // The song has ended (or failed, or was cancelled): what is learnt is
    // all there will be.
    virtual void finalise() = 0;
};

}  // namespace sundrel::analysis
