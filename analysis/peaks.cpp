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

std::size_t Peaks::binAt(double seconds) const {
    const double last = double(bins.size() - 1);
    return std::size_t(std::clamp(std::floor(seconds / binSeconds), 0.0, last));
}

std::pair<std::size_t, std::size_t> Peaks::binsOver(double fromSeconds, double toSeconds) const {
    return {binAt(fromSeconds), binAt(toSeconds) + 1};
}

std::pair<std::size_t, std::size_t> Peaks::binsWithin(double fromSeconds, double toSeconds) const {
    const double count = double(bins.size());
    const double first = std::clamp(std::ceil(fromSeconds / binSeconds), 0.0, count);
    const double last = std::clamp(std::floor(toSeconds / binSeconds), first, count);
    return {std::size_t(first), std::size_t(last)};
}

std::optional<double> OnsetNear(const Peaks& peaks, double seconds, double radius) {
    if (peaks.bins.empty() || !(peaks.binSeconds > 0) || !std::isfinite(seconds) || !(radius >= 0)) return std::nullopt;
    const auto [from, end] = peaks.binsOver(seconds - radius, seconds + radius);
    const std::size_t to = end - 1;
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
