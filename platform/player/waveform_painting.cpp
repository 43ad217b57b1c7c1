// SPDX-License-Identifier: GPL-3.0-or-later
#include "waveform_painting.h"

#include "kept_gain.h"
#include "waveform_view.h"

#include <QFontMetrics>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace sundrel {

using waveform_layout::kFlagPixels;
using waveform_layout::kOverviewPixels;
using waveform_layout::WaveBottom;

namespace {

// Drawn on the player's dark display: the played part in blue, the rest in
// grey-blue, each with its RMS lighter than its peak.
const QColor kPlayedPeak(0x3d, 0x8e, 0xe6);
const QColor kPlayedRms(0x9c, 0xcb, 0xff);
const QColor kRestPeak(0x4f, 0x5e, 0x72);
const QColor kRestRms(0x86, 0x96, 0xab);
const QColor kPosition(0xff, 0xff, 0xff);
const QColor kMark(0xff, 0xb0, 0x20);
const QColor kSelection(0xff, 0xb0, 0x20, 60);
// A proposal: a cooler band than a selection, and its name and times.
const QColor kProposal(0x40, 0xc0, 0xff, 45);
const QColor kProposalText(0x9c, 0xdc, 0xff);
// The keyboard focus: a bright frame, plain on the dark display.
const QColor kFocus(0x6c, 0xd8, 0xff);
const QColor kOverviewGround(0x0a, 0x10, 0x18);
const QColor kOverviewView(0x6a, 0x80, 0x9c);
const QColor kScaleGround(0x16, 0x20, 0x2c, 210);
const QColor kScaleText(0xc8, 0xd4, 0xe0);
// What a fade takes away, above its ramp.
const QColor kFaded(0x0a, 0x10, 0x18, 150);
const QColor kHandle(0x16, 0x20, 0x2c);

int Floor(double x) { return int(std::floor(x)); }

void PaintSelection(QPainter& painter, QSize size, const WaveformPicture& p)
{
    if (!p.startSeconds || !p.endSeconds)
        return;
    const int from = std::clamp(Floor(p.view.xOf(std::min(*p.startSeconds, *p.endSeconds))), -1, size.width());
    const int to = std::clamp(Floor(p.view.xOf(std::max(*p.startSeconds, *p.endSeconds))), -1, size.width());
    painter.fillRect(QRect(QPoint(from, 0), QPoint(to, WaveBottom(p.view, size.height()))), kSelection);
}

QString ClockAt(double seconds)
{
    const int tenths = int(std::lround(std::max(0.0, seconds) * 10));
    return QStringLiteral("%1:%2.%3").arg(tenths / 600).arg(tenths / 10 % 60, 2, 10, QLatin1Char('0')).arg(tenths % 10);
}

void PaintProposal(QPainter& painter, QSize size, const WaveformPicture& p)
{
    if (!p.proposalStartSeconds || !p.proposalEndSeconds)
        return;
    const int from = std::clamp(Floor(p.view.xOf(*p.proposalStartSeconds)), -1, size.width());
    const int to = std::clamp(Floor(p.view.xOf(*p.proposalEndSeconds)), -1, size.width());
    const int bottom = WaveBottom(p.view, size.height());
    painter.fillRect(QRect(QPoint(from, 0), QPoint(to, bottom)), kProposal);
    // Its name and times at its foot, where the marks' flags are not.
    const QString label =
        QStringLiteral("高潮 %1–%2").arg(ClockAt(*p.proposalStartSeconds), ClockAt(*p.proposalEndSeconds));
    QFont font = painter.font();
    font.setPixelSize(std::clamp(bottom / 4, 8, 11));
    painter.setFont(font);
    painter.setPen(kProposalText);
    painter.drawText(QRect(from + 3, 0, std::max(0, to - from - 3), bottom - 1), Qt::AlignLeft | Qt::AlignBottom,
                     label);
}

bool HasSelection(const WaveformPicture& p)
{
    return p.startSeconds && p.endSeconds && *p.endSeconds > *p.startSeconds;
}

// How loud the ringtone is at a moment of the selection against the song:
// its fades' lines and its volume.
double ShapedLevel(const WaveformPicture& p, double seconds)
{
    const KeptGain gain{p.fadeInSeconds, p.fadeOutSeconds, int(std::lround(p.volumeDb / GainStepDb))};
    return FadeLevel(gain, seconds - *p.startSeconds, *p.endSeconds - *p.startSeconds) * VolumeFactor(gain.VolumeSteps);
}

void PaintColumns(QPainter& painter, QSize size, const WaveformPicture& p)
{
    const int played = Floor(p.view.xOf(p.playedSeconds));
    const int bottom = WaveBottom(p.view, size.height());
    const double half = (bottom - 1) / 2.0;
    const int middle = (bottom + 1) / 2;
    const bool shaped = HasSelection(p);
    for (int x = 0; x < int(p.columns.size()); ++x) {
        WaveformColumn c = p.columns[std::size_t(x)];
        const double seconds = p.view.secondsAt(x + 0.5);
        if (shaped && seconds >= *p.startSeconds && seconds <= *p.endSeconds) {
            const auto level = float(ShapedLevel(p, seconds));
            c = {std::min(1.0f, c.peak * level), std::min(1.0f, c.rms * level)};
        }
        const bool before = x < played;
        // Silence, or what is not decoded yet, is a one-pixel line.
        const int peakReach = std::max(0, int(std::lround(c.peak * half)));
        const int rmsReach = std::max(0, int(std::lround(c.rms * half)));
        painter.setPen(before ? kPlayedPeak : kRestPeak);
        painter.drawLine(x, middle - peakReach, x, middle + peakReach);
        if (rmsReach > 0) {
            painter.setPen(before ? kPlayedRms : kRestRms);
            painter.drawLine(x, middle - rmsReach, x, middle + rmsReach);
        }
    }
}

void PaintMarks(QPainter& painter, QSize size, const WaveformPicture& p)
{
    if (!p.startSeconds)
        return;
    const int bottom = WaveBottom(p.view, size.height());
    painter.setPen(kMark);
    painter.setBrush(kMark);
    // The start's flag points into the selection from the top, the end's
    // from the bottom.
    const int x = Floor(p.view.xOf(*p.startSeconds));
    if (x >= 0 && x < size.width()) {
        painter.drawLine(x, 0, x, bottom);
        const QPoint flag[] = {{x, 0}, {x + kFlagPixels, 0}, {x, kFlagPixels}};
        painter.drawPolygon(flag, 3);
    }
    const int e = p.endSeconds ? Floor(p.view.xOf(*p.endSeconds)) : -1;
    if (e >= 0 && e < size.width()) {
        painter.drawLine(e, 0, e, bottom);
        const QPoint flag[] = {{e, bottom}, {e - kFlagPixels, bottom}, {e, bottom - kFlagPixels}};
        painter.drawPolygon(flag, 3);
    }
}

void PaintFades(QPainter& painter, QSize size, const WaveformPicture& p)
{
    if (!HasSelection(p))
        return;
    // Each fade a ramp from the selection's foot to its top, the sound it
    // takes away darkened above it; a handle at each ramp's top.
    const int bottom = WaveBottom(p.view, size.height());
    const auto ramp = [&](double footSeconds, double topSeconds, bool fadeIn) {
        const QPointF foot(p.view.xOf(footSeconds), bottom);
        const QPointF top(p.view.xOf(topSeconds), 0);
        if (topSeconds != footSeconds) {
            const QPointF corner(foot.x(), 0);
            const QPointF shade[] = {foot, top, corner};
            painter.setPen(Qt::NoPen);
            painter.setBrush(kFaded);
            painter.drawPolygon(shade, 3);
            painter.setPen(QPen(kMark, 1.5));
            painter.drawLine(foot, top);
        }
        painter.setPen(kMark);
        painter.setBrush(kHandle);
        painter.drawRect(waveform_layout::FadeHandle(p.view, topSeconds, fadeIn));
    };
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    ramp(*p.startSeconds, *p.startSeconds + p.fadeInSeconds, true);
    ramp(*p.endSeconds, *p.endSeconds - p.fadeOutSeconds, false);
    painter.restore();
}

void PaintPosition(QPainter& painter, QSize size, const WaveformPicture& p)
{
    const int played = Floor(p.view.xOf(p.playedSeconds));
    if (played >= 0 && played < size.width()) {
        painter.setPen(kPosition);
        painter.drawLine(played, 0, played, WaveBottom(p.view, size.height()));
    }
}

void PaintOverview(QPainter& painter, QSize size, const WaveformPicture& p)
{
    // The whole song along the foot: the stretch in view lighter, the
    // marks and the position as ticks, so that none is ever lost.
    const QRect strip(0, size.height() - kOverviewPixels, size.width(), kOverviewPixels);
    painter.fillRect(strip, kOverviewGround);
    const int from = Floor(p.view.wholeXOf(p.view.startSeconds()));
    const int to = Floor(p.view.wholeXOf(p.view.startSeconds() + p.view.spanSeconds()));
    painter.fillRect(QRect(from, strip.top(), std::max(3, to - from + 1), strip.height()), kOverviewView);
    const auto tick = [&](std::optional<double> seconds, const QColor& colour) {
        if (!seconds)
            return;
        const int x = std::clamp(Floor(p.view.wholeXOf(*seconds)), 0, size.width() - 1);
        painter.setPen(colour);
        painter.drawLine(x, strip.top(), x, strip.bottom());
    };
    tick(p.startSeconds, kMark);
    tick(p.endSeconds, kMark);
    tick(p.playedSeconds, kPosition);
}

void PaintScale(QPainter& painter, QSize size, const WaveformPicture& p)
{
    if (p.scale.isEmpty())
        return;
    QFont small = painter.font();
    small.setPixelSize(std::clamp(size.height() / 4, 8, 11));
    painter.setFont(small);
    const QFontMetrics metrics(small);
    // The bottom right, above the strip: the top line is the display's.
    QRect box(0, 0, metrics.horizontalAdvance(p.scale) + 6, metrics.height());
    box.moveBottomRight(QPoint(size.width() - 3, WaveBottom(p.view, size.height()) - 1));
    painter.fillRect(box, kScaleGround);
    painter.setPen(p.scaleAtLimit ? kMark : kScaleText);
    painter.drawText(box, Qt::AlignCenter, p.scale);
}

}  // namespace

