// SPDX-License-Identifier: GPL-3.0-or-later
// The pure arithmetic under the waveform, fast and direct: where a dropped
// mark snaps (the frame grid, sound onsets) and what a zoomed view shows.

#include "mark_snap.h"
#include "peak_decoder.h"
#include "waveform_view.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <vector>

using namespace sundrel;

namespace {

// Peaks of 10 ms bins, one level a bin.
Peaks PeaksOf(const std::vector<float>& levels)
{
    Peaks peaks;
    for (float level : levels)
        peaks.addFine(level, level / 2, 0.01);
    return peaks;
}

// `count` bins of `level` each, one after the other.
std::vector<float> Levels(std::initializer_list<std::pair<int, float>> runs)
{
    std::vector<float> levels;
    for (const auto& [count, level] : runs)
        levels.insert(levels.end(), std::size_t(count), level);
    return levels;
}

}  // namespace

TEST(FrameGrid, LandsOnTheNearestFrameOrTheOneHoldingTheMoment)
{
    // Frames every 0.25 s from 0.5 s on (exact in binary), and before it.
    const FrameGrid grid{0.5, 0.25};
    struct Row {
        double seconds, nearest, holding;
    };
    for (const Row& row : {Row{0.5, 0.5, 0.5}, Row{0.6, 0.5, 0.5}, Row{0.63, 0.75, 0.5}, Row{0.75, 0.75, 0.75},
                           Row{0.2, 0.25, 0.0}, Row{0.4, 0.5, 0.25}, Row{10.01, 10.0, 10.0}}) {
        EXPECT_DOUBLE_EQ(grid.nearest(row.seconds), row.nearest) << row.seconds;
        EXPECT_DOUBLE_EQ(grid.holding(row.seconds), row.holding) << row.seconds;
    }
    // No frame length known: every moment stays where it is.
    const FrameGrid none;
    EXPECT_FALSE(none.known());
    EXPECT_DOUBLE_EQ(none.nearest(0.63), 0.63);
    EXPECT_DOUBLE_EQ(none.holding(0.63), 0.63);
}

TEST(OnsetNear, FindsTheRiseNearestTheMomentWithinItsRadius)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const Peaks one = PeaksOf(Levels({{50, 0.0f}, {50, 0.8f}}));                          // at 0.50 s
    const Peaks two = PeaksOf(Levels({{30, 0.0f}, {10, 0.8f}, {20, 0.0f}, {40, 0.8f}}));  // 0.30, 0.60
    const Peaks steady = PeaksOf(Levels({{100, 0.5f}}));
    const Peaks slight = PeaksOf(Levels({{50, 0.1f}, {50, 0.26f}}));  // under 0.02 + 2.5 × 0.1
    const Peaks enough = PeaksOf(Levels({{50, 0.1f}, {50, 0.28f}}));
    const Peaks empty;
    struct Row {
        const Peaks* peaks;
        double seconds, radius;
        std::optional<double> onset;
    };
    const Row rows[] = {
        {&one, 0.52, 0.05, 0.50},           {&one, 0.45, 0.05, 0.50},        {&one, 0.40, 0.05, std::nullopt},
        {&two, 0.44, 0.20, 0.30},           {&two, 0.46, 0.20, 0.60},        {&steady, 0.5, 0.5, std::nullopt},
        {&steady, 0.0, 0.05, std::nullopt},  // loud from the first bin: no rise to find
        {&slight, 0.5, 0.1, std::nullopt},  {&enough, 0.5, 0.1, 0.50},       {&empty, 0.5, 0.1, std::nullopt},
        {&one, nan, 0.1, std::nullopt},     {&one, 0.5, -0.1, std::nullopt},
    };
    for (const Row& row : rows) {
        const auto onset = OnsetNear(*row.peaks, row.seconds, row.radius);
        ASSERT_EQ(onset.has_value(), row.onset.has_value()) << row.seconds << " within " << row.radius;
        if (onset) {
            EXPECT_NEAR(*onset, *row.onset, 1e-9) << row.seconds;
        }
    }
}

TEST(WaveformView, ZoomsDownToTenMillisecondsAPixelAndSaysWhenNoFurther)
{
    WaveformView view;
    view.setWidth(400);
    view.setDuration(60);                  // 150 ms a pixel, whole
    EXPECT_FALSE(view.zoom(-1, 30, 200));  // already the whole song
    int steps = 0;
    while (view.zoom(1, 30, 200))
        ++steps;
    // 60 s halved four times is 3.75 s, under 4 s (10 ms × 400): the fifth
    // would be finer than that, so the fourth view shows 4 s.
    EXPECT_EQ(steps, 4);
    EXPECT_TRUE(view.atFinest());
    EXPECT_DOUBLE_EQ(view.spanSeconds(), 4.0);
    EXPECT_DOUBLE_EQ(view.secondsAt(200), 30.0);  // the anchor stayed put
    // A moment off the view turns the page to it; the view never runs past
    // the song's ends.
    view.reveal(50);
    EXPECT_TRUE(view.shows(50));
    view.showFrom(58);
    EXPECT_DOUBLE_EQ(view.startSeconds(), 56.0);
    EXPECT_DOUBLE_EQ(view.wholeSecondsAt(100), 15.0);
    // Another song is shown whole.
    view.setDuration(0);
    view.setDuration(10);
    EXPECT_EQ(view.zoomLevel(), 0);
}
