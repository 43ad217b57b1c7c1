// SPDX-License-Identifier: GPL-3.0-or-later
#include "mark_snap.h"

#include "peak_decoder.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace sundrel {

namespace {

// The stretch before an onset that must be quieter, and how much louder
// the onset must be: well clear of the ripple of a steady sound.
constexpr double kQuietSeconds = 0.08;
constexpr float kRiseFactor = 2.5f;
constexpr float kRiseFloor = 0.02f;

}  // namespace

double FrameGrid::nearest(double seconds) const
{
    return known() ? first + std::round((seconds - first) / length) * length : seconds;
}

double FrameGrid::holding(double seconds) const
{
    // The grid's moments sit half a sample into their frame: a moment just
    // past one still belongs to it.
    return known() ? first + std::floor((seconds - first) / length) * length : seconds;
}

std::optional<double> OnsetNear(const Peaks& peaks, double seconds, double radius)
{
    if (peaks.bins.empty() || !(peaks.binSeconds > 0) || !std::isfinite(seconds) || !(radius >= 0))
        return std::nullopt;
    const double last = double(peaks.bins.size() - 1);
    const auto binAt = [&](double at) { return std::size_t(std::clamp(std::floor(at / peaks.binSeconds), 0.0, last)); };
    const std::size_t from = binAt(seconds - radius);
    const std::size_t to = binAt(seconds + radius);
    const auto quietBins = std::size_t(std::max(1.0, std::round(kQuietSeconds / peaks.binSeconds)));

    std::optional<double> best;
    for (std::size_t i = std::max<std::size_t>(from, 1); i <= to; ++i) {
        float quiet = 0;
        for (std::size_t b = i - std::min(i, quietBins); b < i; ++b)
            quiet = std::max(quiet, peaks.peak(b));
        if (peaks.peak(i) < kRiseFloor + kRiseFactor * quiet)
            continue;
        const double at = double(i) * peaks.binSeconds;
        if (!best || std::abs(at - seconds) < std::abs(*best - seconds))
            best = at;
    }
    return best;
}

}  // namespace sundrel