int waveform_layout::WaveBottom(const WaveformView& view, int height)
{
    return view.zoomed() ? height - kOverviewPixels - 2 : height - 1;
}

QRect waveform_layout::FadeHandle(const WaveformView& view, double rampTopSeconds, bool fadeIn)
{
    const int x = Floor(view.xOf(rampTopSeconds));
    return QRect(fadeIn ? x : x - kHandlePixels, kFlagPixels + 2, kHandlePixels, kHandlePixels);
}

void PaintWaveform(QPainter& painter, QSize size, const WaveformPicture& picture)
{
    if (picture.view.durationSeconds() > 0) {
        PaintProposal(painter, size, picture);
        PaintSelection(painter, size, picture);
        PaintColumns(painter, size, picture);
        PaintFades(painter, size, picture);
        PaintMarks(painter, size, picture);
        PaintPosition(painter, size, picture);
        if (picture.view.zoomed())
            PaintOverview(painter, size, picture);
    } else {
        PaintColumns(painter, size, picture);  // the flat line
    }
    PaintScale(painter, size, picture);
    if (picture.focused) {
        painter.setPen(QPen(kFocus, 2));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(QRectF(0, 0, size.width(), size.height()).adjusted(1, 1, -1, -1));
    }
}

QString ScaleText(const WaveformView& view, bool limitReached)
{
    if (!view.zoomed() && !limitReached)
        return {};
    if (!view.zoomed() && !view.atFinest())
        return QStringLiteral("已显示整首");
    const double perPixel = view.secondsPerPixel();
    const double ms = perPixel * 1000;
    const QString length = perPixel >= 1 ? QStringLiteral("%1 秒").arg(perPixel, 0, 'f', 1)
                                         : QStringLiteral("%1 毫秒").arg(ms, 0, 'f', ms < 9.95 ? 1 : 0);
    return QStringLiteral("每像素 %1").arg(length) + (view.atFinest() ? QStringLiteral("（已最大）") : QString());
}

}  // namespace sundrel
