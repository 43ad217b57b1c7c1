// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "analyzer.h"
#include "peaks.h"

#include <cstdint>

namespace sundrel::analysis {

// The waveform's peaks: the peak and RMS of every PeakFineBinFrames sample
// frames, all channels together, added to a Peaks as they are decoded.
class PeakAnalyzer final : public Analyzer {
public:
    explicit PeakAnalyzer(Peaks& peaks) : peaks_(peaks) {}

    void initialise(int sampleRate, int channels) override;
    void process(const float* samples, std::size_t frames) override;
    void finalise() override;

private:
    void closeBin();

    Peaks& peaks_;
    int rate_ = 0;
    int channels_ = 0;
    std::uint64_t frames_ = 0;
    // The fine bin being filled.
    float peak_ = 0;
    double squares_ = 0;
    std::uint64_t values_ = 0;
};

}  // namespace sundrel::analysis
