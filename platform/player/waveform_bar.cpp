// SPDX-License-Identifier: GPL-3.0-or-later
#include "waveform_bar.h"

#include "peak_decoder.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionFocusRect>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace sundrel {

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

constexpr qint64 kStepMs = 1000;
constexpr qint64 kFineStepMs = 100;
constexpr qint64 kPageMs = 5000;
// Fully zoomed in, a pixel is this long: a frame is two or three pixels.
constexpr double kFinestMsPerPixel = 10;
// A mark is grabbed this close; an onset catches a dragged mark this close.
constexpr double kGrabPixels = 4;
constexpr double kOnsetPixels = 6;
// A zoomed view that the position runs off shows it again this far in.
constexpr double kFollowMargin = 0.05;

}  // namespace

WaveformBar::WaveformBar(QWidget* parent) : QWidget(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    setMinimumSize(40, 16);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setCursor(Qt::PointingHandCursor);
    // The pointer changes shape over a mark, before any button is pressed.
    setMouseTracking(true);
}

void WaveformBar::setPeaks(const Peaks* peaks)
{
    peaks_ = peaks;
    recompute();
}

void WaveformBar::setDuration(qint64 milliseconds)
{
    milliseconds = std::max<qint64>(0, milliseconds);
    if (milliseconds == duration_)
        return;
    // Another song, or its length just known: the whole of it is shown. A
    // length refined while playing keeps the view.
    if (duration_ == 0 || milliseconds == 0) {
        zoom_ = 0;
        viewStart_ = 0;
    }
    duration_ = milliseconds;
    showView(viewStart_);
}

void WaveformBar::setPosition(qint64 milliseconds)
{
    if (milliseconds == position_)
        return;
    const double span = viewSpan();
    const auto inView = [&](double at) { return at >= viewStart_ && at <= viewStart_ + span; };
    // A zoomed view turns its page when the position runs off it, but
    // stays where the user took it while the position is elsewhere.
    const bool follow = zoom_ > 0 && inView(double(position_)) && !inView(double(milliseconds));
    position_ = milliseconds;
    if (follow) {
        const bool ahead = double(milliseconds) > viewStart_ + span;
        showView(double(milliseconds) - span * (ahead ? kFollowMargin : 1 - kFollowMargin));
        return;
    }
    update();
}

void WaveformBar::setMarks(std::optional<qint64> startMs, std::optional<qint64> endMs)
{
    startMark_ = startMs;
    endMark_ = startMs ? endMs : std::nullopt;
    update();
}

void WaveformBar::setFrameGrid(const FrameGrid& grid)
{
    grid_ = grid;
}

std::vector<WaveformBar::Column> WaveformBar::columns() const
{
    return columns_;
}

double WaveformBar::viewSpan() const
{
    const double whole = double(duration_);
    const double finest = std::min(whole, kFinestMsPerPixel * std::max(1, width()));
    return std::max(std::ldexp(whole, -zoom_), finest);
}

double WaveformBar::xOf(double milliseconds) const
{
    const double span = viewSpan();
    return span > 0 ? (milliseconds - viewStart_) / span * width() : 0;
}

int WaveformBar::columnOf(qint64 milliseconds) const
{
    if (duration_ <= 0 || width() <= 0)
        return 0;
    return std::clamp(int(std::floor(xOf(double(milliseconds)))), 0, width() - 1);
}

qint64 WaveformBar::momentAt(int x) const
{
    if (width() <= 0)
        return 0;
    const double at = viewStart_ + double(x) / width() * viewSpan();
    return std::clamp<qint64>(qRound64(at), 0, duration_);
}

void WaveformBar::zoom(int steps, double anchorMs, double anchorX)
{
    if (duration_ <= 0 || width() <= 0)
        return;
    int level = std::max(0, zoom_ + steps);
    // No level past the one that reaches the finest view.
    while (level > 0 && std::ldexp(double(duration_), -(level - 1)) <= kFinestMsPerPixel * width())
        --level;
    if (level == zoom_)
        return;
    zoom_ = level;
    const double share = std::clamp(anchorX / width(), 0.0, 1.0);
    showView(anchorMs - share * viewSpan());
}

void WaveformBar::showView(double startMs)
{
    viewStart_ = std::clamp(startMs, 0.0, std::max(0.0, double(duration_) - viewSpan()));
    recompute();
}

