// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <optional>
#include <span>

class QPainter;
class QRect;
class QSize;

namespace sundrel {

class WaveformView;

// The loudness of one pixel column, 0 to 1.
struct WaveformColumn {
    float peak = 0;
    float rms = 0;
};

// Where the waveform's parts lie, in pixels, for the bar's pointer to find
// them as they are drawn.
namespace waveform_layout {
// The marks' flags: triangles this wide and high, the start's at the top
// right of its line, the end's at the bottom left.
inline constexpr int kFlagPixels = 5;
// The overview strip along the foot of a zoomed view.
inline constexpr int kOverviewPixels = 5;
// The lowest row of the waveform itself: above the strip when zoomed.
int WaveBottom(const WaveformView& view, int height);
// The fades' handles: squares this wide, hung just below the start's flag
// at the top of the selection, inside it beside the top of each ramp.
inline constexpr int kHandlePixels = 7;
QRect FadeHandle(const WaveformView& view, double rampTopSeconds, bool fadeIn);
}  // namespace waveform_layout

// Everything the bar shows at one moment, in seconds.
struct WaveformPicture {
    const WaveformView& view;
    std::span<const WaveformColumn> columns;
    double playedSeconds = 0;  // the played part ends here
    std::optional<double> startSeconds, endSeconds;
    // The ringtone's fades and volume, drawn over the selection.
    double fadeInSeconds = 0, fadeOutSeconds = 0, volumeDb = 0;
    // The ringtone the song's analysis proposes, before one is cut.
    std::optional<double> proposalStartSeconds, proposalEndSeconds;
    QString scale;  // "" for none
    bool scaleAtLimit = false;
    bool focused = false;
};

// On the player's dark display: a proposal as a band marked 高潮 with its
// times, the columns, played and not yet, the
// selection shaded (its columns as loud as the ringtone's fades and volume
// make them, the fades as ramps with their handles), the marks and the
// position as lines, and for a zoomed view the strip and the scale; a
// bright frame while it has the focus.
void PaintWaveform(QPainter& painter, QSize size, const WaveformPicture& picture);

// How long one pixel of the view is, said when zoomed in or when a zoom
// step went no further (limitReached); otherwise nothing.
QString ScaleText(const WaveformView& view, bool limitReached);

}  // namespace sundrel
