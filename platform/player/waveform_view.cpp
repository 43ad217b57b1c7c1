// SPDX-License-Identifier: GPL-3.0-or-later
#include "waveform_view.h"

#include <algorithm>
#include <cmath>

namespace sundrel {

namespace {

// A moment revealed by turning the page lands this share of the view in.
constexpr double kRevealMargin = 0.05;

}  // namespace

bool WaveformView::setDuration(double seconds)
{
    seconds = std::max(0.0, seconds);
    if (seconds == durationSeconds_)
        return false;
    if (durationSeconds_ == 0 || seconds == 0) {
        zoom_ = 0;
        startSeconds_ = 0;
    }
    durationSeconds_ = seconds;
    showFrom(startSeconds_);
    return true;
}

void WaveformView::setWidth(int pixels)
{
    width_ = std::max(0, pixels);
    zoom_ = deepest(zoom_);
    showFrom(startSeconds_);
}

double WaveformView::spanSeconds() const
{
    const double finest = std::min(durationSeconds_, kFinestSecondsPerPixel * std::max(1, width_));
    return std::max(std::ldexp(durationSeconds_, -zoom_), finest);
}

bool WaveformView::shows(double seconds) const
{
    return seconds >= startSeconds_ && seconds <= startSeconds_ + spanSeconds();
}

double WaveformView::xOf(double seconds) const
{
    const double span = spanSeconds();
    return span > 0 ? (seconds - startSeconds_) / span * width_ : 0;
}

double WaveformView::secondsAt(double x) const
{
    if (width_ <= 0)
        return 0;
    return std::clamp(startSeconds_ + x / width_ * spanSeconds(), 0.0, durationSeconds_);
}

double WaveformView::wholeXOf(double seconds) const
{
    return durationSeconds_ > 0 ? seconds / durationSeconds_ * width_ : 0;
}

double WaveformView::wholeSecondsAt(double x) const
{
    return width_ > 0 ? std::clamp(x / width_ * durationSeconds_, 0.0, durationSeconds_) : 0;
}

int WaveformView::deepest(int level) const
{
    level = std::max(0, level);
    while (level > 0 && std::ldexp(durationSeconds_, -(level - 1)) <= kFinestSecondsPerPixel * width_)
        --level;
    return level;
}

bool WaveformView::zoom(int steps, double anchorSeconds, double anchorX)
{
    if (durationSeconds_ <= 0 || width_ <= 0)
        return false;
    const int level = deepest(zoom_ + steps);
    if (level == zoom_)
        return false;
    zoom_ = level;
    const double share = std::clamp(anchorX / width_, 0.0, 1.0);
    showFrom(anchorSeconds - share * spanSeconds());
    return true;
}

void WaveformView::showFrom(double startSeconds)
{
    startSeconds_ = std::clamp(startSeconds, 0.0, std::max(0.0, durationSeconds_ - spanSeconds()));
}

void WaveformView::reveal(double seconds)
{
    if (!zoomed() || shows(seconds))
        return;
    const double span = spanSeconds();
    const bool ahead = seconds > startSeconds_ + span;
    showFrom(seconds - span * (ahead ? kRevealMargin : 1 - kRevealMargin));
}

}  // namespace sundrel
