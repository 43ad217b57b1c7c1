// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace sundrel {

// Which stretch of the song the waveform shows, across how many pixels:
// the whole song, or a zoomed view of it. Everything is in seconds and
// pixels. Each zoom level halves the stretch, down to kFinestSecondsPerPixel;
// the view never runs past either end of the song.
class WaveformView {
public:
    // Fully zoomed in, a pixel is this long: a frame is two or three pixels.
    static constexpr double kFinestSecondsPerPixel = 0.010;

    // Another song (or none, 0), or this one's length known better. A new
    // song is shown whole; a length refined while playing keeps the view.
    // False when the length is the one already known.
    bool setDuration(double seconds);
    // The finest view depends on the width.
    void setWidth(int pixels);

    double durationSeconds() const { return durationSeconds_; }
    int width() const { return width_; }
    int zoomLevel() const { return zoom_; }
    bool zoomed() const { return zoom_ > 0; }
    // No level lies further in.
    bool atFinest() const { return deepest(zoom_ + 1) == zoom_; }

    double startSeconds() const { return startSeconds_; }
    double spanSeconds() const;
    double secondsPerPixel() const { return width_ > 0 ? spanSeconds() / width_ : 0; }
    bool shows(double seconds) const;
    // The pixel of a moment (not clamped), and the moment at a pixel (clamped
    // to the song).
    double xOf(double seconds) const;
    double secondsAt(double x) const;
    // The same across the whole song, as the overview strip of a zoomed
    // view draws it.
    double wholeXOf(double seconds) const;
    double wholeSecondsAt(double x) const;

    // Zooms in (steps > 0) or out, keeping the moment anchorSeconds at pixel
    // anchorX. False when there is no level further that way.
    bool zoom(int steps, double anchorSeconds, double anchorX);
    void showFrom(double startSeconds);
    void centreOn(double seconds) { showFrom(seconds - spanSeconds() / 2); }
    // A zoomed view that does not show a moment turns its page to it: the
    // moment lands a little in from the edge it crossed.
    void reveal(double seconds);

private:
    // The level `level` comes to without going past the finest view.
    int deepest(int level) const;

    double durationSeconds_ = 0;
    int width_ = 0;
    int zoom_ = 0;
    double startSeconds_ = 0;
};

}  // namespace sundrel
