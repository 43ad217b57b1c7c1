// SPDX-License-Identifier: GPL-3.0-or-later
#include "peaks.h"

#include <algorithm>
#include <cmath>

namespace sundrel {

namespace {

std::uint16_t Level(double value) { return std::uint16_t(std::lround(std::clamp(value, 0.0, 1.0) * Peaks::kFull)); }

// The stretch before an onset that must be quieter, and how much louder
// the onset must be: well clear of the ripple of a steady sound.
constexpr double kQuietSeconds = 0.08;
constexpr float kRiseFactor = 2.5f;
constexpr float kRiseFloor = 0.02f;

}  // namespace

void Peaks::addFine(float finePeak, float fineRms, double fineSeconds) {
    binSeconds = fineSeconds * double(fineInBin_);
    openPeak_ = std::max(openPeak_, finePeak);
    openSquares_ += double(fineRms) * fineRms;
    if (++openCount_ < fineInBin_) return;
    if (bins.size() < PeakBinsMax) {
        closeOpenBin();
        return;
    }
    // Two neighbouring bins become one; the open bin is the first half of
    // the next one.
    for (std::size_t i = 0; i < PeakBinsMax / 2; ++i) {
        const Bin a = bins[2 * i];
        const Bin b = bins[2 * i + 1];
        const double squares = (double(a.rms) * a.rms + double(b.rms) * b.rms) / 2.0;
        bins[i] = {std::max(a.peak, b.peak), std::uint16_t(std::lround(std::sqrt(squares)))};
    }
    bins.resize(PeakBinsMax / 2);
    fineInBin_ *= 2;
    binSeconds *= 2;
}

void Peaks::closeOpenBin() {
    if (openCount_ == 0) return;
    bins.push_back({Level(openPeak_), Level(std::sqrt(openSquares_ / double(openCount_)))});
    openCount_ = 0;
    openPeak_ = 0;
    openSquares_ = 0;
}

std::optional<double> OnsetNear(const Peaks& peaks, double seconds, double radius) {
    if (peaks.bins.empty() || !(peaks.binSeconds > 0) || !std::isfinite(seconds) || !(radius >= 0)) return std::nullopt;
    const double last = double(peaks.bins.size() - 1);
    const auto binAt = [&](double at) { return std::size_t(std::clamp(std::floor(at / peaks.binSeconds), 0.0, last)); };
    const std::size_t from = binAt(seconds - radius);
    const std::size_t to = binAt(seconds + radius);
    const auto quietBins = std::size_t(std::max(1.0, std::round(kQuietSeconds / peaks.binSeconds)));

    std::optional<double> best;
    for (std::size_t i = std::max<std::size_t>(from, 1); i <= to; ++i) {
        float quiet = 0;
        for (std::size_t b = i - std::min(i, quietBins); b < i; ++b) quiet = std::max(quiet, peaks.peak(b));
        if (peaks.peak(i) < kRiseFloor + kRiseFactor * quiet) continue;
        const double at = double(i) * peaks.binSeconds;
        if (!best || std::abs(at - seconds) < std::abs(*best - seconds)) best = at;
    }
    return best;
}

}  // namespace sundrel