void WaveformBar::recompute()
{
    columns_.assign(std::size_t(std::max(0, width())), Column{});
    if (!peaks_ || peaks_->bins.empty() || peaks_->binSeconds <= 0 || duration_ <= 0)
    {
        update();
        return;
    }
    const std::size_t count = peaks_->bins.size();
    const double from0 = viewStart_ / 1000.0;
    const double span = viewSpan() / 1000.0;
    const double decoded = peaks_->finished ? double(duration_) / 1000.0 : peaks_->decodedSeconds;
    const int w = width();
    for (int x = 0; x < w; ++x) {
        const double from = from0 + span * x / w;
        const double to = from0 + span * (x + 1) / w;
        if (from >= decoded)
            break;  // not decoded yet: the flat line shows there
        const auto first = std::size_t(from / peaks_->binSeconds);
        if (first >= count)
            break;
        const std::size_t last = std::clamp(std::size_t(std::ceil(to / peaks_->binSeconds)), first + 1, count);
        Column column;
        double squares = 0;
        for (std::size_t b = first; b < last; ++b) {
            column.peak = std::max(column.peak, peaks_->peak(b));
            squares += double(peaks_->rms(b)) * peaks_->rms(b);
        }
        column.rms = float(std::sqrt(squares / double(last - first)));
        columns_[std::size_t(x)] = column;
    }
    update();
}

void WaveformBar::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    // The finest view depends on the width.
    zoom(0, viewStart_, 0);
    showView(viewStart_);
}

void WaveformBar::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const int w = width();
    const int h = height();
    const double half = (h - 2) / 2.0;
    const int middle = h / 2;
    const qint64 shown = dragTo_ ? *dragTo_ : position_;
    const int played = duration_ > 0 ? int(std::floor(xOf(double(shown)))) : -1;

    // A mark being dragged is drawn where it would land.
    const auto shownMark = [&](std::optional<qint64> mark, PlayerMark which) -> std::optional<double> {
        if (dragMark_ == which)
            return markDrop_ * 1000.0;
        return mark ? std::optional<double>(double(*mark)) : std::nullopt;
    };
    const std::optional<double> start = shownMark(startMark_, PlayerMark::Start);
    const std::optional<double> end = shownMark(endMark_, PlayerMark::End);
    const auto column = [&](double ms) { return int(std::floor(xOf(ms))); };

    if (start && end && duration_ > 0) {
        const int from = std::clamp(column(std::min(*start, *end)), -1, w);
        const int to = std::clamp(column(std::max(*start, *end)), -1, w);
        painter.fillRect(QRect(QPoint(from, 0), QPoint(to, h - 1)), kSelection);
    }
    for (int x = 0; x < int(columns_.size()); ++x) {
        const Column& c = columns_[std::size_t(x)];
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
    if (start && duration_ > 0) {
        painter.setPen(kMark);
        painter.setBrush(kMark);
        const int x = column(*start);
        if (x >= 0 && x < w) {
            painter.drawLine(x, 0, x, h - 1);
            const QPoint flag[] = {{x, 0}, {x + 5, 0}, {x, 5}};
            painter.drawPolygon(flag, 3);
        }
        const int e = end ? column(*end) : -1;
        if (e >= 0 && e < w) {
            painter.drawLine(e, 0, e, h - 1);
            const QPoint flag[] = {{e, h - 1}, {e - 5, h - 1}, {e, h - 6}};
            painter.drawPolygon(flag, 3);
        }
    }
    if (played >= 0 && played < w) {
        painter.setPen(kPosition);
        painter.drawLine(played, 0, played, h - 1);
    }
    if (hasFocus()) {
        QStyleOptionFocusRect option;
        option.initFrom(this);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
    }
}

std::optional<PlayerMark> WaveformBar::markNear(double x) const
{
    std::optional<PlayerMark> nearest;
    double distance = kGrabPixels + 0.5;
    const auto consider = [&](std::optional<qint64> mark, PlayerMark which) {
        if (!mark)
            return;
        const double d = std::abs(xOf(double(*mark)) - x);
        if (d <= distance) {
            distance = d;
            nearest = which;
        }
    };
    consider(startMark_, PlayerMark::Start);
    consider(endMark_, PlayerMark::End);
    return nearest;
}

double WaveformBar::dropAt(double x, bool onsets) const
{
    const double span = viewSpan();
    const double perPixel = width() > 0 ? span / width() / 1000.0 : 0;
    const double seconds = std::clamp(viewStart_ + x / std::max(1, width()) * span, 0.0, double(duration_)) / 1000.0;
    if (onsets && peaks_) {
        // The frame that holds the onset, so that the onset is kept.
        if (const auto onset = OnsetNear(*peaks_, seconds, kOnsetPixels * perPixel))
            return std::max(0.0, grid_.holding(*onset));
    }
    return std::clamp(grid_.nearest(seconds), 0.0, double(duration_) / 1000.0);
}

