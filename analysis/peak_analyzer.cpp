// SPDX-License-Identifier: GPL-3.0-or-later
#include "peak_analyzer.h"

#include <algorithm>
#include <cmath>

namespace sundrel::analysis {

void PeakAnalyzer::initialise(int sampleRate, int channels) {
    rate_ = sampleRate;
    channels_ = channels;
}

void PeakAnalyzer::closeBin() {
    const float rms = values_ ? float(std::sqrt(squares_ / double(values_))) : 0.0f;
    peaks_.addFine(std::min(peak_, 1.0f), rms, double(PeakFineBinFrames) / rate_);
    peak_ = 0;
    squares_ = 0;
    values_ = 0;
}

void PeakAnalyzer::process(const float* samples, std::size_t frameCount) {
    std::size_t done = 0;
    while (done < frameCount) {
        const std::size_t room = PeakFineBinFrames - std::size_t(frames_ % PeakFineBinFrames);
        const std::size_t take = std::min(room, frameCount - done);
        const float* from = samples + done * std::size_t(channels_);
        const std::size_t count = take * std::size_t(channels_);
        float top = peak_;
        double sum = 0;
        for (std::size_t i = 0; i < count; ++i) {
            const float v = from[i];
            top = std::max(top, std::fabs(v));
            sum += double(v) * v;
        }
        peak_ = top;
        squares_ += sum;
        values_ += count;
        frames_ += take;
        done += take;
        if (take == room) closeBin();
    }
    peaks_.decodedSeconds = double(frames_) / rate_;
}

void PeakAnalyzer::finalise() {
    if (values_ > 0) closeBin();
    peaks_.closeOpenBin();
    peaks_.bins.shrink_to_fit();
}

}  // namespace sundrel::analysis