void WaveformBar::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || duration_ <= 0 || !isEnabled()) {
        QWidget::mousePressEvent(event);
        return;
    }
    const double x = event->position().x();
    if ((dragMark_ = markNear(x))) {
        markDragged_ = false;
        markDrop_ = double(*dragMark_ == PlayerMark::Start ? *startMark_ : *endMark_) / 1000.0;
        emit dragged(qRound64(markDrop_ * 1000.0));
    } else {
        dragTo_ = momentAt(int(x));
        emit dragged(*dragTo_);
    }
    update();
}

void WaveformBar::mouseMoveEvent(QMouseEvent* event)
{
    const double x = event->position().x();
    if (dragMark_) {
        markDrop_ = dropAt(x, !(event->modifiers() & Qt::ShiftModifier));
        markDragged_ = true;
        emit dragged(qRound64(markDrop_ * 1000.0));
    } else if (dragTo_) {
        dragTo_ = momentAt(int(x));
        emit dragged(*dragTo_);
    } else {
        setCursor(markNear(x) && isEnabled() ? Qt::SizeHorCursor : Qt::PointingHandCursor);
        return;
    }
    update();
}

void WaveformBar::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const double x = event->position().x();
    qint64 target = momentAt(int(x));
    if (dragMark_) {
        const PlayerMark mark = *dragMark_;
        const double seconds = dropAt(x, !(event->modifiers() & Qt::ShiftModifier));
        dragMark_.reset();
        if (markDragged_) {
            update();
            emit markMoved(mark, seconds);
            return;
        }
        // A click on a mark, without a move, goes there as any click does.
        target = qRound64(markDrop_ * 1000.0);
    } else if (!dragTo_) {
        return;
    }
    dragTo_.reset();
    position_ = target;
    update();
    emit seekRequested(target);
}

void WaveformBar::wheelEvent(QWheelEvent* event)
{
    if (duration_ <= 0 || !isEnabled()) {
        QWidget::wheelEvent(event);
        return;
    }
    const QPoint turn = event->angleDelta();
    if (turn.x() != 0 && zoom_ > 0) {
        // A sideways wheel scrolls a zoomed view, a tenth of it a notch.
        showView(viewStart_ - turn.x() / 120.0 * viewSpan() / 10);
    } else {
        // A notch is 120; fine-grained wheels send less and add up.
        wheelRest_ += turn.y();
        const int steps = wheelRest_ / 120;
        wheelRest_ -= steps * 120;
        const double x = event->position().x();
        zoom(steps, viewStart_ + x / width() * viewSpan(), x);
    }
    event->accept();
}

void WaveformBar::step(qint64 milliseconds)
{
    // Through setPosition, so that a zoomed view follows a key off its edge.
    setPosition(std::clamp<qint64>(milliseconds, 0, duration_));
    emit seekRequested(position_);
}

void WaveformBar::keyPressEvent(QKeyEvent* event)
{
    if (duration_ <= 0) {
        QWidget::keyPressEvent(event);
        return;
    }
    const auto modifiers = event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier);
    const auto move = [&](int direction) {
        double by = kStepMs;
        if (modifiers == Qt::ShiftModifier)
            by = kFineStepMs;
        else if (modifiers == Qt::ControlModifier && grid_.known())
            by = grid_.length * 1000.0;
        step(qRound64(double(position_) + direction * by));
    };
    // Keys zoom around the position, or around the middle when it is out
    // of view.
    const double positionX = xOf(double(position_));
    const bool positionShown = positionX >= 0 && positionX <= width();
    const double anchorMs = positionShown ? double(position_) : viewStart_ + viewSpan() / 2;
    const double anchorX = positionShown ? positionX : width() / 2.0;
    switch (event->key()) {
    case Qt::Key_Left: case Qt::Key_Down: move(-1); break;
    case Qt::Key_Right: case Qt::Key_Up: move(1); break;
    case Qt::Key_PageDown: step(position_ - kPageMs); break;
    case Qt::Key_PageUp: step(position_ + kPageMs); break;
    case Qt::Key_Home: step(0); break;
    case Qt::Key_End: step(duration_); break;
    case Qt::Key_Plus: case Qt::Key_Equal: zoom(1, anchorMs, anchorX); break;
    case Qt::Key_Minus: zoom(-1, anchorMs, anchorX); break;
    case Qt::Key_0: zoom(-zoom_, 0, 0); break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
}

}  // namespace sundrel
